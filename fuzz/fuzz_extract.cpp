// Fuzz target: unpacking arbitrary archive bytes, header, directory and data through the real
// streams and decoder, the members written into a scratch folder (fuzz/archivefuzzer.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/archivefuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunArchive(data, size, false);
  return 0;
}
