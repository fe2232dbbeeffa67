// What both coders share around liblzma: a stream that is ended on every path, memory for
// liblzma, the options of a properties header's settings, and the progress report after each step.
#pragma once

#include <lzma.h>

#include <cstdint>
#include <cstdlib>
#include <new>

#include "codec/coder.h"
#include "codec/lzmaproperties.h"
#include "platform/largeblock.h"

struct LzmaStream {
  LzmaStream() = default;
  ~LzmaStream() { lzma_end(&strm); }
  LzmaStream(const LzmaStream&) = delete;
  LzmaStream& operator=(const LzmaStream&) = delete;

  lzma_stream strm = LZMA_STREAM_INIT;
};

// Memory for liblzma (lzma_stream::allocator): its blocks of at least kSystemBlockBytes, the
// dictionary above all, come straight from the system (platform::LargeBlock), so that a dictionary
// that a header claims is only reserved, backed as the data fill it and all given back at lzma_end;
// the smaller ones (models and state) come from the heap. Each block starts with the LargeBlock
// that owns it, an empty one for a heap block.
struct LzmaMemory {
  static constexpr size_t kSystemBlockBytes = size_t{1} << 20;
  static constexpr size_t kHeaderBytes = 16;  // keeps the heap's alignment
  static_assert(sizeof(platform::LargeBlock) <= kHeaderBytes, "the owner fits in the header");

  static void* Allocate(void* /*opaque*/, size_t count, size_t size) {
    if (size != 0 && count > (SIZE_MAX - kHeaderBytes) / size) return nullptr;
    const size_t bytes = count * size + kHeaderBytes;
    platform::LargeBlock block;
    void* start = nullptr;
    if (bytes >= kSystemBlockBytes) {
      if (!block.Allocate(bytes)) return nullptr;
      start = block.data();
    } else {
      start = std::malloc(bytes);
      if (start == nullptr) return nullptr;
    }
    new (start) platform::LargeBlock;
    Owner(start)->Swap(block);
    return static_cast<uint8_t*>(start) + kHeaderBytes;
  }

  static void Free(void* /*opaque*/, void* data) {
    if (data == nullptr) return;
    void* start = static_cast<uint8_t*>(data) - kHeaderBytes;
    platform::LargeBlock block;  // a system block gives itself back when this goes
    block.Swap(*Owner(start));
    Owner(start)->~LargeBlock();
    if (block.data() == nullptr) std::free(start);
  }

  static platform::LargeBlock* Owner(void* start) {
    return std::launder(static_cast<platform::LargeBlock*>(start));
  }
};
inline constexpr lzma_allocator kLzmaMemory = {LzmaMemory::Allocate, LzmaMemory::Free, nullptr};

// liblzma's LZMA1 options for lc, lp and pb of the settings and the given dictionary size; every
// other field keeps liblzma's default (the default preset, which liblzma always knows).
inline lzma_options_lzma LzmaOptions(const LzmaProperties& properties, uint32_t dictionarySize) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, LZMA_PRESET_DEFAULT);
  options.dict_size = dictionarySize;
  options.lc = properties.lc;
  options.lp = properties.lp;
  options.pb = properties.pb;
  return options;
}

// Tells progress, when there is a receiver, the bytes that the stream has taken and put out so
// far: S_OK, or the receiver's result, which stops the coder.
inline HRESULT TellProgress(ICompressProgressInfo* progress, const lzma_stream& strm) {
  if (progress == nullptr) return S_OK;
  const uint64_t in = strm.total_in;
  const uint64_t out = strm.total_out;
  return progress->SetRatioInfo(&in, &out);
}
