// What both halves of the file object share; the system calls are file_posix.cpp's and
// file_win32.cpp's.
#include "archive/file.h"

CFileHandle::CFileHandle() : handle(NoNativeFile()) {}

CFileHandle::~CFileHandle() {
  Close();
}

bool CFileHandle::Adopt(NativeFile opened) {
  Close();
  handle = opened;
  isOpen = handle != NoNativeFile();
  return isOpen;
}

bool CFileHandle::Seek(uint64_t target, uint64_t& position) {
  return Seek(static_cast<int64_t>(target), kFromBeginning, position);
}

bool CFileHandle::GetPosition(uint64_t& position) {
  return Seek(static_cast<int64_t>(0), kFromCurrent, position);
}

bool COutputFile::SetLength(uint64_t length) {
  uint64_t reached = 0;
  if (!Seek(length, reached) || reached != length) return false;
  return SetEndOfFile();
}
