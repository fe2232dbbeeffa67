#include "archive/memberplace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "testing/scratchfolder.h"

namespace {

namespace fs = std::filesystem;

class MemberPlaceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.Made()); }
  // A symbolic link; the test is skipped where the system cannot make one (Wine 8 has no
  // CreateSymbolicLink). The caller returns when IsSkipped().
  void Link(const std::string& target, const std::string& name, bool toFolder) {
    std::error_code error;
    if (toFolder) {
      fs::create_directory_symlink(target, dir_.Path(name), error);
    } else {
      fs::create_symlink(target, dir_.Path(name), error);
    }
    if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  }
  bool IsLinkOnDisk(const std::string& name) const {
    return fs::is_symlink(fs::symlink_status(dir_.Path(name)));
  }

  ScratchFolder dir_;
};

// A folder part that is a link is refused by extraction: tests/test_archive_errors.py.

TEST_F(MemberPlaceTest, LinksUnderTheMembersNameAreReplacedNotFollowed) {
  fs::create_directories(dir_.path() / "outside" / "dir");
  dir_.WriteFile("outside/target.txt", "keep");
  dir_.WriteFile("plain.txt", "old contents");
  Link((dir_.path() / "outside" / "target.txt").string(), "to-file", false);
  Link((dir_.path() / "outside" / "dir").string(), "to-dir", true);
  Link((dir_.path() / "nowhere").string(), "dangling", false);
  if (IsSkipped()) return;
  for (const char* name : {"to-file", "to-dir", "dangling", "plain.txt", "new.txt"}) {
    COutputFile file;
    ASSERT_TRUE(CreateMemberFile(file, dir_.Path(name).c_str())) << name;
    uint32_t written = 0;
    ASSERT_TRUE(file.Write("member", 6, written));
    file.Close();
    EXPECT_FALSE(IsLinkOnDisk(name)) << name;
    EXPECT_EQ(dir_.ReadFile(name), "member") << name;
  }
  EXPECT_EQ(dir_.ReadFile("outside/target.txt"), "keep");
  EXPECT_TRUE(fs::is_empty(dir_.path() / "outside" / "dir"));
  EXPECT_FALSE(fs::exists(dir_.path() / "nowhere"));
  COutputFile file;
  EXPECT_FALSE(CreateMemberFile(file, dir_.Path("nofolder/x").c_str()));
}

TEST_F(MemberPlaceTest, TheArchiveIsKnownByAnyName) {
  dir_.WriteFile("archive.dpc", "archive");
  dir_.WriteFile("other.dpc", "archive");
  CInputFile archive;
  ASSERT_TRUE(archive.Open(dir_.Path("archive.dpc").c_str()));
  FileIdentity identity;
  ASSERT_TRUE(archive.GetIdentity(identity));
  EXPECT_TRUE(NamesFile(dir_.Path("archive.dpc").c_str(), identity));
  EXPECT_FALSE(NamesFile(dir_.Path("other.dpc").c_str(), identity));
  EXPECT_FALSE(NamesFile(dir_.Path("missing.dpc").c_str(), identity));
  std::error_code error;
  fs::create_hard_link(dir_.Path("archive.dpc"), dir_.Path("hard.dpc"), error);
  if (!error) {
    EXPECT_TRUE(NamesFile(dir_.Path("hard.dpc").c_str(), identity));
  }
}

}  // namespace
