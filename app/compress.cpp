// Program::Compress: writes the archive through an LZMA encoder, a CInMultiFileStream over the
// input files and a COutFileStream on the archive path: codec properties header, directory,
// compressed data.
#include <new>

#include "app/program.h"
#include "archive/filestreams.h"
#include "archive/inmultistream.h"
#include "codec/lzmaencoder.h"
#include "log/log.h"

namespace {
const char kClass[] = "Program";
const char kMethod[] = "Compress";
}  // namespace

int Program::Compress(const CText& compressedFile, const CNameList& inputFiles) {
  LogScope scope(brioLog_Interface, kClass, kMethod);
  int success = 1;

  auto* encoderSpec = new (std::nothrow) NCompress::NLZMA::CEncoder;
  if (encoderSpec == nullptr) {
    brioLog_Interface.Error(kClass, kMethod, "new new NCompress::NLZMA::CEncoder failed");
    success = 0;
  } else {
    encoderSpec->AddRef();
  }

  CInMultiFileStream* inStream = nullptr;
  if (success) {
    inStream = new (std::nothrow) CInMultiFileStream;
    if (inStream == nullptr) {
      brioLog_Interface.Error(kClass, kMethod, "new CInMultiFileStream failed");
      success = 0;
    } else {
      inStream->AddRef();
      for (CNameEntry* entry = inputFiles.GetNext(nullptr); entry != nullptr;
           entry = inputFiles.GetNext(entry)) {
        inStream->AddFile(entry->GetName().GetText());
      }
    }
  }

  COutFileStream* outStreamSpec = nullptr;
  if (success) {
    outStreamSpec = new (std::nothrow) COutFileStream;
    if (outStreamSpec == nullptr) {
      brioLog_Interface.Error(kClass, kMethod, "new COutFileStream failed");
      success = 0;
    } else {
      outStreamSpec->AddRef();
      if (!outStreamSpec->Create(compressedFile.GetText(), true)) {
        brioLog_Interface.Error(kClass, kMethod, "outStreamSpec->Create %s failed",
                                compressedFile.GetText());
        success = 0;
      }
    }
  }

  if (success) {
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
      success = 0;
    }
  }

  if (success) {
    brioLog_Interface.Verbose(kClass, kMethod, "WriteCoderProperties");
    encoderSpec->WriteCoderProperties(outStreamSpec);
    // A failed system write comes back as its positive error code: any result but S_OK fails.
    brioLog_Interface.Verbose(kClass, kMethod, "WriteDirectory");
    if (inStream->WriteDirectory(outStreamSpec) != S_OK) {
      brioLog_Interface.Error(kClass, kMethod, "inStream->WriteDirectory failed");
    }
    brioLog_Interface.Verbose(kClass, kMethod, "Code");
    if (encoderSpec->Code(inStream, outStreamSpec, nullptr, nullptr, nullptr) != S_OK) {
      brioLog_Interface.Error(kClass, kMethod, "encoder->Code failed");
    }
  }

  if (outStreamSpec != nullptr) outStreamSpec->Release();
  if (inStream != nullptr) inStream->Release();
  if (encoderSpec != nullptr) encoderSpec->Release();
  return success;
}
