# cpack's post-build step (CPACK_POST_BUILD_SCRIPTS): makes the button
# library's packages, from CPackTorvelButtonConfig.cmake, with the same
# generator and into the same folder as the packages just made.
execute_process(
  COMMAND "${CPACK_VX_CPACK_COMMAND}" --config "${CPACK_VX_LIBRARY_CONFIG}"
          -G "${CPACK_GENERATOR}" -B "${CPACK_PACKAGE_DIRECTORY}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the button library's packages were not made (cpack: ${status})")
endif()
