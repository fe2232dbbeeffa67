// The archive's replacement on Windows: a temporary file beside the target, marked for deletion
// while it is written, see replacement.h. Every name takes the "\\?\" form of archive/longpath.h.
#include <windows.h>

#include <string>

#include "archive/longpath.h"
#include "archive/replacement.h"

namespace {

// The file that the reparse point at path leads to, as a "\\?\" path: "" when it leads nowhere.
std::wstring FinalTarget(const std::wstring& path) {
  HANDLE handle =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::wstring();
  std::wstring target(32768, L'\0');
  const DWORD length =
      ::GetFinalPathNameByHandleW(handle, &target[0], static_cast<DWORD>(target.size()), 0);
  ::CloseHandle(handle);
  if (length == 0 || length >= target.size()) return std::wstring();
  target.resize(length);
  return target;
}

// Marks an open file for deletion when its last handle closes, or takes the mark back.
bool MarkForDeletion(HANDLE handle, bool mark) {
  FILE_DISPOSITION_INFO dispose = {static_cast<BOOLEAN>(mark ? TRUE : FALSE)};
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose) !=
         FALSE;
}

}  // namespace

bool CReplacement::Create(const char* name, COutputFile& file) {
  Discard();
  std::wstring target = LongPath(name);
  DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    target = FinalTarget(target);
    if (target.empty()) return file.Create(name, true);  // a link that leads nowhere
    attributes = ::GetFileAttributesW(target.c_str());
  }
  const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & notPlain) != 0) {
    return file.Create(name, true);  // a device or a folder: in place
  }
  return TakeTemporary(target, [&](const std::wstring& candidate) {
    HANDLE handle = ::CreateFileW(candidate.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    // Should the process end before Commit, the system removes the file.
    MarkForDeletion(handle, true);
    return file.Adopt(handle);
  });
}

bool CReplacement::Commit(COutputFile& file) {
  if (target_.empty()) return file.Close();
  const bool renamed =
      MarkForDeletion(file.Handle(), false) && file.Close() &&
      ::MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  const DWORD error = ::GetLastError();
  if (renamed) temporary_.clear();
  Discard();
  ::SetLastError(error);
  return renamed;
}

void CReplacement::Discard() {
  if (!temporary_.empty()) ::DeleteFileW(temporary_.c_str());
  temporary_.clear();
  target_.clear();
}
