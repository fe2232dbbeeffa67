// FakeDirectorySearch: the directory search of the driver's unit tests, answering from a script.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/program.h"

// A directory search that answers from a script: each pattern has its entries and the error that
// ends them. Unknown patterns fail to start with ERROR_FILE_NOT_FOUND.
class FakeDirectorySearch : public IDirectorySearch {
 public:
  struct Entry {
    std::string name;
    bool directory;
  };

  void Add(const std::string& pattern, std::vector<Entry> entries,
           DWORD endError = ERROR_NO_MORE_FILES) {
    scripts_[pattern] = Script{std::move(entries), endError, 0};
  }

  HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* data) override {
    started.push_back(pattern);
    auto it = scripts_.find(pattern);
    if (it == scripts_.end() || it->second.entries.empty()) {
      lastError_ = ERROR_FILE_NOT_FOUND;
      return INVALID_HANDLE_VALUE;
    }
    it->second.next = 0;
    Deliver(it->second, data);
    ++openSearches;
    return &it->second;
  }

  BOOL FindNext(HANDLE search, WIN32_FIND_DATAA* data) override {
    Script* script = static_cast<Script*>(search);
    if (script->next >= script->entries.size()) {
      lastError_ = script->endError;
      return FALSE;
    }
    Deliver(*script, data);
    return TRUE;
  }

  BOOL Close(HANDLE /*search*/) override {
    --openSearches;
    ++closes;
    return TRUE;
  }

  DWORD LastError() override { return lastError_; }

  std::vector<std::string> started;  // patterns in the order the searches began
  int openSearches = 0;
  int closes = 0;
  // When set, every name fills the whole record without a terminator.
  bool unterminatedNames = false;

 private:
  struct Script {
    std::vector<Entry> entries;
    DWORD endError;
    size_t next;
  };

  void Deliver(Script& script, WIN32_FIND_DATAA* data) {
    const Entry& entry = script.entries[script.next++];
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = entry.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (unterminatedNames) {
      std::memset(data->cFileName, 'x', sizeof(data->cFileName));
    } else {
      std::strncpy(data->cFileName, entry.name.c_str(), sizeof(data->cFileName) - 1);
    }
  }

  std::map<std::string, Script> scripts_;
  DWORD lastError_ = ERROR_SUCCESS;
};
