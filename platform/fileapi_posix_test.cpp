#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

#include "platform/fileapi.h"
#include "testing/scratchfolder.h"
#include "testing/scratchtest.h"

namespace {

class FileApiTest : public ScratchTest {
 protected:
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void WriteText(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  std::string ReadText(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  HANDLE Open(const std::string& path, DWORD access, DWORD disposition) const {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
};

TEST_F(FileApiTest, OpenFailuresLeaveTheirWin32Codes) {
  SetLastError(0);
  EXPECT_EQ(Open(Path("missing.txt"), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  EXPECT_EQ(Open(Path("nofolder/a.txt"), GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open(Path("nofolder\\a.txt"), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  WriteText("plain", "x");
  EXPECT_EQ(Open(Path("plain/below"), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  EXPECT_EQ(Open(Path("plain"), GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadText("plain"), "x");

  EXPECT_EQ(Open("", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  EXPECT_EQ(Open(Path("plain"), GENERIC_READ, 99), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ReadText("plain"), "x");
}

TEST_F(FileApiTest, DirectoriesCannotBeOpenedAsFiles) {
  ASSERT_EQ(mkdir(Path("sub").c_str(), 0755), 0);
  EXPECT_EQ(Open(Path("sub"), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open(Path("sub"), GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open(Path("sub"), GENERIC_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(FileApiTest, BackslashSeparatesFolders) {
  ASSERT_EQ(mkdir(Path("sub").c_str(), 0755), 0);
  HANDLE h = Open(dir_ + "\\sub\\b.bin", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(ReadText("sub/b.bin"), "abc");
}

TEST_F(FileApiTest, DispositionsCreateAndTruncate) {
  HANDLE h = Open(Path("f"), GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(WriteFile(h, "hello", 5, nullptr, nullptr));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(ReadText("f"), "hello");

  h = Open(Path("f"), GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadText("f"), "");
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FileApiTest, ReadsToTheEndAndThenZero) {
  WriteText("r", "0123456789");
  HANDLE h = Open(Path("r"), GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[16] = {};
  DWORD got = 99;
  EXPECT_TRUE(ReadFile(h, buf, 4, &got, nullptr));
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_TRUE(ReadFile(h, buf, 16, &got, nullptr));
  EXPECT_EQ(got, 6u);
  EXPECT_EQ(std::string(buf, 6), "456789");
  EXPECT_TRUE(ReadFile(h, buf, 16, &got, nullptr));
  EXPECT_EQ(got, 0u);
  // A handle opened for reading only refuses writes.
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FileApiTest, SeekOriginsAndRefusedMoves) {
  WriteText("s", "abcdefghij");
  HANDLE h = Open(Path("s"), GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LONG high = 0;
  EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_END), 10u);
  EXPECT_EQ(high, 0);
  EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_CURRENT), 7u);
  high = -1;  // -2 as a 64-bit distance: both halves count
  EXPECT_EQ(SetFilePointer(h, -2, &high, FILE_CURRENT), 5u);
  EXPECT_EQ(high, 0);
  char c = 0;
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(h, &c, 1, &got, nullptr));
  EXPECT_EQ(c, 'f');

  // Moving before the start fails and leaves the pointer where it was.
  EXPECT_EQ(SetFilePointer(h, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 6u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, 3), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // Beyond 4 GiB needs the high half.
  high = 1;
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
  EXPECT_EQ(SetFilePointer(h, 0x7FFFFFFF, nullptr, FILE_CURRENT), 0x7FFFFFFFu);
  EXPECT_EQ(SetFilePointer(h, 0x7FFFFFFF, nullptr, FILE_CURRENT), 0xFFFFFFFEu);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_BEGIN), 0u);
  EXPECT_EQ(high, 1);
  EXPECT_TRUE(CloseHandle(h));
}

// A handle that reads and denies writing reads ahead in 64 KiB blocks; every seam of the block
// must give what an unbuffered handle gives.
TEST_F(FileApiTest, ReadAheadKeepsPositionsSizesAndCounts) {
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
  WriteText("ra", data);
  HANDLE h = Open(Path("ra"), GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::string buf(120000, '\0');
  // Reads at (seek origin, distance): count asked, count expected, position afterwards.
  const struct {
    DWORD origin;
    LONG distance;
    DWORD size;
    DWORD got;
    DWORD after;
  } kSteps[] = {
      {FILE_CURRENT, 0, 1, 1, 1},                   // fills the first block
      {FILE_CURRENT, 999, 3, 3, 1003},              // forward inside the block
      {FILE_CURRENT, -1003, 2, 2, 2},               // back to its start
      {FILE_BEGIN, 65530, 12, 12, 65542},           // straddles the block's end
      {FILE_CURRENT, -20, 100000, 100000, 165522},  // into the buffer, then straight on
      {FILE_BEGIN, 150000, 10, 10, 150010},         // past the block
      {FILE_END, -2, 10, 2, 200000},                // the end of the file
      {FILE_CURRENT, 0, 10, 0, 200000},
  };
  for (const auto& step : kSteps) {
    const DWORD at = SetFilePointer(h, step.distance, nullptr, step.origin);
    DWORD got = 99;
    ASSERT_TRUE(ReadFile(h, &buf[0], step.size, &got, nullptr)) << at;
    EXPECT_EQ(got, step.got) << at;
    EXPECT_EQ(buf.substr(0, got), data.substr(at, got)) << at;
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), step.after) << at;
    EXPECT_EQ(GetFileSize(h, nullptr), 200000u) << at;
  }
  EXPECT_TRUE(CloseHandle(h));
}

// Sparse files: the size lives only in the metadata, so these cost no disk space.
TEST_F(FileApiTest, SizesAndPositionsBeyond32Bits) {
  HANDLE h = Open(Path("big"), GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LONG high = 1;
  EXPECT_EQ(SetFilePointer(h, 5, &high, FILE_BEGIN), 5u);
  EXPECT_EQ(high, 1);
  EXPECT_TRUE(WriteFile(h, "Z", 1, nullptr, nullptr));
  DWORD sizeHigh = 0;
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 6u);  // 2^32 + 6
  EXPECT_EQ(sizeHigh, 1u);
  high = 1;
  EXPECT_EQ(SetFilePointer(h, 5, &high, FILE_BEGIN), 5u);
  char c = 0;
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(h, &c, 1, &got, nullptr));
  EXPECT_EQ(c, 'Z');

  // A length whose low half has every bit set is a valid size: the last error tells.
  high = 0;
  EXPECT_EQ(SetFilePointer(h, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(high, 0);
  EXPECT_TRUE(SetEndOfFile(h));
  sizeHigh = 7;
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 0xFFFFFFFFu);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(sizeHigh, 0u);
  EXPECT_TRUE(CloseHandle(h));

  struct stat st;
  ASSERT_EQ(stat(Path("big").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0xFFFFFFFFLL);
}

TEST_F(FileApiTest, SetEndOfFileCutsAtThePointer) {
  WriteText("t", "0123456789");
  HANDLE h = Open(Path("t"), GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
  EXPECT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, nullptr), 4u);
  // A handle opened for writing only refuses reads.
  char c = 0;
  DWORD got = 7;
  EXPECT_FALSE(ReadFile(h, &c, 1, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(ReadText("t"), "0123");
}

// Symbolic links are reparse points: they are seen, removed and refused as links, never through.
TEST_F(FileApiTest, FileIdentityTellsOneFileByAnyName) {
  WriteText("a", "a");
  WriteText("b", "b");
  ASSERT_EQ(link(Path("a").c_str(), Path("hard").c_str()), 0);
  ASSERT_EQ(symlink("a", Path("soft").c_str()), 0);
  auto identity = [&](const char* name) {
    HANDLE h = Open(Path(name), GENERIC_READ, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << name;
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(GetFileInformationByHandle(h, &info));
    EXPECT_TRUE(CloseHandle(h));
    return std::make_pair(info.dwVolumeSerialNumber,
                          (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
  };
  EXPECT_EQ(identity("a"), identity("hard"));
  EXPECT_EQ(identity("a"), identity("soft"));
  EXPECT_NE(identity("a"), identity("b"));
  EXPECT_FALSE(GetFileInformationByHandle(INVALID_HANDLE_VALUE, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(FileApiDeviceTest, FullDeviceReportsDiskFullAndTypesTellDevicesFromFiles) {
  HANDLE h = CreateFileA("/dev/full", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no /dev/full here";
  DWORD written = 5;
  EXPECT_FALSE(WriteFile(h, "abc", 3, &written, nullptr));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(GetFileType(h), FILE_TYPE_CHAR);
  EXPECT_TRUE(CloseHandle(h));
  // A pipe without a writer opens at once, and says what it is.
  ScratchFolder dir;
  ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  h = CreateFileA(dir.Path("fifo").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(h), FILE_TYPE_PIPE);
  EXPECT_TRUE(CloseHandle(h));
}

TEST(FileApiHandleTest, InvalidHandlesAreRefused) {
  DWORD n = 3;
  char c;
  EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, &c, 1, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(WriteFile(nullptr, &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(SetFilePointer(INVALID_HANDLE_VALUE, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_FALSE(SetEndOfFile(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
