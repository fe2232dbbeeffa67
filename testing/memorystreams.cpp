#include "testing/memorystreams.h"

#include <cstring>

HRESULT MemoryReader::Read(void* buffer, uint32_t size, uint32_t* processed) {
  requestSizes.push_back(size);
  if (processed != nullptr) *processed = 0;
  if (failAtCall != 0 && static_cast<int>(requestSizes.size()) == failAtCall) return failResult;
  size_t n = data.size() - position;
  if (n > size) n = size;
  if (chunkLimit != 0 && n > chunkLimit) n = chunkLimit;
  if (n > 0) std::memcpy(buffer, data.data() + position, n);
  position += n;
  if (processed != nullptr) *processed = static_cast<uint32_t>(n);
  return S_OK;
}

HRESULT MemoryWriter::Write(const void* buffer, uint32_t size, uint32_t* processed) {
  writeSizes.push_back(size);
  if (processed == nullptr) ++nullProcessedCalls;
  if (processed != nullptr) *processed = 0;
  if (failAtCall != 0 && static_cast<int>(writeSizes.size()) == failAtCall) return failResult;
  uint64_t room = acceptLimit > data.size() ? acceptLimit - data.size() : 0;
  uint32_t n = room < size ? static_cast<uint32_t>(room) : size;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  data.insert(data.end(), bytes, bytes + n);
  if (processed != nullptr) *processed = n;
  return S_OK;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}
