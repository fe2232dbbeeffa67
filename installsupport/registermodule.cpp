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

// A frame of structured exception handling around one entry point call, on the thread's chain at
// FS:[0] while the entry point runs. The record comes first: the chain hands the handler the
// record's address as the frame.
struct SGuardFrame {
  EXCEPTION_REGISTRATION_RECORD record;
  void* resume[5];  // __builtin_setjmp's buffer
  DWORD exceptionCode;
};

// The guard's handler: takes any exception raised below the guard, unwinds the frames in between
// (their handlers see the unwinding) and resumes behind the guard's __builtin_setjmp.
EXCEPTION_DISPOSITION NTAPI GuardHandler(EXCEPTION_RECORD* exception, void* establisherFrame,
                                         CONTEXT* /*context*/, void* /*dispatcherContext*/) {
  if ((exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
    return ExceptionContinueSearch;
  }
  SGuardFrame* frame = static_cast<SGuardFrame*>(establisherFrame);
  frame->exceptionCode = exception->ExceptionCode;
  RtlUnwind(establisherFrame, nullptr, exception, nullptr);
  __builtin_longjmp(frame->resume, 1);
}

// The thread's information block, which begins with the head of the chain. Its own address is
// at FS:[0x18]; read here directly, as NtCurrentTeb of <winnt.h> reads it through a constant
// address that GCC takes for an access out of bounds.
NT_TIB* ThreadInformationBlock() {
  NT_TIB* tib;
  __asm__("movl %%fs:0x18, %0" : "=r"(tib));
  return tib;
}

// Calls a self-registration entry point under the guard. Returns false with the exception's code
// when it raised one.
__attribute__((noinline)) bool CallGuarded(EntryPoint entryPoint, HRESULT* result,
                                           DWORD* exceptionCode) {
  typedef HRESULT(WINAPI * SelfRegistration)();
  NT_TIB* tib = ThreadInformationBlock();
  SGuardFrame frame = {};
  frame.record.Handler = GuardHandler;
  frame.record.Next = tib->ExceptionList;
  bool returned = true;
  if (__builtin_setjmp(frame.resume) == 0) {
    tib->ExceptionList = &frame.record;
    *result = reinterpret_cast<SelfRegistration>(entryPoint)();
  } else {
    *exceptionCode = frame.exceptionCode;
    returned = false;
  }
  tib->ExceptionList = frame.record.Next;
  return returned;
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
  bool CallEntryPoint(EntryPoint entryPoint, HRESULT* result, DWORD* exceptionCode) override {
    return CallGuarded(entryPoint, result, exceptionCode);
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
