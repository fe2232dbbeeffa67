// Win32 module loading: load a shared module, look up its exports, unload it.
//
// On Windows this is the real API. Elsewhere the system's dynamic loader serves it: a module is a
// shared object, a name may use '\' or '/' as separator, and a failure leaves the Win32 error
// code that Windows would give: ERROR_MOD_NOT_FOUND (126) for a missing file (or a missing module
// that it depends on), ERROR_BAD_EXE_FORMAT (193) for a file that is not a loadable module,
// ERROR_PROC_NOT_FOUND (127) for a missing export or an unresolved symbol.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32

#include <cstdint>
#include <string>

typedef void* HMODULE;
typedef HMODULE HINSTANCE;
typedef intptr_t (*FARPROC)();

// Dependencies are searched from the module's own folder first. A shared object finds them
// there through its own run path ($ORIGIN); the flag is accepted for that meaning.
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008UL

// Loads a module. A name without a separator is looked for in the current directory first, then
// by the loader's own search. file must be null. Returns null on failure.
HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags);
// The address of an export, or null with ERROR_PROC_NOT_FOUND.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
// Releases one load of the module.
BOOL FreeLibrary(HMODULE module);

namespace platform {
// The Win32 error for a failed load of path. loaderMessage is the loader's own description of
// the failure (dlerror), or null.
DWORD ErrorForFailedLoad(const std::string& path, const char* loaderMessage);
}  // namespace platform

#endif  // _WIN32
