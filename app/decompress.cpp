// Program::Decompress: reads the archive through an LZMA decoder, a CInFileStream on the archive
// and a COutMultiFileStream that recreates the members (or only lists them with the toc flag).
#include <new>

#include "app/program.h"
#include "app/progress.h"
#include "archive/filestreams.h"
#include "archive/outmultistream.h"
#include "base/refcounted.h"
#include "codec/lzmadecoder.h"
#include "log/log.h"
#include "log/printable.h"

namespace {
const char kClass[] = "Program";
const char kMethod[] = "Decompress";
}  // namespace

// Each object is held from its creation to the end of the call; the holders release the output
// stream, then the input stream, then the decoder.
int Program::Decompress(const CText& compressedFile) {
  LogScope scope(brioLog_Interface, "", kMethod);

  RefHolder<NCompress::NLZMA::CDecoder> decoder(new (std::nothrow) NCompress::NLZMA::CDecoder);
  if (!decoder) {
    brioLog_Interface.Error(kClass, kMethod, "new new NCompress::NLZMA::CDecoder failed");
    return 0;
  }

  RefHolder<CInFileStream> inStreamSpec(new (std::nothrow) CInFileStream);
  if (!inStreamSpec) {
    brioLog_Interface.Error(kClass, kMethod, "new CInFileStream failed");
    return 0;
  }
  if (!inStreamSpec->Open(compressedFile.GetText())) {
    brioLog_Interface.Error(kClass, kMethod, "inStreamSpec->Open %s failed",
                            compressedFile.GetText());
    return 0;
  }

  RefHolder<COutMultiFileStream> outStreamSpec(new (std::nothrow) COutMultiFileStream);
  if (!outStreamSpec) {
    brioLog_Interface.Error(kClass, kMethod, "new COutMultiFileStream failed");
    return 0;
  }

  if (decoder->SetDecoderProperties(inStreamSpec.get()) != S_OK) {
    brioLog_Interface.Error(kClass, kMethod, "SetDecoderProperties failed");
    return 1;
  }
  // Stored names are used as they stand only when asked to; otherwise unsafe ones are dropped.
  // No member is ever written over the archive itself.
  outStreamSpec->SetPreservePath(preservePath_ != 0);
  FileIdentity archive;
  if (inStreamSpec->File.GetIdentity(archive)) outStreamSpec->SetArchive(archive);
  if (toc_ && outStreamSpec->SetWriteTOC() < 0) {
    brioLog_Interface.Error(kClass, kMethod, "outStreamSpec->SetWriteTOC failed");
  }
  // A failed read of the archive comes back as its positive error code: anything but S_OK
  // fails, as does the end of the archive inside the directory.
  brioLog_Interface.Verbose(kClass, kMethod, "ReadDirectory");
  if (outStreamSpec->ReadDirectory(inStreamSpec.get()) != S_OK) {
    brioLog_Interface.Error(kClass, kMethod, "outStreamSpec->ReadDirectory failed");
  }
  if (createPath_ && outStreamSpec->SetCreatePath() < 0) {
    brioLog_Interface.Error(kClass, kMethod, "outStreamSpec->SetCreatePath failed");
  }
  if (toc_) return 1;

  if (!decoder->SettingsSupported()) {
    brioLog_Interface.Error(kClass, kMethod,
                            "Settings of the header not supported: lc %u and lp %u, above %u "
                            "literal bits together",
                            decoder->LiteralContextBits(), decoder->LiteralPosBits(),
                            NCompress::NLZMA::CDecoder::kMaxLiteralBits);
    return 1;
  }
  // The data beyond the directory's sizes matter only as far as they tell of damage.
  decoder->SetDataSize(outStreamSpec->DataSize());
  brioLog_Interface.Verbose(kClass, kMethod, "Code");
  // The line lives until the pipeline ends; without one the decoder gets no receiver.
  RefHolder<CProgressLine> progress(
      NewTerminalProgress(outStreamSpec->DataSize(), ProgressCount::kOutput));
  const HRESULT result =
      decoder->Code(inStreamSpec.get(), outStreamSpec.get(), nullptr, nullptr, progress.get());
  if (result != S_OK && result != S_FALSE) {
    brioLog_Interface.Error(kClass, kMethod, "encoder->Code failed");
  }
  if (result == E_OUTOFMEMORY) {
    LogNoMemory(kMethod, decoder->WindowSize(), decoder->MemoryNeeded());
  }
  ReportExtraction(*outStreamSpec.get(), result);
  return 1;
}

// The data carry no end marker and no total: a cut or damaged archive shows only in the members
// that did not receive all their bytes, or in more data beyond the last member than a sound
// stream's end puts out. When extraction stopped before the archive's end (a write or the decoder
// failed), the members that it never reached are counted.
void Program::ReportExtraction(const COutMultiFileStream& outStream, HRESULT result) {
  const char* incomplete = outStream.FirstIncompleteMember();
  if (incomplete != nullptr) {
    brioLog_Interface.Error(kClass, kMethod, "Not completely extracted: %s",
                            PrintableText(incomplete).c_str());
  } else if (outStream.RefusedBytes() > NCompress::NLZMA::CDecoder::kMaxBytesBeyondData) {
    brioLog_Interface.Error(kClass, kMethod, "Data left over after the last member");
  }
  const size_t notReached = outStream.MembersNotReached();
  const bool stopped = outStream.WriteFailed() || (result != S_OK && result != S_FALSE);
  if (stopped && notReached > 0) {
    brioLog_Interface.Error(kClass, kMethod, "Members not created: %lu",
                            static_cast<unsigned long>(notReached));
  }
}
