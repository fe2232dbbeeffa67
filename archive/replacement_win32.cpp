// The archive's replacement on Windows: a temporary file beside the target, marked for deletion
// while it is written, see replacement.h.
#include <windows.h>

#include <string>

#include "archive/replacement.h"

namespace {

// The file that the reparse point name leads to, as a path: "" when it leads nowhere.
std::string FinalTarget(const char* name) {
  HANDLE handle = ::CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::string();
  char path[32768];
  const DWORD length = ::GetFinalPathNameByHandleA(handle, path, sizeof path, 0);
  ::CloseHandle(handle);
  if (length == 0 || length >= sizeof path) return std::string();
  std::string target(path, length);
  // "\\?\C:\..." names the same file as "C:\..." for the calls that take short paths.
  if (target.compare(0, 4, "\\\\?\\") == 0 && target.compare(4, 4, "UNC\\") != 0) {
    target.erase(0, 4);
  }
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
  std::string target = name;
  DWORD attributes = ::GetFileAttributesA(name);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    target = FinalTarget(name);
    attributes = target.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(target.c_str());
    if (target.empty()) return file.Create(name, true);  // a link that leads nowhere
  }
  const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & notPlain) != 0) {
    return file.Create(name, true);
  }
  return TakeTemporary(target, [&](const char* candidate) {
    HANDLE handle = ::CreateFileA(candidate, GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
      ::MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  const DWORD error = ::GetLastError();
  if (renamed) temporary_.clear();
  Discard();
  ::SetLastError(error);
  return renamed;
}

void CReplacement::Discard() {
  if (!temporary_.empty()) ::DeleteFileA(temporary_.c_str());
  temporary_.clear();
  target_.clear();
}
