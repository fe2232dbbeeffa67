#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/wsprintf.h"

namespace {

TEST(WsprintfTest, FormatsLikePrintfAndCountsTheStoredCharacters) {
  char buffer[WSPRINTF_LIMIT];
  EXPECT_EQ(10, wsprintfA(buffer, "0x%08lx", static_cast<unsigned long>(126)));
  EXPECT_STREQ("0x0000007e", buffer);
  EXPECT_EQ(10, wsprintfA(buffer, "0x%08lx", static_cast<unsigned long>(0xC1)));
  EXPECT_STREQ("0x000000c1", buffer);
  EXPECT_EQ(10, wsprintfA(buffer, "0x%08lx", static_cast<unsigned long>(0x8007007EUL)));
  EXPECT_STREQ("0x8007007e", buffer);
  EXPECT_EQ(6, wsprintfA(buffer, "%s=%d", "abc", 42));
  EXPECT_STREQ("abc=42", buffer);
}

TEST(WsprintfTest, NeverWritesBeyondTheLimit) {
  std::vector<char> buffer(3000, '#');
  std::string longText(2000, 'x');
  EXPECT_EQ(WSPRINTF_LIMIT - 1, wsprintfA(buffer.data(), "<%s>", longText.c_str()));
  EXPECT_EQ('<', buffer[0]);
  EXPECT_EQ('x', buffer[WSPRINTF_LIMIT - 2]);
  EXPECT_EQ('\0', buffer[WSPRINTF_LIMIT - 1]);
  for (size_t i = WSPRINTF_LIMIT; i < buffer.size(); ++i) ASSERT_EQ('#', buffer[i]) << i;
}

TEST(WsprintfTest, SingleByteCodePageHasNoLeadBytes) {
  for (int byte = 0; byte < 256; ++byte) {
    EXPECT_EQ(FALSE, IsDBCSLeadByte(static_cast<BYTE>(byte))) << byte;
  }
}

}  // namespace
