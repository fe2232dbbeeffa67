// The RunApplication export: start a program without a console window and wait for its end.
#include <windows.h>

#include <cstring>
#include <vector>

#include "installsupport/halyard4inst.h"

extern "C" BOOL WINAPI RunApplication(LPCSTR chCommandLine, LPCSTR chCurrentDirectory) {
  if (chCommandLine == nullptr) return FALSE;
  // The system may write into the command line it is given; the caller's text stays untouched.
  std::vector<char> commandLine(chCommandLine, chCommandLine + std::strlen(chCommandLine) + 1);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                CREATE_NO_WINDOW, nullptr, chCurrentDirectory, &startup, &info);
  if (started) {
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  return started;
}
