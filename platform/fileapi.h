// Win32 file API: open, read, write, seek, size, truncate and close a file through a HANDLE; ask
// what a name is (attributes, the identity of an open file); rename and remove.
//
// On Windows this is the real API. Elsewhere it declares the subset the archive code uses, served
// by fileapi_posix.cpp with the effects the callers rely on: 64-bit positions and sizes, '/' and
// '\' both separate path components, a directory cannot be opened as a file, a symbolic link is
// what Windows calls a reparse point, and every failure leaves a Win32 error code for
// GetLastError.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32

#include <string>
#include <typeinfo>

// Access rights.
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL

// Share modes. They are what a handle declares, not a rule that is kept here: POSIX has no
// mandatory share modes, and nothing stops another handle or program from writing a file that a
// handle declared to deny writing. The read-ahead of ReadFile relies on the declaration.
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL

// Creation dispositions.
#define CREATE_NEW 1UL
#define CREATE_ALWAYS 2UL
#define OPEN_EXISTING 3UL

// Attributes. A device, a pipe or a socket is FILE_ATTRIBUTE_DEVICE.
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010UL
#define FILE_ATTRIBUTE_DEVICE 0x00000040UL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL

// Seek origins.
#define FILE_BEGIN 0UL
#define FILE_CURRENT 1UL
#define FILE_END 2UL

#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(0xFFFFFFFFUL))
#define INVALID_FILE_SIZE (static_cast<DWORD>(0xFFFFFFFFUL))

typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED OVERLAPPED;
typedef struct _OVERLAPPED* LPOVERLAPPED;

// Opens or creates a file: CREATE_NEW fails on an existing name, CREATE_ALWAYS empties an existing
// file, OPEN_EXISTING needs one. A folder is never opened, and opening never waits: a pipe without
// a peer opens at once or fails, as on Windows. Returns INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// Reads up to numberOfBytesToRead bytes; a count of 0 with TRUE is the end of the file. A handle
// that only reads a regular file and declared to deny writing (no FILE_SHARE_WRITE) reads small
// requests from a read-ahead block (readahead.h); positions, counts and results are those of
// unbuffered reads as long as nothing writes the file meanwhile, as its share mode promised.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead, LPDWORD numberOfBytesRead,
              LPOVERLAPPED overlapped);

// Writes numberOfBytesToWrite bytes; on failure the count holds what was written before it.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD numberOfBytesToWrite,
               LPDWORD numberOfBytesWritten, LPOVERLAPPED overlapped);

// Moves the file pointer. With distanceToMoveHigh the distance is the signed 64-bit value of both
// halves and the high half of the new position is stored back; without it the distance is the
// signed 32-bit low half and the new position must fit into 32 bits. Returns the low half of the
// new position, INVALID_SET_FILE_POINTER with a non-zero last error on failure (the last error
// is 0 after every success).
DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod);

// Returns the low half of the file size and stores the high half. INVALID_FILE_SIZE with a
// non-zero last error on failure (the last error is 0 after every success).
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);

// Cuts or extends the file at the current file pointer.
BOOL SetEndOfFile(HANDLE file);

// What a handle reads and writes: a file on disk, a character device, or a pipe (a FIFO or a
// socket here); FILE_TYPE_UNKNOWN with the last error set when it cannot tell.
#define FILE_TYPE_UNKNOWN 0x0000UL
#define FILE_TYPE_DISK 0x0001UL
#define FILE_TYPE_CHAR 0x0002UL
#define FILE_TYPE_PIPE 0x0003UL
DWORD GetFileType(HANDLE file);

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

// What GetFileInformationByHandle tells of an open file. The volume serial number and the file
// index together tell one file from every other (here: the device and inode numbers); the time
// stamps are left zero.
typedef struct _BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);

// Closes a handle of any service of this layer. FALSE with ERROR_INVALID_HANDLE for a null handle
// and INVALID_HANDLE_VALUE, FALSE with the object's error when releasing it failed.
BOOL CloseHandle(HANDLE object);

namespace platform {

// What a HANDLE of this layer points to. Services that hand out handles derive from it, so that
// CloseHandle serves them all.
class HandleObject {
 public:
  HandleObject() = default;
  virtual ~HandleObject() = default;
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;
  // Releases the system resource; false with the last error set on failure. CloseHandle frees
  // the object after a successful Close; after a failed one the handle stays valid, and a later
  // CloseHandle frees it (Close must then succeed at once).
  virtual bool Close() = 0;

  // The handle that stands for this object, and back; always convert through these two so that
  // a handle holds the HandleObject base pointer. FromHandle gives null for a null handle and
  // INVALID_HANDLE_VALUE.
  HANDLE ToHandle() { return static_cast<HANDLE>(this); }
  static HandleObject* FromHandle(HANDLE handle);

  // The object behind a handle when it is exactly a T, else null with ERROR_INVALID_HANDLE. The
  // exact type costs far less than a dynamic_cast, which counts where a caller reads a file one
  // byte per ReadFile.
  template <class T>
  static T* As(HANDLE handle) {
    HandleObject* object = FromHandle(handle);
    if (object == nullptr || typeid(*object) != typeid(T)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    return static_cast<T*>(object);
  }
};

// A handle of this layer for a descriptor that the caller opened (readable: for reading); the
// handle owns it from then on. DescriptorOf gives a file handle's descriptor, or -1.
HANDLE HandleForDescriptor(int fd, bool readable);
int DescriptorOf(HANDLE file);

// Turns a Windows-style name into a POSIX path: every '\' becomes '/'.
std::string ToPosixPath(const char* name);
// True when a POSIX path holds a '/'.
bool HasSeparator(const std::string& path);
// The Win32 error for a system call on path that failed with err: a name that does not exist is
// ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when a folder on its way (or the folder that a
// final '/' names) is missing or no folder; other values map as ErrorFromErrno does.
DWORD ErrorForPath(int err, const std::string& path);

}  // namespace platform

#endif  // _WIN32
