# GoogleTest for the unit tests. The native build uses the system package; a cross build
# compiles the sources of the system package for the target (see scripts/build-win32.sh).
if(CMAKE_CROSSCOMPILING AND EXISTS "${HALYARD_GTEST_SOURCE_DIR}/CMakeLists.txt")
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory("${HALYARD_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
  # Our warning flags are not GoogleTest's: build it quietly, and let its headers count as
  # system headers in the tests that include them.
  foreach(gtest_target gtest gtest_main gmock gmock_main)
    target_compile_options(${gtest_target} PRIVATE -w)
    get_target_property(gtest_dirs ${gtest_target} INTERFACE_INCLUDE_DIRECTORIES)
    set_property(TARGET ${gtest_target} APPEND PROPERTY INTERFACE_SYSTEM_INCLUDE_DIRECTORIES
                 ${gtest_dirs})
  endforeach()
  # googletest 1.11 and later define these aliases themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# halyard_add_unit_test(NAME SOURCES... LIBS ...): one test program, its cases registered with CTest.
function(halyard_add_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  # A test that hangs (a pipe opened without a peer, say) fails after two minutes.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
