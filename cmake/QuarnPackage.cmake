# Installation and the Debian package: scripts/package (a hardened release build) leaves
# build-release/quarn-eval_<version>-1_<arch>.deb. Everything installs under /usr; the program finds its defaults
# and its manual in ../share/quarn-eval beside its own folder, in the build tree as in the installation.
include(GNUInstallDirs)

set(QUARN_APP_ID org.quarn.QuarnEval)
if(PROJECT_VERSION)
  set(QUARN_VERSION ${PROJECT_VERSION})
else()
  set(QUARN_VERSION 1.3.0)
endif()
set(QUARN_RELEASE_DATE 2026-12-10 CACHE STRING "Date of this version, for the AppStream metadata")
set(QUARN_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(QUARN_SHARE ${CMAKE_INSTALL_DATADIR}/quarn-eval)

# gzip -9n: compressed as Debian wants its manual pages and changelogs, without a time stamp inside.
set(QUARN_DOC ${CMAKE_INSTALL_DATADIR}/doc/quarn-eval)
set(compressed)
function(quarn_gzip input output)
  add_custom_command(OUTPUT ${output} COMMAND sh -c "gzip -9n -c '${input}' > '${output}'" DEPENDS ${input}
                     VERBATIM)
  set(compressed ${compressed} ${output} PARENT_SCOPE)
endfunction()

# Programs and their manual pages; those of folders left out of QUARN_DIRS are skipped.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging/man)
set(man_pages)
foreach(program quarn-eval quarn-sensor-sim quarn-record quarn-analyze)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    list(APPEND man_pages ${program})
  endif()
endforeach()
if(TARGET quarn-record)
  list(APPEND man_pages quarn-record-batch)
endif()
foreach(page ${man_pages})
  quarn_gzip(${QUARN_PACKAGING}/man/${page}.1 ${CMAKE_BINARY_DIR}/packaging/man/${page}.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# /usr/share/doc/quarn-eval: the machine-readable copyright, the Debian changelog, and the recorder's and the
# analyzer's pages that the manual pages point to, and the lab set-up the recorder's page links.
install(FILES ${QUARN_PACKAGING}/debian/copyright DESTINATION ${QUARN_DOC})
install(FILES ${QUARN_PACKAGING}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quarn-eval)
configure_file(${QUARN_PACKAGING}/debian/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
quarn_gzip(${CMAKE_BINARY_DIR}/packaging/changelog.Debian ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION ${QUARN_DOC})
install(FILES ${PROJECT_SOURCE_DIR}/docs/recorder.md ${PROJECT_SOURCE_DIR}/docs/lab.md ${PROJECT_SOURCE_DIR}/docs/analyze.md
        DESTINATION ${QUARN_DOC})
add_custom_target(quarn_compressed_docs ALL DEPENDS ${compressed})

# The defaults an installed program copies into the user's folder at its first start.
install(FILES ${PROJECT_SOURCE_DIR}/config/criteria.ini ${PROJECT_SOURCE_DIR}/console/commands.ini
        DESTINATION ${QUARN_SHARE})

if(TARGET quarn-record)
  # The unit of the source tree starts the build tree's recorder; the installed one starts the installed.
  file(READ ${QUARN_PACKAGING}/quarn-record@.service unit)
  string(REPLACE "%h/quarn/build/bin/quarn-record" "/usr/bin/quarn-record" unit "${unit}")
  string(REPLACE "file://%h/quarn/docs/recorder.md" "man:quarn-record(1)" unit "${unit}")
  string(REPLACE "# Change ExecStart to where quarn-record is installed and to the interval and folder of the batch.\n"
                 "" unit "${unit}")
  string(REPLACE "#   cp quarn-record@.service ~/.config/systemd/user/\n#   systemctl --user daemon-reload\n" "" unit
                 "${unit}")
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/quarn-record@.service "${unit}")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/quarn-record@.service DESTINATION lib/systemd/user)
  # Beside the build tree's recorder too, with its version filled in.
  configure_file(${QUARN_PACKAGING}/record-batch ${CMAKE_BINARY_DIR}/bin/quarn-record-batch @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                  WORLD_EXECUTE)
  install(PROGRAMS ${CMAKE_BINARY_DIR}/bin/quarn-record-batch DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The conventions every program keeps, run on the build tree's programs.
if(BUILD_TESTING AND TARGET quarn-record AND TARGET quarn-analyze AND TARGET quarn-eval AND TARGET quarn-sensor-sim)
  quarn_add_test(command_line_tests SOURCES ${QUARN_PACKAGING}/tests/CommandLineTest.cpp)
  add_dependencies(command_line_tests quarn-record quarn-analyze quarn-eval)
  target_compile_definitions(command_line_tests PRIVATE
    QUARN_VERSION="${QUARN_VERSION}" QUARN_RECORD_PATH="$<TARGET_FILE:quarn-record>"
    QUARN_ANALYZE_PATH="$<TARGET_FILE:quarn-analyze>" QUARN_EVAL_PATH="$<TARGET_FILE:quarn-eval>"
    QUARN_RECORD_BATCH_PATH="${CMAKE_BINARY_DIR}/bin/quarn-record-batch")
endif()

# Desktop entry, AppStream metadata and icon: the drawn SVG and the PNG sizes of a menu, rendered here.
install(FILES ${QUARN_PACKAGING}/${QUARN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${QUARN_PACKAGING}/${QUARN_APP_ID}.metainfo.xml ${CMAKE_BINARY_DIR}/packaging/${QUARN_APP_ID}.metainfo.xml
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${QUARN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QUARN_PACKAGING}/icons/quarn-eval.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${QUARN_APP_ID}.svg)
find_program(QUARN_RSVG_CONVERT rsvg-convert REQUIRED)
set(icons)
foreach(size 16 22 24 32 48 64 128 256)
  set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}/${QUARN_APP_ID}.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}
    COMMAND ${QUARN_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${QUARN_PACKAGING}/icons/quarn-eval.svg
    DEPENDS ${QUARN_PACKAGING}/icons/quarn-eval.svg
    COMMENT "Rendering the ${size}x${size} icon")
  list(APPEND icons ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(quarn_icons ALL DEPENDS ${icons})

# The manual, also beside the build tree's program so that Help finds it there.
file(GLOB_RECURSE manual_files CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/docs/manual
     ${PROJECT_SOURCE_DIR}/docs/manual/*)
set(manual_copies)
foreach(file ${manual_files})
  set(copy ${CMAKE_BINARY_DIR}/${QUARN_SHARE}/manual/${file})
  add_custom_command(OUTPUT ${copy} COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/manual/${file} ${copy}
                     DEPENDS ${PROJECT_SOURCE_DIR}/docs/manual/${file})
  list(APPEND manual_copies ${copy})
endforeach()
add_custom_target(quarn_manual ALL DEPENDS ${manual_copies})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/manual/ DESTINATION ${QUARN_SHARE}/manual)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarn-eval)
set(CPACK_PACKAGE_VERSION ${QUARN_VERSION})
# A Debian revision: the package is not native, its changelog is changelog.Debian.gz.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_VENDOR "QUARN")
set(CPACK_PACKAGE_CONTACT "QUARN Evaluation Software maintainers <maintainers@quarn.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Evaluate and service QUARN infrared gas sensors")
set(CPACK_PACKAGE_DESCRIPTION
    "A bench tool for a QUARN infrared gas sensor on a USB-to-UART converter:
identify the sensor, measure with a live chart and table, record data files,
review and export saved runs, calibrate with zero and span gas, a raw command
console, and sending to support by e-mail or FTP. With a recorder without a
window, an analyzer for saved runs and a simulated sensor.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quarn.invalid/")
set(CPACK_STRIP_FILES ON)
include(CPack)
