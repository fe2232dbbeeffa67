// The work of RegisterModule: load a self-registering module, call its registration entry point,
// unload it, and report the outcome as a result code and a message.
#pragma once

#include "installsupport/messagetext.h"
#include "platform/module.h"
#include "platform/wintypes.h"

namespace installsupport {

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

// The system services a registration uses. The library uses the real ones; tests use fakes.
class IRegistrationSystem {
 public:
  virtual ~IRegistrationSystem() = default;
  virtual HRESULT InitializeOle() = 0;
  virtual void UninitializeOle() = 0;
  virtual void SetErrorModeTo(UINT mode) = 0;
  // Loads with the module's own folder searched first for what it depends on.
  virtual HMODULE LoadModule(const char* name) = 0;
  virtual DWORD LastError() = 0;
  virtual FARPROC FindEntryPoint(HMODULE module, const char* name) = 0;
  // Calls an entry point without arguments and returns its result code.
  virtual HRESULT CallEntryPoint(FARPROC entryPoint) = 0;
  virtual void UnloadModule(HMODULE module) = 0;
  virtual void ShowMessageBox(const char* text, const char* caption, UINT style) = 0;
  virtual bool IsLeadByte(unsigned char byte) = 0;
};

// Registers (chRegister starts with "R" or "r") or unregisters ModuleName; verbose (chVerbose
// starts with "V" or "v") shows the arguments and the outcome in message boxes. Null chRegister
// and chVerbose read as empty texts. The message is built in messageBuffer (kTextSize bytes,
// kept between calls) and copied into chMessage, at most kTextSize bytes.
int RegisterModuleWith(IRegistrationSystem& system, char* messageBuffer, const char* ModuleName,
                       const char* chRegister, const char* chVerbose, char* chMessage);

// Where the extension of a module name starts: at the last full stop behind the last '\' or
// '/', or at the end of the name when there is none. Double-byte characters are skipped whole.
const char* ModuleExtension(const char* name, const LeadByteTest& isLead);

}  // namespace installsupport
