// Placeholder for the archive pipelines: app/compress.cpp and app/decompress.cpp replace this file.
// Until then the driver chooses the operation but nothing is compressed or extracted, and nothing
// is logged or reported as done.
#include "app/program.h"

int Program::Compress(const CText& /*compressedFile*/, const CNameList& /*inputFiles*/) {
  return 0;
}

int Program::Decompress(const CText& /*compressedFile*/) {
  return 0;
}
