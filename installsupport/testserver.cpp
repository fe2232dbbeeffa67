// A self-registering module for the tests. Each entry point appends "<TESTSERVER_NAME> <entry
// point>" as a line to the file named by HALYARD_TEST_LOG and returns TESTSERVER_RESULT.
// TESTSERVER_REGISTER_ONLY leaves DllUnregisterServer out; TESTSERVER_NO_ENTRY_POINTS both.
#include <cstdio>
#include <cstdlib>

#include "platform/wintypes.h"

#ifndef TESTSERVER_NAME
#define TESTSERVER_NAME "server"
#endif
#ifndef TESTSERVER_RESULT
#define TESTSERVER_RESULT S_OK
#endif

namespace {

void Record(const char* entryPoint) {
  const char* log = std::getenv("HALYARD_TEST_LOG");
  if (log == nullptr) return;
  std::FILE* file = std::fopen(log, "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s %s\n", TESTSERVER_NAME, entryPoint);
  std::fclose(file);
}

}  // namespace

#ifdef TESTSERVER_NO_ENTRY_POINTS
// Something to export, so that the module is an ordinary library.
extern "C" int TestServerVersion() {
  Record("TestServerVersion");
  return 1;
}
#else
extern "C" HRESULT WINAPI DllRegisterServer() {
  Record("DllRegisterServer");
  return TESTSERVER_RESULT;
}
#ifndef TESTSERVER_REGISTER_ONLY
extern "C" HRESULT WINAPI DllUnregisterServer() {
  Record("DllUnregisterServer");
  return TESTSERVER_RESULT;
}
#endif
#endif
