# Installing and packaging: `cmake --install` (any prefix) and a Debian package through CPack.
#
#   bin/                                      reelwright, reelwright-cli
#   share/reelwright/                         intro.wav (run-time files of the desktop program)
#   share/applications/<id>.desktop           menu entry, opening VQA videos
#   share/metainfo/<id>.metainfo.xml          AppStream metadata (releases from CHANGELOG.md)
#   share/mime/packages/reelwright.xml        the VQA file type
#   share/thumbnailers/reelwright.thumbnailer pictures of VQA videos for file managers
#   share/icons/hicolor/<n>x<n>/apps/         reelwright.png, made at build time from app/assets
#   share/man/man1/                           reelwright-cli.1.gz (from its --help), reelwright.1.gz
#   share/doc/reelwright/                     README.md, changelog.gz, LICENSE (a Debian package:
#                                             copyright, the same licence in DEP-5 form, and
#                                             changelog.Debian.gz)
#
# <id> is the application id io.github.reelwright.Reelwright.
# Every rule is guarded, so the file is harmless while a target or a tool is missing.
include(GNUInstallDirs)

set(RW_PACKAGE_NAME reelwright)
set(RW_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/${RW_PACKAGE_NAME}")
set(RW_INSTALL_FULL_DATADIR "${CMAKE_INSTALL_FULL_DATADIR}/${RW_PACKAGE_NAME}")
set(RW_ICON_SIZES 16 32 48 64 128 256)
set(RW_APP_ID io.github.reelwright.Reelwright)
set(RW_HOMEPAGE "https://github.com/reelwright/reelwright")
set(RW_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/${RW_PACKAGE_NAME}")
set(RW_INSTALL_FULL_DOCDIR "${CMAKE_INSTALL_FULL_DATAROOTDIR}/doc/${RW_PACKAGE_NAME}")
option(RW_DEBIAN_DOCS "Install the licence as Debian's DEP-5 copyright file instead of LICENSE" OFF)

# --- Where the programs look for their run-time files ---------------------------------------------
# The data folder relative to the executable's folder makes an installed tree relocatable
# (`cmake --install --prefix` elsewhere, or a moved copy); the full path is the fallback.
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_DATADIR}")
  set(RW_DATA_DIR_FROM_BIN "")
else()
  file(RELATIVE_PATH RW_DATA_DIR_FROM_BIN "${CMAKE_INSTALL_FULL_BINDIR}" "${RW_INSTALL_FULL_DATADIR}")
endif()
if(TARGET rw_base)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/platform/data_paths.cpp
    DIRECTORY ${PROJECT_SOURCE_DIR}/platform
    PROPERTIES COMPILE_DEFINITIONS
      "RW_DATA_DIR_FROM_BIN=\"${RW_DATA_DIR_FROM_BIN}\";RW_INSTALLED_DATA_DIR=\"${RW_INSTALL_FULL_DATADIR}\"")
endif()

# The About box names the installed README, found from the executable's folder as the data folder is.
if(TARGET rw_app)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_DATAROOTDIR}")
    set(RW_DOC_DIR_FROM_BIN "")
  else()
    file(RELATIVE_PATH RW_DOC_DIR_FROM_BIN "${CMAKE_INSTALL_FULL_BINDIR}" "${RW_INSTALL_FULL_DOCDIR}")
  endif()
  target_compile_definitions(rw_app PRIVATE RW_DOC_DIR_FROM_BIN="${RW_DOC_DIR_FROM_BIN}"
                                            RW_INSTALLED_DOC_DIR="${RW_INSTALL_FULL_DOCDIR}")
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

# --- The changelog: its newest version must be the project's, so that the changelog, the metadata,
# the package and the programs' --version agree --------------------------------------------------
set(RW_CHANGELOG ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${RW_CHANGELOG})
# (A heading "## [x.y.z] - unreleased" above it gathers what the next version brings.)
file(STRINGS ${RW_CHANGELOG} RW_NEWEST_RELEASE REGEX "^## \\[[0-9.]+\\] - [0-9]" LIMIT_COUNT 1)
if(NOT RW_NEWEST_RELEASE MATCHES "^## \\[([0-9.]+)\\] - ([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$"
   OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "CHANGELOG.md: the newest version is \"${RW_NEWEST_RELEASE}\", "
                      "but the project's version is ${PROJECT_VERSION}")
endif()
set(RW_RELEASE_YEAR ${CMAKE_MATCH_2})
set(RW_RELEASE_MONTH ${CMAKE_MATCH_3})
set(RW_RELEASE_DAY ${CMAKE_MATCH_4})

