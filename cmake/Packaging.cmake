# A Debian package of the install tree: `cpack -G DEB` in a release build (script/package).
set(CPACK_PACKAGE_NAME korvalen)
set(CPACK_PACKAGE_VENDOR "The Korvalen developers")
set(CPACK_PACKAGE_CONTACT "Korvalen developers <dev@korvalen.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operator panel for one positioning device on a serial port")
# Lines under 80 columns, as Debian's tools show them on a terminal.
set(CPACK_PACKAGE_DESCRIPTION
  "Korvalen is a small desktop operator panel for one positioning device\n\
attached to a serial port. Three sliders set the device ID, a position and\n\
a speed; buttons request a feedback reading, toggle stop and run, and shut\n\
the device down. 19200 baud, 8N2, 7-byte frames. korvalen-demo tries the\n\
panel beside a simulated device.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is computed by dpkg-shlibdeps from the binary's own libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts (a message box's button, a field's menu) in the desktop's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_STRIP_FILES ON)
include(CPack)

# What Debian asks of every package beside the program: the license in its machine-readable
# copyright file, and the changelog, compressed as dpkg's own tools would.
include(GNUInstallDirs)
find_program(GZIP gzip REQUIRED)
set(debian_dir ${PROJECT_SOURCE_DIR}/data/debian)
file(STRINGS ${debian_dir}/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^korvalen \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "data/debian/changelog starts with '${changelog_top}', "
    "not with the project's version ${PROJECT_VERSION}: add an entry for it")
endif()
set(changelog_gz ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND ${GZIP} -9nc ${debian_dir}/changelog > ${changelog_gz}
  DEPENDS ${debian_dir}/changelog
  COMMENT "Compressing the changelog")
add_custom_target(korvalen_changelog ALL DEPENDS ${changelog_gz})
install(FILES ${debian_dir}/copyright ${changelog_gz}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvalen)
