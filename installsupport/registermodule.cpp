// The RegisterModule export and its wide twin RegisterModuleW over the system's own services.
#include <ole2.h>
#include <windows.h>

#include <type_traits>

#include "installsupport/halyard4inst.h"
#include "installsupport/registration.h"

namespace {

using installsupport::CodeUnit;
using installsupport::EntryPoint;
using installsupport::ModuleHandle;

// The core passes the system's own values.
static_assert(installsupport::kFailCriticalErrors == SEM_FAILCRITICALERRORS, "error mode");
static_assert(installsupport::kEchoBoxStyle == (MB_OK | MB_ICONINFORMATION), "echo box style");
static_assert(installsupport::kResultBoxStyle == (MB_OK | MB_TASKMODAL | MB_ICONINFORMATION),
              "result box style");

// The library's message buffer: the last result message, kept from load to unload. Both exports
// build their messages in it, each in its own characters (calls must not overlap).
union {
  char ansi[installsupport::kTextSize];
  wchar_t wide[installsupport::kTextSize];
} messageBuffer;

HMODULE SystemModule(ModuleHandle module) {
  return reinterpret_cast<HMODULE>(module);
}

// The system's services for texts of Char: the ANSI calls for char, the wide ones for wchar_t.
template <typename Char>
class CSystemServices : public installsupport::IRegistrationSystemOf<Char> {
 public:
  static constexpr bool kWide = std::is_same_v<Char, wchar_t>;

  HRESULT InitializeOle() override { return OleInitialize(nullptr); }
  void UninitializeOle() override { OleUninitialize(); }
  void SetErrorModeTo(UINT mode) override { SetErrorMode(mode); }
  ModuleHandle LoadModule(const Char* name) override {
    HMODULE module;
    if constexpr (kWide) {
      module = LoadLibraryExW(name, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } else {
      module = LoadLibraryExA(name, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return reinterpret_cast<ModuleHandle>(module);
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
  void ShowMessageBox(const Char* text, const Char* caption, UINT style) override {
    if constexpr (kWide) {
      MessageBoxW(nullptr, text, caption, style);
    } else {
      MessageBoxA(nullptr, text, caption, style);
    }
  }
  bool IsLeadByte(CodeUnit<Char> unit) override {
    if constexpr (kWide) {
      return IS_HIGH_SURROGATE(unit);
    } else {
      return IsDBCSLeadByte(unit) != FALSE;
    }
  }
};

}  // namespace

extern "C" int WINAPI RegisterModule(LPCSTR ModuleName, LPCSTR chRegister, LPCSTR chVerbose,
                                     LPSTR chMessage) {
  CSystemServices<char> system;
  return installsupport::RegisterModuleWith(system, messageBuffer.ansi, ModuleName, chRegister,
                                            chVerbose, chMessage);
}

extern "C" int WINAPI RegisterModuleW(LPCWSTR ModuleName, LPCWSTR chRegister, LPCWSTR chVerbose,
                                      LPWSTR chMessage) {
  CSystemServices<wchar_t> system;
  return installsupport::RegisterModuleWith(system, messageBuffer.wide, ModuleName, chRegister,
                                            chVerbose, chMessage);
}
