// Program::Compress: writes the archive through an LZMA encoder, a CInMultiFileStream over the
// input files and a COutFileStream on the archive path: codec properties header, directory,
// compressed data.
#include <new>

#include "app/program.h"
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
  if (!outStreamSpec->Create(compressedFile.GetText(), true)) {
    brioLog_Interface.Error(kClass, kMethod, "outStreamSpec->Create %s failed",
                            compressedFile.GetText());
    return 0;
  }

  const PROPID propIDs[] = {NCoderPropID::kDictionarySize, NCoderPropID::kPosStateBits,
                            NCoderPropID::kLitContextBits, NCoderPropID::kLitPosBits,
                            NCoderPropID::kAlgorithm,      NCoderPropID::kNumFastBytes,
                            NCoderPropID::kMatchFinder,    NCoderPropID::kEndMarker};
  const uint32_t dictionarySize = windowSize_ >= 0 && windowSize_ < 32 ? (1u << windowSize_) : 0;
  const CPropValue values[] = {CPropValue::UInt32(dictionarySize),
                               CPropValue::UInt32(2),
                               CPropValue::UInt32(3),
                               CPropValue::UInt32(0),
                               CPropValue::UInt32(2),
                               CPropValue::UInt32(128),
                               CPropValue::String(u"BT4"),
                               CPropValue::Bool(false)};
  if (encoderSpec->SetCoderProperties(propIDs, values, 8) != S_OK) {
    brioLog_Interface.Error(kClass, kMethod, "encoderSpec->SetCoderProperties failed");
    return 0;
  }

  brioLog_Interface.Verbose(kClass, kMethod, "WriteCoderProperties");
  encoderSpec->WriteCoderProperties(outStreamSpec.get());
  // A failed system write comes back as its positive error code: any result but S_OK fails.
  brioLog_Interface.Verbose(kClass, kMethod, "WriteDirectory");
  if (inStream->WriteDirectory(outStreamSpec.get()) != S_OK) {
    brioLog_Interface.Error(kClass, kMethod, "inStream->WriteDirectory failed");
  }
  brioLog_Interface.Verbose(kClass, kMethod, "Code");
  if (encoderSpec->Code(inStream.get(), outStreamSpec.get(), nullptr, nullptr, nullptr) != S_OK) {
    brioLog_Interface.Error(kClass, kMethod, "encoder->Code failed");
  }
  return 1;
}
