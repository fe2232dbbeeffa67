// The RunApplication export and its wide twin RunApplicationW: start a program without a console
// window and wait for its end.
#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

#include "installsupport/halyard4inst.h"

namespace {

// The same steps with the ANSI calls for char and the wide ones for wchar_t.
template <typename Char>
BOOL Run(const Char* chCommandLine, const Char* chCurrentDirectory) {
  if (chCommandLine == nullptr) return FALSE;
  // The system may write into the command line it is given; the caller's text stays untouched.
  std::vector<Char> commandLine(chCommandLine,
                                chCommandLine + std::char_traits<Char>::length(chCommandLine) + 1);
  PROCESS_INFORMATION info = {};
  BOOL started;
  if constexpr (std::is_same_v<Char, wchar_t>) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                             nullptr, chCurrentDirectory, &startup, &info);
  } else {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                             nullptr, chCurrentDirectory, &startup, &info);
  }
  if (started) {
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  return started;
}

}  // namespace

extern "C" BOOL WINAPI RunApplication(LPCSTR chCommandLine, LPCSTR chCurrentDirectory) {
  return Run(chCommandLine, chCurrentDirectory);
}

extern "C" BOOL WINAPI RunApplicationW(LPCWSTR chCommandLine, LPCWSTR chCurrentDirectory) {
  return Run(chCommandLine, chCurrentDirectory);
}
