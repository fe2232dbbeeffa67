#include "fuzz/archivefuzzer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/program.h"
#include "log/log.h"

namespace {

namespace fs = std::filesystem;

void FormatAndDrop(void* /*context*/, uint32_t level, const char* className, const char* method,
                   const char* message) {
  char line[kLogLineBufferSize];
  LogInterface::FormatLine(line, level, className, method, message);
}

// Memory-backed files when the system has them: each input writes the archive and its members,
// and a disk would make every input wait for them.
fs::path ScratchParent() {
  std::error_code error;
  const fs::path shared = "/dev/shm";
  if (fs::is_directory(shared, error) && ::access(shared.c_str(), W_OK | X_OK) == 0) return shared;
  return fs::temp_directory_path();
}

// Set up on the first input; the folders go when the process exits normally.
struct Scratch {
  Scratch()
      : root(ScratchParent() / ("halyard-fuzz-" + std::to_string(getpid()))),
        members(root / "members"),
        outside(root / "outside"),
        archive((root / "archive.dpc").string()),
        start(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    fs::create_directories(members);
    fs::create_directories(outside);
    std::FILE* target = std::fopen((outside / "target").c_str(), "wb");
    if (target == nullptr || start < 0) std::abort();
    std::fclose(target);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    brioLog_Interface.SetSink(FormatAndDrop, nullptr);
    lzmaLog_Interface.SetSink(FormatAndDrop, nullptr);
  }
  ~Scratch() {
    std::error_code error;
    fs::remove_all(root, error);
    ::close(start);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const fs::path root;     // holds the archive
  const fs::path members;  // the run's current folder
  const fs::path outside;  // holds the empty file "target", and must hold nothing else
  const std::string archive;
  const int start;  // the folder the process started in, where it stands between inputs
};

// What the members folder holds when a run starts: the folder "d", the link "l" to the folder
// outside it and the link "f" to the file there. Unpacking may put a member in the place of a link
// but must never write through one.
void PlantLinks(const Scratch& scratch) {
  if (::mkdir((scratch.members / "d").c_str(), 0777) != 0 ||
      ::symlink("../outside", (scratch.members / "l").c_str()) != 0 ||
      ::symlink("../outside/target", (scratch.members / "f").c_str()) != 0) {
    std::abort();
  }
}

// Aborts, which libFuzzer reports as a crash with the input, when anything reached the outside
// folder.
void CheckOutside(const Scratch& scratch) {
  std::error_code error;
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(scratch.outside)) {
    ++entries;
    if (entry.path().filename() != "target" || entry.is_symlink() || !entry.is_regular_file() ||
        entry.file_size(error) != 0) {
      entries = -1;
      break;
    }
  }
  if (entries != 1) {
    std::fprintf(stderr, "Written outside the extraction folder: %s\n", scratch.outside.c_str());
    std::abort();
  }
}

}  // namespace

// libFuzzer writes the input of a crash, a timeout or an out-of-memory while the run stands in
// the members folder: a relative artifact path is made absolute against the starting folder, and
// without one the artifacts go to the starting folder, as they would without the folder change.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  std::error_code error;
  const std::string start = fs::current_path(error).string() + "/";
  if (error) return 0;
  // What libFuzzer parses stays in use for the life of the process.
  static std::vector<std::string> arguments;
  static std::vector<char*> pointers;
  bool artifactPlace = false;
  for (int i = 0; i < *argc; ++i) {
    std::string argument = (*argv)[i];
    for (const char* flag : {"-artifact_prefix=", "-exact_artifact_path="}) {
      const size_t length = std::strlen(flag);
      if (argument.compare(0, length, flag) != 0) continue;
      artifactPlace = true;
      if (argument.compare(length, 1, "/") != 0) argument.insert(length, start);
    }
    arguments.push_back(argument);
  }
  if (!artifactPlace) arguments.push_back("-artifact_prefix=" + start);
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  *argc = static_cast<int>(arguments.size());
  *argv = pointers.data();
  return 0;
}

void RunArchive(const uint8_t* data, size_t size, bool listing) {
  static const Scratch scratch;
  std::FILE* file = std::fopen(scratch.archive.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  const char* unpack[] = {"lzmulti", scratch.archive.c_str()};
  const char* list[] = {"lzmulti", "-t", scratch.archive.c_str()};
  PlantLinks(scratch);
  if (::chdir(scratch.members.c_str()) != 0) std::abort();
  {
    Program program;
    if (listing) {
      program.Main(3, list);
    } else {
      program.Main(2, unpack);
    }
  }
  CheckOutside(scratch);
  for (const auto& entry : fs::directory_iterator(scratch.members)) fs::remove_all(entry.path());
  if (::fchdir(scratch.start) != 0) std::abort();
}
