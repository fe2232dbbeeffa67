#include "archive/readahead.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace {

// A file whose reads fail from byte failsAt on; byte i holds i mod 256. Counts the system reads.
class FailingFile : public ReadAhead::Source {
 public:
  explicit FailingFile(uint32_t failsAt) : failsAt_(failsAt) {}
  long Read(void* data, size_t size) override {
    ++reads;
    if (position_ >= failsAt_) {
      errno = EIO;
      return -1;
    }
    const size_t n = size < failsAt_ - position_ ? size : failsAt_ - position_;
    for (size_t i = 0; i < n; ++i) static_cast<uint8_t*>(data)[i] = uint8_t(position_ + i);
    position_ += static_cast<uint32_t>(n);
    return static_cast<long>(n);
  }
  int reads = 0;

 private:
  uint32_t failsAt_;
  uint32_t position_ = 0;
};

TEST(ReadAheadTest, OneSystemReadPerBlockAndFailuresWhereUnbufferedReadsHaveThem) {
  FailingFile file(70000);
  ReadAhead readAhead;
  ASSERT_TRUE(readAhead.Allocate());
  std::vector<uint8_t> out(ReadAhead::kBlockSize);
  uint32_t got = 0;
  for (uint32_t at = 0; at < 60000; ++at) {  // one byte per call, as the directory is read
    ASSERT_TRUE(readAhead.Read(file, out.data(), 1, got));
    ASSERT_EQ(got, 1u);
    ASSERT_EQ(out[0], uint8_t(at));
  }
  EXPECT_EQ(file.reads, 1);
  // The next fill stops at 70000 after 4464 bytes: a call that they satisfy succeeds, the one
  // that needs more gets them and fails, as an unbuffered read would.
  EXPECT_TRUE(readAhead.Read(file, out.data(), 5536 + 10, got));
  EXPECT_EQ(got, 5546u);
  errno = 0;
  EXPECT_FALSE(readAhead.Read(file, out.data(), 9000, got));
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(got, 70000u - 65546u);
  EXPECT_EQ(out[got - 1], uint8_t(69999));
  EXPECT_EQ(readAhead.Buffered(), 0u);
  // A read of a whole block goes straight to the system.
  file.reads = 0;
  EXPECT_FALSE(readAhead.Read(file, out.data(), ReadAhead::kBlockSize, got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(file.reads, 1);
}

}  // namespace
