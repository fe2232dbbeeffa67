#include "app/progress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A clock set by the test; what is written, and what reaches the log, go into one transcript.
class FakeConsole : public IProgressConsole {
 public:
  uint64_t Milliseconds() override { return now; }
  void Write(const char* text, size_t length) override { transcript.append(text, length); }

  uint64_t now = 5000;
  std::string transcript;
};

void TranscriptSink(void* context, uint32_t /*level*/, const char* /*className*/,
                    const char* /*method*/, const char* message) {
  *static_cast<std::string*>(context) += std::string("<") + message + ">";
}

std::string Text(uint64_t done, uint64_t total, uint64_t elapsed) {
  char text[CProgressLine::kTextSize];
  const size_t length = CProgressLine::Format(text, done, total, elapsed);
  return std::string(text, length);
}

TEST(ProgressLineTest, TextOfShareBytesRateAndTimeLeft) {
  struct Case {
    uint64_t done, total, elapsed;
    const char* text;
  };
  const Case cases[] = {
      {0, 1000, 0, "  0% 0 B of 1000 B"},
      {1 << 20, 64 << 20, 100, "  1% 1.0 MiB of 64.0 MiB"},  // before a whole interval
      {0, 64 << 20, 2000, "  0% 0 B of 64.0 MiB"},           // nothing done yet
      {16 << 20, 64 << 20, 2000, " 25% 16.0 MiB of 64.0 MiB, 8.0 MiB/s, 0:06 left"},
      {1536, uint64_t{3} << 30, 1000, "  0% 1.5 KiB of 3.0 GiB, 1.5 KiB/s, 582:32:31 left"},
      {(uint64_t{1} << 30) - 1, uint64_t{1} << 30, 250000,
       " 99% 1.0 GiB of 1.0 GiB, 4.1 MiB/s, 0:00 left"},
      {70 << 20, 64 << 20, 1000, "100% 64.0 MiB of 64.0 MiB, 64.0 MiB/s, 0:00 left"},  // beyond
  };
  for (const Case& c : cases) EXPECT_EQ(Text(c.done, c.total, c.elapsed), c.text);
}

TEST(ProgressLineTest, DrawsAtTheFirstReportThenOncePerIntervalAndClearsBeforeLogLines) {
  FakeConsole console;
  std::string& out = console.transcript;
  brioLog_Interface.SetSink(&TranscriptSink, &out);
  lzmaLog_Interface.SetSink(&TranscriptSink, &out);
  uint64_t in = 50 << 20;
  uint64_t other = 0;
  std::string last;
  {
    RefHolder<CProgressLine> line(new CProgressLine(100 << 20, ProgressCount::kInput, &console));
    line->Clear();  // nothing on the screen yet
    brioLog_Interface.Error("C", "M", "before");
    ASSERT_EQ(line->SetRatioInfo(nullptr, &in), S_OK);  // a report without its count
    EXPECT_EQ(out, "<before>");

    out.clear();
    ASSERT_EQ(line->SetRatioInfo(&other, &in), S_OK);  // the output does not count
    console.now += CProgressLine::kIntervalMilliseconds - 1;
    line->SetRatioInfo(&in, &other);
    EXPECT_EQ(out, "\r  0% 0 B of 100.0 MiB");
    out.clear();
    console.now += 1;
    line->SetRatioInfo(&in, &other);
    const std::string half = " 50% 50.0 MiB of 100.0 MiB, 200.0 MiB/s, 0:00 left";
    EXPECT_EQ(out, "\r" + half);
    out.clear();
    console.now += 10 * 1000;
    in = 60 << 20;
    line->SetRatioInfo(&in, &other);
    // Blanks over the end of the longer line before it.
    EXPECT_EQ(out, "\r 60% 60.0 MiB of 100.0 MiB, 5.9 MiB/s, 0:07 left  ");

    out.clear();
    lzmaLog_Interface.Error("C", "M", "stream");
    brioLog_Interface.Error("C", "M", "driver");  // the line is off the screen already
    EXPECT_EQ(out, "\r" + std::string(half.size(), ' ') + "\r<stream><driver>");
    out.clear();
    console.now += CProgressLine::kIntervalMilliseconds;
    line->SetRatioInfo(&in, &other);
    last = out;
    ASSERT_EQ(last.substr(0, 5), "\r 60%");  // drawn anew, with nothing to cover
    EXPECT_EQ(last.back(), 't');
    out.clear();
  }
  EXPECT_EQ(out, "\r" + std::string(last.size() - 1, ' ') + "\r");  // cleared as it goes
  out.clear();
  brioLog_Interface.Error("C", "M", "after");
  lzmaLog_Interface.Error("C", "M", "after");
  EXPECT_EQ(out, "<after><after>");  // the sinks that were in place are back
  brioLog_Interface.SetSink(nullptr, nullptr);
  lzmaLog_Interface.SetSink(nullptr, nullptr);
}

}  // namespace
