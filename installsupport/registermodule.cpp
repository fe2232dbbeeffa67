// The RegisterModule export over the system's own services.
#include "installsupport/halyard4inst.h"
#include "installsupport/registration.h"
#include "platform/module.h"
#include "platform/msgbox.h"
#include "platform/ole.h"
#include "platform/wsprintf.h"

namespace {

// The library's message buffer: the last result message, kept from load to unload.
char messageBuffer[installsupport::kTextSize];

class CSystemServices : public installsupport::IRegistrationSystem {
 public:
  HRESULT InitializeOle() override { return OleInitialize(nullptr); }
  void UninitializeOle() override { OleUninitialize(); }
  void SetErrorModeTo(UINT mode) override { SetErrorMode(mode); }
  HMODULE LoadModule(const char* name) override {
    return LoadLibraryExA(name, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  DWORD LastError() override { return GetLastError(); }
  FARPROC FindEntryPoint(HMODULE module, const char* name) override {
    return GetProcAddress(module, name);
  }
  HRESULT CallEntryPoint(FARPROC entryPoint) override {
    typedef HRESULT(WINAPI * EntryPoint)();
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(entryPoint))();
  }
  void UnloadModule(HMODULE module) override { FreeLibrary(module); }
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
