// The file object on the Win32 file API, see file.h.
#include <windows.h>

#include "archive/file.h"
#include "archive/longpath.h"

namespace {

// Opens or creates name with CreateFileW, the name in the form of LongPath.
HANDLE OpenFile(const char* name, DWORD access, DWORD creationDisposition) {
  return ::CreateFileW(LongPath(name).c_str(), access, FILE_SHARE_READ, nullptr,
                       creationDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

NativeFile NoNativeFile() {
  return INVALID_HANDLE_VALUE;
}

void CloseNativeFile(NativeFile file) {
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

bool CFileHandle::Close() {
  if (!isOpen) return true;
  if (!::CloseHandle(handle)) return false;
  readsAhead_ = false;
  isOpen = false;
  handle = INVALID_HANDLE_VALUE;
  return true;
}

long ReadSome(NativeFile file, void* data, uint32_t size) {
  DWORD count = 0;
  if (!::ReadFile(file, data, size, &count, nullptr)) return -1;
  return static_cast<long>(count);
}

bool CFileHandle::SystemSeek(int64_t distance, uint32_t origin, uint64_t& position) {
  const auto bits = static_cast<uint64_t>(distance);
  LONG high = static_cast<LONG>(static_cast<uint32_t>(bits >> 32));
  ::SetLastError(0);
  const DWORD low =
      ::SetFilePointer(handle, static_cast<LONG>(static_cast<uint32_t>(bits)), &high, origin);
  if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != 0) return false;
  position = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
  return true;
}

bool CFileHandle::GetLength(uint64_t& length) {
  DWORD high = 0;
  ::SetLastError(0);
  const DWORD low = ::GetFileSize(handle, &high);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != 0) return false;
  length = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

bool CFileHandle::SetEndOfFile() {
  return ::SetEndOfFile(handle) != FALSE;
}

bool CFileHandle::GetIdentity(FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!::GetFileInformationByHandle(handle, &information)) return false;
  identity.volume = information.dwVolumeSerialNumber;
  identity.index =
      (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return true;
}

bool CFileHandle::IsDiskFile() {
  return ::GetFileType(handle) == FILE_TYPE_DISK;
}

bool CInputFile::Open(const char* name) {
  Close();
  if (!Adopt(OpenFile(name, GENERIC_READ, OPEN_EXISTING))) return false;
  // Without memory for the block the file reads unbuffered.
  readsAhead_ = IsDiskFile() && readAhead_.Allocate();
  return true;
}

bool COutputFile::Create(const char* name, bool replace) {
  Close();
  return Adopt(OpenFile(name, GENERIC_WRITE, replace ? CREATE_ALWAYS : CREATE_NEW));
}

bool COutputFile::Write(const void* data, uint32_t size, uint32_t& processed) {
  DWORD count = 0;
  const BOOL ok = ::WriteFile(handle, data, size, &count, nullptr);
  processed = count;
  return ok != FALSE;
}
