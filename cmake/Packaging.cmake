# Debian packages: `cpack -G DEB` in the build folder makes all of them. Each
# install component becomes one package (CPACK_DEB_COMPONENT_INSTALL):
#   vettrix                        vettrix_<version>_<arch>.deb
#   libtorvelbutton                libtorvelbutton1_<library version>_<arch>.deb
#   libtorvelbutton-dev            libtorvelbutton-dev_<library version>_<arch>.deb
#   torvelbutton-designer          torvelbutton-designer-plugin_<library version>_<arch>.deb
#
# Dependencies are not listed by hand: dpkg-shlibdeps computes them from the
# shared libraries the installed programs and libraries link.
#
# One cpack run gives all its packages one version (CMake 3.25 has no version
# per component), and the button library's packages carry the library's
# version, not the program's. So CPackConfig.cmake makes the program's
# package and then, as its post-build step, runs cpack again on
# CPackTorvelButtonConfig.cmake: the same settings with the library's
# version and components.
include(GNUInstallDirs)
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

# The fonts the button draws its captions with, found through fontconfig,
# which no library link shows.
set(vettrix_fonts "fonts-liberation, fonts-wine, fonts-dejavu-core")

set(CPACK_DEBIAN_VETTRIX_PACKAGE_NAME vettrix)
set(CPACK_DEBIAN_VETTRIX_PACKAGE_SECTION web)
set(CPACK_DEBIAN_VETTRIX_PACKAGE_RECOMMENDS "${vettrix_fonts}")
set(CPACK_COMPONENT_VETTRIX_DISPLAY_NAME "Vettrix")
set(CPACK_COMPONENT_VETTRIX_DESCRIPTION
  "web page checker for risky content\n\
Vettrix fetches a web page, shows its HTML source and the web server's name,\n\
and lists the risky markers it finds: script, object, applet and embed tags,\n\
forms, pop-up windows, load and mouse handlers, Flash content, and more.\n\
It has a window and a command line (vettrix check), and comes with\n\
torvelbutton, a tool that draws its owner-drawn push button without a window.")

# The button library. The runtime package is named for the SONAME, so a
# library with a new major version installs beside this one; everything
# whose name does not carry the SONAME (headers, the namelink, the CMake and
# pkg-config files, the Designer plugin) therefore lives in other packages.
set(torvelbutton_package libtorvelbutton${TORVELBUTTON_VERSION_MAJOR})
set(torvelbutton_about "\
TorvelButton is an owner-drawn push button for Qt 6 Widgets programs,\n\
drawn pixel by pixel in eight looks, with colour schemes, captions with\n\
access keys, icons, option groups, hover and shaped windows.")

set(CPACK_DEBIAN_LIBTORVELBUTTON_PACKAGE_NAME ${torvelbutton_package})
set(CPACK_DEBIAN_LIBTORVELBUTTON_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBTORVELBUTTON_PACKAGE_RECOMMENDS "${vettrix_fonts}")
set(CPACK_COMPONENT_LIBTORVELBUTTON_DESCRIPTION
  "owner-drawn push button widget for Qt 6 - shared library\n${torvelbutton_about}\n\
This package holds the shared library programs using the button need.")

set(CPACK_DEBIAN_LIBTORVELBUTTON-DEV_PACKAGE_NAME libtorvelbutton-dev)
set(CPACK_DEBIAN_LIBTORVELBUTTON-DEV_PACKAGE_SECTION libdevel)
# The package's CMake file finds Qt6 Widgets and its pkg-config file
# requires Qt6Widgets: both come with qt6-base-dev. The library package,
# at this very version, comes from the component dependency below.
set(CPACK_COMPONENT_LIBTORVELBUTTON-DEV_DEPENDS libtorvelbutton)
set(CPACK_DEBIAN_LIBTORVELBUTTON-DEV_PACKAGE_DEPENDS qt6-base-dev)
set(CPACK_COMPONENT_LIBTORVELBUTTON-DEV_DESCRIPTION
  "owner-drawn push button widget for Qt 6 - development files\n${torvelbutton_about}\n\
This package holds the headers, the CMake package\n\
(find_package(TorvelButton) giving TorvelButton::Widgets) and the\n\
pkg-config file (torvelbutton) for building programs with the button.")

# The Designer plugin is a package of its own: it is for designing forms,
# not for running programs, and it pulls in Qt Designer's libraries.
set(CPACK_DEBIAN_TORVELBUTTON-DESIGNER_PACKAGE_NAME torvelbutton-designer-plugin)
set(CPACK_DEBIAN_TORVELBUTTON-DESIGNER_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_TORVELBUTTON-DESIGNER_PACKAGE_ENHANCES designer-qt6)
set(CPACK_COMPONENT_TORVELBUTTON-DESIGNER_DESCRIPTION
  "owner-drawn push button widget for Qt 6 - Qt Designer plugin\n${torvelbutton_about}\n\
This package puts the button in Qt Designer's widget box, under Vettrix,\n\
and lets QUiLoader create it from forms.")

