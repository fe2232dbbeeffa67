// RunApplication as an installer calls it: the library is loaded by file name and the export
// found by name; the program it starts is the test program built beside it.
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "installsupport/halyard4inst.h"
#include "installsupport/testing/testsupport.h"
#include "platform/module.h"
#include "testing/scratchfolder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadText;

class RunApplicationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library_ = new testsupport::Library;
    ASSERT_TRUE(library_->Loaded()) << library_->File() << ": error " << library_->LoadError();
    runApplication_ = library_->RunApplication();
    ASSERT_NE(nullptr, runApplication_);
  }
  static void TearDownTestSuite() {
    delete library_;
    library_ = nullptr;
  }

  static std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }
  static std::string Program() {
    return Quoted(testsupport::ExecutableDirectory() / TESTPROGRAM_FILE);
  }

  // True when the test process has no child left, ended or running.
  static bool NoChildren() {
#ifdef _WIN32
    return true;
#else
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
#endif
  }

  static testsupport::Library* library_;
  static RunApplicationFunction runApplication_;
  ScratchFolder scratch_;
};

testsupport::Library* RunApplicationTest::library_ = nullptr;
RunApplicationFunction RunApplicationTest::runApplication_ = nullptr;

TEST_F(RunApplicationTest, ProgramThatFailsStillCountsAsStarted) {
  EXPECT_NE(FALSE, runApplication_((Program() + " exit 7").c_str(), nullptr));
  EXPECT_NE(FALSE, runApplication_((Program() + " exit 0").c_str(), nullptr));
  EXPECT_NE(FALSE, runApplication_(Program().c_str(), nullptr));  // usage, exit code 64
  EXPECT_TRUE(NoChildren());
}

TEST_F(RunApplicationTest, ReturnsOnlyAfterTheProgramEnded) {
  fs::path done = scratch_.path() / "done.txt";
  EXPECT_NE(FALSE, runApplication_((Program() + " sleep 400 " + Quoted(done)).c_str(), nullptr));
  EXPECT_EQ("done", ReadText(done));
  EXPECT_TRUE(NoChildren());
}

TEST_F(RunApplicationTest, StartsInTheGivenDirectoryOrTheCallers) {
  fs::path sub = scratch_.path() / "start here";
  fs::create_directories(sub);
  EXPECT_NE(FALSE, runApplication_((Program() + " cwd where.txt").c_str(), sub.string().c_str()));
  EXPECT_TRUE(fs::equivalent(sub, fs::path(ReadText(sub / "where.txt"))));

  fs::path file = scratch_.path() / "caller.txt";
  EXPECT_NE(FALSE, runApplication_((Program() + " cwd " + Quoted(file)).c_str(), nullptr));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), fs::path(ReadText(file))));
}

TEST_F(RunApplicationTest, ArgumentsFollowTheWindowsQuotingRules) {
  fs::path file = scratch_.path() / "args.txt";
  std::string line = Program() + " args " + Quoted(file) + " \"two words\" a\\\"b c\\\\d";
  EXPECT_NE(FALSE, runApplication_(line.c_str(), nullptr));
  EXPECT_EQ("two words\na\"b\nc\\\\d\n", ReadText(file));
}

TEST_F(RunApplicationTest, ProgramThatCannotStartReturnsZeroAtOnce) {
  std::string missing = Quoted(scratch_.path() / "no-such-program") + " exit 0";
  EXPECT_EQ(FALSE, runApplication_(missing.c_str(), nullptr));
  EXPECT_EQ(FALSE, runApplication_("no-such-program-anywhere-h4i", nullptr));
  std::string noDirectory = (scratch_.path() / "no-such-directory").string();
  EXPECT_EQ(FALSE, runApplication_((Program() + " exit 0").c_str(), noDirectory.c_str()));
  EXPECT_EQ(FALSE, runApplication_("", nullptr));
  EXPECT_TRUE(NoChildren());
}

}  // namespace