# Its date as RFC 2822 writes it, with the day of the week (Sakamoto's method).
function(rw_rfc2822_date out year month day)
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  math(EXPR m "1${month} - 101")  # 0-based; the leading 1 keeps "08" from reading as octal
  math(EXPR d "1${day} - 100")
  list(GET offsets ${m} offset)
  set(y ${year})
  if(m LESS 2)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR w "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${d}) % 7")
  list(GET weekdays ${w} weekday)
  list(GET months ${m} name)
  set(${out} "${weekday}, ${day} ${name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()
rw_rfc2822_date(RW_RELEASE_DATE_RFC2822 ${RW_RELEASE_YEAR} ${RW_RELEASE_MONTH} ${RW_RELEASE_DAY})

# The AppStream metadata, its releases made from CHANGELOG.md.
function(rw_appstream_metadata)
  find_program(AWK_EXECUTABLE NAMES awk mawk gawk REQUIRED)
  execute_process(
    COMMAND ${AWK_EXECUTABLE} -f ${PROJECT_SOURCE_DIR}/packaging/appstream-releases.awk ${RW_CHANGELOG}
    OUTPUT_VARIABLE RW_APPSTREAM_RELEASES OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  # The README's picture, served from the repository.
  string(REPLACE "https://github.com/" "https://raw.githubusercontent.com/" RW_SCREENSHOT_URL
                 "${RW_HOMEPAGE}/main/docs/images/main-dialog.png")
  set(metainfo ${PROJECT_BINARY_DIR}/packaging/${RW_APP_ID}.metainfo.xml)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${RW_APP_ID}.metainfo.xml.in ${metainfo} @ONLY)
  install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endfunction()

# --- Programs and run-time files ------------------------------------------------------------------
foreach(program reelwright reelwright-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET reelwright)
  install(FILES ${PROJECT_SOURCE_DIR}/app/assets/intro.wav DESTINATION ${RW_INSTALL_DATADIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/${RW_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  rw_appstream_metadata()

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

# The VQA file type, and its thumbnailer: file managers call reelwright-cli for a picture of each
# VQA video.
if(TARGET reelwright-cli)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/reelwright-vqa.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME reelwright.xml)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/reelwright.thumbnailer
    DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
endif()

# --- Documentation: the README, the changelog and the licence ----------------------------------
# changelog.gz is CHANGELOG.md, compressed as Debian wants it (gzip -n keeps the build
# reproducible). A Debian package also carries its own changelog.Debian.gz and has the licence as
# the DEP-5 copyright file.
function(rw_compressed_doc target source name)
  set(copy ${PROJECT_BINARY_DIR}/packaging/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND gzip -9 -n -f ${copy}
    DEPENDS ${source}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${copy}.gz)
  install(FILES ${copy}.gz DESTINATION ${RW_INSTALL_DOCDIR})
endfunction()

set(RW_MAINTAINER "Reelwright maintainers <maintainers@users.noreply.c-seed-2c50bd8b.example>")
set(RW_DEBIAN_REVISION 1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${RW_INSTALL_DOCDIR})
rw_compressed_doc(rw_changelog ${RW_CHANGELOG} changelog)
if(RW_DEBIAN_DOCS)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in
    ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.in @ONLY)
  rw_compressed_doc(rw_debian_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.in
    changelog.Debian)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${RW_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${RW_PACKAGE_NAME})
else()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${RW_INSTALL_DOCDIR})
endif()

# --- Debian package ---------------------------------------------------------------------------------
# scripts/package configures a tree with the prefix /usr and runs CPack in it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${RW_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The package's own revision: built from the project's release, it is not a native Debian package.
set(CPACK_DEBIAN_PACKAGE_RELEASE ${RW_DEBIAN_REVISION})
set(CPACK_PACKAGE_VENDOR "Reelwright")
set(CPACK_PACKAGE_CONTACT ${RW_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter from C&C VQA videos to uncompressed AVI files")
# The long description: one line per line of the control file, each under 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Reelwright turns the VQA videos of the game C&C (vector-quantised pictures,\n"
  "palettes, LCW compression and IMA ADPCM sound) into uncompressed AVI files\n"
  "that every player and editor reads. The desktop program shows a video's\n"
  "properties and converts it with progress and an estimated finishing time;\n"
  "reelwright-cli converts single files or whole folders.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# Programs are stripped as Debian's dh_strip does it, notes and comments included.
set(CPACK_STRIP_FILES OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/strip-programs.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${RW_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps. Qt loads its platform plugins at run time,
# which no linker tooling sees, so the one the desktop program cannot start without is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET reelwright)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
include(CPack)
