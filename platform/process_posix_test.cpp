#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "testing/scratchfolder.h"
#include "testing/scratchtest.h"

namespace {

using Tokens = std::vector<std::string>;

TEST(SplitCommandLineTest, WindowsQuotingAndBackslashRules) {
  struct Case {
    const char* line;
    Tokens tokens;
  } cases[] = {
      {"prog a b", {"prog", "a", "b"}},
      {"  prog\ta  \t b  ", {"prog", "a", "b"}},
      {"\"C:\\Program Files\\x.exe\" arg", {"C:\\Program Files\\x.exe", "arg"}},
      {"prog \"a b\" c", {"prog", "a b", "c"}},
      {"prog x\"a b\"y", {"prog", "xa by"}},
      {"prog a\\\\b c\\", {"prog", "a\\\\b", "c\\"}},
      {"prog a\\\"b", {"prog", "a\"b"}},
      {"prog a\\\\\"b c\"", {"prog", "a\\b c"}},
      {"prog a\\\\\\\"b", {"prog", "a\\\"b"}},
      {"prog \"a\"\"b\"", {"prog", "a\"b"}},
      {"prog \"\" x", {"prog", "", "x"}},
      {"prog \"open ended", {"prog", "open ended"}},
      {"dir\\prog.exe \"\\\\server\\share\\\\\"", {"dir\\prog.exe", "\\\\server\\share\\"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.tokens, platform::SplitCommandLine(c.line)) << c.line;
  }
  EXPECT_EQ(Tokens(), platform::SplitCommandLine(""));
  EXPECT_EQ(Tokens(), platform::SplitCommandLine("  "));
  EXPECT_EQ(Tokens(), platform::SplitCommandLine(nullptr));
}

class ProcessTest : public ScratchTest {
 protected:
  // Starts commandLine; on success waits for its end.
  BOOL Run(const std::string& commandLine, const char* directory, DWORD flags = CREATE_NO_WINDOW,
           BOOL inherit = FALSE) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, inherit, flags, nullptr,
                                  directory, &startup, &info);
    if (!started) return FALSE;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, INFINITE));
    EXPECT_EQ(TRUE, CloseHandle(info.hThread));
    EXPECT_EQ(TRUE, CloseHandle(info.hProcess));
    return started;
  }

  std::string Slurp(const std::string& name) {
    std::ifstream in(dir_ + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // True when the test process has no child left, ended or running.
  static bool NoChildren() { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }
};

TEST_F(ProcessTest, RunsTheProgramWithItsArguments) {
  ASSERT_EQ(TRUE, Run("sh -c \"printf '%s|%s' \\\"$0\\\" \\\"$1\\\" > args.txt; exit 3\" first\\\\ "
                      "\"two words\"",
                      dir_.c_str()));
  EXPECT_EQ("first\\\\|two words", Slurp("args.txt"));
  EXPECT_TRUE(NoChildren());
}

TEST_F(ProcessTest, WaitReturnsOnlyAfterTheProgramEnded) {
  ASSERT_EQ(TRUE, Run("/bin/sh -c \"sleep 0.3; echo done > ended.txt\"", dir_.c_str()));
  EXPECT_EQ("done\n", Slurp("ended.txt"));
}

TEST_F(ProcessTest, CurrentDirectoryIsTheGivenOneOrTheCallers) {
  std::string withBackslashes = dir_;
  for (char& c : withBackslashes) c = (c == '/') ? '\\' : c;
  ASSERT_EQ(TRUE, Run("sh -c \"pwd > here.txt\"", withBackslashes.c_str()));
  EXPECT_EQ(dir_ + "\n", Slurp("here.txt"));

  char cwd[4096];
  ASSERT_NE(nullptr, ::getcwd(cwd, sizeof cwd));
  ASSERT_EQ(TRUE, Run("sh -c \"pwd > '" + dir_ + "/caller.txt'\"", nullptr));
  EXPECT_EQ(std::string(cwd) + "\n", Slurp("caller.txt"));
}

TEST_F(ProcessTest, NoWindowMeansNoConsoleAndHandlesAreNotInherited) {
  int open = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY);  // inheritable: no O_CLOEXEC
  ASSERT_GE(open, 3);
  std::string probe = "sh -c \"readlink /proc/self/fd/0 /proc/self/fd/2 > '" + dir_ +
                      "/out.txt'; if [ -e /proc/self/fd/" + std::to_string(open) +
                      " ]; then echo open; else echo closed; fi > '" + dir_ + "/fd.txt'\"";
  ASSERT_EQ(TRUE, Run(probe, nullptr, CREATE_NO_WINDOW, FALSE));
  EXPECT_EQ("/dev/null\n/dev/null\n", Slurp("out.txt"));
  EXPECT_EQ("closed\n", Slurp("fd.txt"));

  ASSERT_EQ(TRUE, Run(probe, nullptr, 0, TRUE));
  EXPECT_EQ("open\n", Slurp("fd.txt"));
  ::close(open);
}

TEST_F(ProcessTest, ProgramThatCannotStartFailsAtOnceWithoutAChild) {
  std::string script = dir_ + "/script";
  std::ofstream(script) << "not a program\n";
  std::string garbage = dir_ + "/garbage";
  std::ofstream(garbage) << "\x01\x02\x03 not a program\n";
  ASSERT_EQ(0, ::chmod(garbage.c_str(), 0755));

  struct Case {
    std::string line;
    const char* directory;
    DWORD error;
  } cases[] = {
      {"no-such-program-here arg", nullptr, ERROR_FILE_NOT_FOUND},
      {dir_ + "/missing", nullptr, ERROR_FILE_NOT_FOUND},
      {"\"" + script + "\"", nullptr, ERROR_ACCESS_DENIED},  // not executable
      {dir_, nullptr, ERROR_ACCESS_DENIED},                  // a directory
      {garbage, nullptr, ERROR_BAD_EXE_FORMAT},              // executable bit, unknown format
      {"sh -c true", "/no/such/directory", ERROR_DIRECTORY},
      {"", nullptr, ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FALSE, Run(c.line, c.directory)) << c.line;
    EXPECT_EQ(c.error, GetLastError()) << c.line;
    EXPECT_TRUE(NoChildren()) << c.line;
  }
}

TEST_F(ProcessTest, MissingOrUnservedArgumentsAndForeignHandlesAreRefused) {
  char line[] = "sh -c true";
  char block[] = "A=1\0";
  STARTUPINFOA startup = {};
  PROCESS_INFORMATION info = {};
  const struct {
    LPCSTR application;
    LPSTR commandLine;
    LPVOID environment;
    LPPROCESS_INFORMATION information;
  } kCalls[] = {
      {nullptr, nullptr, nullptr, &info},
      {nullptr, line, nullptr, nullptr},
      {"/bin/sh", line, nullptr, &info},
      {nullptr, line, block, &info},
  };
  for (const auto& c : kCalls) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FALSE, CreateProcessA(c.application, c.commandLine, nullptr, nullptr, FALSE, 0,
                                    c.environment, nullptr, &startup, c.information));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  }
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, INFINITE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_TRUE(NoChildren());
}

}  // namespace
