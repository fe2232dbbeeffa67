// The exports of the halyard4inst library, as an installer calls them.
//
// An installer loads the library by file name and finds both exports by their plain names; the
// pointer types below are what GetProcAddress's results are cast to. The header stands on its
// own and serves C as well as C++: on Windows it takes the types from <windows.h>; elsewhere it
// declares the few it needs as the library's own Win32 layer does.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#ifndef WINAPI
#define WINAPI
#endif
typedef int BOOL;
typedef char* LPSTR;
typedef const char* LPCSTR;
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Registers or unregisters a self-registering module. Returns 0 to 5; the message of the
// outcome is copied into chMessage, which must hold 1024 bytes.
int WINAPI RegisterModule(LPCSTR ModuleName, LPCSTR chRegister, LPCSTR chVerbose, LPSTR chMessage);

// Starts chCommandLine without a console window in chCurrentDirectory (null: the caller's) and
// waits until it has ended. Nonzero when the program could be started.
BOOL WINAPI RunApplication(LPCSTR chCommandLine, LPCSTR chCurrentDirectory);

#ifdef __cplusplus
}  // extern "C"
#endif

typedef int(WINAPI* RegisterModuleFunction)(LPCSTR, LPCSTR, LPCSTR, LPSTR);
typedef BOOL(WINAPI* RunApplicationFunction)(LPCSTR, LPCSTR);
