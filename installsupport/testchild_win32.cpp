// A console program for the Windows tests of RunApplication.
//
//   testchild.exe REPORT-FILE DELAY-MS EXIT-CODE
//
// Sleeps DELAY-MS milliseconds, then writes a report to REPORT-FILE (created only at that point,
// so a caller that finds it has waited for the program) and ends with EXIT-CODE. The report has
// three lines: the current directory, the number of processes attached to the program's console,
// and 1 or 0 for whether that console has a window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: testchild REPORT-FILE DELAY-MS EXIT-CODE\n");
    return 2;
  }
  Sleep(static_cast<DWORD>(std::atoi(argv[2])));

  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, directory);
  DWORD processes[16];
  DWORD attached = GetConsoleProcessList(processes, 16);
  bool window = GetConsoleWindow() != nullptr;

  // Write to a temporary name first: the report appears complete or not at all.
  char temporary[MAX_PATH + 8];
  std::snprintf(temporary, sizeof temporary, "%s.tmp", argv[1]);
  std::FILE* file = std::fopen(temporary, "w");
  if (file == nullptr) return 3;
  std::fprintf(file, "%s\n%lu\n%d\n", directory, static_cast<unsigned long>(attached),
               window ? 1 : 0);
  std::fclose(file);
  if (!MoveFileExA(temporary, argv[1], MOVEFILE_REPLACE_EXISTING)) return 3;
  return std::atoi(argv[3]);
}
