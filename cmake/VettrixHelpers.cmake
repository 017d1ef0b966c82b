# Every child folder with a CMakeLists.txt joins the build, so each area of the
# tree can add its own targets without editing a shared list.
function(vettrix_add_subdirectories dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
    return()
  endif()
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/${dir} ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${child})
      vettrix_add_subdirectories(${dir}/${child})
    endif()
  endforeach()
endfunction()

# vettrix_add_test(NAME SOURCES... LIBS ...): one GoogleTest program, each case
# registered with CTest. Test data paths reach the tests through definitions.
function(vettrix_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VETTRIX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VETTRIX_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
endfunction()
