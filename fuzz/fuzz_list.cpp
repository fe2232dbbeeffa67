// Fuzz target: listing arbitrary archive bytes (lzmulti -t): the header and the directory.
#include <cstddef>
#include <cstdint>

#include "fuzz/archivefuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunArchive(data, size, true);
  return 0;
}
