# kestrix_add_test_suite(NAME SOURCES file... LIBRARIES target... [OFFSCREEN])
#
# One GoogleTest program, NAME_tests, per test folder. Its tests show in ctest
# as "NAME.<Suite>.<Test>", so a folder's tests run with `ctest -R '^NAME\.'`.
# Every suite learns where the public picture suites lie beside the repository
# (KESTRIX_TESTDATA_DIR); tests that need them skip with a message when absent.
# OFFSCREEN runs the tests on Qt's offscreen platform.
function(kestrix_add_test_suite name)
  cmake_parse_arguments(ARG "OFFSCREEN" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name}_tests ${ARG_SOURCES})
  target_link_libraries(${name}_tests PRIVATE ${ARG_LIBRARIES})
  # GoogleTest's EXPECT macros are an if/else of their own: under an if
  # without braces GCC takes them for a dangling else.
  target_compile_options(${name}_tests PRIVATE -Wno-dangling-else)
  target_compile_definitions(${name}_tests PRIVATE KESTRIX_TESTDATA_DIR="${CMAKE_SOURCE_DIR}/../shared/testdata")
  if(ARG_OFFSCREEN)
    gtest_discover_tests(${name}_tests TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  else()
    gtest_discover_tests(${name}_tests TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
