#include "archive/filestreams.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/logcapture.h"
#include "testing/scratchfolder.h"

namespace {

// The number of open descriptors of this process, or -1 where that cannot be seen.
int OpenDescriptorCount() {
#ifdef _WIN32
  // A Windows file is a handle; under Wine /proc/self/fd lists Wine's own descriptors, which
  // come and go with its threads.
  return -1;
#endif
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  int count = 0;
  while (readdir(d) != nullptr) ++count;
  closedir(d);
  return count;
}

TEST(InFileStreamTest, ReadsToEndThenReportsZero) {
  ScratchFolder dir;
  dir.WriteFile("in", "abcdef");
  auto* stream = new CInFileStream;
  RefHolder<CInFileStream> hold(stream);
  ASSERT_TRUE(stream->Open(dir.Path("in").c_str()));
  char buf[4];
  uint32_t n = 0;
  EXPECT_EQ(stream->Read(buf, 4, &n), S_OK);
  EXPECT_EQ(std::string(buf, n), "abcd");
  EXPECT_EQ(stream->ReadPartial(buf, 4, &n), S_OK);
  EXPECT_EQ(std::string(buf, n), "ef");
  EXPECT_EQ(stream->Read(buf, 4, &n), S_OK);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(stream->Read(buf, 4, nullptr), S_OK);
}

TEST(InFileStreamTest, FailuresReturnTheSystemErrorCode) {
  auto* stream = new CInFileStream;
  RefHolder<CInFileStream> hold(stream);
  EXPECT_FALSE(stream->Open("/nonexistent-folder-of-lzmulti/x"));
  char buf[4];
  uint32_t n = 77;
  EXPECT_EQ(stream->Read(buf, 4, &n), static_cast<HRESULT>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(n, 0u);
  uint64_t size = 0;
  EXPECT_EQ(stream->GetSize(&size), static_cast<HRESULT>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(stream->Seek(0, 0, nullptr), static_cast<HRESULT>(ERROR_INVALID_HANDLE));
}

TEST(InFileStreamTest, SeekOriginsAndSize) {
  ScratchFolder dir;
  dir.WriteFile("in", "0123456789");
  auto* stream = new CInFileStream;
  RefHolder<CInFileStream> hold(stream);
  ASSERT_TRUE(stream->Open(dir.Path("in").c_str()));
  uint64_t pos = 0;
  EXPECT_EQ(stream->Seek(0, 2, &pos), S_OK);
  EXPECT_EQ(pos, 10u);
  EXPECT_EQ(stream->Seek(4, 0, &pos), S_OK);
  EXPECT_EQ(pos, 4u);
  EXPECT_EQ(stream->Seek(-1, 1, &pos), S_OK);
  EXPECT_EQ(pos, 3u);
  pos = 99;
  EXPECT_EQ(stream->Seek(0, 3, &pos), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(pos, 99u);
  char c = 0;
  uint32_t n = 0;
  EXPECT_EQ(stream->Read(&c, 1, &n), S_OK);
  EXPECT_EQ(c, '3');  // origin 3 left the position alone
  uint64_t size = 0;
  EXPECT_EQ(stream->GetSize(&size), S_OK);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(stream->GetSize(nullptr), E_FAIL);
}

TEST(InFileStreamTest, FacesShareOneCountAndAnswerAsTabled) {
  auto* stream = new CInFileStream;
  EXPECT_EQ(stream->AddRef(), 1u);
  void* face = nullptr;
  ASSERT_EQ(stream->QueryInterface(IID_ISizeQuery, &face), S_OK);
  auto* sizeFace = static_cast<ISizeQuery*>(face);
  EXPECT_EQ(static_cast<void*>(sizeFace), static_cast<void*>(static_cast<ISizeQuery*>(stream)));
  EXPECT_EQ(sizeFace->AddRef(), 3u);
  EXPECT_EQ(sizeFace->Release(), 2u);
  ASSERT_EQ(sizeFace->QueryInterface(IID_IRandomReader, &face), S_OK);
  EXPECT_EQ(face, static_cast<void*>(static_cast<IRandomReader*>(stream)));
  void* untouched = &face;
  for (const InterfaceId* iid : {&IID_IRefCounted, &IID_ISequentialReader, &IID_IRandomWriter}) {
    EXPECT_EQ(stream->QueryInterface(*iid, &untouched), E_NOINTERFACE);
    EXPECT_EQ(untouched, static_cast<void*>(&face));
  }
  EXPECT_EQ(stream->Release(), 2u);
  EXPECT_EQ(sizeFace->Release(), 1u);
  EXPECT_EQ(stream->Release(), 0u);
}

TEST(OutFileStreamTest, WriteLogsEveryCallAndCreateEmptiesExistingFile) {
  ScratchFolder dir;
  dir.WriteFile("out", "previous contents");
  auto* stream = new COutFileStream;
  RefHolder<COutFileStream> hold(stream);
  ASSERT_TRUE(stream->Create(dir.Path("out").c_str(), true));
  EXPECT_EQ(dir.ReadFile("out"), "");
  LogCapture log(lzmaLog_Interface, kLogMaskVVerbose);
  uint32_t n = 9;
  EXPECT_EQ(stream->Write("hello", 5, &n), S_OK);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(stream->Write("", 0, &n), S_OK);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(stream->WritePartial("!", 1, nullptr), S_OK);
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{"VVerbose. COutFileStream Write Writing 5 bytes",
                                      "VVerbose. COutFileStream Write Writing 0 bytes",
                                      "VVerbose. COutFileStream Write Writing 1 bytes"}));
  EXPECT_EQ(dir.ReadFile("out"), "hello!");
  EXPECT_FALSE(stream->Create(dir.Path("no/such/folder").c_str(), true));
}

TEST(OutFileStreamTest, SetSizeKeepsThePosition) {
  ScratchFolder dir;
  auto* stream = new COutFileStream;
  RefHolder<COutFileStream> hold(stream);
  ASSERT_TRUE(stream->Create(dir.Path("out").c_str(), true));
  ASSERT_EQ(stream->Write("0123456789", 10, nullptr), S_OK);
  EXPECT_EQ(stream->SetSize(4), S_OK);
  uint64_t pos = 0;
  EXPECT_EQ(stream->Seek(0, 1, &pos), S_OK);
  EXPECT_EQ(pos, 10u);  // beyond the new end
  EXPECT_EQ(dir.ReadFile("out"), "0123");
  EXPECT_EQ(stream->Seek(0, 3, &pos), STG_E_INVALIDFUNCTION);
  void* face = nullptr;
  EXPECT_EQ(stream->QueryInterface(IID_IRandomWriter, &face), S_OK);
  EXPECT_EQ(face, static_cast<void*>(static_cast<IRandomWriter*>(stream)));
  EXPECT_EQ(stream->Release(), 1u);
  EXPECT_EQ(stream->QueryInterface(IID_ISequentialWriter, &face), E_NOINTERFACE);
  auto* closed = new COutFileStream;
  RefHolder<COutFileStream> holdClosed(closed);
  EXPECT_EQ(closed->SetSize(1), E_FAIL);
}

// The new file takes the old one's place only at Commit; without it the old one stays.
TEST(OutFileStreamTest, ReplacingWritesBesideTheOldFileUntilCommit) {
  ScratchFolder dir;
  const std::string name = dir.Path("a.dpc");
  auto write = [&](const char* bytes, bool commit) {
    auto* stream = new COutFileStream;
    RefHolder<COutFileStream> hold(stream);
    EXPECT_TRUE(stream->CreateReplacing(name.c_str()));
    uint32_t n = 0;
    EXPECT_EQ(stream->Write(bytes, static_cast<uint32_t>(std::string(bytes).size()), &n), S_OK);
    EXPECT_FALSE(dir.Exists("a.dpc") && dir.ReadFile("a.dpc") == bytes);
    return commit ? stream->Commit() : true;
  };
  EXPECT_TRUE(write("first", true));
  EXPECT_EQ(dir.ReadFile("a.dpc"), "first");
  EXPECT_TRUE(write("second", false));  // released without Commit
  EXPECT_EQ(dir.ReadFile("a.dpc"), "first");
  dir.WriteFile("a.dpc.partial", "someone else's");  // a name that is taken is passed over
  EXPECT_TRUE(write("third", true));
  EXPECT_EQ(dir.ReadFile("a.dpc"), "third");
  EXPECT_EQ(dir.ReadFile("a.dpc.partial"), "someone else's");
  EXPECT_FALSE(dir.Exists("a.dpc.partial1"));

  // A rename that fails removes the temporary file; the stream reports it.
  auto* stream = new COutFileStream;
  RefHolder<COutFileStream> hold(stream);
  ASSERT_TRUE(stream->CreateReplacing(dir.Path("b.dpc").c_str()));
  ASSERT_TRUE(std::filesystem::create_directories(dir.path() / "b.dpc" / "inside"));
  EXPECT_FALSE(stream->Commit());
  EXPECT_FALSE(dir.Exists("b.dpc.partial"));
  EXPECT_FALSE(stream->CreateReplacing(dir.Path("nofolder/c.dpc").c_str()));
}

TEST(OutFileStreamTest, FullDeviceGivesDiskFull) {
  auto* stream = new COutFileStream;
  RefHolder<COutFileStream> hold(stream);
  if (!stream->Create("/dev/full", true)) GTEST_SKIP() << "no /dev/full";
  uint32_t n = 5;
  EXPECT_EQ(stream->Write("abc", 3, &n), static_cast<HRESULT>(ERROR_DISK_FULL));
  EXPECT_EQ(n, 0u);
}

TEST(OutFileStreamTest, LastReleaseClosesTheFile) {
  ScratchFolder dir;
  const int before = OpenDescriptorCount();
  if (before < 0) GTEST_SKIP() << "no /proc/self/fd";
  auto* stream = new COutFileStream;
  stream->AddRef();
  stream->AddRef();
  ASSERT_TRUE(stream->Create(dir.Path("out").c_str(), true));
  ASSERT_EQ(stream->Write("data", 4, nullptr), S_OK);
  EXPECT_EQ(OpenDescriptorCount(), before + 1);
  EXPECT_EQ(stream->Release(), 1u);
  EXPECT_TRUE(stream->File.IsOpen());
  EXPECT_EQ(stream->Release(), 0u);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_EQ(dir.ReadFile("out"), "data");
}

}  // namespace
