// The work of RegisterModule and of its wide twin RegisterModuleW: load a self-registering module,
// call its registration entry point, unload it, and report the outcome as a result code and a
// message. Both run the same steps on texts of their own character type.
//
// The portable core of halyard4inst: it reaches the system only through IRegistrationSystemOf, so
// that it builds everywhere. The library passes the real services (registermodule.cpp); the unit
// tests, natively and under Wine, and the fuzz target pass fakes.
#pragma once

#include "installsupport/messagetext.h"
#include "platform/wintypes.h"

namespace installsupport {

// A module as the system's loader hands it out, and one of its entry points as the system looks
// it up. The registration only compares the handle with the values that mean failure (below 32)
// and hands both back to the system.
struct LoadedModule;
using ModuleHandle = LoadedModule*;
using EntryPoint = void (*)();

// The system's values that a registration passes: the error mode SEM_FAILCRITICALERRORS, and the
// styles of the argument box (MB_OK | MB_ICONINFORMATION) and of the result box (MB_OK |
// MB_TASKMODAL | MB_ICONINFORMATION).
constexpr UINT kFailCriticalErrors = 0x0001;
constexpr UINT kEchoBoxStyle = 0x0040;
constexpr UINT kResultBoxStyle = 0x2040;

// Results of RegisterModule.
enum RegisterResult {
  kRegisterSucceeded = 0,
  kRegisterNoModuleName = 1,
  kRegisterOleFailed = 2,
  kRegisterLoadFailed = 3,
  kRegisterNoEntryPoint = 4,
  kRegisterEntryPointFailed = 5,
};

// Caption of every message box.
extern const char kBoxCaption[];

// The system services a registration uses, for texts of the character type Char: char for the
// ANSI export (the ANSI code page), wchar_t for its wide twin (UTF-16). The library uses the real
// ones; tests use fakes.
template <typename Char>
class IRegistrationSystemOf {
 public:
  virtual ~IRegistrationSystemOf() = default;
  virtual HRESULT InitializeOle() = 0;
  virtual void UninitializeOle() = 0;
  virtual void SetErrorModeTo(UINT mode) = 0;
  // Loads with the module's own folder searched first for what it depends on.
  virtual ModuleHandle LoadModule(const Char* name) = 0;
  virtual DWORD LastError() = 0;
  virtual EntryPoint FindEntryPoint(ModuleHandle module, const char* name) = 0;
  // Calls an entry point without arguments. Returns true when it returned, with its result code
  // in *result; false when it raised an exception instead, with the exception's code in
  // *exceptionCode: the entry point was left where it raised it, and the call goes on here.
  virtual bool CallEntryPoint(EntryPoint entryPoint, HRESULT* result, DWORD* exceptionCode) = 0;
  virtual void UnloadModule(ModuleHandle module) = 0;
  virtual void ShowMessageBox(const Char* text, const Char* caption, UINT style) = 0;
  // Whether a byte (a UTF-16 unit) starts a character of two.
  virtual bool IsLeadByte(CodeUnit<Char> unit) = 0;
};
using IRegistrationSystem = IRegistrationSystemOf<char>;
using IWideRegistrationSystem = IRegistrationSystemOf<wchar_t>;

// Registers (chRegister starts with "R" or "r") or unregisters ModuleName; verbose (chVerbose
// starts with "V" or "v") shows the arguments and the outcome in message boxes. Null chRegister
// and chVerbose read as empty texts. The message is built in messageBuffer (kTextSize characters,
// kept between calls) and copied into chMessage, at most kTextSize characters. The wide twin takes
// and gives the same texts in UTF-16.
int RegisterModuleWith(IRegistrationSystem& system, char* messageBuffer, const char* ModuleName,
                       const char* chRegister, const char* chVerbose, char* chMessage);
int RegisterModuleWith(IWideRegistrationSystem& system, wchar_t* messageBuffer,
                       const wchar_t* ModuleName, const wchar_t* chRegister,
                       const wchar_t* chVerbose, wchar_t* chMessage);

// Where the extension of a module name starts: at the last full stop behind the last '\' or
// '/', or at the end of the name when there is none. Characters of two are skipped whole.
const char* ModuleExtension(const char* name, const LeadByteTest& isLead);
const wchar_t* ModuleExtension(const wchar_t* name, const LeadUnitTest& isLead);

}  // namespace installsupport
