# Tests of halyard4inst that only Windows can run (under Wine in the cross build): the library
# with the real loader, OLE and process creation. Included by tests/CMakeLists.txt on Windows,
# once the halyard4inst target exists.
#
# Everything is built into one folder, where the tests find it next to their own program:
# halyard4inst.dll (copied), the test server modules testserver_*.dll and testchild.exe.
if(NOT TARGET halyard4inst)
  return()
endif()

set(HALYARD_WIN32_TEST_DIR ${CMAKE_BINARY_DIR}/win32tests)
set(HALYARD_INSTALLSUPPORT_DIR ${PROJECT_SOURCE_DIR}/installsupport)

# Self-registering modules: both entry points return the given code, or are missing.
set(HALYARD_TEST_SERVERS ok fail false none)
set(HALYARD_TEST_SERVER_ok HALYARD_TEST_SERVER_RESULT=S_OK)
set(HALYARD_TEST_SERVER_fail HALYARD_TEST_SERVER_RESULT=E_FAIL)
set(HALYARD_TEST_SERVER_false HALYARD_TEST_SERVER_RESULT=S_FALSE)
set(HALYARD_TEST_SERVER_none HALYARD_TEST_SERVER_NO_ENTRY_POINTS)
foreach(variant ${HALYARD_TEST_SERVERS})
  add_library(testserver_${variant} SHARED ${HALYARD_INSTALLSUPPORT_DIR}/testcomserver_win32.cpp)
  target_compile_definitions(testserver_${variant} PRIVATE ${HALYARD_TEST_SERVER_${variant}})
  # Entry points under their plain names, as the system's loader is asked for them.
  target_link_options(testserver_${variant} PRIVATE -Wl,--kill-at)
  set_target_properties(testserver_${variant} PROPERTIES
    PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${HALYARD_WIN32_TEST_DIR})
endforeach()

add_executable(testchild ${HALYARD_INSTALLSUPPORT_DIR}/testchild_win32.cpp)
set_target_properties(testchild PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${HALYARD_WIN32_TEST_DIR})

halyard_add_unit_test(installsupport_win32_test
  SOURCES
    ${HALYARD_INSTALLSUPPORT_DIR}/registermodule_win32_test.cpp
    ${HALYARD_INSTALLSUPPORT_DIR}/runapplication_win32_test.cpp
  LIBS platform ole32)
target_include_directories(installsupport_win32_test PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(installsupport_win32_test PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${HALYARD_WIN32_TEST_DIR})
foreach(variant ${HALYARD_TEST_SERVERS})
  add_dependencies(installsupport_win32_test testserver_${variant})
endforeach()
add_dependencies(installsupport_win32_test testchild halyard4inst)
add_custom_command(TARGET installsupport_win32_test POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:halyard4inst>
          ${HALYARD_WIN32_TEST_DIR}/halyard4inst.dll)
