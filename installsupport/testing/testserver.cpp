// A self-registering module for the tests of RegisterModule. Built several times with different
// definitions:
//   TESTSERVER_NAME               the name in the lines it records ("server" by default)
//   TESTSERVER_RESULT             the result code that the entry points return (S_OK by default)
//   TESTSERVER_REGISTER_ONLY      leaves DllUnregisterServer out
//   TESTSERVER_NO_ENTRY_POINTS    leaves both entry points out
//   TESTSERVER_FAULT              the entry points write to address 0 after recording their line
// Each entry point that runs appends "<TESTSERVER_NAME> <entry point>" as a line to the file named
// by HALYARD_TEST_LOG (when set).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#ifndef TESTSERVER_NAME
#define TESTSERVER_NAME "server"
#endif
#ifndef TESTSERVER_RESULT
#define TESTSERVER_RESULT S_OK
#endif

#ifndef TESTSERVER_NO_ENTRY_POINTS
namespace {

void Record(const char* entryPoint) {
  const char* log = std::getenv("HALYARD_TEST_LOG");
  if (log == nullptr) return;
  std::FILE* file = std::fopen(log, "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s %s\n", TESTSERVER_NAME, entryPoint);
  std::fclose(file);
}

// With TESTSERVER_FAULT, an access violation that nothing in the module handles. The address is
// read at run time, so that the compiler keeps the store as it stands.
void FaultWhenBuiltTo() {
#ifdef TESTSERVER_FAULT
  static volatile uintptr_t address = 0;
  *reinterpret_cast<volatile int*>(address) = 1;
#endif
}

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  Record("DllRegisterServer");
  FaultWhenBuiltTo();
  return TESTSERVER_RESULT;
}
#ifndef TESTSERVER_REGISTER_ONLY
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  Record("DllUnregisterServer");
  FaultWhenBuiltTo();
  return TESTSERVER_RESULT;
}
#endif

}  // extern "C"
#endif
