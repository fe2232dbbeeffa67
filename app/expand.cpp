#include <cstring>
#include <new>

#include "app/program.h"
#include "archive/longpath.h"
#include "log/log.h"

#ifdef _WIN32
namespace {

// The ANSI record of a wide one: attributes, size and the name in the system code page.
BOOL ToAnsi(BOOL found, const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA* data) {
  if (!found) return FALSE;
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = wide.dwFileAttributes;
  data->nFileSizeHigh = wide.nFileSizeHigh;
  data->nFileSizeLow = wide.nFileSizeLow;
  ::WideCharToMultiByte(CP_ACP, 0, wide.cFileName, -1, data->cFileName, sizeof data->cFileName - 1,
                        nullptr, nullptr);
  return TRUE;
}

}  // namespace
#endif

// On Windows the search takes the wide calls with LongPath's form of the pattern, as every name
// does.
HANDLE CSystemDirectorySearch::FindFirst(const char* pattern, WIN32_FIND_DATAA* data) {
#ifdef _WIN32
  WIN32_FIND_DATAW wide;
  HANDLE search = FindFirstFileW(LongPath(pattern).c_str(), &wide);
  ToAnsi(search != INVALID_HANDLE_VALUE, wide, data);
  return search;
#else
  return FindFirstFileA(pattern, data);
#endif
}

BOOL CSystemDirectorySearch::FindNext(HANDLE search, WIN32_FIND_DATAA* data) {
#ifdef _WIN32
  WIN32_FIND_DATAW wide;
  return ToAnsi(FindNextFileW(search, &wide), wide, data);
#else
  return FindNextFileA(search, data);
#endif
}

BOOL CSystemDirectorySearch::Close(HANDLE search) {
  return FindClose(search);
}

DWORD CSystemDirectorySearch::LastError() {
  return GetLastError();
}

namespace {

// The directory part of a pattern, separator included, as the directory search reads it: up to
// the last "/" or backslash, whichever comes later. (Preferring any "/" over a later backslash
// would put the names of "dir/sub\*.txt" into "dir/" instead of "dir/sub\".)
CText PatternDirectory(const CText& pattern) {
  CText directory = pattern.GetDirectory();
  const char* text = pattern.GetText();
  const char* backslash = std::strrchr(text, '\\');
  if (backslash != nullptr && static_cast<size_t>(backslash - text) >= directory.Length()) {
    directory.AssignRange(text, backslash + 1);
  }
  return directory;
}

bool IsDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

bool Program::ExpandWildcard(const CText& pattern, CNameList& targetList, CText& errorText) {
  LogScope scope(brioLog_Interface, "Program", "ExpandWildcard");
  CText prefix = PatternDirectory(pattern);

  WIN32_FIND_DATAA data;
  HANDLE search = search_->FindFirst(pattern.GetText(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    errorText.AppendFormat("File not found: %s", pattern.GetText());
    return false;
  }

  bool result = false;
  for (;;) {
    // The record's name is terminated within the record even if the search left it unterminated.
    data.cFileName[sizeof(data.cFileName) - 1] = '\0';
    if (!IsDotEntry(data.cFileName) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      CText fileName(prefix);
      fileName.Append(data.cFileName);
      // A pipe or a device is no file to pack: reading one may wait forever or never end.
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        errorText.AppendFormat("Not a regular file: %s", fileName.GetText());
        break;
      }
      brioLog_Interface.VVerbose("Program", "ExpandWildcard", "AddLast: %s", fileName.GetText());
      if (!AppendName(targetList, fileName.GetText())) break;  // no memory: the search breaks off
    }
    if (!search_->FindNext(search, &data)) {
      result = search_->LastError() == ERROR_NO_MORE_FILES;
      break;
    }
  }
  search_->Close(search);
  return result;
}