# What Debian asks of every package: /usr/share/doc/PACKAGE/copyright in its
# machine-readable format, and the changelog under the name lintian expects
# for a native version (no Debian revision): changelog.gz, compressed
# without a name or time so that the same text gives the same bytes. The
# maintainer named in both is CPACK_PACKAGE_CONTACT above, the one place it
# is set.
set(package_docs ${CMAKE_BINARY_DIR}/packaging/doc)
configure_file(${PROJECT_SOURCE_DIR}/docs/packaging/copyright.in ${package_docs}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/docs/packaging/changelog.in ${package_docs}/changelog @ONLY)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(OUTPUT ${package_docs}/changelog.gz
  COMMAND Python3::Interpreter -c
    "import gzip,sys; open(sys.argv[2],'wb').write(gzip.compress(open(sys.argv[1],'rb').read(),9,mtime=0))"
    ${package_docs}/changelog ${package_docs}/changelog.gz
  DEPENDS ${package_docs}/changelog
  COMMENT "Debian changelog" VERBATIM)
add_custom_target(vettrix_package_docs ALL DEPENDS ${package_docs}/changelog.gz)
foreach(component_package
    "vettrix=vettrix"
    "libtorvelbutton=${torvelbutton_package}"
    "libtorvelbutton-dev=libtorvelbutton-dev"
    "torvelbutton-designer=torvelbutton-designer-plugin")
  string(REPLACE "=" ";" pair "${component_package}")
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${package_docs}/copyright ${package_docs}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# The window program's AppStream metainfo, for software centres. Its id is
# reverse-DNS, as AppStream asks; like the maintainer address it is a
# placeholder until the project has a domain.
set(VETTRIX_APPSTREAM_ID org.vettrix.vettrix)
configure_file(${PROJECT_SOURCE_DIR}/app/data/vettrix.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/packaging/${VETTRIX_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${VETTRIX_APPSTREAM_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT vettrix)

# The second configuration, for the library's packages.
set(CPACK_VX_CPACK_COMMAND ${CMAKE_CPACK_COMMAND})
set(CPACK_VX_LIBRARY_CONFIG ${CMAKE_BINARY_DIR}/CPackTorvelButtonConfig.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageLibrary.cmake)

# dpkg-shlibdeps computes the plugin's dependency on the library from the
# library's shlibs file, which it reads from a package build tree: a folder
# with DEBIAN/shlibs and the library below it. This one holds the same line
# CPack writes into the library package's shlibs file.
set(shlibs_tree ${CMAKE_BINARY_DIR}/packaging/${torvelbutton_package})
set(torvelbutton_shlibs
  "libtorvelbutton ${TORVELBUTTON_VERSION_MAJOR} ${torvelbutton_package} (>= ${TORVELBUTTON_VERSION})")
file(WRITE ${shlibs_tree}/DEBIAN/shlibs "${torvelbutton_shlibs}\n")
file(MAKE_DIRECTORY ${shlibs_tree}/lib)
file(CREATE_LINK ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/libtorvelbutton.so.${TORVELBUTTON_VERSION_MAJOR}
  ${shlibs_tree}/lib/libtorvelbutton.so.${TORVELBUTTON_VERSION_MAJOR} SYMBOLIC)

file(CONFIGURE OUTPUT ${CPACK_VX_LIBRARY_CONFIG} @ONLY CONTENT [[
# The button library's packages: CPackConfig.cmake's settings with the
# library's version and components (see cmake/Packaging.cmake).
include("${CMAKE_CURRENT_LIST_DIR}/CPackConfig.cmake")
set(CPACK_PACKAGE_NAME torvelbutton)
set(CPACK_PACKAGE_VERSION "@TORVELBUTTON_VERSION@")
set(CPACK_PACKAGE_FILE_NAME "torvelbutton-@TORVELBUTTON_VERSION@-Linux")
set(CPACK_COMPONENTS_ALL libtorvelbutton libtorvelbutton-dev torvelbutton-designer)
# Built from the same tree as the program, whose version differs.
set(CPACK_DEBIAN_PACKAGE_SOURCE "vettrix (@PROJECT_VERSION@)")
# A shlibs control file, so that packages built against the library depend
# on a version at least as new as the one they were built with.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "@shlibs_tree@/lib")
# The library's ldconfig runs through dpkg's trigger, as Debian asks, not
# through the maintainer scripts CPack writes for it (see
# cmake/PackageTrigger.cmake, which takes those out again).
set(CPACK_DEBIAN_LIBTORVELBUTTON_PACKAGE_CONTROL_EXTRA "@PROJECT_SOURCE_DIR@/docs/packaging/triggers")
set(CPACK_VX_TRIGGER_PACKAGE "@torvelbutton_package@")
set(CPACK_POST_BUILD_SCRIPTS "@PROJECT_SOURCE_DIR@/cmake/PackageTrigger.cmake")
# A staging folder of its own: this run starts while the first one has yet
# to copy its package out of the shared one.
set(CPACK_TOPLEVEL_TAG "${CPACK_TOPLEVEL_TAG}-torvelbutton")
]])

include(CPack)
