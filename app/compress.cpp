// Program::Compress: writes the archive through an LZMA encoder, a CInMultiFileStream over the
// input files and a COutFileStream on the archive path: codec properties header, directory,
// compressed data.
//
// A failed pack never damages what was there: the new archive (COutFileStream::CreateReplacing)
// takes the old one's place only when no step failed and no input file changed its size
// meanwhile; otherwise it is discarded, and the last Error line says that the archive was not
// written (also when it could not be created). After a failed directory no input is read: what
// the directory refused (a pipe, a device) may never end. So an archive among its own inputs is
// read as it was. An archive path that leads to no
// regular file (a device) is written in place.
#include <new>

#include "app/program.h"
#include "app/progress.h"
#include "archive/filestreams.h"
#include "archive/inmultistream.h"
#include "base/refcounted.h"
#include "codec/lzmaencoder.h"
#include "log/log.h"

namespace {
const char kClass[] = "Program";
const char kMethod[] = "Compress";
}  // namespace

// Each object is held from its creation to the end of the call; the holders release the output
// stream, then the input stream, then the encoder.
int Program::Compress(const CText& compressedFile, const CNameList& inputFiles) {
  LogScope scope(brioLog_Interface, kClass, kMethod);

  RefHolder<NCompress::NLZMA::CEncoder> encoderSpec(new (std::nothrow) NCompress::NLZMA::CEncoder);
  if (!encoderSpec) {
    brioLog_Interface.Error(kClass, kMethod, "new new NCompress::NLZMA::CEncoder failed");
    return 0;
  }

  RefHolder<CInMultiFileStream> inStream(new (std::nothrow) CInMultiFileStream);
  if (!inStream) {
    brioLog_Interface.Error(kClass, kMethod, "new CInMultiFileStream failed");
    return 0;
  }
  for (CNameEntry* entry = inputFiles.GetNext(nullptr); entry != nullptr;
       entry = inputFiles.GetNext(entry)) {
    inStream->AddFile(entry->GetName().GetText());
  }

  RefHolder<COutFileStream> outStreamSpec(new (std::nothrow) COutFileStream);
  if (!outStreamSpec) {
    brioLog_Interface.Error(kClass, kMethod, "new COutFileStream failed");
    return 0;
  }
  if (!outStreamSpec->CreateReplacing(compressedFile.GetText())) {
    brioLog_Interface.Error(kClass, kMethod, "outStreamSpec->Create %s failed",
                            compressedFile.GetText());
    brioLog_Interface.Error(kClass, kMethod, "Archive not written: %s", compressedFile.GetText());
    return 0;
  }

  const uint32_t dictionarySize = windowSize_ >= 0 && windowSize_ < 32 ? (1u << windowSize_) : 0;
  if (NCompress::NLZMA::SetProgramSettings(encoderSpec.get(), dictionarySize) != S_OK) {
    brioLog_Interface.Error(kClass, kMethod, "encoderSpec->SetCoderProperties failed");
    brioLog_Interface.Error(kClass, kMethod, "Archive not written: %s", compressedFile.GetText());
    return 0;
  }

  brioLog_Interface.Verbose(kClass, kMethod, "WriteCoderProperties");
  encoderSpec->WriteCoderProperties(outStreamSpec.get());
  // A failed system write comes back as its positive error code: any result but S_OK fails.
  bool complete = true;
  brioLog_Interface.Verbose(kClass, kMethod, "WriteDirectory");
  if (inStream->WriteDirectory(outStreamSpec.get()) != S_OK) {
    // The archive is discarded anyway, and an input refused there (a pipe, a device) may never
    // end: nothing more is read.
    brioLog_Interface.Error(kClass, kMethod, "inStream->WriteDirectory failed");
    complete = false;
  } else {
    brioLog_Interface.Verbose(kClass, kMethod, "Code");
    // The line lives until the pipeline ends; without one the encoder gets no receiver.
    RefHolder<CProgressLine> progress(
        NewTerminalProgress(inStream->DataSize(), ProgressCount::kInput));
    const HRESULT coded =
        encoderSpec->Code(inStream.get(), outStreamSpec.get(), nullptr, nullptr, progress.get());
    if (coded != S_OK) {
      brioLog_Interface.Error(kClass, kMethod, "encoder->Code failed");
      complete = false;
    }
    if (coded == E_OUTOFMEMORY) LogNoMemory(kMethod, dictionarySize, encoderSpec->MemoryNeeded());
  }
  if (outStreamSpec->WriteError() != 0) {
    brioLog_Interface.Error(kClass, kMethod, "Writing %s failed: %s", compressedFile.GetText(),
                            SystemErrorText(outStreamSpec->WriteError()).c_str());
  }
  // The input stream has logged each file whose size changed.
  if (inStream->ChangedFileCount() > 0) complete = false;
  if (complete && !outStreamSpec->Commit()) {
    brioLog_Interface.Error(kClass, kMethod, "outStreamSpec->Commit %s failed",
                            compressedFile.GetText());
    complete = false;
  }
  // Whatever failed, a build script that reads the log learns that there is no new archive.
  if (!complete) {
    brioLog_Interface.Error(kClass, kMethod, "Archive not written: %s", compressedFile.GetText());
  }
  return 1;
}
