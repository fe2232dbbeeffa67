#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

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
  std::mutex mutex;
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
};

// Collects the process's end when it has come (or waits for it). True once it has ended.
bool Reap(ProcessState& state, bool block) {
  std::lock_guard<std::mutex> lock(state.mutex);
  while (!state.ended) {
    int status = 0;
    pid_t got = ::waitpid(state.pid, &status, block ? 0 : WNOHANG);
    if (got == state.pid) {
      state.ended = true;
      state.exitCode = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status))
                                         : static_cast<DWORD>(128 + WTERMSIG(status));
    } else if (got == 0) {
      return false;
    } else if (errno != EINTR) {
      // ECHILD: the caller ignores SIGCHLD and the system collected it; the code is lost.
      state.ended = true;
      state.exitCode = 0;
    }
  }
  return true;
}

class ProcessObject : public platform::HandleObject {
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

ProcessObject* ProcessFromHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return dynamic_cast<ProcessObject*>(static_cast<platform::HandleObject*>(handle));
}

bool HasSeparator(const std::string& path) {
  return path.find('/') != std::string::npos;
}

std::string CurrentDirectory() {
  std::string dir(PATH_MAX, '\0');
  if (::getcwd(&dir[0], dir.size()) == nullptr) return ".";
  dir.resize(std::char_traits<char>::length(dir.c_str()));
  return dir;
}

// Finds the program file; ERROR_SUCCESS with its absolute path, or the Win32 error.
DWORD FindProgram(const std::string& name, std::string* found) {
  std::string path = platform::ToPosixPath(name.c_str());
  if (path.empty()) return ERROR_FILE_NOT_FOUND;
  struct stat st;
  if (HasSeparator(path)) {
    if (path[0] != '/') path = CurrentDirectory() + "/" + path;
    if (::stat(path.c_str(), &st) != 0) {
      return errno == ENOENT ? ERROR_FILE_NOT_FOUND : platform::ErrorFromErrno(errno);
    }
    if (!S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0) return ERROR_ACCESS_DENIED;
    *found = path;
    return ERROR_SUCCESS;
  }
  const char* env = std::getenv("PATH");
  std::string search = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  bool notExecutable = false;
  size_t start = 0;
  for (;;) {
    size_t colon = search.find(':', start);
    std::string dir = search.substr(start, colon == std::string::npos ? colon : colon - start);
    if (dir.empty()) dir = ".";
    if (dir[0] != '/') dir = CurrentDirectory() + "/" + dir;
    std::string candidate = dir + "/" + path;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      if (::access(candidate.c_str(), X_OK) == 0) {
        *found = candidate;
        return ERROR_SUCCESS;
      }
      notExecutable = true;
    }
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return notExecutable ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
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
[[noreturn]] void StartChild(int pipeFd, const char* program, char* const* argv, char* const* envp,
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
    int null = ::open("/dev/null", O_RDWR);
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
  ::execve(program, argv, envp);
  FailChild(pipeFd, kStepExec);
}

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                    LPSECURITY_ATTRIBUTES /*processAttributes*/,
                    LPSECURITY_ATTRIBUTES /*threadAttributes*/, BOOL inheritHandles,
                    DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                    LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation) {
  if ((applicationName == nullptr && commandLine == nullptr) || startupInfo == nullptr ||
      processInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::string> args =
      platform::SplitCommandLine(commandLine != nullptr ? commandLine : applicationName);
  std::string name =
      applicationName != nullptr ? applicationName : (args.empty() ? std::string() : args[0]);
  if (args.empty()) args.push_back(name);

  std::string program;
  DWORD error = FindProgram(name, &program);
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
  std::vector<std::string> variables;
  if (environment != nullptr) {
    for (const char* v = static_cast<const char*>(environment); *v != '\0';
         v += std::char_traits<char>::length(v) + 1) {
      variables.emplace_back(v);
    }
  } else {
    for (char** v = environ; *v != nullptr; ++v) variables.emplace_back(*v);
  }
  std::vector<char*> argv = PointersTo(args);
  std::vector<char*> envp = PointersTo(variables);
  long openMax = ::sysconf(_SC_OPEN_MAX);
  if (openMax < 0 || openMax > 65536) openMax = 65536;

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    platform::SetLastErrorFromErrno();
    return FALSE;
  }
  pid_t pid = ::fork();
  if (pid < 0) {
    platform::SetLastErrorFromErrno();
    ::close(report[0]);
    ::close(report[1]);
    return FALSE;
  }
  if (pid == 0) {
    ::close(report[0]);
    StartChild(report[1], program.c_str(), argv.data(), envp.data(),
               currentDirectory != nullptr ? directory.c_str() : nullptr,
               (creationFlags & CREATE_NO_WINDOW) != 0, inheritHandles != FALSE, openMax);
  }
  ::close(report[1]);
  // The pipe closes unread when exec succeeds; a failing child writes why before it ends.
  StartFailure failure = {0, 0};
  ssize_t got;
  do {
    got = ::read(report[0], &failure, sizeof failure);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);

  auto state = std::make_shared<ProcessState>();
  state->pid = pid;
  if (got == static_cast<ssize_t>(sizeof failure)) {
    Reap(*state, true);
    SetLastError(failure.step == kStepDirectory ? static_cast<DWORD>(ERROR_DIRECTORY)
                                                : platform::ErrorFromErrno(failure.err));
    return FALSE;
  }
  processInformation->hProcess = (new ProcessObject(state))->ToHandle();
  processInformation->hThread = (new ProcessObject(state))->ToHandle();
  processInformation->dwProcessId = static_cast<DWORD>(pid);
  processInformation->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  ProcessObject* process = ProcessFromHandle(handle);
  if (process == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (milliseconds == INFINITE) {
    Reap(process->state(), true);
    return WAIT_OBJECT_0;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (Reap(process->state(), false)) return WAIT_OBJECT_0;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        deadline - now, std::chrono::milliseconds(2)));
  }
}

BOOL GetExitCodeProcess(HANDLE handle, LPDWORD exitCode) {
  ProcessObject* process = ProcessFromHandle(handle);
  if (process == nullptr || exitCode == nullptr) {
    SetLastError(process == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Reap(process->state(), false);
  std::lock_guard<std::mutex> lock(process->state().mutex);
  *exitCode = process->state().exitCode;
  return TRUE;
}
