#include "archive/memberplace.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "testing/scratchfolder.h"

namespace {

namespace fs = std::filesystem;
using R = MemberPlaceResult;

// Members go into the current folder: the tests run in a scratch folder.
class MemberPlaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.Made());
    back_ = fs::current_path();
    fs::current_path(dir_.path());
  }
  void TearDown() override { fs::current_path(back_); }
  // A symbolic link; false where the system cannot make one (Wine 8 has no CreateSymbolicLink).
  static bool Link(const std::string& target, const std::string& name) {
    std::error_code error;
    fs::create_symlink(target, name, error);
    return !error;
  }
  // Creates name and writes "member" into it.
  R Place(CMemberPlace& place, const char* name) {
    COutputFile file;
    const R result = place.Create(name, file);
    uint32_t written = 0;
    if (result == R::kCreated) {
      EXPECT_TRUE(file.Write("member", 6, written)) << name;
    }
    return result;
  }

  ScratchFolder dir_;
  fs::path back_;
};

TEST_F(MemberPlaceTest, WhatIsThereIsReplacedNeverWrittenThrough) {
  fs::create_directories("outside/dir");
  fs::create_directories("sub");
  dir_.WriteFile("outside/target.txt", "keep");
  dir_.WriteFile("plain.txt", "old contents");
  dir_.WriteFile("outside/linked.txt", "keep too");
  std::vector<const char*> names = {"plain.txt", "new.txt", "hard.txt", "sub\\deep.txt",
                                    "./sub//x"};
  const bool links = Link(dir_.Path("outside/target.txt"), "to-file") &&
                     Link(dir_.Path("outside/dir"), "to-dir") &&
                     Link(dir_.Path("nowhere"), "dangling");
  if (links) names.insert(names.end(), {"to-file", "to-dir", "dangling"});
  fs::create_hard_link("outside/linked.txt", "hard.txt");
  CMemberPlace place;
  for (const char* name : names) {
    EXPECT_EQ(Place(place, name), R::kCreated) << name;
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(name))) << name;
  }
  if (links) {
    EXPECT_EQ(dir_.ReadFile("to-dir"), "member");
  }
  EXPECT_EQ(dir_.ReadFile("hard.txt"), "member");
  EXPECT_EQ(dir_.ReadFile("sub/deep.txt"), "member");
  EXPECT_EQ(dir_.ReadFile("outside/target.txt"), "keep");
  EXPECT_EQ(dir_.ReadFile("outside/linked.txt"), "keep too");
  EXPECT_TRUE(fs::is_empty("outside/dir"));
  EXPECT_FALSE(fs::exists("nowhere"));
  for (const char* name : {"nofolder/x", "plain.txt/x", "sub", "sub/"}) {
    EXPECT_EQ(Place(place, name), R::kFailed) << name;
  }
  // Missing folders are made when asked to, and told.
  place.SetCreateFolders(true);
  EXPECT_EQ(Place(place, "sub/new\\deeper/x"), R::kCreated);
  EXPECT_EQ(place.MadeFolders(), (std::vector<std::string>{"sub/new", "sub/new/deeper"}));
  EXPECT_EQ(dir_.ReadFile("sub/new/deeper/x"), "member");
  EXPECT_EQ(Place(place, "plain.txt/x"), R::kFailed);
  // A deep tree, walked again from the nearest folder still held for its siblings.
  std::string deep;
  for (int level = 0; level < 70; ++level) deep += "d/";
  for (const std::string& name : {deep + "x", deep + "y", deep.substr(0, 134) + "z", deep + "w"}) {
    EXPECT_EQ(Place(place, name.c_str()), R::kCreated) << name.size();
    EXPECT_EQ(dir_.ReadFile(name), "member") << name.size();
  }
  // The same tree walked anew: below the folders held, a member's own folder in one step.
  CMemberPlace again;
  EXPECT_EQ(Place(again, (deep + "v").c_str()), R::kCreated);
  EXPECT_EQ(dir_.ReadFile(deep + "v"), "member");
}

// A folder that becomes a link between two members never leads one through the link: the folder
// held open from the member before takes the next one (on Windows it cannot even be renamed while
// it is held), and a walk that starts anew refuses the link.
TEST_F(MemberPlaceTest, FoldersOnTheWayAreNeverLinks) {
  fs::create_directories("d");
  fs::create_directories("e");
  fs::create_directories("outside");
  CMemberPlace place;
  EXPECT_EQ(Place(place, "d/first"), R::kCreated);
  std::error_code held;
  fs::rename("d", "d.old", held);
#ifdef _WIN32
  EXPECT_TRUE(held);
  return;
#endif
  ASSERT_FALSE(held);
  ASSERT_TRUE(Link("outside", "d"));
  EXPECT_EQ(Place(place, "d/second"), R::kCreated);
  EXPECT_EQ(dir_.ReadFile("d.old/second"), "member");
  EXPECT_EQ(Place(place, "e/x"), R::kCreated);
  EXPECT_EQ(Place(place, "d/third"), R::kThroughLink);
  EXPECT_EQ(Place(place, "d\\third"), R::kThroughLink);
  EXPECT_TRUE(fs::is_empty("outside"));
  // Followed when the names are used as they stand, also to make folders.
  place.SetFollowLinks(true);
  EXPECT_EQ(Place(place, "d/second"), R::kCreated);
  EXPECT_EQ(dir_.ReadFile("outside/second"), "member");
  place.SetCreateFolders(true);
  EXPECT_EQ(Place(place, "d/made/x"), R::kCreated);
  EXPECT_EQ(place.MadeFolders(), std::vector<std::string>{"d/made"});
  EXPECT_EQ(dir_.ReadFile("outside/made/x"), "member");
}

TEST_F(MemberPlaceTest, TheArchivePipesAndDevicesAreLeftAlone) {
  dir_.WriteFile("archive.dpc", "archive");
  CInputFile archive;
  ASSERT_TRUE(archive.Open("archive.dpc"));
  FileIdentity identity;
  ASSERT_TRUE(archive.GetIdentity(identity));
#ifndef _WIN32
  ASSERT_EQ(::mkfifo("fifo", 0600), 0);
#endif
  fs::create_hard_link("archive.dpc", "hard.dpc");
  for (bool follow : {false, true}) {
    CMemberPlace place;
    place.SetArchive(identity);
    place.SetFollowLinks(follow);
    EXPECT_EQ(Place(place, "archive.dpc"), R::kNamesArchive) << follow;
    EXPECT_EQ(Place(place, "hard.dpc"), R::kNamesArchive) << follow;
#ifndef _WIN32
    // Opening a pipe to look at it would wait for a writer; it is never opened.
    EXPECT_EQ(Place(place, "fifo"), R::kNotAFile) << follow;
#endif
    EXPECT_EQ(Place(place, "other.dpc"), R::kCreated) << follow;
  }
  EXPECT_EQ(dir_.ReadFile("archive.dpc"), "archive");
}

TEST(SplitMemberNameTest, FoldersAndLeaf) {
  std::vector<std::string> folders;
  std::string leaf;
  SplitMemberName("a/./b\\\\c/x.txt", folders, leaf);
  EXPECT_EQ(folders, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(leaf, "x.txt");
  SplitMemberName("dir/", folders, leaf);
  EXPECT_EQ(folders, std::vector<std::string>{"dir"});
  EXPECT_EQ(leaf, "");
}

}  // namespace
