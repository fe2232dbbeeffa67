// A self-registering COM server module for the Windows tests of RegisterModule.
//
// Built several times with different definitions:
//   HALYARD_TEST_SERVER_RESULT   the result code that both entry points return
//   HALYARD_TEST_SERVER_NO_ENTRY_POINTS   exports neither DllRegisterServer nor DllUnregisterServer
// Every module counts the calls of its entry points, so that a test that keeps the module loaded
// can see which entry point ran and how often.
#include <windows.h>

namespace {
LONG registerCalls = 0;
LONG unregisterCalls = 0;
}  // namespace

extern "C" {

__declspec(dllexport) LONG TestServerRegisterCalls() {
  return registerCalls;
}
__declspec(dllexport) LONG TestServerUnregisterCalls() {
  return unregisterCalls;
}

#ifndef HALYARD_TEST_SERVER_NO_ENTRY_POINTS
__declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  InterlockedIncrement(&registerCalls);
  return HALYARD_TEST_SERVER_RESULT;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  InterlockedIncrement(&unregisterCalls);
  return HALYARD_TEST_SERVER_RESULT;
}
#endif

}  // extern "C"
