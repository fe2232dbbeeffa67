#include "archive/outmultistream.h"

#include <gtest/gtest.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "testing/logcapture.h"
#include "testing/memorystreams.h"
#include "testing/scratchfolder.h"
#include "testing/streamcapture.h"

namespace {

// Directory bytes for (name, size) entries.
std::string Directory(const std::vector<std::pair<std::string, uint64_t>>& entries) {
  auto u32 = [](uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
  };
  std::string out = u32(static_cast<uint32_t>(entries.size()));
  for (const auto& [name, size] : entries) {
    out += u32(static_cast<uint32_t>(name.size())) + name + u32(0);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(size >> (8 * i)));
  }
  return out;
}

class OutMultiFileStreamTest : public ::testing::Test {
 protected:
  // Member names are relative to the current directory: the tests run in the scratch folder.
  void SetUp() override {
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.dir().c_str()), 0);
    stream_ = new COutMultiFileStream;
    stream_->AddRef();
  }
  void TearDown() override {
    stream_->Release();
    ASSERT_EQ(chdir(cwd_), 0);
  }

  void LoadDirectory(const std::vector<std::pair<std::string, uint64_t>>& entries) {
    auto* in = new MemoryReader(Bytes(Directory(entries)));
    RefHolder<MemoryReader> hold(in);
    ASSERT_EQ(stream_->ReadDirectory(in), S_OK);
  }
  HRESULT Write(const std::string& data, uint32_t* processed) {
    return stream_->Write(data.data(), static_cast<uint32_t>(data.size()), processed);
  }

  ScratchFolder dir_;
  char cwd_[4096] = {};
  COutMultiFileStream* stream_ = nullptr;
};

TEST_F(OutMultiFileStreamTest, ReadsTheWorkedExampleAndListsIt) {
  const std::string bytes =
      Directory({{"a.txt", 3}, {"data\\b.bin", 4096}}) + std::string("\x5d\x00", 2);
  auto* in = new MemoryReader(Bytes(bytes));
  RefHolder<MemoryReader> hold(in);
  StreamCapture listing(stdout);
  ASSERT_TRUE(listing.Capturing());
  EXPECT_EQ(stream_->SetWriteTOC(), S_OK);
  LogCapture log(lzmaLog_Interface, kLogMaskVerbose);
  EXPECT_EQ(stream_->ReadDirectory(in), S_OK);
  const std::string text = listing.Text();
  EXPECT_EQ(in->position, 51u);  // stands at the compressed data
  EXPECT_EQ(in->requestSizes, std::vector<uint32_t>(51, 1));
  EXPECT_EQ(stream_->FileCount(), 2u);
  EXPECT_EQ(text.size(), 17u);
  EXPECT_EQ(text, "a.txt\ndata\\b.bin\n");
  EXPECT_EQ(log.lines().at(0), "Verbose.. COutMultiFileStream ReadUInt32 00000002");
  EXPECT_EQ(log.lines().at(2), "Verbose.. COutMultiFileStream ReadLPCTSTR a.txt");
  EXPECT_EQ(log.lines().at(4), "Verbose.. COutMultiFileStream ReadUInt64 0000000000000003");
  EXPECT_TRUE(log.WithLabel("Error....").empty());
  EXPECT_STREQ(stream_->FirstIncompleteMember(), "a.txt");  // nothing written yet
}

