// Entry point of lzmulti: one Program, one run, exit status 0 in every case.
//
// On Windows the program takes its arguments in UTF-16 (wmain, as the C runtime splits the
// command line for main) and gives each to the Program in the system code page; an argument that
// the code page cannot hold, such as the path of an archive in a folder of other letters, keeps
// its wide form in ArgumentText's spelling (archive/longpath.h).
#include "app/program.h"
#include "log/log.h"

#ifdef _WIN32
#include <string>
#include <vector>

#include "archive/longpath.h"
#endif

namespace {

int Run(int argc, const char* const* argv) {
  LogScope scope(brioLog_Interface, "", "main");
  {
    Program program;
    program.Main(argc, argv);
  }
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> texts;
  for (int i = 0; i < argc; ++i) texts.push_back(ArgumentText(argv[i]));
  std::vector<const char*> arguments;
  for (const std::string& text : texts) arguments.push_back(text.c_str());
  arguments.push_back(nullptr);
  return Run(argc, arguments.data());
}
#else
int main(int argc, char** argv) {
  return Run(argc, argv);
}
#endif
