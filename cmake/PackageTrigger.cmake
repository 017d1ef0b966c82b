# cpack's post-build step for the button library's packages: CPack (3.25)
# gives a package with a shared library under /usr/lib maintainer scripts
# that call ldconfig. Debian runs ldconfig through the trigger the package
# declares (its control file `triggers`, "activate-noawait ldconfig"), so
# those scripts come out of the runtime package again; nothing else in the
# package changes.
foreach(file IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name "${file}" NAME)
  if(NOT name MATCHES "^${CPACK_VX_TRIGGER_PACKAGE}_.*\\.deb$")
    continue()
  endif()
  set(tree "${file}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${file}" "${tree}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot unpack ${file} (dpkg-deb: ${status})")
  endif()
  if(NOT EXISTS "${tree}/DEBIAN/triggers")
    message(FATAL_ERROR "${name} has no triggers file to run ldconfig with")
  endif()
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b "${tree}" "${file}"
    OUTPUT_QUIET RESULT_VARIABLE status)
  file(REMOVE_RECURSE "${tree}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot pack ${file} again (dpkg-deb: ${status})")
  endif()
endforeach()
