# The Debian package: `scripts/ovx package` -> build/ovextar_<version>_amd64.deb.
# Its dependencies come from the built binaries (dpkg-shlibdeps, package dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovextar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ovextar developers")
set(CPACK_PACKAGE_CONTACT "ovextar developers <ovextar@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "service and monitoring tool for the O-VEX-TAR sensor controller")
set(CPACK_PACKAGE_DESCRIPTION
    "Opens the RS-232 line to an O-VEX-TAR sensor controller, reads and writes its parameters,\n\
shows its live values in a strip chart, reads its data curve and programs its linearisation\n\
table. Includes ovextar-sim, a virtual controller on a pseudo-terminal, so that the tool can\n\
be tried without hardware; a menu entry of its own starts the tool on it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
include(CPack)
