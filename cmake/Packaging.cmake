# The Debian package "kestrow": whatever the install rules put in (the panel, kestrowctl where it
# is built with its bash, zsh and fish completions, the man pages, the desktop entry and the
# icon). Its library dependencies, the Qt runtime among them, are found by dpkg-shlibdeps.
# scripts/package builds it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrow)
set(CPACK_PACKAGE_VENDOR "Kestrow")
set(CPACK_PACKAGE_CONTACT "Kestrow panel developers <panel@kestrow.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control panel for the Kestrow video scaler box")
set(CPACK_PACKAGE_DESCRIPTION "Reads the box's state over its USB serial port, sends quick \
output commands, changes its settings and writes new firmware into it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # kestrow_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
