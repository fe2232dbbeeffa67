// The single-file streams: CInFileStream reads the archive during extraction, COutFileStream
// writes it during compression. Each read or write is exactly one system call of the size asked
// for; a failed call returns the system's last-error code.
#pragma once

#include <cstdint>

#include "archive/file.h"
#include "base/streams.h"

class CInFileStream : public IRandomReader, public ISizeQuery {
 public:
  CInFileStream() = default;
  virtual ~CInFileStream() = default;

  HRESULT QueryInterface(const InterfaceId& iid, void** object) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  HRESULT Read(void* data, uint32_t size, uint32_t* processed) override;
  HRESULT ReadPartial(void* data, uint32_t size, uint32_t* processed) override;
  HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* position) override;
  HRESULT GetSize(uint64_t* size) override;

  bool Open(const char* name);

  CInputFile File;

 private:
  uint32_t refCount = 0;
};

class COutFileStream : public IRandomWriter {
 public:
  COutFileStream() = default;
  virtual ~COutFileStream() = default;

  HRESULT QueryInterface(const InterfaceId& iid, void** object) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // Logs "Writing %d bytes" at VVerbose, then writes.
  HRESULT Write(const void* data, uint32_t size, uint32_t* processed) override;
  HRESULT WritePartial(const void* data, uint32_t size, uint32_t* processed) override;
  HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* position) override;
  // Cuts or extends the file to length and keeps the current position.
  HRESULT SetSize(uint64_t length) override;

  bool Create(const char* name, bool replace);

  COutputFile File;

 private:
  uint32_t refCount = 0;
};
