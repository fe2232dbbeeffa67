// The single-file streams: CInFileStream reads the archive during extraction, COutFileStream
// writes it during compression. Each read or write is exactly one system call of the size asked
// for; a failed call returns the system's last-error code.
#pragma once

#include <cstdint>
#include <string>

#include "archive/file.h"
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
// CreateReplacing writes a new file that takes the place of an existing one only at the end:
// the bytes go to a temporary file beside it (its name and ".partial", or ".partial1" to
// ".partial99" when that is taken), and Commit gives the temporary file the name. A stream
// released without Commit removes its temporary file, so that a failed write leaves what was
// there as it was.
class COutFileStream : public CRefCounted<FaceQuery::kAnswer, IRandomWriter> {
 public:
  COutFileStream() = default;
  // Closes the file and removes a temporary file that was not committed.
  ~COutFileStream() override;

  // Logs "Writing %d bytes" at VVerbose, then writes.
  HRESULT Write(const void* data, uint32_t size, uint32_t* processed) override;
  HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* position) override;
  // Cuts or extends the file to length and keeps the current position.
  HRESULT SetSize(uint64_t length) override;

  bool Create(const char* name, bool replace);
  // Creates the temporary file for name when name does not exist or is a regular file; a name
  // that is something else (a device, a symbolic link, a folder) is created in place, as
  // Create(name, true) does. False when the file cannot be created.
  bool CreateReplacing(const char* name);
  // Closes the file and, when it was written under a temporary name, renames it to the name
  // given to CreateReplacing, replacing what was there. False (the temporary file removed) when
  // the rename fails; true at once for a file written in place.
  bool Commit();

  COutputFile File;

 private:
  std::string temporaryName_;  // empty unless a temporary file is held
  std::string finalName_;
};
