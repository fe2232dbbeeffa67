#include "archive/file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>

#include "testing/scratchfolder.h"

namespace {

TEST(FileHandleTest, OpenFailuresLeaveTheirSystemCodesAndTheObjectClosed) {
  ScratchFolder dir;
  dir.WriteFile("plain", "x");
  std::filesystem::create_directory(dir.Path("sub"));
  const struct {
    std::string name;
    bool write;
    DWORD error;
  } kCases[] = {
      {dir.Path("missing"), false, ERROR_FILE_NOT_FOUND},
      {dir.Path("nofolder/a.txt"), true, ERROR_PATH_NOT_FOUND},
      {dir.dir() + "\\nofolder\\a.txt", false, ERROR_PATH_NOT_FOUND},
      {dir.Path("plain/below"), false, ERROR_PATH_NOT_FOUND},
      {"", false, ERROR_PATH_NOT_FOUND},
      {dir.Path("sub"), false, ERROR_ACCESS_DENIED},  // a folder is no file
      {dir.Path("sub"), true, ERROR_ACCESS_DENIED},
  };
  for (const auto& c : kCases) {
    CInputFile in;
    COutputFile out;
    CFileHandle& file = c.write ? static_cast<CFileHandle&>(out) : in;
    EXPECT_FALSE(c.write ? out.Create(c.name.c_str(), true) : in.Open(c.name.c_str())) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
    EXPECT_FALSE(file.IsOpen()) << c.name;
    EXPECT_TRUE(file.Close());  // closing a closed file is fine
  }
  // A closed file refuses everything with the code of an invalid handle.
  CInputFile closed;
  uint32_t n = 7;
  char c = 0;
  EXPECT_FALSE(closed.Read(&c, 1, n));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  uint64_t value = 0;
  EXPECT_FALSE(closed.GetLength(value));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
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
  std::filesystem::create_directory(dir.Path("sub"));
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
  // Both separators separate folders.
  ASSERT_TRUE(file.Create((dir.dir() + "\\sub\\b.bin").c_str(), false));
  EXPECT_TRUE(file.Write("abc", 3, n));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(dir.ReadFile("sub/b.bin"), "abc");
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
  ASSERT_TRUE(file.Seek(static_cast<int64_t>(-0x10), CFileHandle::kFromEnd, value));
  EXPECT_EQ(value, 0x100000000ull);
  ASSERT_TRUE(file.Seek(static_cast<int64_t>(5), CFileHandle::kFromCurrent, value));
  EXPECT_EQ(value, 0x100000005ull);
  value = 42;
  EXPECT_FALSE(file.Seek(static_cast<int64_t>(-1), CFileHandle::kFromBeginning, value));
  EXPECT_EQ(value, 42u);  // not written on failure
  ASSERT_TRUE(file.GetPosition(value));
  EXPECT_EQ(value, 0x100000005ull);  // nor moved
  ASSERT_TRUE(file.SetLength(3));
  ASSERT_TRUE(file.GetLength(value));
  EXPECT_EQ(value, 3u);
}

// Small reads of an input file go through a read-ahead block on POSIX; every seam of the block
// must give what an unbuffered file gives, as Windows does.
TEST(FileHandleTest, ReadsKeepPositionsSizesAndCountsAcrossTheReadAheadBlock) {
  ScratchFolder dir;
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
  dir.WriteFile("ra", data);
  CInputFile file;
  ASSERT_TRUE(file.Open(dir.Path("ra").c_str()));
  std::string buf(120000, '\0');
  // Reads at (seek origin, distance): count asked, count expected, position afterwards.
  const struct {
    uint32_t origin;
    int64_t distance;
    uint32_t size;
    uint32_t got;
    uint64_t after;
  } kSteps[] = {
      {CFileHandle::kFromCurrent, 0, 1, 1, 1},                   // fills the first block
      {CFileHandle::kFromCurrent, 999, 3, 3, 1003},              // forward inside the block
      {CFileHandle::kFromCurrent, -1003, 2, 2, 2},               // back to its start
      {CFileHandle::kFromBeginning, 65530, 12, 12, 65542},       // straddles the block's end
      {CFileHandle::kFromCurrent, -20, 100000, 100000, 165522},  // into the block, then on
      {CFileHandle::kFromBeginning, 150000, 10, 10, 150010},     // past the block
      {CFileHandle::kFromEnd, -2, 10, 2, 200000},                // the end of the file
      {CFileHandle::kFromCurrent, 0, 10, 0, 200000},
  };
  for (const auto& step : kSteps) {
    uint64_t at = 0;
    ASSERT_TRUE(file.Seek(step.distance, step.origin, at));
    uint32_t got = 99;
    ASSERT_TRUE(file.Read(&buf[0], step.size, got)) << at;
    EXPECT_EQ(got, step.got) << at;
    EXPECT_EQ(buf.substr(0, got), data.substr(static_cast<size_t>(at), got)) << at;
    uint64_t position = 0;
    uint64_t length = 0;
    EXPECT_TRUE(file.GetPosition(position) && file.GetLength(length));
    EXPECT_EQ(position, step.after) << at;
    EXPECT_EQ(length, 200000u) << at;
  }
}

TEST(FileHandleTest, IdentityTellsOneFileByAnyNameAndTypesTellDisksFromDevices) {
  ScratchFolder dir;
  dir.WriteFile("a", "a");
  dir.WriteFile("b", "b");
  std::filesystem::create_hard_link(dir.Path("a"), dir.Path("hard"));
  auto identity = [&](const char* name) {
    CInputFile file;
    FileIdentity id;
    EXPECT_TRUE(file.Open(dir.Path(name).c_str()) && file.GetIdentity(id)) << name;
    EXPECT_TRUE(file.IsDiskFile()) << name;
    return id;
  };
  EXPECT_TRUE(identity("a") == identity("hard"));
  EXPECT_FALSE(identity("a") == identity("b"));
#ifndef _WIN32
  // A pipe without a writer opens at once, and says what it is.
  ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  CInputFile pipe;
  ASSERT_TRUE(pipe.Open(dir.Path("fifo").c_str()));
  EXPECT_FALSE(pipe.IsDiskFile());
#endif
}

}  // namespace
