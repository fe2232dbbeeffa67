// The RegisterModule export over the system's own services.
#include <ole2.h>
#include <windows.h>

#include "installsupport/halyard4inst.h"
#include "installsupport/registration.h"

namespace {

using installsupport::EntryPoint;
using installsupport::ModuleHandle;

// The core passes the system's own values.
static_assert(installsupport::kFailCriticalErrors == SEM_FAILCRITICALERRORS, "error mode");
static_assert(installsupport::kEchoBoxStyle == (MB_OK | MB_ICONINFORMATION), "echo box style");
static_assert(installsupport::kResultBoxStyle == (MB_OK | MB_TASKMODAL | MB_ICONINFORMATION),
              "result box style");

// The library's message buffer: the last result message, kept from load to unload.
char messageBuffer[installsupport::kTextSize];

HMODULE SystemModule(ModuleHandle module) {
  return reinterpret_cast<HMODULE>(module);
}

class CSystemServices : public installsupport::IRegistrationSystem {
 public:
  HRESULT InitializeOle() override { return OleInitialize(nullptr); }
  void UninitializeOle() override { OleUninitialize(); }
  void SetErrorModeTo(UINT mode) override { SetErrorMode(mode); }
  ModuleHandle LoadModule(const char* name) override {
    return reinterpret_cast<ModuleHandle>(
        LoadLibraryExA(name, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  }
  DWORD LastError() override { return GetLastError(); }
  EntryPoint FindEntryPoint(ModuleHandle module, const char* name) override {
    return reinterpret_cast<EntryPoint>(GetProcAddress(SystemModule(module), name));
  }
  HRESULT CallEntryPoint(EntryPoint entryPoint) override {
    typedef HRESULT(WINAPI * SelfRegistration)();
    return reinterpret_cast<SelfRegistration>(entryPoint)();
  }
  void UnloadModule(ModuleHandle module) override { FreeLibrary(SystemModule(module)); }
  void ShowMessageBox(const char* text, const char* caption, UINT style) override {
    MessageBoxA(nullptr, text, caption, style);
  }
  bool IsLeadByte(unsigned char byte) override { return IsDBCSLeadByte(byte) != FALSE; }
};

}  // namespace

extern "C" int WINAPI RegisterModule(LPCSTR ModuleName, LPCSTR chRegister, LPCSTR chVerbose,
                                     LPSTR chMessage) {
  CSystemServices system;
  return installsupport::RegisterModuleWith(system, messageBuffer, ModuleName, chRegister,
                                            chVerbose, chMessage);
}
