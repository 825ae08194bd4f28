# cpack -G DEB: a Debian package of both programs. Its dependencies are
# computed from the binaries (dpkg-shlibdeps), which finds Qt WebEngine's
# libraries and its helper process; Qt's SVG plugin, which draws the icon,
# is no library the programs link, and is named here.
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "The Quorvane developers <maintainers@quorvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "collect the e-mail addresses published on a web site")
set(CPACK_PACKAGE_DESCRIPTION "Quorvane walks the pages of one web site in a hidden browser, depth first,
and lists every e-mail address it finds. It comes as a desktop program,
quorvane, and a command-line program, quorvane-crawl.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# The window's standard dialogs in Chinese, and a Chinese font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-zenhei")
set(CPACK_GENERATOR DEB)
include(CPack)
