// In-memory streams for the tests of the stream users: a reader and a writer over bytes in memory,
// with failure injection, that record the calls they get.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/refcounted.h"
#include "base/streams.h"

// A reference-counted reader over bytes in memory. Each Read hands out at most chunkLimit bytes
// (0: no limit); failAtCall makes that Read (counted from 1) return failResult.
class MemoryReader : public CRefCounted<FaceQuery::kAnswer, ISequentialReader> {
 public:
  explicit MemoryReader(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}
  HRESULT Read(void* buffer, uint32_t size, uint32_t* processed) override;

  std::vector<uint8_t> data;
  size_t position = 0;
  uint32_t chunkLimit = 0;
  int failAtCall = 0;
  HRESULT failResult = E_FAIL;
  std::vector<uint32_t> requestSizes;
};

// A reference-counted writer that keeps what it is given. acceptLimit caps the bytes it takes
// in all (further bytes are refused with S_OK and a short count); failAtCall makes that Write
// (counted from 1) return failResult after taking nothing.
class MemoryWriter : public CRefCounted<FaceQuery::kAnswer, ISequentialWriter> {
 public:
  HRESULT Write(const void* buffer, uint32_t size, uint32_t* processed) override;

  std::vector<uint8_t> data;
  uint64_t acceptLimit = UINT64_MAX;
  int failAtCall = 0;
  HRESULT failResult = E_FAIL;
  std::vector<uint32_t> writeSizes;
  int nullProcessedCalls = 0;
};

std::vector<uint8_t> Bytes(const std::string& text);
