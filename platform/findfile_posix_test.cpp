#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/findfile.h"
#include "testing/scratchfolder.h"

namespace {

namespace fs = std::filesystem;

struct Found {
  std::string name;
  bool directory;
  uint64_t size;
  bool operator==(const Found& o) const {
    return name == o.name && directory == o.directory && size == o.size;
  }
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
  return os << f.name << (f.directory ? "/" : "") << ":" << f.size;
}

Found Describe(const WIN32_FIND_DATAA& data) {
  return Found{data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
               (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

class FindFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.Made());
    root_ = scratch_.dir();
    WriteFile("a.txt", "aaa");
    WriteFile("b.txt", "bb");
    WriteFile("B.txt", "");
    WriteFile("x.bin", "12345");
    WriteFile(".hidden.txt", "h");
    WriteFile("long.name.txt.bak", "l");
    fs::create_directory(root_ + "/c.txt");
    fs::create_directory(root_ + "/sub");
    WriteFile("sub/inner.txt", "inner");
  }

  void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(root_ + "/" + name, std::ios::binary) << content;
  }

  // Runs a whole search; on a failed start returns nothing and leaves the error in startError.
  std::vector<Found> Search(const std::string& pattern, DWORD* startError = nullptr) {
    std::vector<Found> found;
    WIN32_FIND_DATAA data;
    SetLastError(ERROR_SUCCESS);
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
      if (startError != nullptr) *startError = GetLastError();
      return found;
    }
    do {
      found.push_back(Describe(data));
    } while (FindNextFileA(search, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES)) << pattern;
    EXPECT_FALSE(FindNextFileA(search, &data)) << "the end stays the end";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(search));
    return found;
  }

  DWORD StartError(const std::string& pattern) {
    DWORD error = ERROR_SUCCESS;
    std::vector<Found> found = Search(pattern, &error);
    EXPECT_TRUE(found.empty()) << pattern;
    return error;
  }

  ScratchFolder scratch_;
  std::string root_;
};

TEST_F(FindFileTest, StarListsEveryEntrySortedWithDotEntries) {
  std::vector<Found> expected = {
      {".", true, 0},
      {"..", true, 0},
      {".hidden.txt", false, 1},
      {"B.txt", false, 0},
      {"a.txt", false, 3},
      {"b.txt", false, 2},
      {"c.txt", true, 0},
      {"long.name.txt.bak", false, 1},
      {"sub", true, 0},
      {"x.bin", false, 5},
  };
  EXPECT_EQ(Search(root_ + "/*"), expected);
  EXPECT_EQ(Search(root_ + "/*.*"), expected);
}

TEST_F(FindFileTest, BothSeparatorsAndWildcardsInTheLastComponent) {
  std::vector<Found> txt = {{".hidden.txt", false, 1},
                            {"B.txt", false, 0},
                            {"a.txt", false, 3},
                            {"b.txt", false, 2},
                            {"c.txt", true, 0}};
  EXPECT_EQ(Search(root_ + "/*.txt"), txt);
  EXPECT_EQ(Search(root_ + "\\*.txt"), txt);
  std::string backslashed = root_ + "\\sub\\*.txt";
  EXPECT_EQ(Search(backslashed), (std::vector<Found>{{"inner.txt", false, 5}}));
  EXPECT_EQ(
      Search(root_ + "/?.txt"),
      (std::vector<Found>{
          {"B.txt", false, 0}, {"a.txt", false, 3}, {"b.txt", false, 2}, {"c.txt", true, 0}}));
  EXPECT_EQ(Search(root_ + "/l*.t?t*"), (std::vector<Found>{{"long.name.txt.bak", false, 1}}));
}

TEST_F(FindFileTest, NameWithoutWildcardsYieldsThatOneEntry) {
  EXPECT_EQ(Search(root_ + "/a.txt"), (std::vector<Found>{{"a.txt", false, 3}}));
  EXPECT_EQ(Search(root_ + "\\sub\\inner.txt"), (std::vector<Found>{{"inner.txt", false, 5}}));
  EXPECT_EQ(Search(root_ + "/c.txt"), (std::vector<Found>{{"c.txt", true, 0}}));
}

TEST_F(FindFileTest, RelativePatternsSearchTheCurrentDirectory) {
  fs::path previous = fs::current_path();
  fs::current_path(root_);
  std::vector<Found> bare = Search("b.txt");
  std::vector<Found> relative = Search("sub/*");
  fs::current_path(previous);
  EXPECT_EQ(bare, (std::vector<Found>{{"b.txt", false, 2}}));
  EXPECT_EQ(relative,
            (std::vector<Found>{{".", true, 0}, {"..", true, 0}, {"inner.txt", false, 5}}));
}

TEST_F(FindFileTest, FailuresToStart) {
  EXPECT_EQ(StartError(root_ + "/*.zip"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(StartError(root_ + "/missing.txt"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(StartError(root_ + "/A.TXT"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(StartError(root_ + "/sub/"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(StartError(root_ + "/nodir/*.txt"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(StartError(root_ + "\\nodir\\a.txt"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(StartError(root_ + "/a.txt/x"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(StartError(root_ + "/s*/inner.txt"), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(StartError(root_ + "/su?\\*.txt"), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(StartError(""), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA(nullptr, &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(FindFirstFileA((root_ + "/*").c_str(), nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FindFileTest, LongNamesNeverOverflowTheRecord) {
  // The longest name the file system holds fits the record whole.
  std::string longest(255, 'n');
  WriteFile(longest, "z");
  ASSERT_TRUE(fs::exists(root_ + "/" + longest));
  EXPECT_EQ(Search(root_ + "/nnn*"), (std::vector<Found>{{longest, false, 1}}));
  // Names beyond cFileName are not found rather than cut.
  EXPECT_EQ(StartError(root_ + "/" + std::string(300, 'n')),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(StartError(root_ + "/" + std::string(5000, '?')),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FindFileTest, EntriesThatVanishDuringTheSearchAreSkipped) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((root_ + "/?.txt").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "B.txt");
  fs::remove(root_ + "/a.txt");
  ASSERT_TRUE(FindNextFileA(search, &data));
  EXPECT_STREQ(data.cFileName, "b.txt");
  EXPECT_TRUE(FindClose(search));
}

TEST(FindFileHandleTest, InvalidHandlesAreRefused) {
  WIN32_FIND_DATAA data;
  EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindNextFileA(nullptr, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(MatchWildcardTest, StarAndQuestionMark) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*", "", true},
      {"*", "anything", true},
      {"?", "", false},
      {"?", "x", true},
      {"??", "x", false},
      {"a?c", "abc", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbYcZ", false},
      {"*ab", "aab", true},
      {"*a", "aaa", true},
      {"**x", "x", true},
      {"*.txt", "a.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"*.txt", ".txt", true},
      {"A.TXT", "a.txt", false},
      {"*.*", "name", true},
      {"*.*", ".", true},
      {"*.txt", ".", false},
      {"x", "xy", false},
      {"xy", "x", false},
      {"%s*", "%s%n", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::MatchWildcard(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  }
}

}  // namespace
