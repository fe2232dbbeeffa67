#include "archive/file.h"

#include "archive/longpath.h"

CFileHandle::~CFileHandle() {
  Close();
}

bool CFileHandle::Close() {
  if (!isOpen) return true;
  if (!::CloseHandle(handle)) return false;
  isOpen = false;
  handle = INVALID_HANDLE_VALUE;
  return true;
}

bool CFileHandle::Adopt(HANDLE opened) {
  Close();
  handle = opened;
  isOpen = handle != INVALID_HANDLE_VALUE;
  return isOpen;
}

bool CFileHandle::OpenHandle(const char* name, DWORD access, DWORD shareMode,
                             DWORD creationDisposition, DWORD attributes) {
  Close();
  HANDLE opened =
      ::CreateFileA(name, access, shareMode, nullptr, creationDisposition, attributes, nullptr);
#ifdef _WIN32
  if (opened == INVALID_HANDLE_VALUE && IsLongName(name)) {
    opened = ::CreateFileW(LongPath(name).c_str(), access, shareMode, nullptr, creationDisposition,
                           attributes, nullptr);
  }
#endif
  return Adopt(opened);
}

bool CFileHandle::Seek(int64_t distance, DWORD origin, uint64_t& position) {
  const auto bits = static_cast<uint64_t>(distance);
  LONG high = static_cast<LONG>(static_cast<uint32_t>(bits >> 32));
  ::SetLastError(0);
  const DWORD low =
      ::SetFilePointer(handle, static_cast<LONG>(static_cast<uint32_t>(bits)), &high, origin);
  if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != 0) return false;
  position = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
  return true;
}

bool CFileHandle::Seek(uint64_t target, uint64_t& position) {
  return Seek(static_cast<int64_t>(target), FILE_BEGIN, position);
}

bool CFileHandle::GetPosition(uint64_t& position) {
  return Seek(static_cast<int64_t>(0), FILE_CURRENT, position);
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

bool CInputFile::Open(const char* name) {
  return OpenHandle(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

bool CInputFile::Read(void* data, uint32_t size, uint32_t& processed) {
  DWORD count = 0;
  const BOOL ok = ::ReadFile(handle, data, size, &count, nullptr);
  processed = count;
  return ok != FALSE;
}

bool COutputFile::Create(const char* name, bool replace) {
  return OpenHandle(name, GENERIC_WRITE, FILE_SHARE_READ, replace ? CREATE_ALWAYS : CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL);
}

bool COutputFile::Write(const void* data, uint32_t size, uint32_t& processed) {
  DWORD count = 0;
  const BOOL ok = ::WriteFile(handle, data, size, &count, nullptr);
  processed = count;
  return ok != FALSE;
}

bool COutputFile::SetLength(uint64_t length) {
  uint64_t reached = 0;
  if (!Seek(length, reached) || reached != length) return false;
  return SetEndOfFile();
}
