// Basic Win32 types, result codes and the thread's last-error code.
//
// On Windows this is the real API. On other systems it declares the small subset that the
// programs use, served by the *_posix.cpp files of this folder.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else

#include <cerrno>
#include <cstdint>
#include <string>

typedef int BOOL;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int32_t HRESULT;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WINAPI

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

// Result codes.
#define S_OK (static_cast<HRESULT>(0))
#define S_FALSE (static_cast<HRESULT>(1))
#define E_FAIL (static_cast<HRESULT>(0x80004005L))
#define E_NOINTERFACE (static_cast<HRESULT>(0x80004002L))
#define E_INVALIDARG (static_cast<HRESULT>(0x80070057L))
#define E_OUTOFMEMORY (static_cast<HRESULT>(0x8007000EL))
#define STG_E_INVALIDFUNCTION (static_cast<HRESULT>(0x80030001L))
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

// System error codes (GetLastError).
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_DISK_FULL 39L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INVALID_NAME 123L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_CANT_RESOLVE_FILENAME 1921L

#define ERROR_MR_MID_NOT_FOUND 317L

// The calling thread's last-error code.
DWORD GetLastError();
void SetLastError(DWORD code);

// The system's text for a system error code, as Windows words it, followed by "\r\n" as there:
// only FORMAT_MESSAGE_FROM_SYSTEM with FORMAT_MESSAGE_IGNORE_INSERTS, into a buffer of size
// bytes. Returns the characters stored, or 0 with ERROR_MR_MID_NOT_FOUND for a code without a
// text here (or ERROR_INSUFFICIENT_BUFFER when it does not fit).
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200UL
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000UL
#define ERROR_INSUFFICIENT_BUFFER 122L
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments);

namespace platform {
// Maps an errno value onto the nearest system error code.
DWORD ErrorFromErrno(int err);
// Sets the last-error code from errno and returns it.
DWORD SetLastErrorFromErrno();
// The Win32 error for a system call on path that failed with err: a name that does not exist is
// ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when a folder on its way (or the folder that a
// final '/' names) is missing or no folder; other values map as ErrorFromErrno does.
DWORD ErrorForPath(int err, const std::string& path);
// Turns a Windows-style name into a POSIX path: every '\' becomes '/'.
std::string ToPosixPath(const char* name);

// Repeats a system call that a signal interrupted (-1 with EINTR) and returns its result.
template <class Call>
auto RetryInterrupted(Call call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}
}  // namespace platform

#endif  // _WIN32
