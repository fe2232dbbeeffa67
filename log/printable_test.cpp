#include "log/printable.h"

#include <gtest/gtest.h>

namespace {

TEST(PrintableTextTest, EscapesControlBytesOnly) {
  const struct {
    const char* text;
    const char* shown;
  } kCases[] = {
      {"plain.txt", "plain.txt"},
      {"\x1b[2Jx", "\\x1b[2Jx"},
      {"a\nb\r\t", "a\\x0ab\\x0d\\x09"},
      {"\x01\x1f\x7f", "\\x01\\x1f\\x7f"},
      {"data\\b.bin \x80\xff~", "data\\b.bin \x80\xff~"},  // backslash and high bytes stay
      {"", ""},
      {nullptr, ""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(PrintableText(c.text), c.shown) << (c.text != nullptr ? c.text : "(null)");
  }
}

}  // namespace
