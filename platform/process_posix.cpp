#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/process.h"

extern char** environ;

namespace platform {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> SplitCommandLine(const char* commandLine) {
  std::vector<std::string> tokens;
  const char* p = commandLine != nullptr ? commandLine : "";
  while (IsBlank(*p)) ++p;
  if (*p == '\0') return tokens;

  // The program token knows no escapes: a quoted one ends at the next quote.
  std::string program;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') program += *p++;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && !IsBlank(*p)) program += *p++;
  }
  tokens.push_back(program);

  for (;;) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    std::string arg;
    bool quoted = false;
    while (*p != '\0' && (quoted || !IsBlank(*p))) {
      if (*p == '\\') {
        size_t count = 0;
        while (*p == '\\') {
          ++count;
          ++p;
        }
        if (*p == '"') {
          arg.append(count / 2, '\\');
          if (count % 2 == 1) arg += *p++;  // an escaped quote
        } else {
          arg.append(count, '\\');
        }
      } else if (*p == '"') {
        if (quoted && p[1] == '"') {
          arg += '"';
          p += 2;
        } else {
          quoted = !quoted;
          ++p;
        }
      } else {
        arg += *p++;
      }
    }
    tokens.push_back(arg);
  }
  return tokens;
}

}  // namespace platform

namespace {

// What the process handle and the thread handle of one process share.
struct ProcessState {
  pid_t pid = 0;
  bool ended = false;
};

// Collects the process's end when it has come, or waits for it when block is set.
void Reap(ProcessState& state, bool block) {
  if (state.ended) return;
  const pid_t got = platform::RetryInterrupted(
      [&] { return ::waitpid(state.pid, nullptr, block ? 0 : WNOHANG); });
  // ECHILD: the caller ignores SIGCHLD and the system has collected it.
  if (got == state.pid || (got < 0 && errno == ECHILD)) state.ended = true;
}

class ProcessObject final : public platform::HandleObject {
 public:
  explicit ProcessObject(std::shared_ptr<ProcessState> state) : state_(std::move(state)) {}
  // A running process goes on; it is collected here if it has already ended.
  bool Close() override {
    Reap(*state_, false);
    return true;
  }
  ProcessState& state() { return *state_; }

