# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of the Windows build. Included from tests/CMakeLists.txt in place of find_package(GTest).
#
# Debian has no GoogleTest for the target, so it is built here from the googletest package's
# sources with the cross compiler, under the names find_package(GTest) gives on Linux.
#
# Each test executable becomes one ctest test run under Wine, not one per test case:
# gtest_discover_tests would start a Wine process to list the cases at build time and one per
# case at test time. Every test of this build carries the label windows.
set(MELVIGIL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${MELVIGIL_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${MELVIGIL_GTEST_SOURCE} "
                      "(Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${MELVIGIL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# googletest defines GTest::gtest and friends itself; the older names are added here.
foreach(pair gtest:gtest gtest_main:gtest_main gmock:gmock gmock_main:gmock_main gtest:GTest
             gtest_main:Main)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 lib)
  list(GET pair 1 alias)
  if(NOT TARGET GTest::${alias})
    add_library(GTest::${alias} ALIAS ${lib})
  endif()
endforeach()

include(GoogleTest)

# Same signature as CMake's: TARGET [EXTRA_ARGS ...] [WORKING_DIRECTORY dir]
# [TEST_PREFIX p] [TEST_SUFFIX s] [PROPERTIES name value ...] [DISCOVERY_TIMEOUT n] ...
function(gtest_discover_tests TARGET)
  cmake_parse_arguments(PARSE_ARGV 1 arg "NO_PRETTY_TYPES;NO_PRETTY_VALUES"
                        "TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY;TEST_LIST;DISCOVERY_TIMEOUT;XML_OUTPUT_DIR;DISCOVERY_MODE"
                        "EXTRA_ARGS;PROPERTIES;TEST_FILTER")
  set(name ${arg_TEST_PREFIX}${TARGET}${arg_TEST_SUFFIX})
  set(working_dir ${CMAKE_CURRENT_BINARY_DIR})
  if(arg_WORKING_DIRECTORY)
    set(working_dir ${arg_WORKING_DIRECTORY})
  endif()
  set(filter)
  if(arg_TEST_FILTER)
    set(filter --gtest_filter=${arg_TEST_FILTER})
  endif()
  add_test(NAME ${name} COMMAND ${TARGET} ${filter} ${arg_EXTRA_ARGS}
           WORKING_DIRECTORY ${working_dir})
  if(arg_PROPERTIES)
    set_tests_properties(${name} PROPERTIES ${arg_PROPERTIES})
  endif()
  set_property(TEST ${name} APPEND PROPERTY LABELS windows)
  # Wine's first start in a fresh prefix takes several seconds.
  get_test_property(${name} TIMEOUT timeout)
  if(NOT timeout)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  endif()
endfunction()
