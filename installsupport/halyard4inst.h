// The exports of the halyard4inst library, as an installer calls them.
//
// An installer loads halyard4inst.dll by file name and finds both exports by their plain names;
// the pointer types below are what GetProcAddress's results are cast to. The header ships in the
// Windows kit, stands on its own (it takes the types from <windows.h>) and serves C as well as
// C++.
#pragma once

#include <windows.h>

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
