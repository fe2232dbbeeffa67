// What both coders share around liblzma: a stream that is ended on every path, the options of a
// properties header's settings, and the progress report after each block.
#pragma once

#include <lzma.h>

#include <cstdint>

#include "codec/coder.h"
#include "codec/lzmaproperties.h"

struct LzmaStream {
  LzmaStream() = default;
  ~LzmaStream() { lzma_end(&strm); }
  LzmaStream(const LzmaStream&) = delete;
  LzmaStream& operator=(const LzmaStream&) = delete;

  lzma_stream strm = LZMA_STREAM_INIT;
};

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
