// The single-file streams: CInFileStream reads the archive during extraction, COutFileStream
// writes it during compression. Each read or write is exactly one system call of the size asked
// for; a failed call returns the system's last-error code.
#pragma once

#include <cstdint>

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
class COutFileStream : public CRefCounted<FaceQuery::kAnswer, IRandomWriter> {
 public:
  COutFileStream() = default;
  ~COutFileStream() override = default;

  // Logs "Writing %d bytes" at VVerbose, then writes.
  HRESULT Write(const void* data, uint32_t size, uint32_t* processed) override;
  HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* position) override;
  // Cuts or extends the file to length and keeps the current position.
  HRESULT SetSize(uint64_t length) override;

  bool Create(const char* name, bool replace);

  COutputFile File;
};
