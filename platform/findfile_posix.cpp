#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/findfile.h"

namespace {

// One search: the directory as the system spells it and the matching names, sorted.
struct FindState {
  std::string directory;  // empty for the current directory, else ends in "/"
  std::vector<std::string> names;
  size_t next = 0;
};

bool HasWildcard(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

// Describes one entry; false when it has vanished or its name does not fit cFileName.
bool FillEntry(const FindState& state, const std::string& name, WIN32_FIND_DATAA* data) {
  if (name.size() >= sizeof(data->cFileName)) return false;
  std::string path = state.directory + name;
  struct stat st;
  // A dangling symbolic link is reported as a file; opening it fails later with its own error.
  if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) return false;
  std::memset(data, 0, sizeof(*data));
  const bool directory = S_ISDIR(st.st_mode);
  data->dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (!directory && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    data->dwFileAttributes = FILE_ATTRIBUTE_DEVICE;
  }
  uint64_t size = directory ? 0 : static_cast<uint64_t>(st.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
  return true;
}

// Fills data with the next entry that can be described; false at the end.
bool DeliverNext(FindState* state, WIN32_FIND_DATAA* data) {
  while (state->next < state->names.size()) {
    const std::string& name = state->names[state->next++];
    if (FillEntry(*state, name, data)) return true;
  }
  return false;
}

HANDLE Fail(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

HANDLE StartSearch(const char* fileName, WIN32_FIND_DATAA* findData) {
  std::string pattern(fileName);
  size_t separator = pattern.find_last_of("/\\");
  std::string directory = separator == std::string::npos ? "" : pattern.substr(0, separator + 1);
  std::string last = separator == std::string::npos ? pattern : pattern.substr(separator + 1);
  if (HasWildcard(directory)) return Fail(ERROR_INVALID_NAME);
  std::replace(directory.begin(), directory.end(), '\\', '/');

  const std::string directoryPath = directory.empty() ? "./" : directory;
  struct stat st;
  if (stat(directoryPath.c_str(), &st) != 0)
    return Fail(platform::ErrorForPath(errno, directoryPath));
  if (!S_ISDIR(st.st_mode)) return Fail(ERROR_PATH_NOT_FOUND);
  if (last.empty()) return Fail(ERROR_FILE_NOT_FOUND);

  auto* state = new FindState;
  state->directory = directory;
  if (!HasWildcard(last)) {
    state->names.push_back(last);
  } else {
    DIR* dir = opendir(directoryPath.c_str());
    if (dir == nullptr) {
      const int err = errno;
      delete state;
      return Fail(platform::ErrorForPath(err, directoryPath));
    }
    while (const dirent* entry = readdir(dir)) {
      if (platform::MatchWildcard(last.c_str(), entry->d_name))
        state->names.push_back(entry->d_name);
    }
    closedir(dir);
    std::sort(state->names.begin(), state->names.end());
  }
  if (!DeliverNext(state, findData)) {
    delete state;
    return Fail(ERROR_FILE_NOT_FOUND);
  }
  return static_cast<HANDLE>(state);
}

// The search behind a handle, or null with ERROR_INVALID_HANDLE.
FindState* StateOf(HANDLE findFile) {
  if (findFile == nullptr || findFile == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<FindState*>(findFile);
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
  if (fileName == nullptr || findData == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (fileName[0] == '\0') return Fail(ERROR_PATH_NOT_FOUND);
  try {
    return StartSearch(fileName, findData);
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData) {
  auto* state = StateOf(findFile);
  if (state == nullptr) return FALSE;
  if (findData == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!DeliverNext(state, findData)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE findFile) {
  auto* state = StateOf(findFile);
  if (state == nullptr) return FALSE;
  delete state;
  return TRUE;
}

namespace platform {

bool MatchWildcard(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0) return true;
  // Greedy match with one backtracking point: the last "*" seen so far.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || *pattern == *name) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace platform
