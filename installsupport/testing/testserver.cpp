// A self-registering module for the tests of RegisterModule, on Linux and on Windows. Built
// several times with different definitions:
//   TESTSERVER_NAME               the name in the lines it records ("server" by default)
//   TESTSERVER_RESULT             the result code that the entry points return (S_OK by default)
//   TESTSERVER_REGISTER_ONLY      leaves DllUnregisterServer out
//   TESTSERVER_NO_ENTRY_POINTS    leaves both entry points out
// Each entry point that runs appends "<TESTSERVER_NAME> <entry point>" as a line to the file named
// by HALYARD_TEST_LOG (when set) and counts its call, so that a test that keeps the module loaded
// can read the counts through TestServerRegisterCalls and TestServerUnregisterCalls.
#include <cstdio>
#include <cstdlib>

#include "platform/wintypes.h"

#ifndef TESTSERVER_NAME
#define TESTSERVER_NAME "server"
#endif
#ifndef TESTSERVER_RESULT
#define TESTSERVER_RESULT S_OK
#endif

#ifdef _WIN32
#define TESTSERVER_EXPORT __declspec(dllexport)
#else
#define TESTSERVER_EXPORT __attribute__((visibility("default")))
#endif

namespace {

LONG registerCalls = 0;
LONG unregisterCalls = 0;

#ifndef TESTSERVER_NO_ENTRY_POINTS
void Record(const char* entryPoint) {
  const char* log = std::getenv("HALYARD_TEST_LOG");
  if (log == nullptr) return;
  std::FILE* file = std::fopen(log, "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s %s\n", TESTSERVER_NAME, entryPoint);
  std::fclose(file);
}
#endif

}  // namespace

extern "C" {

TESTSERVER_EXPORT LONG TestServerRegisterCalls() {
  return registerCalls;
}
TESTSERVER_EXPORT LONG TestServerUnregisterCalls() {
  return unregisterCalls;
}

#ifndef TESTSERVER_NO_ENTRY_POINTS
TESTSERVER_EXPORT HRESULT WINAPI DllRegisterServer() {
  ++registerCalls;
  Record("DllRegisterServer");
  return TESTSERVER_RESULT;
}
#ifndef TESTSERVER_REGISTER_ONLY
TESTSERVER_EXPORT HRESULT WINAPI DllUnregisterServer() {
  ++unregisterCalls;
  Record("DllUnregisterServer");
  return TESTSERVER_RESULT;
}
#endif
#endif

}  // extern "C"
