#include "codec/lzmaproperties.h"

void EncodeLzmaProperties(const LzmaProperties& properties,
                          uint8_t (&header)[kLzmaPropertiesSize]) {
  header[0] = static_cast<uint8_t>((properties.pb * 5 + properties.lp) * 9 + properties.lc);
  for (int i = 0; i < 4; ++i) {
    header[1 + i] = static_cast<uint8_t>(properties.dictionarySize >> (8 * i));
  }
}

bool DecodeLzmaProperties(const uint8_t (&header)[kLzmaPropertiesSize],
                          LzmaProperties& properties) {
  const uint32_t d = header[0];
  if (d / 45 > 4) return false;
  properties.lc = d % 9;
  properties.lp = (d / 9) % 5;
  properties.pb = d / 45;
  properties.dictionarySize = 0;
  for (int i = 0; i < 4; ++i) {
    properties.dictionarySize |= static_cast<uint32_t>(header[1 + i]) << (8 * i);
  }
  return true;
}
