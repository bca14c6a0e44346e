# Installing and packaging: `cmake --install` (any prefix) and a Debian package through CPack.
#
#   bin/                                      reelwright, reelwright-cli
#   share/reelwright/                         intro.wav (run-time files of the desktop program)
#   share/applications/reelwright.desktop     menu entry
#   share/icons/hicolor/<n>x<n>/apps/         reelwright.png, made at build time from app/assets
#   share/man/man1/                           reelwright-cli.1.gz (from its --help), reelwright.1.gz
#
# Every rule is guarded, so the file is harmless while a target or a tool is missing.
include(GNUInstallDirs)

set(RW_PACKAGE_NAME reelwright)
set(RW_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/${RW_PACKAGE_NAME}")
set(RW_INSTALL_FULL_DATADIR "${CMAKE_INSTALL_FULL_DATADIR}/${RW_PACKAGE_NAME}")
set(RW_ICON_SIZES 16 32 48 64 128 256)

# --- Where the programs look for their run-time files ---------------------------------------------
# The data folder relative to the executable's folder makes an installed tree relocatable
# (`cmake --install --prefix` elsewhere, or a moved copy); the full path is the fallback.
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_DATADIR}")
  set(RW_DATA_DIR_FROM_BIN "")
else()
  file(RELATIVE_PATH RW_DATA_DIR_FROM_BIN "${CMAKE_INSTALL_FULL_BINDIR}" "${RW_INSTALL_FULL_DATADIR}")
endif()
if(TARGET rw_base)
  target_sources(rw_base PRIVATE ${PROJECT_SOURCE_DIR}/platform/data_paths.cpp)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/platform/data_paths.cpp
    DIRECTORY ${PROJECT_SOURCE_DIR}/platform
    PROPERTIES COMPILE_DEFINITIONS
      "RW_DATA_DIR_FROM_BIN=\"${RW_DATA_DIR_FROM_BIN}\";RW_INSTALLED_DATA_DIR=\"${RW_INSTALL_FULL_DATADIR}\"")
endif()

# Manual pages are installed compressed, as man reads them and Debian wants them; gzip -n keeps
# the build reproducible.
function(rw_compressed_man_page target page)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND gzip -9 -n -f -k ${page}
    DEPENDS ${page}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# --- Programs and run-time files ------------------------------------------------------------------
foreach(program reelwright reelwright-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET reelwright)
  install(FILES ${PROJECT_SOURCE_DIR}/app/assets/intro.wav DESTINATION ${RW_INSTALL_DATADIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/reelwright.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  # The icon in the theme's sizes, from the program's own pictures.
  file(GLOB RW_ICON_PICTURES ${PROJECT_SOURCE_DIR}/app/assets/icon-*.png)
  if(RW_ICON_PICTURES)
    find_package(Qt6 REQUIRED COMPONENTS Gui)
    add_executable(rw_icon_sizes ${PROJECT_SOURCE_DIR}/packaging/icon_sizes.cpp)
    target_link_libraries(rw_icon_sizes PRIVATE Qt6::Gui)
    set(RW_ICON_DIR ${PROJECT_BINARY_DIR}/packaging/icons)
    set(RW_ICON_FILES "")
    foreach(size IN LISTS RW_ICON_SIZES)
      list(APPEND RW_ICON_FILES ${RW_ICON_DIR}/${size}x${size}/apps/reelwright.png)
    endforeach()
    string(REPLACE ";" "," RW_ICON_SIZE_ARG "${RW_ICON_SIZES}")
    add_custom_command(OUTPUT ${RW_ICON_FILES}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
              $<TARGET_FILE:rw_icon_sizes> ${RW_ICON_DIR} ${RW_ICON_SIZE_ARG} ${RW_ICON_PICTURES}
      DEPENDS rw_icon_sizes ${RW_ICON_PICTURES}
      COMMENT "Making the application icon in sizes ${RW_ICON_SIZE_ARG}"
      VERBATIM)
    add_custom_target(rw_icons ALL DEPENDS ${RW_ICON_FILES})
    install(DIRECTORY ${RW_ICON_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  else()
    message(WARNING "No icon pictures in app/assets: the menu entry will have no icon")
  endif()

  configure_file(${PROJECT_SOURCE_DIR}/packaging/reelwright.1.in
    ${PROJECT_BINARY_DIR}/packaging/reelwright.1 @ONLY)
  rw_compressed_man_page(rw_gui_man ${PROJECT_BINARY_DIR}/packaging/reelwright.1)
endif()

# --- The manual page of reelwright-cli, made from its own --help and --version ----------------------
if(TARGET reelwright-cli)
  find_program(HELP2MAN_EXECUTABLE help2man)
  if(HELP2MAN_EXECUTABLE)
    set(RW_CLI_MAN ${PROJECT_BINARY_DIR}/packaging/reelwright-cli.1)
    add_custom_command(OUTPUT ${RW_CLI_MAN}
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
              ${HELP2MAN_EXECUTABLE} --no-info --section=1
              "--name=convert C&C VQA videos to uncompressed AVI files and back"
              --include=${PROJECT_SOURCE_DIR}/packaging/reelwright-cli.h2m
              --output=${RW_CLI_MAN} $<TARGET_FILE:reelwright-cli>
      DEPENDS reelwright-cli ${PROJECT_SOURCE_DIR}/packaging/reelwright-cli.h2m
      COMMENT "Making the manual page reelwright-cli.1 from reelwright-cli --help"
      VERBATIM)
    rw_compressed_man_page(rw_cli_man ${RW_CLI_MAN})
  else()
    message(WARNING "help2man not found (scripts/bootstrap installs it): "
                    "reelwright-cli.1 will not be made or installed")
  endif()
endif()

# --- Debian package ---------------------------------------------------------------------------------
# scripts/package configures a tree with the prefix /usr and runs CPack in it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${RW_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Reelwright")
set(CPACK_PACKAGE_CONTACT "Reelwright maintainers <maintainers@users.noreply.c-seed-2c50bd8b.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter from C&C VQA videos to uncompressed AVI files")
# The long description: one line per line of the control file, each under 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Reelwright turns the VQA videos of the game C&C (vector-quantised pictures,\n"
  "palettes, LCW compression and IMA ADPCM sound) into uncompressed AVI files\n"
  "that every player and editor reads. The desktop program shows a video's\n"
  "properties and converts it with progress and an estimated finishing time;\n"
  "reelwright-cli converts single files or whole folders.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps. Qt loads its platform plugins at run time,
# which no linker tooling sees, so the one the desktop program cannot start without is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET reelwright)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
include(CPack)
