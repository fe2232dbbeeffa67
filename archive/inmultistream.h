// CInMultiFileStream presents an ordered list of files as one data stream (the contents of the
// first file, then of the second, ...) and writes the archive directory for the same list.
//
// A file whose size changes between the directory and the data (a log being written, a file
// replaced) must not shift the members behind it: for every file that WriteDirectory measured,
// Read delivers exactly the size written into the directory. A file that grew is cut there, one
// that shrank is filled up with zero bytes to it, and an Error line names it ("Size changed while
// packing: %s"); ChangedFileCount tells the caller. A file that kept its size is read as it
// stands, one system read per Read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/file.h"
#include "base/refcounted.h"
#include "base/streams.h"

// QueryInterface answers no identity.
class CInMultiFileStream : public CRefCounted<FaceQuery::kNone, ISequentialReader> {
 public:
  CInMultiFileStream() = default;
  ~CInMultiFileStream() override = default;

  // Returns bytes of one file only, at most the rest of it (of its size in the directory, when
  // WriteDirectory measured it); S_OK with a count of 0 after the last file. processed must not
  // be null.
  HRESULT Read(void* data, uint32_t size, uint32_t* processed) override;

  // The operations from here on are virtual for the layout of the object's virtual table, which
  // the design fixes (destructor, AddFile, WriteDirectory, the three field writers); nothing
  // overrides them.

  // Appends a copy of the name; the file system is not touched.
  virtual HRESULT AddFile(const char* name);
  // Writes the file count and, for each file, its name, a reserved 0 and its current length, which
  // Read then keeps to. E_FAIL when a file cannot be opened or measured; a failed Write ends it
  // with that result.
  virtual HRESULT WriteDirectory(ISequentialWriter* outStream);

  // The field writers of archive/layout.h.
  virtual HRESULT WriteUInt32(ISequentialWriter* outStream, uint32_t value);
  virtual HRESULT WriteUInt64(ISequentialWriter* outStream, uint64_t value);
  virtual HRESULT WriteLPCTSTR(ISequentialWriter* outStream, const char* string);

  // The bytes of the data stream: the sum of the sizes that WriteDirectory wrote.
  uint64_t DataSize() const;
  // The files whose size changed between the directory and the data so far.
  int ChangedFileCount() const { return changedFiles; }

  CInputFile File;

 private:
  // Logs the change of the current file's size, once per file.
  void ReportSizeChange();
  // Logs that name cannot be opened, with the system's reason (the last error).
  static void ReportOpenFailure(const char* method, const char* name);
  // Opens the file at nextIndex for reading; false, with an Error line, when it cannot.
  bool OpenNextFile();
  // Closes the current file, after reporting that its size changed when it did; zeros then make
  // up what a file that shrank still owes to its size in the directory.
  void CloseFile(bool changed);

  std::vector<std::string> names;
  bool fileOpen = false;
  int32_t nextIndex = 0;
  std::vector<uint64_t> sizes;  // the sizes in the directory, of the first sizes.size() files
  uint64_t remaining = 0;       // bytes of the current file still owed to the directory's size
  bool measured = false;        // the current file's size is in sizes
  bool filling = false;         // the current file shrank: zeros make up the remaining bytes
  int changedFiles = 0;
};
