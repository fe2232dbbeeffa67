// Win32 directory search: FindFirstFileA, FindNextFileA and FindClose.
//
// On Windows this is the real API. Elsewhere findfile_posix.cpp serves it with the effects the
// wildcard expansion of lzmulti relies on:
// - "/" and "\" both separate path components; "*" (any run of characters) and "?" (any one
//   character) may stand in the last component only, a wildcard in an earlier component fails
//   with ERROR_INVALID_NAME; names match byte for byte, and "*.*" matches every name;
// - a name without wildcards that names an existing file or directory yields that one entry;
// - a pipe, a socket or a device is reported with FILE_ATTRIBUTE_DEVICE, which Windows never
//   reports for an entry of a directory: nothing that lists a folder must open one unawares;
// - "." and ".." are reported when the pattern matches them, as a "*" does in any directory;
// - entries come sorted by name in byte order, so that the same command line gives the same
//   result on every run and machine;
// - the end of the entries is ERROR_NO_MORE_FILES; a search that matches nothing fails with
//   ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when the directory part does not exist;
// - an entry whose name does not fit cFileName (259 bytes and the terminator) is left out rather
//   than reported under a cut name that would name another file.
//
// A search handle is closed with FindClose only: on Windows it is no kernel handle.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32

#define MAX_PATH 260

// Attributes of an entry. A pipe, a socket or a device is FILE_ATTRIBUTE_DEVICE.
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010UL
#define FILE_ATTRIBUTE_DEVICE 0x00000040UL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL

// One entry of a directory search. The time stamps and the short name of the Windows record are
// left out: nothing here reads them.
struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  CHAR cFileName[MAX_PATH];
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

// Starts a search and fills findData with the first entry. Returns INVALID_HANDLE_VALUE with the
// last-error code set when nothing matches or the search cannot start.
HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData);

// Fills findData with the next entry. Returns FALSE with ERROR_NO_MORE_FILES after the last one,
// or ERROR_INVALID_HANDLE for a null or invalid handle.
BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData);

// Ends a search started by FindFirstFileA.
BOOL FindClose(HANDLE findFile);

namespace platform {
// True when name matches the wildcard pattern ("*" any run, "?" any one byte, "*.*" everything).
bool MatchWildcard(const char* pattern, const char* name);
}  // namespace platform

#endif  // _WIN32
