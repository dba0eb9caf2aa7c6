# A Debian package of the install tree: `cpack -G DEB` in a release build (script/package).
set(CPACK_PACKAGE_NAME korvalen)
set(CPACK_PACKAGE_VENDOR "The Korvalen developers")
set(CPACK_PACKAGE_CONTACT "Korvalen developers <dev@korvalen.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operator panel for one positioning device on a serial port")
set(CPACK_PACKAGE_DESCRIPTION
  "Korvalen is a small desktop operator panel for one positioning device attached to a serial\n\
port. Three sliders set the device ID, a position and a speed; buttons request a feedback\n\
reading, toggle stop and run, and shut the device down. 19200 baud, 8N2, 7-byte frames.")
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
