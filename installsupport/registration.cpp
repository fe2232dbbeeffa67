#include "installsupport/registration.h"

#include <cstdint>
#include <cstdio>

namespace installsupport {

const char kBoxCaption[] = "HALYARD4 Installation Support";

namespace {

const char kEchoFormat[] = "ModuleName=%s\nchRegister=%s\nchVerbose=%s\n";
const char kNoModuleName[] = "ModuleName=NULL";
const char kOleFailed[] = "OleInitialize failed.";
// In the templates of the result messages, %1 stands for the module name.
const char kLoadFailed[] = "LoadLibrary(%1) failed.\nGetLastError returns %2.";
const char kNoEntryPointOther[] =
    "%1 was loaded, but the %2 entry point was not found.\n\n"
    "%1 does not appear to be a .DLL or .OCX file.";
const char kNoEntryPointDllOcx[] =
    "%1 was loaded, but the %2 entry point was not found.\n\n"
    "%2 may not be exported, or a corrupt version of %1 may be in memory. "
    "Consider using PView to detect and remove it.";
const char kEntryPointFailed[] = "%2 in %1 failed.";
const char kEntryPointSucceeded[] = "%2 in %1 succeeded.";

const char kRegisterEntryPoint[] = "DllRegisterServer";
const char kUnregisterEntryPoint[] = "DllUnregisterServer";

// An ASCII text of the above in the character type of the call; for char, a copy.
template <typename Char>
class CAscii {
 public:
  explicit CAscii(const char* text) {
    size_t i = 0;
    for (; text[i] != '\0' && i + 1 < kTextSize; ++i) text_[i] = static_cast<Char>(text[i]);
    text_[i] = 0;
  }
  const Char* Text() const { return text_; }

