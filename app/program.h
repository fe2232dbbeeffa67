// Program: the settings of one lzmulti run and its run flow.
//
// main builds one Program, calls Main once and destroys it. Main parses the command line, expands
// every input name through the directory search, and runs exactly one of Compress, Decompress and
// Usage. Every outcome is reported through brioLog_Interface; the exit status does not change.
#pragma once

#include <cstdint>

#include "base/namelist.h"
#include "base/text.h"
#include "platform/findfile.h"

// The directory search that the wildcard expansion runs on. The system one calls
// FindFirstFileA, FindNextFileA, FindClose and GetLastError; tests put a scripted one in its place.
class IDirectorySearch {
 public:
  virtual ~IDirectorySearch() = default;
  // INVALID_HANDLE_VALUE when the search cannot start.
  virtual HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* data) = 0;
  // FALSE when no entry comes; LastError then tells the end (ERROR_NO_MORE_FILES) from a failure.
  virtual BOOL FindNext(HANDLE search, WIN32_FIND_DATAA* data) = 0;
  virtual BOOL Close(HANDLE search) = 0;
  virtual DWORD LastError() = 0;
};

// On Windows the search runs on the wide calls, the pattern in the form that every name takes
// (archive/longpath.h), and the names come back in the system code page.
class CSystemDirectorySearch : public IDirectorySearch {
 public:
  HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* data) override;
  BOOL FindNext(HANDLE search, WIN32_FIND_DATAA* data) override;
  BOOL Close(HANDLE search) override;
  DWORD LastError() override;
};

class COutMultiFileStream;

class Program {
 public:
  enum Mode : int32_t {
    ModeUndecided = 0,
    ModeCompress = 1,
    ModeDecompress = 2,
    ModeUsage = 3,
  };

  Program();
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The run flow; returns the result of the operation it ran (1 from Usage).
  int Main(int argc, const char* const* argv);
  // Reads the command line into the settings; always 1.
  int ParseArgs(int argc, const char* const* argv);
  // Writes the usage text to standard error; always 1.
  int Usage();
  // Appends the names of the regular files that pattern matches to targetList. Returns false when
  // the search cannot start (errorText then holds "File not found: <pattern>") or breaks off.
  bool ExpandWildcard(const CText& pattern, CNameList& targetList, CText& errorText);
  // The archive pipelines. Each returns 0 when it could not start (an object not created, the
  // archive not opened or created, the settings refused) and 1 otherwise, also after a failure
  // on the way: only the log tells the whole outcome.
  int Compress(const CText& compressedFile, const CNameList& inputFiles);
  int Decompress(const CText& compressedFile);

  // Replaces the directory search (null restores the system one); the caller keeps ownership.
  void SetDirectorySearch(IDirectorySearch* search);

 private:
  // The Error lines after an extraction that the decoder ended with result: the first member not
  // completely extracted, data left over, the members never created.
  static void ReportExtraction(const COutMultiFileStream& outStream, HRESULT result);
  // The Error line of a coder that cannot have the memory its window needs.
  static void LogNoMemory(const char* method, uint32_t windowBytes, uint64_t memory);

  // Applies one option with its value.
  void ApplyOption(const CText& option, const CText& value);
  // Appends a new entry with the given name to a list.
  static bool AppendName(CNameList& list, const char* name);

  // The steps of Main after ParseArgs. ExpandInputNames expands every input pattern into
  // inputFiles_ and stops at the first one that fails; LogSummary reports the run's settings;
  // ChooseMode decides an undecided mode_; RunMode runs it.
  bool ExpandInputNames();
  void LogSummary();
  void ChooseMode();
  int RunMode();

  CText programName_;
  int32_t mode_;
  CText compressedFile_;
  CText extension_;
  CNameList inputPatterns_;  // the input names as typed
  CNameList inputFiles_;     // the files they matched
  int32_t windowSize_;
  int32_t preservePath_;
  int32_t createPath_;
  int32_t toc_;

  CSystemDirectorySearch systemSearch_;
  IDirectorySearch* search_;
};
