# rw_add_library(name SOURCES ... DEPS ...): a static library of our own with the repository root
# as include directory, so headers are included as "vqa/lcw.h".
function(rw_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()
