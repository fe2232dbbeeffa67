// A program for the tests of RunApplication:
//   testprogram report FILE MS N        waits MS milliseconds, writes a report to FILE and ends
//                                       with exit code N
//   testprogram args FILE ARG...        writes its arguments to FILE, one a line
//   testprogram sleep MS FILE           waits MS milliseconds, then writes "done" to FILE
// The report has three lines: the current directory, the number of processes attached to the
// program's console, and 1 or 0 for whether that console has a window. It is written under a
// temporary name and then renamed, so that it appears complete or not at all: a caller that finds
// it has waited for the program. The program reads its command line and its folder through the
// wide calls and writes them in UTF-8, so that the tests see texts outside the ANSI code page.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

int WriteFile(const std::wstring& name, const std::string& text) {
  std::FILE* file = _wfopen(name.c_str(), L"wb");
  if (file == nullptr) return 2;
  std::fwrite(text.data(), 1, text.size(), file);
  return std::fclose(file) == 0 ? 0 : 2;
}

std::string Utf8(const std::wstring& text) {
  return fs::path(text).u8string();
}

int Report(const std::wstring& file, int exitCode) {
  wchar_t directory[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, directory);
  DWORD processes[16];
  const DWORD attached = GetConsoleProcessList(processes, 16);
  const bool window = GetConsoleWindow() != nullptr;
  const std::wstring temporary = file + L".tmp";
  const std::string text =
      Utf8(directory) + "\n" + std::to_string(attached) + "\n" + (window ? "1" : "0") + "\n";
  if (WriteFile(temporary, text) != 0) return 3;
  if (!MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) return 3;
  return exitCode;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (list == nullptr) return 65;
  const std::vector<std::wstring> argv(list, list + argc);
  LocalFree(list);
  if (argc == 5 && argv[1] == L"report") {
    Sleep(static_cast<DWORD>(std::wcstol(argv[3].c_str(), nullptr, 10)));
    return Report(argv[2], std::wcstol(argv[4].c_str(), nullptr, 10));
  }
  if (argc >= 3 && argv[1] == L"args") {
    std::string text;
    for (int i = 3; i < argc; ++i) text += Utf8(argv[i]) + "\n";
    return WriteFile(argv[2], text);
  }
  if (argc >= 4 && argv[1] == L"sleep") {
    Sleep(static_cast<DWORD>(std::wcstol(argv[2].c_str(), nullptr, 10)));
    return WriteFile(argv[3], "done");
  }
  std::fprintf(stderr, "usage: testprogram report FILE MS N | args FILE ARG... | sleep MS FILE\n");
  return 64;
}
