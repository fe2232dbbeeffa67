#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/msgbox.h"

namespace {

TEST(MessageBoxTest, FormatsCaptionThenText) {
  EXPECT_EQ("[Caption]\nline one\nline two\n",
            platform::FormatMessageBox("line one\nline two", "Caption"));
  EXPECT_EQ("[Caption]\nends with a feed\n",
            platform::FormatMessageBox("ends with a feed\n", "Caption"));
  EXPECT_EQ("[Error]\ntext\n", platform::FormatMessageBox("text", nullptr));
  EXPECT_EQ("[Caption]\n", platform::FormatMessageBox(nullptr, "Caption"));
  EXPECT_EQ("[Caption]\n", platform::FormatMessageBox("", "Caption"));
}

TEST(MessageBoxTest, ShowsOnStandardErrorAndAnswersOk) {
  std::FILE* capture = std::tmpfile();
  ASSERT_NE(nullptr, capture);
  std::fflush(stderr);
  int saved = ::dup(2);
  ::dup2(::fileno(capture), 2);
  int answer =
      MessageBoxA(nullptr, "Hello\nWorld", "Title", MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  EXPECT_EQ(IDOK, answer);
  std::rewind(capture);
  char text[256] = {};
  size_t got = std::fread(text, 1, sizeof text - 1, capture);
  std::fclose(capture);
  EXPECT_EQ("[Title]\nHello\nWorld\n", std::string(text, got));
}

TEST(MessageBoxTest, StylesHaveTheirWindowsValues) {
  EXPECT_EQ(0x40U, MB_OK | MB_ICONINFORMATION);
  EXPECT_EQ(0x2040U, MB_OK | MB_TASKMODAL | MB_ICONINFORMATION);
}

}  // namespace
