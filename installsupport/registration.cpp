#include "installsupport/registration.h"

#include <cstdint>
#include <cstdio>

namespace installsupport {

const char kBoxCaption[] = "HALYARD4 Installation Support";

namespace {

const char kEchoFormat[] = "ModuleName=%s\nchRegister=%s\nchVerbose=%s\n";
const char kNoModuleName[] = "ModuleName=NULL";
const char kOleFailed[] = "OleInitialize failed.";
const char kLoadFailed[] = "LoadLibrary(%1) failed.\nGetLastError returns %2.";
const char kNoEntryPointOther[] =
    "%1 was loaded, but the %2 entry point was not found.\n\n"
    "%1 does not appear to be a .DLL or .OCX file.";
const char kNoEntryPointDllOcx[] =
    "%1 was loaded, but the %2 entry point was not found.\n\n"
    "%2 may not be exported, or a corrupt version of %1 may be in memory. "
    "Consider using PView to detect and remove it.";
const char kEntryPointFailed[] = "%1 in %2 failed.";
const char kEntryPointSucceeded[] = "%1 in %2 succeeded.";

const char kRegisterEntryPoint[] = "DllRegisterServer";
const char kUnregisterEntryPoint[] = "DllUnregisterServer";

char FirstChar(const char* text) {
  return text != nullptr ? text[0] : '\0';
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (Lower(*a) != Lower(*b)) return false;
  }
  return *a == *b;
}

// The lead-byte test of the system in use.
LeadByteTest LeadTestOf(IRegistrationSystem& system) {
  IRegistrationSystem* lead = &system;
  return [lead](unsigned char byte) { return lead->IsLeadByte(byte); };
}

// One call of RegisterModule.
class CRegistration {
 public:
  CRegistration(IRegistrationSystem& system, char* messageBuffer, bool verbose)
      : system_(system), messageBuffer_(messageBuffer), verbose_(verbose) {}

  int Run(const char* moduleName, bool registering) {
    const char* entryName = registering ? kRegisterEntryPoint : kUnregisterEntryPoint;
    if (system_.InitializeOle() < 0) {
      Post(kOleFailed, nullptr, nullptr);
      return kRegisterOleFailed;
    }
    system_.SetErrorModeTo(kFailCriticalErrors);
    int result;
    ModuleHandle module = system_.LoadModule(moduleName);
    if (reinterpret_cast<uintptr_t>(module) < 32) {
      DWORD error = system_.LastError();
      char code[32];
      std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(error));
      Post(kLoadFailed, moduleName, code);
      result = kRegisterLoadFailed;
    } else {
      EntryPoint entryPoint = system_.FindEntryPoint(module, entryName);
      if (entryPoint == nullptr) {
        const char* extension = ModuleExtension(moduleName, LeadTestOf(system_));
        bool dllOrOcx =
            EqualsIgnoringCase(extension, ".dll") || EqualsIgnoringCase(extension, ".ocx");
        Post(dllOrOcx ? kNoEntryPointDllOcx : kNoEntryPointOther, moduleName, entryName);
        result = kRegisterNoEntryPoint;
      } else if (system_.CallEntryPoint(entryPoint) < 0) {
        Post(kEntryPointFailed, entryName, moduleName);
        result = kRegisterEntryPointFailed;
      } else {
        Post(kEntryPointSucceeded, entryName, moduleName);
        result = kRegisterSucceeded;
      }
      system_.UnloadModule(module);
    }
    system_.UninitializeOle();
    return result;
  }

 private:
  // Builds a message in the message buffer and shows it when verbose.
  void Post(const char* templateText, const char* first, const char* second) {
    char work[kTextSize];
    CopyText(work, sizeof work, templateText, LeadTestOf(system_));
    ExpandMessage(messageBuffer_, kTextSize, work, first, second, LeadTestOf(system_));
    if (verbose_) {
      system_.ShowMessageBox(messageBuffer_, kBoxCaption, kResultBoxStyle);
    }
  }

  IRegistrationSystem& system_;
  char* messageBuffer_;
  bool verbose_;
};

}  // namespace

const char* ModuleExtension(const char* name, const LeadByteTest& isLead) {
  const char* extension = nullptr;
  const char* p = name;
  while (*p != '\0') {
    if (isLead(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      p += 2;
      continue;
    }
    if (*p == '\\' || *p == '/') extension = nullptr;
    if (*p == '.') extension = p;
    ++p;
  }
  return extension != nullptr ? extension : p;
}

int RegisterModuleWith(IRegistrationSystem& system, char* messageBuffer, const char* ModuleName,
                       const char* chRegister, const char* chVerbose, char* chMessage) {
  char flag = FirstChar(chRegister);
  bool registering = flag == 'R' || flag == 'r';
  flag = FirstChar(chVerbose);
  bool verbose = flag == 'V' || flag == 'v';

  if (verbose) {
    char echo[kTextSize] = {};
    std::snprintf(echo, sizeof echo, kEchoFormat, ModuleName != nullptr ? ModuleName : "(null)",
                  chRegister != nullptr ? chRegister : "", chVerbose != nullptr ? chVerbose : "");
    system.ShowMessageBox(echo, kBoxCaption, kEchoBoxStyle);
  }

  if (ModuleName == nullptr) {
    if (chMessage != nullptr) CopyText(chMessage, kTextSize, kNoModuleName, LeadTestOf(system));
    return kRegisterNoModuleName;
  }
  int result = CRegistration(system, messageBuffer, verbose).Run(ModuleName, registering);
  if (chMessage != nullptr) {
    for (size_t i = 0; i < kTextSize; ++i) {
      chMessage[i] = messageBuffer[i];
      if (messageBuffer[i] == '\0') break;
    }
  }
  return result;
}

}  // namespace installsupport