TEST_F(OutMultiFileStreamTest, OneWriteSpansFilesAndEmptyFilesAnywhere) {
  LoadDirectory({{"e1", 0}, {"a", 3}, {"e2", 0}, {"b", 2}, {"c", 4}, {"e3", 0}});
  uint32_t n = 0;
  EXPECT_EQ(Write("AA", &n), S_OK);
  EXPECT_EQ(n, 2u);
  EXPECT_TRUE(dir_.Exists("e1"));
  EXPECT_FALSE(dir_.Exists("e2"));  // not reached yet
  EXPECT_EQ(Write("ABBC", &n), S_OK);
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(dir_.ReadFile("a"), "AAA");
  EXPECT_EQ(dir_.ReadFile("e2"), "");
  EXPECT_EQ(dir_.ReadFile("b"), "BB");
  EXPECT_STREQ(stream_->FirstIncompleteMember(), "c");
  // The data end exactly with c: the trailing empty file waits for a byte beyond the data.
  EXPECT_EQ(Write("CCC", &n), S_OK);
  EXPECT_EQ(n, 3u);
  EXPECT_FALSE(dir_.Exists("e3"));
  EXPECT_STREQ(stream_->FirstIncompleteMember(), "e3");
  EXPECT_EQ(Write("xyz", &n), S_OK);
  EXPECT_EQ(n, 0u);  // refused, but e3 was created on the way
  EXPECT_EQ(dir_.ReadFile("e3"), "");
  EXPECT_EQ(dir_.ReadFile("c"), "CCCC");
  EXPECT_EQ(stream_->FirstIncompleteMember(), nullptr);
  EXPECT_EQ(stream_->RefusedBytes(), 3u);
  EXPECT_EQ(Write("more", &n), S_OK);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(stream_->RefusedBytes(), 7u);
  EXPECT_EQ(Write("", &n), S_OK);
  EXPECT_EQ(stream_->Write("x", 1, nullptr), E_FAIL);
}

TEST_F(OutMultiFileStreamTest, DataBeyondTheLastFileAreRefused) {
  dir_.WriteFile("a", "old contents, longer");
  LoadDirectory({{"a", 3}, {"a", 2}});  // the second entry truncates the first file
  uint32_t n = 0;
  EXPECT_EQ(Write("123", &n), S_OK);
  EXPECT_EQ(dir_.ReadFile("a"), "123");
  EXPECT_EQ(stream_->WritePartial("45678", 5, &n), S_OK);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(dir_.ReadFile("a"), "45");
}

TEST_F(OutMultiFileStreamTest, MemberThatCannotBeCreatedIsPassedOverAndTheRestArrive) {
  LoadDirectory({{"ok", 1}, {"nofolder/x", 2}, {"later", 1}, {"last", 2}});
  LogCapture log(lzmaLog_Interface, kLogMaskStartup);
  uint32_t n = 0;
  EXPECT_EQ(Write("1xy", &n), S_OK);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(Write("LZZ!", &n), S_OK);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(dir_.ReadFile("ok"), "1");
  EXPECT_FALSE(dir_.Exists("nofolder"));
  EXPECT_EQ(dir_.ReadFile("later"), "L");
  EXPECT_EQ(dir_.ReadFile("last"), "ZZ");
  EXPECT_EQ(
      log.WithLabel("Error...."),
      std::vector<std::string>{"Error.... COutMultiFileStream Write Creating: nofolder/x failed"});
  EXPECT_STREQ(stream_->FirstIncompleteMember(), "nofolder/x");
}

TEST_F(OutMultiFileStreamTest, ShortDataLeaveTheLastMemberIncomplete) {
  LoadDirectory({{"a", 2}, {"b", 5}, {"c", 1}});
  uint32_t n = 0;
  EXPECT_EQ(Write("aabb", &n), S_OK);
  EXPECT_STREQ(stream_->FirstIncompleteMember(), "b");
  EXPECT_FALSE(dir_.Exists("c"));
}

TEST_F(OutMultiFileStreamTest, UnsafeNamesAreDroppedUnlessPathsArePreserved) {
  const std::string outside = dir_.Path("outside");
  const std::string bytes = Directory({{outside, 2}, {"../up", 1}, {"safe", 2}});
  auto* in = new MemoryReader(Bytes(bytes));
  RefHolder<MemoryReader> hold(in);
  ASSERT_EQ(stream_->ReadDirectory(in), S_OK);
  LogCapture log(lzmaLog_Interface, kLogMaskStartup);
  uint32_t n = 0;
  const std::string data = "OOUSS!";
  EXPECT_EQ(Write(data, &n), S_OK);
  EXPECT_EQ(n, 5u);
  EXPECT_FALSE(dir_.Exists("outside"));
  EXPECT_EQ(dir_.ReadFile("safe"), "SS");
  EXPECT_EQ(stream_->FirstIncompleteMember(), nullptr);
  EXPECT_EQ(log.WithLabel("Error...."),
            (std::vector<std::string>{
                "Error.... COutMultiFileStream Write Unsafe name, not extracted: " + outside,
                "Error.... COutMultiFileStream Write Unsafe name, not extracted: ../up"}));

  auto* preserving = new COutMultiFileStream;
  RefHolder<COutMultiFileStream> holdPreserving(preserving);
  preserving->SetPreservePath(true);
  preserving->AddFile(outside.c_str(), 2, 0);
  EXPECT_EQ(preserving->Write("OO", 2, &n), S_OK);
  EXPECT_EQ(dir_.ReadFile("outside"), "OO");
}

