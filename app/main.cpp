// Entry point of lzmulti: one Program, one run, exit status 0 in every case.
#include "app/program.h"
#include "log/log.h"

int main(int argc, char** argv) {
  LogScope scope(brioLog_Interface, "", "main");
  {
    Program program;
    program.Main(argc, argv);
  }
  return 0;
}
