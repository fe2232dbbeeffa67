#include "log/printable.h"

std::string PrintableText(const char* text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string shown;
  for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += kDigits[byte >> 4];
      shown += kDigits[byte & 0xF];
    } else {
      shown += *p;
    }
  }
  return shown;
}
