// The harness of the two archive fuzz targets: it runs lzmulti's whole run (Program::Main) on
// arbitrary archive bytes, as "lzmulti archive.dpc" (unpacking) or "lzmulti -t archive.dpc"
// (listing). The bytes are written to an archive file in a scratch folder of this process (in
// /dev/shm when there is one); the run's current folder is a folder below it that is emptied after
// each input, so the members of one input never meet the next. Each run finds there a folder and
// two links into a folder beside it (PlantLinks), and fails when anything reached that folder.
// Between inputs the process stands in the folder it started in, so that libFuzzer finds relative
// corpus paths; relative artifact paths are made absolute when the process starts
// (LLVMFuzzerInitialize). Every log record is formatted as for the console and dropped; the
// listing goes to /dev/null.
#pragma once

#include <cstddef>
#include <cstdint>

void RunArchive(const uint8_t* data, size_t size, bool listing);
