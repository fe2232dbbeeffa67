// The single-file streams: CInFileStream reads the archive during extraction, COutFileStream
// writes it during compression. Each read or write is exactly one system call of the size asked
// for; a failed call returns the system's last-error code.
#pragma once

#include <cstdint>
#include <string>

#include "archive/file.h"
#include "archive/replacement.h"
#include "base/refcounted.h"
#include "base/streams.h"

// QueryInterface answers IRandomReader (the primary face) and ISizeQuery.
class CInFileStream : public CRefCounted<FaceQuery::kAnswer, IRandomReader, ISizeQuery> {
 public:
  CInFileStream() = default;
  ~CInFileStream() override = default;

  HRESULT Read(void* data, uint32_t size, uint32_t* processed) override;
  HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* position) override;
  HRESULT GetSize(uint64_t* size) override;

  bool Open(const char* name);

  CInputFile File;
};

// QueryInterface answers IRandomWriter.
//
// CreateReplacing writes a new file that takes the place of an existing one only at the end
// (archive/replacement.h): a stream released without Commit leaves what was there as it was.
class COutFileStream : public CRefCounted<FaceQuery::kAnswer, IRandomWriter> {
 public:
  COutFileStream() = default;
  // Closes the file; a new file that was not committed is discarded.
  ~COutFileStream() override;

  // Logs "Writing %d bytes" at VVerbose, then writes.
  HRESULT Write(const void* data, uint32_t size, uint32_t* processed) override;
  HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* position) override;
  // Cuts or extends the file to length and keeps the current position.
  HRESULT SetSize(uint64_t length) override;

  bool Create(const char* name, bool replace);
  // Opens the new file that is to take the place of name (or of the file that the link name
  // leads to); a name that leads to a device or a folder is written in place. False when the
  // file cannot be created.
  bool CreateReplacing(const char* name);
  // Closes the file and puts the new file in its place. False (the new file discarded, the old
  // one untouched) when that fails; true at once for a file written in place.
  bool Commit();
  // The system's code of the first Write that failed, or 0.
  DWORD WriteError() const { return writeError_; }

  COutputFile File;

 private:
  CReplacement replacement_;
  DWORD writeError_ = 0;
};
