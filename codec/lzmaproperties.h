// The codec properties header that opens every archive: five bytes, the properties byte
// (pb * 5 + lp) * 9 + lc and then the dictionary size as 32 bits, lowest byte first. The encoder
// writes it (WriteCoderProperties), the decoder reads it (SetDecoderProperties); the rest of the
// archive layout is archive/layout.h's.
#pragma once

#include <cstdint>

constexpr uint32_t kLzmaPropertiesSize = 5;

struct LzmaProperties {
  uint32_t lc = 3;  // literal context bits, 0 to 8
  uint32_t lp = 0;  // literal position bits, 0 to 4
  uint32_t pb = 2;  // position bits, 0 to 4
  uint32_t dictionarySize = 1 << 23;
};

void EncodeLzmaProperties(const LzmaProperties& properties, uint8_t (&header)[kLzmaPropertiesSize]);
// False, with properties unchanged, for a properties byte of 225 or more (pb above 4); every
// smaller byte is a valid lc, lp and pb. The dictionary size is taken as stored.
bool DecodeLzmaProperties(const uint8_t (&header)[kLzmaPropertiesSize], LzmaProperties& properties);