 private:
  Char text_[kTextSize];
};

template <typename Char>
Char FirstChar(const Char* text) {
  return text != nullptr ? text[0] : Char(0);
}

template <typename Char>
Char Lower(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

// Compares text with an ASCII text, ignoring the case of A-Z.
template <typename Char>
bool EqualsIgnoringCase(const Char* a, const char* b) {
  for (; *a != 0 && *b != '\0'; ++a, ++b) {
    if (Lower(*a) != static_cast<Char>(Lower(*b))) return false;
  }
  return *a == 0 && *b == '\0';
}

// The lead test of the system in use.
template <typename Char>
LeadTest<Char> LeadTestOf(IRegistrationSystemOf<Char>& system) {
  IRegistrationSystemOf<Char>* lead = &system;
  return [lead](CodeUnit<Char> unit) { return lead->IsLeadByte(unit); };
}

template <typename Char, typename Lead>
const Char* ModuleExtensionOf(const Char* name, const Lead& isLead) {
  const Char* extension = nullptr;
  const Char* p = name;
  while (*p != 0) {
    if (isLead(static_cast<CodeUnit<Char>>(*p)) && p[1] != 0) {
      p += 2;
      continue;
    }
    if (*p == '\\' || *p == '/') extension = nullptr;
    if (*p == '.') extension = p;
    ++p;
  }
  return extension != nullptr ? extension : p;
}

// The argument box: the ANSI export formats it in printf manner; its wide twin expands the same
// text in two steps, the first step's result inserted (and not scanned again) by the second.
void FormatEcho(char (&echo)[kTextSize], const char* name, const char* chRegister,
                const char* chVerbose, const LeadByteTest& /*isLead*/) {
  std::snprintf(echo, sizeof echo, kEchoFormat, name, chRegister, chVerbose);
}

void FormatEcho(wchar_t (&echo)[kTextSize], const wchar_t* name, const wchar_t* chRegister,
                const wchar_t* chVerbose, const LeadUnitTest& isLead) {
  wchar_t start[kTextSize];
  ExpandMessage(start, kTextSize, CAscii<wchar_t>("ModuleName=%1\nchRegister=%2\n").Text(), name,
                chRegister, isLead);
  ExpandMessage(echo, kTextSize, CAscii<wchar_t>("%1chVerbose=%2\n").Text(), start, chVerbose,
                isLead);
}

// One call of RegisterModule or RegisterModuleW.
template <typename Char>
class CRegistration {
 public:
  CRegistration(IRegistrationSystemOf<Char>& system, Char* messageBuffer, bool verbose)
      : system_(system), messageBuffer_(messageBuffer), verbose_(verbose) {}

  int Run(const Char* moduleName, bool registering) {
    const char* entryName = registering ? kRegisterEntryPoint : kUnregisterEntryPoint;
    const CAscii<Char> entryText(entryName);
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
      Post(kLoadFailed, moduleName, CAscii<Char>(code).Text());
      result = kRegisterLoadFailed;
    } else {
      EntryPoint entryPoint = system_.FindEntryPoint(module, entryName);
      if (entryPoint == nullptr) {
        const Char* extension = ModuleExtensionOf(moduleName, LeadTestOf(system_));
        bool dllOrOcx =
            EqualsIgnoringCase(extension, ".dll") || EqualsIgnoringCase(extension, ".ocx");
        Post(dllOrOcx ? kNoEntryPointDllOcx : kNoEntryPointOther, moduleName, entryText.Text());
        result = kRegisterNoEntryPoint;
      } else {
        HRESULT code = S_OK;
        DWORD exceptionCode = 0;
        if (!system_.CallEntryPoint(entryPoint, &code, &exceptionCode)) {
          // The failure text with a line naming the exception.
          char raised[sizeof kEntryPointFailed + 40];
          std::snprintf(raised, sizeof raised, "%s\nException 0x%08lx was raised.",
                        kEntryPointFailed, static_cast<unsigned long>(exceptionCode));
          Post(raised, moduleName, entryText.Text());
          result = kRegisterEntryPointFailed;
        } else if (code < 0) {
          Post(kEntryPointFailed, moduleName, entryText.Text());
          result = kRegisterEntryPointFailed;
        } else {
          Post(kEntryPointSucceeded, moduleName, entryText.Text());
          result = kRegisterSucceeded;
        }
      }
      system_.UnloadModule(module);
    }
    system_.UninitializeOle();
    return result;
  }

 private:
  // Builds a message in the message buffer and shows it when verbose. A module name too long for
  // the whole message to fit is shortened in its middle, so that the text around it stands whole.
  void Post(const char* templateText, const Char* moduleName, const Char* second) {
    const CAscii<Char> work(templateText);
    ExpandMessageToFit(messageBuffer_, kTextSize, work.Text(), moduleName, second,
                       LeadTestOf(system_));
    if (verbose_) {
      system_.ShowMessageBox(messageBuffer_, CAscii<Char>(kBoxCaption).Text(), kResultBoxStyle);
    }
  }

  IRegistrationSystemOf<Char>& system_;
  Char* messageBuffer_;
  bool verbose_;
};

template <typename Char>
int RegisterModuleOf(IRegistrationSystemOf<Char>& system, Char* messageBuffer,
                     const Char* ModuleName, const Char* chRegister, const Char* chVerbose,
                     Char* chMessage) {
  Char flag = FirstChar(chRegister);
  bool registering = flag == 'R' || flag == 'r';
  flag = FirstChar(chVerbose);
  bool verbose = flag == 'V' || flag == 'v';

  if (verbose) {
    Char echo[kTextSize] = {};
    static const Char kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
    static const Char kEmpty[] = {0};
    FormatEcho(echo, ModuleName != nullptr ? ModuleName : kNull,
               chRegister != nullptr ? chRegister : kEmpty,
               chVerbose != nullptr ? chVerbose : kEmpty, LeadTestOf(system));
    system.ShowMessageBox(echo, CAscii<Char>(kBoxCaption).Text(), kEchoBoxStyle);
  }

  if (ModuleName == nullptr) {
    if (chMessage != nullptr) {
      CopyText(chMessage, kTextSize, CAscii<Char>(kNoModuleName).Text(), LeadTestOf(system));
    }
    return kRegisterNoModuleName;
  }
  int result = CRegistration<Char>(system, messageBuffer, verbose).Run(ModuleName, registering);
  if (chMessage != nullptr) {
    for (size_t i = 0; i < kTextSize; ++i) {
      chMessage[i] = messageBuffer[i];
      if (messageBuffer[i] == 0) break;
    }
  }
  return result;
}

}  // namespace

const char* ModuleExtension(const char* name, const LeadByteTest& isLead) {
  return ModuleExtensionOf(name, isLead);
}

const wchar_t* ModuleExtension(const wchar_t* name, const LeadUnitTest& isLead) {
  return ModuleExtensionOf(name, isLead);
}

int RegisterModuleWith(IRegistrationSystem& system, char* messageBuffer, const char* ModuleName,
                       const char* chRegister, const char* chVerbose, char* chMessage) {
  return RegisterModuleOf(system, messageBuffer, ModuleName, chRegister, chVerbose, chMessage);
}

int RegisterModuleWith(IWideRegistrationSystem& system, wchar_t* messageBuffer,
                       const wchar_t* ModuleName, const wchar_t* chRegister,
                       const wchar_t* chVerbose, wchar_t* chMessage) {
  return RegisterModuleOf(system, messageBuffer, ModuleName, chRegister, chVerbose, chMessage);
}

}  // namespace installsupport
