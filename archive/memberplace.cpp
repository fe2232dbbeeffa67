#include "archive/memberplace.h"

#include <string>

namespace {

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool LeadsThroughLink(const char* name) {
  std::string prefix;
  for (const char* p = name; *p != '\0'; ++p) {
    if ((*p == '/' || *p == '\\') && !prefix.empty() &&
        IsLink(::GetFileAttributesA(prefix.c_str())))
      return true;
    prefix += *p;
  }
  return false;
}

bool CreateMemberFile(COutputFile& file, const char* name) {
  const DWORD attributes = ::GetFileAttributesA(name);
  if (IsLink(attributes)) {
    const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                             ? ::RemoveDirectoryA(name) != FALSE
                             : ::DeleteFileA(name) != FALSE;
    // Created new: whatever appears under the name meanwhile makes it fail.
    return removed && file.Create(name, false, FILE_FLAG_OPEN_REPARSE_POINT);
  }
  return file.Create(name, true, FILE_FLAG_OPEN_REPARSE_POINT);
}

bool NamesFile(const char* name, const FileIdentity& archive) {
  CInputFile existing;
  FileIdentity identity;
  return existing.Open(name) && existing.GetIdentity(identity) && identity == archive;
}
