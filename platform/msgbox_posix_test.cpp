#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/msgbox.h"
#include "testing/streamcapture.h"

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
  StreamCapture capture(stderr);
  ASSERT_TRUE(capture.Capturing());
  int answer =
      MessageBoxA(nullptr, "Hello\nWorld", "Title", MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
  const std::string text = capture.Text();
  EXPECT_EQ(IDOK, answer);
  EXPECT_EQ("[Title]\nHello\nWorld\n", text);
}

TEST(MessageBoxTest, StylesHaveTheirWindowsValues) {
  EXPECT_EQ(0x40U, MB_OK | MB_ICONINFORMATION);
  EXPECT_EQ(0x2040U, MB_OK | MB_TASKMODAL | MB_ICONINFORMATION);
}

}  // namespace
