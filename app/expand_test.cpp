#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/testing/fakedirectorysearch.h"
#include "halyard4_version.h"
#include "log/log.h"
#include "testing/logcapture.h"
#include "testing/streamcapture.h"

// The driver obtains its name entries with the non-throwing scalar new; this test program replaces
// that operator so that a test can make those allocations fail.
namespace {
bool failEntryAllocations = false;
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (failEntryAllocations) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

std::vector<std::string> Names(const CNameList& list) {
  std::vector<std::string> names;
  for (CNameEntry* e = list.GetNext(nullptr); e != nullptr; e = list.GetNext(e)) {
    names.push_back(e->GetName().GetText());
  }
  return names;
}

class ExpandWildcardTest : public ::testing::Test {
 protected:
  void SetUp() override { program_.SetDirectorySearch(&search_); }

  bool Expand(const char* pattern) {
    errorText_.Assign(static_cast<const char*>(nullptr));
    return program_.ExpandWildcard(CText(pattern), list_, errorText_);
  }

  LogCapture log_;
  FakeDirectorySearch search_;
  Program program_;
  CNameList list_;
  CText errorText_;
};

TEST_F(ExpandWildcardTest, SkipsDirectoriesAndDotEntriesAndKeepsTheSearchOrder) {
  search_.Add("*.txt",
              {{".", true}, {"..", true}, {"b.txt", false}, {"c.txt", true}, {"a.txt", false}});
  EXPECT_TRUE(Expand("*.txt"));
  EXPECT_EQ(Names(list_), (std::vector<std::string>{"b.txt", "a.txt"}));
  EXPECT_STREQ(errorText_.GetText(), "");
  EXPECT_EQ(search_.closes, 1);
  EXPECT_EQ(search_.openSearches, 0);
}

TEST_F(ExpandWildcardTest, AppendsBehindTheNamesAlreadyInTheList) {
  search_.Add("a.txt", {{"a.txt", false}});
  EXPECT_TRUE(Expand("a.txt"));
  EXPECT_TRUE(Expand("a.txt"));  // the same file named twice is listed twice
  EXPECT_EQ(Names(list_), (std::vector<std::string>{"a.txt", "a.txt"}));
}

TEST_F(ExpandWildcardTest, KeepsTheDirectoryPrefixAsTyped) {
  search_.Add("dir/*.txt", {{"a.txt", false}, {"b.txt", false}});
  search_.Add("dir\\*.txt", {{"a.txt", false}});
  search_.Add("dir/sub\\*.txt", {{"c.txt", false}});
  search_.Add("x\\y/z\\a.TXT", {{"A.txt", false}});  // the search reports its own spelling
  EXPECT_TRUE(Expand("dir/*.txt"));
  EXPECT_TRUE(Expand("dir\\*.txt"));
  EXPECT_TRUE(Expand("dir/sub\\*.txt"));
  EXPECT_TRUE(Expand("x\\y/z\\a.TXT"));
  EXPECT_EQ(Names(list_), (std::vector<std::string>{"dir/a.txt", "dir/b.txt", "dir\\a.txt",
                                                    "dir/sub\\c.txt", "x\\y/z\\A.txt"}));
}

TEST_F(ExpandWildcardTest, PatternMatchingOnlyDirectoriesSucceedsWithNothing) {
  search_.Add("dir", {{"dir", true}});
  search_.Add("*", {{".", true}, {"..", true}});
  EXPECT_TRUE(Expand("dir"));
  EXPECT_TRUE(Expand("*"));
  EXPECT_EQ(list_.GetCount(), 0);
  EXPECT_STREQ(errorText_.GetText(), "");
}

TEST_F(ExpandWildcardTest, SearchThatCannotStart) {
  CNameEntry* kept = new CNameEntry;
  kept->SetName("kept");
  list_.AddLast(kept);
  EXPECT_FALSE(Expand("no%s such*.txt"));
  EXPECT_STREQ(errorText_.GetText(), "File not found: no%s such*.txt");
  EXPECT_EQ(Names(list_), (std::vector<std::string>{"kept"}));
  EXPECT_EQ(search_.closes, 0);
  EXPECT_EQ(log_.Text(), "");  // the caller reports it
}

TEST_F(ExpandWildcardTest, SearchThatBreaksOffKeepsTheNamesSoFar) {
  search_.Add("*.txt", {{"a.txt", false}, {"b.txt", false}}, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Expand("*.txt"));
  EXPECT_STREQ(errorText_.GetText(), "");
  EXPECT_EQ(Names(list_), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(search_.closes, 1);
}

TEST_F(ExpandWildcardTest, LogsEveryAddedName) {
  brioLog_Interface.SetMask(kLogMaskVVerbose);
  search_.Add("d/*", {{"x", false}, {"y", true}, {"z%n", false}});
  EXPECT_TRUE(Expand("d/*"));
  EXPECT_EQ(log_.Text(),
            "VVerbose. Program ExpandWildcard AddLast: d/x \n"
            "VVerbose. Program ExpandWildcard AddLast: d/z%n \n");
}

TEST_F(ExpandWildcardTest, UnterminatedRecordNamesAreCutInsideTheRecord) {
  search_.Add("*", {{"ignored", false}});
  search_.unterminatedNames = true;
  EXPECT_TRUE(Expand("*"));
  EXPECT_EQ(Names(list_), (std::vector<std::string>{std::string(MAX_PATH - 1, 'x')}));
}

TEST_F(ExpandWildcardTest, NoMemoryForAnEntryBreaksTheSearchOff) {
  search_.Add("*", {{"a", false}, {"b", false}});
  failEntryAllocations = true;
  bool result = Expand("*");
  failEntryAllocations = false;
  EXPECT_FALSE(result);
  EXPECT_EQ(list_.GetCount(), 0);
  EXPECT_EQ(search_.closes, 1);
}

TEST(ParseArgsMemoryTest, NoMemoryForAnInputNameEndsInTheUsageText) {
  LogCapture log;
  Program program;
  const char* argv[] = {"lzmulti", "-v", "1", "archive.dpc", "a.txt"};
  StreamCapture usage(stderr);
  failEntryAllocations = true;
  program.Main(5, argv);
  failEntryAllocations = false;
  const std::string start = "Version: " HALYARD4_VERSION "\nUsage:\n";
  EXPECT_EQ(usage.Text().substr(0, start.size()), start);
  EXPECT_EQ(log.Text(),
            "Info..... Program Main Compressed file: archive.dpc \n"
            "Info..... Program Main Input files: 0 \n");
}

}  // namespace