TEST_F(OutMultiFileStreamTest, DirectoryCutShortIsReportedOnceAndFails) {
  struct Case {
    std::string bytes;
    size_t entries;
  };
  const std::string full = Directory({{"a", 1}, {"bb", 2}});
  const std::vector<Case> cases = {
      {"", 0},
      {full.substr(0, 2), 0},
      {full.substr(0, 10), 0},                  // inside the first name's entry
      {full.substr(0, 4 + 17 + 10), 1},         // inside the second entry
      {full.substr(0, full.size() - 1), 1},     // one byte short
      {std::string("\xff\xff\xff\xff", 4), 0},  // a count of billions and nothing behind it
      {Directory({}).replace(0, 1, "\x01") + std::string("\xff\xff\xff\x7f", 4) + "abc", 0},
  };
  for (const auto& c : cases) {
    auto* stream = new COutMultiFileStream;
    RefHolder<COutMultiFileStream> hold(stream);
    auto* in = new MemoryReader(Bytes(c.bytes));
    RefHolder<MemoryReader> holdIn(in);
    LogCapture log(lzmaLog_Interface, kLogMaskStartup);
    EXPECT_EQ(stream->ReadDirectory(in), E_FAIL) << c.bytes.size();
    EXPECT_EQ(log.WithLabel("Error....").size(), 1u) << c.bytes.size();
    EXPECT_TRUE(stream->DirectoryEnded());
    EXPECT_EQ(stream->FileCount(), c.entries) << c.bytes.size();
    EXPECT_LE(in->requestSizes.size(), c.bytes.size() + 1);
  }
}

TEST_F(OutMultiFileStreamTest, FieldReadersTakeMissingBytesAsZero) {
  auto* in = new MemoryReader(Bytes(std::string("\x34\x12", 2)));
  RefHolder<MemoryReader> hold(in);
  LogCapture log(lzmaLog_Interface, kLogMaskVerbose);
  uint32_t value = 0xFFFFFFFF;
  EXPECT_EQ(stream_->ReadUInt32(in, value), S_OK);
  EXPECT_EQ(value, 0x1234u);
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{"Error.... COutMultiFileStream ReadUInt32 inStream->Read "
                                      "byte 2 failed",
                                      "Verbose.. COutMultiFileStream ReadUInt32 00001234"}));
}

TEST_F(OutMultiFileStreamTest, StreamErrorsEndTheFieldWithTheirResult) {
  auto* in = new MemoryReader(Bytes(Directory({{"abc", 1}})));
  RefHolder<MemoryReader> hold(in);
  in->failAtCall = 7;  // the second byte of the name
  in->failResult = static_cast<HRESULT>(ERROR_GEN_FAILURE);
  LogCapture log(lzmaLog_Interface, kLogMaskStartup);
  EXPECT_EQ(stream_->ReadDirectory(in), static_cast<HRESULT>(ERROR_GEN_FAILURE));
  EXPECT_EQ(in->requestSizes.size(), 7u);
  EXPECT_EQ(stream_->FileCount(), 0u);
  EXPECT_FALSE(stream_->DirectoryEnded());
}

#ifndef _WIN32
// A write that the system refuses half way (here a file size limit of 2 bytes, as a full disk
// would): the system's code; the count holds no byte of the failed write.
TEST_F(OutMultiFileStreamTest, FailedWriteReturnsTheSystemCode) {
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit tiny = saved;
  tiny.rlim_cur = 2;
  std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
  stream_->AddFile("a", 4, 0);
  uint32_t n = 9;
  const HRESULT result = stream_->Write("abcd", 4, &n);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(result, static_cast<HRESULT>(ERROR_HANDLE_DISK_FULL));
  EXPECT_EQ(n, 0u);
  void* face = nullptr;
  EXPECT_EQ(stream_->QueryInterface(IID_ISequentialWriter, &face), E_NOINTERFACE);
}
#endif

}  // namespace
