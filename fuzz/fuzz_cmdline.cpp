// Fuzz target: the command line and the wildcard patterns. The input is split at its zero
// bytes into pieces (at most 64); the pieces are lzmulti's arguments for ParseArgs and the option
// table. Then each piece is expanded as an input name through a scripted directory search that
// answers the other pieces (a piece whose first byte is odd as a directory), and matched
// against each other piece as a wildcard pattern. Nothing touches the file system.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/testing/fakedirectorysearch.h"
#include "log/log.h"
#include "platform/findfile.h"

namespace {

void FormatAndDrop(void* /*context*/, uint32_t level, const char* className, const char* method,
                   const char* message) {
  char line[kLogLineBufferSize];
  LogInterface::FormatLine(line, level, className, method, message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brioLog_Interface.SetSink(FormatAndDrop, nullptr);
  lzmaLog_Interface.SetSink(FormatAndDrop, nullptr);
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size && pieces.size() <= 64; ++i) {
    if (data[i] == 0) {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(static_cast<char>(data[i]));
    }
  }
  std::vector<const char*> argv = {"lzmulti"};
  for (const std::string& piece : pieces) argv.push_back(piece.c_str());

  Program program;
  program.ParseArgs(static_cast<int>(argv.size()), argv.data());

  FakeDirectorySearch search;
  program.SetDirectorySearch(&search);
  for (size_t p = 0; p < pieces.size(); ++p) {
    std::vector<FakeDirectorySearch::Entry> entries;
    for (size_t e = 0; e < pieces.size(); ++e) {
      if (e == p) continue;
      const bool directory = !pieces[e].empty() && (pieces[e][0] & 1) != 0;
      entries.push_back({pieces[e], directory});
      platform::MatchWildcard(pieces[p].c_str(), pieces[e].c_str());
    }
    search.Add(pieces[p], entries, (p & 1) != 0 ? ERROR_NO_MORE_FILES : ERROR_ACCESS_DENIED);
    CNameList found;
    CText error;
    program.ExpandWildcard(CText(pieces[p].c_str()), found, error);
  }
  program.SetDirectorySearch(nullptr);
  return 0;
}
