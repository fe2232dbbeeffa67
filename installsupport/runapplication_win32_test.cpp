// RunApplication on Windows' own process creation, with the test program (testprogram.cpp),
// whose report mode tells its current directory and its console after a delay.
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "gtest/gtest.h"
#include "installsupport/testing/testsupport.h"
#include "testing/scratchfolder.h"

namespace {

using testsupport::ExecutableDirectory;
using testsupport::Library;

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

// Paths compare without regard to case and to a trailing backslash.
std::string Canonical(std::string path) {
  char full[MAX_PATH] = "";
  if (GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr) != 0) path = full;
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  CharLowerA(&path[0]);
  return path;
}

class RunApplicationWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.Loaded()) << library_.File() << ": error " << library_.LoadError();
    ASSERT_NE(library_.RunApplication(), nullptr) << "RunApplication is not exported by name";
  }

  // The command line of the test program's report mode: "<folder>\testprogram.exe" report
  // REPORT DELAY EXIT-CODE.
  static std::string ChildCommand(const std::string& report, int delayMs, int exitCode) {
    std::ostringstream command;
    command << '"' << (ExecutableDirectory() / TESTPROGRAM_FILE).string() << "\" report \""
            << report << "\" " << delayMs << ' ' << exitCode;
    return command.str();
  }

  BOOL Run(const std::string& commandLine, const char* directory) {
    return library_.RunApplication()(commandLine.c_str(), directory);
  }

  Library library_;
  ScratchFolder scratch_;
};

// The child writes its report only after its delay: finding the report when the call has
// returned shows that the call waited for the program to end.
TEST_F(RunApplicationWin32Test, WaitsUntilTheProgramHasEnded) {
  std::string report = scratch_.Path("report.txt");
  EXPECT_NE(Run(ChildCommand(report, 1500, 0), nullptr), FALSE);
  EXPECT_TRUE(ReadReport(report).present);
}

TEST_F(RunApplicationWin32Test, ExitCodeOfTheProgramIsNotReported) {
  for (int exitCode : {0, 1, 7, 255}) {
    SCOPED_TRACE(exitCode);
    std::string report = scratch_.Path("exit" + std::to_string(exitCode) + ".txt");
    EXPECT_NE(Run(ChildCommand(report, 0, exitCode), nullptr), FALSE);
    EXPECT_TRUE(ReadReport(report).present);
  }
}

TEST_F(RunApplicationWin32Test, GivenDirectoryBecomesTheCurrentDirectory) {
  std::string folder = scratch_.Path("start here");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  std::string report = scratch_.Path("report.txt");

  EXPECT_NE(Run(ChildCommand(report, 0, 0), folder.c_str()), FALSE);
  ChildReport child = ReadReport(report);
  ASSERT_TRUE(child.present);
  EXPECT_EQ(Canonical(child.directory), Canonical(folder));
}

TEST_F(RunApplicationWin32Test, NullDirectoryKeepsTheCallersCurrentDirectory) {
  char own[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, own);
  std::string report = scratch_.Path("report.txt");

  EXPECT_NE(Run(ChildCommand(report, 0, 0), nullptr), FALSE);
  ChildReport child = ReadReport(report);
  ASSERT_TRUE(child.present);
  EXPECT_EQ(Canonical(child.directory), Canonical(own));
}

// The program runs in a console of its own that has no window: it does not share the caller's
// console (where it would be one of several processes), and none is shown.
TEST_F(RunApplicationWin32Test, ConsoleProgramGetsAWindowlessConsoleOfItsOwn) {
  std::string report = scratch_.Path("report.txt");
  EXPECT_NE(Run(ChildCommand(report, 0, 0), nullptr), FALSE);
  ChildReport child = ReadReport(report);
  ASSERT_TRUE(child.present);
  EXPECT_EQ(child.consoleProcesses, 1u);
  EXPECT_EQ(child.consoleWindow, 0);
}

TEST_F(RunApplicationWin32Test, ProgramThatCannotBeStartedGivesZero) {
  std::string report = scratch_.Path("report.txt");
  // No such program.
  EXPECT_EQ(Run("\"" + scratch_.Path("absent.exe") + "\" x", nullptr), FALSE);
  // A file that is no program.
  std::string text = scratch_.Path("notaprogram.exe");
  std::ofstream(text) << "plain text\n";
  EXPECT_EQ(Run("\"" + text + "\"", nullptr), FALSE);
  // A real program, but a start directory that does not exist.
  EXPECT_EQ(Run(ChildCommand(report, 0, 0), scratch_.Path("no such folder").c_str()), FALSE);
  EXPECT_FALSE(ReadReport(report).present);
}

}  // namespace
