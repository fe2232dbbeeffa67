// In-memory streams for the tests of the stream users: a reader and a writer over bytes in memory,
// with failure injection, that record the calls they get.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/streams.h"

// A reference-counted reader over bytes in memory. Each Read hands out at most chunkLimit bytes
// (0: no limit); failAtCall makes that Read (counted from 1) return failResult.
class MemoryReader : public ISequentialReader {
 public:
  explicit MemoryReader(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}
  virtual ~MemoryReader() = default;
  HRESULT QueryInterface(const InterfaceId& iid, void** object) override;
  uint32_t AddRef() override { return ++refCount; }
  uint32_t Release() override;
  HRESULT Read(void* buffer, uint32_t size, uint32_t* processed) override;
  HRESULT ReadPartial(void* buffer, uint32_t size, uint32_t* processed) override;

  std::vector<uint8_t> data;
  size_t position = 0;
  uint32_t chunkLimit = 0;
  int failAtCall = 0;
  HRESULT failResult = E_FAIL;
  std::vector<uint32_t> requestSizes;
  uint32_t refCount = 0;
};

// A reference-counted writer that keeps what it is given. acceptLimit caps the bytes it takes
// in all (further bytes are refused with S_OK and a short count); failAtCall makes that Write
// (counted from 1) return failResult after taking nothing.
class MemoryWriter : public ISequentialWriter {
 public:
  MemoryWriter() = default;
  virtual ~MemoryWriter() = default;
  HRESULT QueryInterface(const InterfaceId& iid, void** object) override;
  uint32_t AddRef() override { return ++refCount; }
  uint32_t Release() override;
  HRESULT Write(const void* buffer, uint32_t size, uint32_t* processed) override;
  HRESULT WritePartial(const void* buffer, uint32_t size, uint32_t* processed) override;

  std::vector<uint8_t> data;
  uint64_t acceptLimit = UINT64_MAX;
  int failAtCall = 0;
  HRESULT failResult = E_FAIL;
  std::vector<uint32_t> writeSizes;
  int nullProcessedCalls = 0;
  uint32_t refCount = 0;
};

std::vector<uint8_t> Bytes(const std::string& text);
