#include "fuzz/archivefuzzer.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/program.h"
#include "log/log.h"

namespace {

namespace fs = std::filesystem;

void FormatAndDrop(void* /*context*/, uint32_t level, const char* className, const char* method,
                   const char* message) {
  char line[kLogLineBufferSize];
  LogInterface::FormatLine(line, level, className, method, message);
}

struct Scratch {
  fs::path root;     // holds the archive
  fs::path members;  // the run's current folder
  std::string archive;
};

void RemoveScratch();

// Set up once per process, on the first input.
const Scratch& TheScratch() {
  static const Scratch scratch = [] {
    Scratch made;
    made.root = fs::temp_directory_path() / ("halyard-fuzz-" + std::to_string(getpid()));
    made.members = made.root / "members";
    fs::create_directories(made.members);
    made.archive = (made.root / "archive.dpc").string();
    if (chdir(made.members.c_str()) != 0) std::abort();
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    brioLog_Interface.SetSink(FormatAndDrop, nullptr);
    lzmaLog_Interface.SetSink(FormatAndDrop, nullptr);
    std::atexit(RemoveScratch);
    return made;
  }();
  return scratch;
}

void RemoveScratch() {
  std::error_code error;
  fs::remove_all(TheScratch().root, error);
}

}  // namespace

void RunArchive(const uint8_t* data, size_t size, bool listing) {
  const Scratch& scratch = TheScratch();
  std::FILE* file = std::fopen(scratch.archive.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  const char* unpack[] = {"lzmulti", scratch.archive.c_str()};
  const char* list[] = {"lzmulti", "-t", scratch.archive.c_str()};
  {
    Program program;
    if (listing) {
      program.Main(3, list);
    } else {
      program.Main(2, unpack);
    }
  }
  for (const auto& entry : fs::directory_iterator(scratch.members)) fs::remove_all(entry.path());
}
