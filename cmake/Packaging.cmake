# Debian packages: `cpack -G DEB` in the build folder. Each install component
# becomes one package (CPACK_DEB_COMPONENT_INSTALL): today only `vettrix`,
# giving vettrix_<version>_amd64.deb. A further package is another component
# in CPACK_COMPONENTS_ALL with its CPACK_DEBIAN_<COMPONENT>_* settings.
#
# Dependencies are not listed by hand: dpkg-shlibdeps computes them from the
# shared libraries the installed programs link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vettrix)
set(CPACK_PACKAGE_VENDOR "Vettrix")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vettrix developers <vettrix@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL vettrix)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_VETTRIX_PACKAGE_NAME vettrix)
set(CPACK_DEBIAN_VETTRIX_PACKAGE_SECTION web)
# The programs draw with these fonts and find them through fontconfig, which
# no library link shows.
set(CPACK_DEBIAN_VETTRIX_PACKAGE_RECOMMENDS "fonts-liberation, fonts-wine, fonts-dejavu-core")
set(CPACK_COMPONENT_VETTRIX_DISPLAY_NAME "Vettrix")
set(CPACK_COMPONENT_VETTRIX_DESCRIPTION
  "web page checker for risky content\n\
Vettrix fetches a web page, shows its HTML source and the web server's name,\n\
and lists the risky markers it finds: script, object, applet and embed tags,\n\
forms, pop-up windows, load and mouse handlers, Flash content, and more.\n\
It has a window and a command line (vettrix check), and comes with\n\
torvelbutton, a tool that draws its owner-drawn push button without a window.")

include(CPack)
