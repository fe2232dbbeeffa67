// A program for the tests of RunApplication:
//   testprogram report FILE MS N        waits MS milliseconds, writes a report to FILE and ends
//                                       with exit code N
//   testprogram args FILE ARG...        writes its arguments to FILE, one a line
//   testprogram sleep MS FILE           waits MS milliseconds, then writes "done" to FILE
// The report has three lines: the current directory, the number of processes attached to the
// program's console, and 1 or 0 for whether that console has a window. It is written under a
// temporary name and then renamed, so that it appears complete or not at all: a caller that finds
// it has waited for the program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int WriteFile(const char* name, const std::string& text) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) return 2;
  std::fwrite(text.data(), 1, text.size(), file);
  return std::fclose(file) == 0 ? 0 : 2;
}

int Report(const char* file, int exitCode) {
  char directory[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof directory, directory);
  DWORD processes[16];
  const DWORD attached = GetConsoleProcessList(processes, 16);
  const bool window = GetConsoleWindow() != nullptr;
  const std::string temporary = std::string(file) + ".tmp";
  const std::string text =
      std::string(directory) + "\n" + std::to_string(attached) + "\n" + (window ? "1" : "0") + "\n";
  if (WriteFile(temporary.c_str(), text) != 0) return 3;
  if (!MoveFileExA(temporary.c_str(), file, MOVEFILE_REPLACE_EXISTING)) return 3;
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "report") == 0) {
    Sleep(static_cast<DWORD>(std::atoi(argv[3])));
    return Report(argv[2], std::atoi(argv[4]));
  }
  if (argc >= 3 && std::strcmp(argv[1], "args") == 0) {
    std::string text;
    for (int i = 3; i < argc; ++i) text += std::string(argv[i]) + "\n";
    return WriteFile(argv[2], text);
  }
  if (argc >= 4 && std::strcmp(argv[1], "sleep") == 0) {
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    return WriteFile(argv[3], "done");
  }
  std::fprintf(stderr, "usage: testprogram report FILE MS N | args FILE ARG... | sleep MS FILE\n");
  return 64;
}
