// Starting a program as a new process and waiting for it.
//
// On Windows this is the real API. Elsewhere CreateProcessA forks and executes the program:
// - The program is the first token of the command line (a quoted token ends at the next quote,
//   otherwise at the first blank); there is no application name. A name with a separator ('/' or
//   '\') is a path from the caller's current directory; a bare name is searched along PATH.
// - The other tokens become the arguments by the Windows rules: blanks separate them, double
//   quotes group, "" inside quotes is one quote, 2n backslashes before a quote give n
//   backslashes and the quote groups, 2n+1 give n backslashes and a literal quote, other
//   backslashes are literal.
// - The current directory is honoured. Without inheritable handles the program gets no
//   descriptors of the caller beyond the standard three; with CREATE_NO_WINDOW it has no console:
//   the standard three read from and write to /dev/null.
// - A program that cannot be started fails the call at once with a Win32 error (2 not found,
//   5 not executable, 193 not an executable format, 267 no such current directory) and leaves no
//   process behind.
// - The program gets the caller's environment.
// The handles of the process and of its "thread" both stand for the process; wait on the process
// handle, and close both with CloseHandle (platform/fileapi.h).
#pragma once

#include "platform/fileapi.h"
#include "platform/wintypes.h"

#ifndef _WIN32

#include <string>
#include <vector>

typedef BYTE* LPBYTE;

struct STARTUPINFOA {
  DWORD cb;
  LPSTR lpReserved;
  LPSTR lpDesktop;
  LPSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};
typedef STARTUPINFOA* LPSTARTUPINFOA;

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

// Creation flags; others are accepted and have no effect.
#define CREATE_NO_WINDOW 0x08000000UL

// Waiting.
#define INFINITE 0xFFFFFFFFUL
#define WAIT_OBJECT_0 0x00000000UL
#define WAIT_FAILED 0xFFFFFFFFUL

// applicationName and environment must be null (ERROR_INVALID_PARAMETER otherwise); startupInfo
// is not read beyond its presence.
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);

// Waits until the process of a process (or thread) handle has ended: WAIT_OBJECT_0, or WAIT_FAILED
// for a handle that cannot be waited on. milliseconds must be INFINITE (ERROR_INVALID_PARAMETER
// otherwise).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

namespace platform {
// Splits a command line into the program token and the arguments, as described above.
std::vector<std::string> SplitCommandLine(const char* commandLine);
}  // namespace platform

#endif  // _WIN32
