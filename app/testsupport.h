// Test doubles of the driver's unit tests: a captured log, a captured usage stream and a scripted
// directory search.
#pragma once

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "app/program.h"
#include "log/log.h"

// Collects the lines of both log interfaces, assembled as the console would print them, and
// restores the console sink and both masks when it ends.
class LogCapture {
 public:
  LogCapture() : brioMask_(brioLog_Interface.GetMask()), lzmaMask_(lzmaLog_Interface.GetMask()) {
    brioLog_Interface.SetSink(&LogCapture::Sink, this);
    lzmaLog_Interface.SetSink(&LogCapture::Sink, this);
  }
  ~LogCapture() {
    brioLog_Interface.SetSink(nullptr, nullptr);
    lzmaLog_Interface.SetSink(nullptr, nullptr);
    brioLog_Interface.SetMask(brioMask_);
    lzmaLog_Interface.SetMask(lzmaMask_);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::string& Text() const { return text_; }
  void Clear() { text_.clear(); }

 private:
  static void Sink(void* context, uint32_t level, const char* className, const char* method,
                   const char* message) {
    char line[kLogLineBufferSize];
    int length = LogInterface::FormatLine(line, level, className, method, message);
    static_cast<LogCapture*>(context)->text_.append(line, static_cast<size_t>(length));
  }

  uint32_t brioMask_;
  uint32_t lzmaMask_;
  std::string text_;
};

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::random_device random;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::filesystem::path candidate = base / ("lzmulti-test-" + std::to_string(random()));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) path_ = candidate;
    }
  }
  ~ScratchDirectory() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Empty when no directory could be made.
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// A temporary file that stands in for standard error as the usage stream.
class UsageCapture {
 public:
  UsageCapture() : file_(nullptr) {
    if (!directory_.Path().empty())
      file_ = std::fopen((directory_.Path() + "/usage").c_str(), "w+b");
  }
  ~UsageCapture() {
    if (file_ != nullptr) std::fclose(file_);
  }
  UsageCapture(const UsageCapture&) = delete;
  UsageCapture& operator=(const UsageCapture&) = delete;

  FILE* Stream() const { return file_; }
  std::string Text() const {
    std::string text;
    if (file_ == nullptr) return "(no usage stream)";
    std::fflush(file_);
    std::rewind(file_);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
    std::fseek(file_, 0, SEEK_END);
    return text;
  }

 private:
  ScratchDirectory directory_;
  FILE* file_;
};

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
