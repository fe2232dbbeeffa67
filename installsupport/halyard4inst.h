// The exports of the halyard4inst library, as an installer calls them.
//
// An installer loads halyard4inst.dll by file name and finds the exports by their plain names;
// the pointer types below are what GetProcAddress's results are cast to. Each export has a wide
// twin, its name ending in W, that does the same with UTF-16 texts: paths and messages outside
// the ANSI code page. The header ships in the Windows kit, stands on its own (it takes the types
// from <windows.h>) and serves C as well as C++.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Registers or unregisters a self-registering module. Returns 0 to 5 (5: the entry point failed
// or raised an exception, which the call catches); the message of the outcome is copied into
// chMessage, which must hold 1024 bytes (RegisterModuleW: 1024 UTF-16 units). A module name too
// long for its message loses its middle ("..."), so that the rest of the message fits whole.
int WINAPI RegisterModule(LPCSTR ModuleName, LPCSTR chRegister, LPCSTR chVerbose, LPSTR chMessage);
int WINAPI RegisterModuleW(LPCWSTR ModuleName, LPCWSTR chRegister, LPCWSTR chVerbose,
                           LPWSTR chMessage);

// Starts chCommandLine without a console window in chCurrentDirectory (null: the caller's) and
// waits until it has ended. Nonzero when the program could be started.
BOOL WINAPI RunApplication(LPCSTR chCommandLine, LPCSTR chCurrentDirectory);
BOOL WINAPI RunApplicationW(LPCWSTR chCommandLine, LPCWSTR chCurrentDirectory);

#ifdef __cplusplus
}  // extern "C"
#endif

typedef int(WINAPI* RegisterModuleFunction)(LPCSTR, LPCSTR, LPCSTR, LPSTR);
typedef BOOL(WINAPI* RunApplicationFunction)(LPCSTR, LPCSTR);
typedef int(WINAPI* RegisterModuleWFunction)(LPCWSTR, LPCWSTR, LPCWSTR, LPWSTR);
typedef BOOL(WINAPI* RunApplicationWFunction)(LPCWSTR, LPCWSTR);
