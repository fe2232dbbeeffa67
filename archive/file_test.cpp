#include "archive/file.h"

#include <gtest/gtest.h>

#include "testing/scratchfolder.h"

namespace {

TEST(FileHandleTest, OpenFailsOnMissingFileAndStaysClosed) {
  ScratchFolder dir;
  CInputFile file;
  EXPECT_FALSE(file.Open(dir.Path("missing").c_str()));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(file.Close());  // closing a closed file is fine
}

TEST(FileHandleTest, SecondOpenClosesTheFirstFile) {
  ScratchFolder dir;
  dir.WriteFile("a", "first");
  dir.WriteFile("b", "second");
  CInputFile file;
  ASSERT_TRUE(file.Open(dir.Path("a").c_str()));
  ASSERT_TRUE(file.Open(dir.Path("b").c_str()));
  char buf[16];
  uint32_t n = 0;
  ASSERT_TRUE(file.Read(buf, sizeof buf, n));
  EXPECT_EQ(std::string(buf, n), "second");
  ASSERT_TRUE(file.Read(buf, sizeof buf, n));
  EXPECT_EQ(n, 0u);
  // A failed open leaves the object closed, the earlier file closed too.
  EXPECT_FALSE(file.Open(dir.Path("missing").c_str()));
  EXPECT_FALSE(file.IsOpen());
}

TEST(FileHandleTest, CreateReplacesOrRefusesAnExistingFile) {
  ScratchFolder dir;
  dir.WriteFile("out", "old contents");
  COutputFile file;
  EXPECT_FALSE(file.Create(dir.Path("out").c_str(), false));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(dir.ReadFile("out"), "old contents");
  ASSERT_TRUE(file.Create(dir.Path("out").c_str(), true));
  uint32_t n = 0;
  EXPECT_TRUE(file.Write("new", 3, n));
  EXPECT_EQ(n, 3u);
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(dir.ReadFile("out"), "new");
  EXPECT_FALSE(file.Create(dir.Path("nofolder/out").c_str(), true));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(FileHandleTest, SeekPositionAndLengthAreSixtyFourBits) {
  ScratchFolder dir;
  COutputFile file;
  ASSERT_TRUE(file.Create(dir.Path("sparse").c_str(), true));
  // A length with every bit of the low half set is a valid length, not a failure.
  ASSERT_TRUE(file.SetLength(0xFFFFFFFFull));
  uint64_t value = 0;
  ASSERT_TRUE(file.GetLength(value));
  EXPECT_EQ(value, 0xFFFFFFFFull);
  ASSERT_TRUE(file.GetPosition(value));
  EXPECT_EQ(value, 0xFFFFFFFFull);
  ASSERT_TRUE(file.SetLength(0x100000010ull));
  ASSERT_TRUE(file.GetLength(value));
  EXPECT_EQ(value, 0x100000010ull);
  ASSERT_TRUE(file.Seek(static_cast<int64_t>(-0x10), FILE_END, value));
  EXPECT_EQ(value, 0x100000000ull);
  ASSERT_TRUE(file.Seek(static_cast<int64_t>(5), FILE_CURRENT, value));
  EXPECT_EQ(value, 0x100000005ull);
  value = 42;
  EXPECT_FALSE(file.Seek(static_cast<int64_t>(-1), FILE_BEGIN, value));
  EXPECT_EQ(value, 42u);  // not written on failure
  ASSERT_TRUE(file.SetLength(3));
  ASSERT_TRUE(file.GetLength(value));
  EXPECT_EQ(value, 3u);
}

}  // namespace
