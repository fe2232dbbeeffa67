// RunApplication as an installer calls it: the library is loaded by file name and the export
// found by name; the program it starts is the test program built beside it (testprogram.cpp),
// whose report mode tells its current directory and its console after a delay.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "installsupport/halyard4inst.h"
#include "installsupport/testing/testsupport.h"
#include "testing/scratchfolder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadText;

struct ChildReport {
  bool present = false;
  std::string directory;
  unsigned long consoleProcesses = 0;
  int consoleWindow = -1;
};

ChildReport ReadReport(const std::string& path) {
  ChildReport report;
  std::ifstream file(path);
  if (!file) return report;
  report.present = true;
  std::getline(file, report.directory);
  file >> report.consoleProcesses >> report.consoleWindow;
  return report;
}

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

  static std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
  static std::string Program() {
    return Quoted((testsupport::ExecutableDirectory() / TESTPROGRAM_FILE).string());
  }
  // The test program's report mode: waits delayMs, writes the report, ends with exitCode.
  static std::string ReportCommand(const std::string& report, int delayMs = 0, int exitCode = 0) {
    return Program() + " report " + Quoted(report) + " " + std::to_string(delayMs) + " " +
           std::to_string(exitCode);
  }

  static BOOL Run(const std::string& commandLine, const char* directory = nullptr) {
    return runApplication_(commandLine.c_str(), directory);
  }

  static testsupport::Library* library_;
  static RunApplicationFunction runApplication_;
  ScratchFolder scratch_;
};

testsupport::Library* RunApplicationTest::library_ = nullptr;
RunApplicationFunction RunApplicationTest::runApplication_ = nullptr;

// The report appears only after the child's delay: finding it when the call has returned shows
// that the call waited for the program to end.
TEST_F(RunApplicationTest, ReturnsOnlyAfterTheProgramEnded) {
  std::string report = scratch_.Path("report.txt");
  EXPECT_NE(FALSE, Run(ReportCommand(report, 1500)));
  EXPECT_TRUE(ReadReport(report).present);
}

TEST_F(RunApplicationTest, ExitCodeOfTheProgramIsNotReported) {
  for (int exitCode : {0, 1, 7, 255}) {
    SCOPED_TRACE(exitCode);
    std::string report = scratch_.Path("exit" + std::to_string(exitCode) + ".txt");
    EXPECT_NE(FALSE, Run(ReportCommand(report, 0, exitCode)));
    EXPECT_TRUE(ReadReport(report).present);
  }
  EXPECT_NE(FALSE, Run(Program()));  // usage, exit code 64
}

TEST_F(RunApplicationTest, StartsInTheGivenDirectoryOrTheCallers) {
  fs::path folder = scratch_.path() / "start here";
  fs::create_directories(folder);
  std::string report = scratch_.Path("report.txt");
  EXPECT_NE(FALSE, Run(ReportCommand(report), folder.string().c_str()));
  ChildReport child = ReadReport(report);
  ASSERT_TRUE(child.present);
  EXPECT_TRUE(fs::equivalent(folder, fs::path(child.directory))) << child.directory;

  std::string own = scratch_.Path("caller.txt");
  EXPECT_NE(FALSE, Run(ReportCommand(own), nullptr));
  child = ReadReport(own);
  ASSERT_TRUE(child.present);
  EXPECT_TRUE(fs::equivalent(fs::current_path(), fs::path(child.directory))) << child.directory;
}

TEST_F(RunApplicationTest, ArgumentsFollowTheWindowsQuotingRules) {
  std::string file = scratch_.Path("args.txt");
  std::string line = Program() + " args " + Quoted(file) + " \"two words\" a\\\"b c\\\\d";
  EXPECT_NE(FALSE, Run(line));
  EXPECT_EQ("two words\na\"b\nc\\\\d\n", ReadText(file));
}

// The program runs in a console of its own that has no window: it does not share the caller's
// console (where it would be one of several processes), and none is shown.
TEST_F(RunApplicationTest, ConsoleProgramGetsAWindowlessConsoleOfItsOwn) {
  std::string report = scratch_.Path("report.txt");
  EXPECT_NE(FALSE, Run(ReportCommand(report)));
  ChildReport child = ReadReport(report);
  ASSERT_TRUE(child.present);
  EXPECT_EQ(1u, child.consoleProcesses);
  EXPECT_EQ(0, child.consoleWindow);
}

TEST_F(RunApplicationTest, ProgramThatCannotStartReturnsZeroAtOnce) {
  EXPECT_EQ(FALSE, Run(Quoted(scratch_.Path("absent.exe")) + " x"));
  EXPECT_EQ(FALSE, Run("no-such-program-anywhere-h4i"));
  EXPECT_EQ(FALSE, Run(""));
  // A file that is no program.
  std::string text = scratch_.Path("notaprogram.exe");
  std::ofstream(text) << "plain text\n";
  EXPECT_EQ(FALSE, Run(Quoted(text)));
  // A real program, but a start directory that does not exist.
  std::string report = scratch_.Path("report.txt");
  EXPECT_EQ(FALSE, Run(ReportCommand(report), scratch_.Path("no such folder").c_str()));
  EXPECT_FALSE(ReadReport(report).present);
}

}  // namespace
