// What both coders hand to liblzma: a stream that is ended on every path, and the options of a
// properties header's settings.
#pragma once

#include <lzma.h>

#include <cstdint>

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
