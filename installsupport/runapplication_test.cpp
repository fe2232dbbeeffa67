// RunApplication and its wide twin RunApplicationW as an installer calls them: the library is
// loaded by file name and the export found by name, and every case runs on both exports. The
// program they start is the test program built beside it (testprogram.cpp), whose report mode
// tells its current directory and its console after a delay.
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

ChildReport ReadReport(const fs::path& path) {
  ChildReport report;
  std::ifstream file(path);
  if (!file) return report;
  report.present = true;
  std::getline(file, report.directory);  // UTF-8
  file >> report.consoleProcesses >> report.consoleWindow;
  return report;
}

template <typename Exports>
class RunApplicationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library_ = new testsupport::Library;
    ASSERT_TRUE(library_->Loaded()) << library_->File() << ": error " << library_->LoadError();
    runApplication_ = library_->Export<typename Exports::RunApplication>(Exports::kRunApplication);
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

  // Runs the command line in the directory (UTF-8; null stays null).
  static BOOL Run(const std::string& commandLine, const char* directory = nullptr) {
    const typename Exports::Text folder = Exports::FromUtf8(directory != nullptr ? directory : "");
    return runApplication_(Exports::FromUtf8(commandLine).c_str(),
                           directory != nullptr ? folder.c_str() : nullptr);
  }

  static inline testsupport::Library* library_ = nullptr;
  static inline typename Exports::RunApplication runApplication_ = nullptr;
  ScratchFolder scratch_;
};

TYPED_TEST_SUITE(RunApplicationTest, testsupport::ExportKinds);

// The report appears only after the child's delay: finding it when the call has returned shows
// that the call waited for the program to end.
TYPED_TEST(RunApplicationTest, ReturnsOnlyAfterTheProgramEnded) {
  std::string report = this->scratch_.Path("report.txt");
  EXPECT_NE(FALSE, this->Run(this->ReportCommand(report, 1500)));
  EXPECT_TRUE(ReadReport(report).present);
}

TYPED_TEST(RunApplicationTest, ExitCodeOfTheProgramIsNotReported) {
  for (int exitCode : {0, 1, 7, 255}) {
    SCOPED_TRACE(exitCode);
    std::string report = this->scratch_.Path("exit" + std::to_string(exitCode) + ".txt");
    EXPECT_NE(FALSE, this->Run(this->ReportCommand(report, 0, exitCode)));
    EXPECT_TRUE(ReadReport(report).present);
  }
  EXPECT_NE(FALSE, this->Run(this->Program()));  // usage, exit code 64
}

// The wide twin takes a folder outside the ANSI code page, and the report's path in it.
TYPED_TEST(RunApplicationTest, StartsInTheGivenDirectoryOrTheCallers) {
  fs::path folder =
      this->scratch_.path() / fs::u8path(TypeParam::kWide ? "Пример 例" : "start here");
  fs::create_directories(folder);
  std::string report = (folder / "report.txt").u8string();
  EXPECT_NE(FALSE, this->Run(this->ReportCommand(report), folder.u8string().c_str()));
  ChildReport child = ReadReport(fs::u8path(report));
  ASSERT_TRUE(child.present);
  EXPECT_TRUE(fs::equivalent(folder, fs::u8path(child.directory))) << child.directory;

  std::string own = this->scratch_.Path("caller.txt");
  EXPECT_NE(FALSE, this->Run(this->ReportCommand(own), nullptr));
  child = ReadReport(own);
  ASSERT_TRUE(child.present);
  EXPECT_TRUE(fs::equivalent(fs::current_path(), fs::u8path(child.directory))) << child.directory;
}

TYPED_TEST(RunApplicationTest, ArgumentsFollowTheWindowsQuotingRules) {
  std::string file = this->scratch_.Path("args.txt");
  std::string line =
      this->Program() + " args " + this->Quoted(file) + " \"two words\" a\\\"b c\\\\d";
  EXPECT_NE(FALSE, this->Run(line));
  EXPECT_EQ("two words\na\"b\nc\\\\d\n", ReadText(file));
}

// The program runs in a console of its own that has no window: it does not share the caller's
// console (where it would be one of several processes), and none is shown.
TYPED_TEST(RunApplicationTest, ConsoleProgramGetsAWindowlessConsoleOfItsOwn) {
  std::string report = this->scratch_.Path("report.txt");
  EXPECT_NE(FALSE, this->Run(this->ReportCommand(report)));
  ChildReport child = ReadReport(report);
  ASSERT_TRUE(child.present);
  EXPECT_EQ(1u, child.consoleProcesses);
  EXPECT_EQ(0, child.consoleWindow);
}

TYPED_TEST(RunApplicationTest, ProgramThatCannotStartReturnsZeroAtOnce) {
  EXPECT_EQ(FALSE, this->Run(this->Quoted(this->scratch_.Path("absent.exe")) + " x"));
  EXPECT_EQ(FALSE, this->Run("no-such-program-anywhere-h4i"));
  EXPECT_EQ(FALSE, this->Run(""));
  // A file that is no program.
  std::string text = this->scratch_.Path("notaprogram.exe");
  std::ofstream(text) << "plain text\n";
  EXPECT_EQ(FALSE, this->Run(this->Quoted(text)));
  // A real program, but a start directory that does not exist.
  std::string report = this->scratch_.Path("report.txt");
  EXPECT_EQ(FALSE,
            this->Run(this->ReportCommand(report), this->scratch_.Path("no such folder").c_str()));
  EXPECT_FALSE(ReadReport(report).present);
}

}  // namespace
