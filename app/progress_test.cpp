#include "app/progress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A clock that the test sets; what the line writes and what reaches the log go into one transcript.
struct FakeConsole : IProgressConsole {
  uint64_t Milliseconds() override { return now; }
  void Write(const char* text, size_t length) override { out.append(text, length); }
  uint64_t now = 5000;
  std::string out;
};

void TranscriptSink(void* out, uint32_t, const char*, const char*, const char* message) {
  *static_cast<std::string*>(out) += std::string("<") + message + ">";
}

TEST(ProgressLineTest, DrawnOncePerIntervalAndBlankedOutBeforeLogLinesAndAtTheEnd) {
  FakeConsole console;
  brioLog_Interface.SetSink(&TranscriptSink, &console.out);
  lzmaLog_Interface.SetSink(&TranscriptSink, &console.out);
  uint64_t in = 50 << 20, other = 0;
  const std::string half = " 50% 50.0 MiB of 100.0 MiB, 200.0 MiB/s, 0:00 left";
  const std::string full = "100% 100.0 MiB of 100.0 MiB, 9.5 MiB/s, 0:00 left";
  {
    RefHolder<CProgressLine> line(new CProgressLine(100 << 20, ProgressCount::kInput, &console));
    line->SetRatioInfo(&other, &in);  // drawn at once, without a rate; the output does not count
    console.now += CProgressLine::kIntervalMilliseconds - 1;
    line->SetRatioInfo(&in, &other);  // not yet
    console.now += 1;
    line->SetRatioInfo(&in, &other);
    console.now += 10 * 1000;
    in = 60 << 20;
    line->SetRatioInfo(&in, &other);  // shorter: blanks cover the rest
    lzmaLog_Interface.Error("C", "M", "stream");
    brioLog_Interface.Error("C", "M", "driver");
    console.now += CProgressLine::kIntervalMilliseconds;
    in = 110 << 20;  // the decoder's few bytes beyond the data
    line->SetRatioInfo(&in, &other);
  }
  brioLog_Interface.Error("C", "M", "after");
  lzmaLog_Interface.Error("C", "M", "after");
  EXPECT_EQ(console.out, "\r  0% 0 B of 100.0 MiB\r" + half +
                             "\r 60% 60.0 MiB of 100.0 MiB, 5.9 MiB/s, 0:07 left  \r" +
                             std::string(half.size(), ' ') + "\r<stream><driver>\r" + full + "\r" +
                             std::string(full.size(), ' ') + "\r<after><after>");
  brioLog_Interface.SetSink(nullptr, nullptr);
  lzmaLog_Interface.SetSink(nullptr, nullptr);
  char text[CProgressLine::kTextSize];
  EXPECT_EQ(std::string(text, CProgressLine::Format(text, 1536, uint64_t{3} << 30, 1000)),
            "  0% 1.5 KiB of 3.0 GiB, 1.5 KiB/s, 582:32:31 left");
}

}  // namespace