 private:
  std::shared_ptr<ProcessState> state_;
};

std::string CurrentDirectory() {
  std::string dir(PATH_MAX, '\0');
  if (::getcwd(&dir[0], dir.size()) == nullptr) return ".";
  dir.resize(std::char_traits<char>::length(dir.c_str()));
  return dir;
}

// The executable regular file at path: ERROR_SUCCESS, or why it is none.
DWORD CheckProgram(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return platform::ErrorForPath(errno, path);
  if (!S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// Finds the program file; ERROR_SUCCESS with its absolute path, or the Win32 error.
DWORD FindProgram(const std::string& name, std::string* found) {
  const std::string path = platform::ToPosixPath(name.c_str());
  if (path.empty()) return ERROR_FILE_NOT_FOUND;
  if (platform::HasSeparator(path)) {
    *found = path[0] == '/' ? path : CurrentDirectory() + "/" + path;
    return CheckProgram(*found);
  }
  const char* env = std::getenv("PATH");
  const std::string search = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  DWORD error = ERROR_FILE_NOT_FOUND;
  for (size_t start = 0;;) {
    const size_t colon = search.find(':', start);
    std::string dir = search.substr(start, colon == std::string::npos ? colon : colon - start);
    if (dir.empty()) dir = ".";
    if (dir[0] != '/') dir = CurrentDirectory() + "/" + dir;
    *found = dir + "/" + path;
    const DWORD checked = CheckProgram(*found);
    if (checked == ERROR_SUCCESS) return checked;
    if (checked == ERROR_ACCESS_DENIED) error = checked;  // there, but not executable
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return error;
}

// Why a child could not become the program: which step failed and its errno.
struct StartFailure {
  int step;
  int err;
};
constexpr int kStepDirectory = 1;
constexpr int kStepExec = 2;

[[noreturn]] void FailChild(int pipeFd, int step) {
  StartFailure failure = {step, errno};
  ssize_t ignored = ::write(pipeFd, &failure, sizeof failure);
  (void)ignored;
  ::_exit(127);
}

// Runs in the child between fork and exec: async-signal-safe calls only.
[[noreturn]] void StartChild(int pipeFd, const char* program, char* const* argv,
                             const char* directory, bool noConsole, bool inheritHandles,
                             long openMax) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &standard, nullptr);
  ::sigaction(SIGCHLD, &standard, nullptr);
  if (noConsole) {
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      if (null > 2) ::close(null);
    }
  }
  if (directory != nullptr && ::chdir(directory) != 0) FailChild(pipeFd, kStepDirectory);
  if (!inheritHandles) {
#if defined(SYS_close_range)
    constexpr unsigned kCloseRangeCloexec = 1U << 2;
    if (::syscall(SYS_close_range, 3U, ~0U, kCloseRangeCloexec) != 0)
#endif
    {
      for (long fd = 3; fd < openMax; ++fd) ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    }
  }
  ::execve(program, argv, environ);
  FailChild(pipeFd, kStepExec);
}

// Forks a child that becomes the program; its pid, or -1 with the Win32 error set. A child that
// cannot become the program is collected before this returns.
pid_t Start(const std::string& program, std::vector<std::string>& args, const char* directory,
            bool noConsole, bool inheritHandles) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  long openMax = ::sysconf(_SC_OPEN_MAX);
  if (openMax < 0 || openMax > 65536) openMax = 65536;
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    platform::SetLastErrorFromErrno();
    return -1;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(report[0]);
    StartChild(report[1], program.c_str(), argv.data(), directory, noConsole, inheritHandles,
               openMax);
  }
  if (pid < 0) platform::SetLastErrorFromErrno();
  ::close(report[1]);
  // The pipe closes unread when exec succeeds; a failing child writes why before it ends.
  StartFailure failure = {0, 0};
  const ssize_t got = pid < 0 ? 0 : platform::RetryInterrupted([&] {
    return ::read(report[0], &failure, sizeof failure);
  });
  ::close(report[0]);
  if (got != static_cast<ssize_t>(sizeof failure)) return pid;
  ProcessState state;
  state.pid = pid;
  Reap(state, true);
  SetLastError(failure.step == kStepDirectory ? static_cast<DWORD>(ERROR_DIRECTORY)
                                              : platform::ErrorFromErrno(failure.err));
  return -1;
}

}  // namespace

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                    LPSECURITY_ATTRIBUTES /*processAttributes*/,
                    LPSECURITY_ATTRIBUTES /*threadAttributes*/, BOOL inheritHandles,
                    DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                    LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation) {
  if (applicationName != nullptr || environment != nullptr || commandLine == nullptr ||
      startupInfo == nullptr || processInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::string> args = platform::SplitCommandLine(commandLine);
  std::string program;
  const DWORD error = FindProgram(args.empty() ? std::string() : args[0], &program);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  std::string directory;
  if (currentDirectory != nullptr) {
    directory = platform::ToPosixPath(currentDirectory);
    struct stat st;
    if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_DIRECTORY);
      return FALSE;
    }
  }
  const pid_t pid = Start(program, args, currentDirectory != nullptr ? directory.c_str() : nullptr,
                          (creationFlags & CREATE_NO_WINDOW) != 0, inheritHandles != FALSE);
  if (pid < 0) return FALSE;
  auto state = std::make_shared<ProcessState>();
  state->pid = pid;
  processInformation->hProcess = (new ProcessObject(state))->ToHandle();
  processInformation->hThread = (new ProcessObject(state))->ToHandle();
  processInformation->dwProcessId = static_cast<DWORD>(pid);
  processInformation->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto* process = platform::HandleObject::As<ProcessObject>(handle);
  if (process == nullptr) return WAIT_FAILED;
  if (milliseconds != INFINITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  Reap(process->state(), true);
  return WAIT_OBJECT_0;
}
