#include "archive/inmultistream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/logcapture.h"
#include "testing/memorystreams.h"
#include "testing/scratchfolder.h"

namespace {

std::string AsString(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Reads the whole data stream with the given buffer size; the pieces as returned.
std::vector<std::string> ReadAll(CInMultiFileStream* stream, uint32_t bufferSize) {
  std::vector<std::string> pieces;
  std::vector<char> buf(bufferSize);
  for (int guard = 0; guard < 1000; ++guard) {
    uint32_t n = 0;
    if (stream->ReadPartial(buf.data(), bufferSize, &n) != S_OK || n == 0) break;
    pieces.emplace_back(buf.data(), n);
  }
  return pieces;
}

TEST(InMultiFileStreamTest, DirectoryOfTheWorkedExample) {
  ScratchFolder dir;
  dir.WriteFile("a.txt", "abc");
  dir.WriteFile("b.bin", std::string(4096, 'x'));
  auto* stream = new CInMultiFileStream;
  RefHolder<CInMultiFileStream> hold(stream);
  // The names are stored as given; here the folder part is the scratch folder.
  const std::string a = dir.Path("a.txt");
  const std::string b = dir.Path("b.bin");
  stream->AddFile(a.c_str());
  stream->AddFile(b.c_str());
  auto* out = new MemoryWriter;
  RefHolder<MemoryWriter> holdOut(out);
  LogCapture log(lzmaLog_Interface, kLogMaskVerbose);
  ASSERT_EQ(stream->WriteDirectory(out), S_OK);

  std::string expected("\x02\0\0\0", 4);
  for (const auto& [name, size] : {std::make_pair(a, 3u), std::make_pair(b, 4096u)}) {
    const auto len = static_cast<uint32_t>(name.size());
    expected += std::string{static_cast<char>(len), 0, 0, 0} + name + std::string(4, '\0');
    expected += std::string{static_cast<char>(size & 0xFF), static_cast<char>(size >> 8)};
    expected += std::string(6, '\0');
  }
  EXPECT_EQ(AsString(out->data), expected);
  // One byte per Write, without asking for the count.
  EXPECT_EQ(out->writeSizes, std::vector<uint32_t>(expected.size(), 1));
  EXPECT_EQ(out->nullProcessedCalls, static_cast<int>(expected.size()));
  const std::vector<std::string> verbose = log.WithLabel("Verbose..");
  ASSERT_EQ(verbose.size(), 9u);
  EXPECT_EQ(verbose[0], "Verbose.. CInMultiFileStream WriteUInt32 00000002");
  EXPECT_EQ(verbose[1], "Verbose.. CInMultiFileStream WriteLPCTSTR " + a);
  EXPECT_EQ(verbose[4], "Verbose.. CInMultiFileStream WriteUInt64 0000000000000003");
  // The directory uses a file object of its own: reading starts with the first file.
  EXPECT_EQ(ReadAll(stream, 4000),
            (std::vector<std::string>{"abc", std::string(4000, 'x'), std::string(96, 'x')}));
}

// A size beyond 32 bits, in a 32-bit process too: the file object measures all of it and the
// directory stores all of it.
TEST(InMultiFileStreamTest, FileBeyondFourGigabytesKeepsItsWholeSize) {
  ScratchFolder dir;
  const std::string name = dir.Path("big");
  COutputFile file;
  ASSERT_TRUE(file.Create(name.c_str(), false));
  ASSERT_TRUE(file.SetLength(0x100000001ull));  // 2^32 + 1, left sparse
  ASSERT_TRUE(file.Close());

  auto* stream = new CInMultiFileStream;
  RefHolder<CInMultiFileStream> hold(stream);
  stream->AddFile(name.c_str());
  auto* out = new MemoryWriter;
  RefHolder<MemoryWriter> holdOut(out);
  LogCapture log(lzmaLog_Interface, kLogMaskVerbose);
  ASSERT_EQ(stream->WriteDirectory(out), S_OK);
  const std::string data = AsString(out->data);
  EXPECT_EQ(data.substr(data.size() - 8), std::string("\x01\0\0\0\x01\0\0\0", 8));
  EXPECT_EQ(log.WithLabel("Verbose..").back(),
            "Verbose.. CInMultiFileStream WriteUInt64 0000000100000001");
}

TEST(InMultiFileStreamTest, NoNamesGiveCountZeroAndAnEmptyStream) {
  auto* stream = new CInMultiFileStream;
  RefHolder<CInMultiFileStream> hold(stream);
  auto* out = new MemoryWriter;
  RefHolder<MemoryWriter> holdOut(out);
  EXPECT_EQ(stream->WriteDirectory(out), S_OK);
  EXPECT_EQ(AsString(out->data), std::string(4, '\0'));
  char c;
  uint32_t n = 5;
  EXPECT_EQ(stream->Read(&c, 1, &n), S_OK);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(stream->Read(&c, 1, nullptr), E_FAIL);
  void* face = &c;
  EXPECT_EQ(stream->QueryInterface(IID_ISequentialReader, &face), E_NOINTERFACE);
  EXPECT_EQ(stream->QueryInterface(IID_IRefCounted, &face), E_NOINTERFACE);
  EXPECT_EQ(face, static_cast<void*>(&c));
}

TEST(InMultiFileStreamTest, EmptyFilesAnywhereAreSkippedWithinOneCall) {
  ScratchFolder dir;
  dir.WriteFile("e1", "");
  dir.WriteFile("a", "AAAA");
  dir.WriteFile("e2", "");
  dir.WriteFile("e3", "");
  dir.WriteFile("b", "BB");
  dir.WriteFile("e4", "");
  auto* stream = new CInMultiFileStream;
  RefHolder<CInMultiFileStream> hold(stream);
  for (const char* name : {"e1", "a", "e2", "e3", "b", "e4"}) {
    stream->AddFile(dir.Path(name).c_str());
  }
  LogCapture log(lzmaLog_Interface, kLogMaskVVerbose);
  // A buffer smaller than the file keeps it open; the read that reaches its end closes it.
  EXPECT_EQ(ReadAll(stream, 3), (std::vector<std::string>{"AAA", "A", "BB"}));
  EXPECT_TRUE(log.WithLabel("Error....").empty());
  const auto closing = log.WithLabel("VVerbose. CInMultiFileStream Read Closing file");
  EXPECT_EQ(closing.size(), 2u);
  EXPECT_EQ(log.WithLabel("Verbose.. CInMultiFileStream Read Opening: ").size(), 6u);
  // The read after the last byte passes over e4 and ends the stream without a "Returning" line.
  EXPECT_EQ(log.WithLabel("VVerbose. CInMultiFileStream Read Returning").size(), 3u);
  EXPECT_EQ(log.lines().back(), "Verbose.. CInMultiFileStream Read Opening: " + dir.Path("e4"));
}

TEST(InMultiFileStreamTest, MissingFileFailsTheDirectoryAndEveryLaterRead) {
  ScratchFolder dir;
  dir.WriteFile("a", "first");
  auto* stream = new CInMultiFileStream;
  RefHolder<CInMultiFileStream> hold(stream);
  stream->AddFile(dir.Path("a").c_str());
  const std::string missing = dir.Path("gone");
  stream->AddFile(missing.c_str());
  auto* out = new MemoryWriter;
  RefHolder<MemoryWriter> holdOut(out);
  EXPECT_EQ(stream->WriteDirectory(out), E_FAIL);
  // The count and the first entry are in: 4 + (4 + name + 4 + 8).
  EXPECT_EQ(out->data.size(), 4 + 16 + dir.Path("a").size());

  LogCapture log(lzmaLog_Interface, kLogMaskStartup);
  char buf[16];
  uint32_t n = 0;
  EXPECT_EQ(stream->Read(buf, sizeof buf, &n), S_OK);
  EXPECT_EQ(std::string(buf, n), "first");
  EXPECT_EQ(stream->Read(buf, sizeof buf, &n), E_FAIL);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(stream->Read(buf, sizeof buf, &n), E_FAIL);
  EXPECT_EQ(log.WithLabel("Error...."),
            std::vector<std::string>(2, "Error.... CInMultiFileStream Read Opening: " + missing +
                                            " failed: " + SystemErrorText(ERROR_FILE_NOT_FOUND)));
}

TEST(InMultiFileStreamTest, FailingWriterStopsTheDirectoryAtOnce) {
  ScratchFolder dir;
  dir.WriteFile("a", "x");
  auto* stream = new CInMultiFileStream;
  RefHolder<CInMultiFileStream> hold(stream);
  stream->AddFile(dir.Path("a").c_str());
  for (int failAt : {2, 6, 7}) {  // in the count, in the name length, in the name
    auto* out = new MemoryWriter;
    RefHolder<MemoryWriter> holdOut(out);
    out->failAtCall = failAt;
    out->failResult = static_cast<HRESULT>(ERROR_DISK_FULL);
    EXPECT_EQ(stream->WriteDirectory(out), static_cast<HRESULT>(ERROR_DISK_FULL));
    EXPECT_EQ(out->writeSizes.size(), static_cast<size_t>(failAt));
  }
  EXPECT_EQ(stream->AddRef(), 2u);
  EXPECT_EQ(stream->Release(), 1u);
}

// Files changed between the directory and the data: each delivers its size in the directory, so
// that the members behind it stay in place. Small buffers meet the change at a file's end, large
// ones in the middle of a read.
TEST(InMultiFileStreamTest, SizeChangedWhilePackingKeepsTheDirectorysSizes) {
  for (uint32_t bufferSize : {3u, 4u, 100u}) {
    SCOPED_TRACE(bufferSize);
    ScratchFolder dir;
    const char* const kNames[] = {"a", "grew", "shrank", "empty", "b"};
    dir.WriteFile("a", "AAAA");
    dir.WriteFile("grew", "0123456789");
    dir.WriteFile("shrank", "abcdefghij");
    dir.WriteFile("empty", "");
    dir.WriteFile("b", "BBB");
    auto* stream = new CInMultiFileStream;
    RefHolder<CInMultiFileStream> hold(stream);
    for (const char* name : kNames) stream->AddFile(dir.Path(name).c_str());
    auto* out = new MemoryWriter;
    RefHolder<MemoryWriter> holdOut(out);
    ASSERT_EQ(stream->WriteDirectory(out), S_OK);
    dir.WriteFile("grew", "0123456789 and more");
    dir.WriteFile("shrank", "abc");
    dir.WriteFile("empty", "12345");

    LogCapture log(lzmaLog_Interface, kLogMaskStartup);
    std::string data;
    for (const std::string& piece : ReadAll(stream, bufferSize)) data += piece;
    EXPECT_EQ(data, "AAAA0123456789abc" + std::string(7, '\0') + "BBB");
    std::vector<std::string> errors;
    for (const char* name : {"grew", "shrank", "empty"}) {
      errors.push_back("Error.... CInMultiFileStream Read Size changed while packing: " +
                       dir.Path(name));
    }
    EXPECT_EQ(log.WithLabel("Error...."), errors);
    EXPECT_EQ(stream->ChangedFileCount(), 3);
  }
}

TEST(InMultiFileStreamTest, SameNameTwiceIsReadTwice) {
  ScratchFolder dir;
  dir.WriteFile("a", "xy");
  auto* stream = new CInMultiFileStream;
  RefHolder<CInMultiFileStream> hold(stream);
  stream->AddFile(dir.Path("a").c_str());
  stream->AddFile(dir.Path("a").c_str());
  EXPECT_EQ(ReadAll(stream, 10), (std::vector<std::string>{"xy", "xy"}));
}

}  // namespace
