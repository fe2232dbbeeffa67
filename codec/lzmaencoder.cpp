#include "codec/lzmaencoder.h"

#include <memory>
#include <new>

#include "codec/lzmastream.h"
#include "platform/largeblock.h"

namespace NCompress {
namespace NLZMA {

namespace {

// The match finder names SetCoderProperties knows, and what each becomes in liblzma, which
// offers binary trees and hash chains only.
struct MatchFinder {
  const char* name;
  lzma_match_finder liblzma;
};
constexpr MatchFinder kMatchFinders[] = {
    {"BT2", LZMA_MF_BT2},   {"BT3", LZMA_MF_BT3},   {"BT4", LZMA_MF_BT4},   {"BT4B", LZMA_MF_BT4},
    {"PAT2", LZMA_MF_BT2},  {"PAT2H", LZMA_MF_BT2}, {"PAT3H", LZMA_MF_BT3}, {"PAT4H", LZMA_MF_BT4},
    {"PAT2R", LZMA_MF_BT2}, {"HC3", LZMA_MF_HC3},   {"HC4", LZMA_MF_HC4},
};
constexpr int kMatchFinderCount = sizeof(kMatchFinders) / sizeof(kMatchFinders[0]);

// Index of the name in the table, letters a to z taken as capitals; -1 when unknown.
int FindMatchFinder(const char16_t* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < kMatchFinderCount; ++i) {
    const char* known = kMatchFinders[i].name;
    int k = 0;
    for (;; ++k) {
      char16_t c = name[k];
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
      if (c != static_cast<char16_t>(known[k])) break;
      if (c == 0) return i;
    }
  }
  return -1;
}

HRESULT ResultFromLzma(lzma_ret ret) {
  switch (ret) {
    case LZMA_MEM_ERROR:
      return E_OUTOFMEMORY;
    case LZMA_OPTIONS_ERROR:
      return E_INVALIDARG;
    default:
      return E_FAIL;
  }
}

// Hands one block to the stream: its failure, or E_FAIL when it took fewer bytes.
HRESULT WriteBlock(ISequentialWriter* outStream, const uint8_t* data, uint32_t size) {
  uint32_t processed = 0;
  const HRESULT result = outStream->Write(data, size, &processed);
  if (result != S_OK) return result;
  return processed == size ? S_OK : E_FAIL;
}

}  // namespace

HRESULT CEncoder::SetCoderProperties(const PROPID* propIDs, const CPropValue* values,
                                     uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const CPropValue& value = values[i];
    const PROPID id = propIDs[i];
    if (id == NCoderPropID::kMatchFinder) {
      if (value.vt != VT_BSTR) return E_INVALIDARG;
      const int index = FindMatchFinder(value.bstrVal);
      if (index < 0) return E_INVALIDARG;
      matchFinder_ = index;
      continue;
    }
    if (id == NCoderPropID::kEndMarker) {
      if (value.vt != VT_BOOL) return E_INVALIDARG;
      endMarker_ = value.boolVal == VARIANT_TRUE;
      continue;
    }
    if (value.vt != VT_UI4) return E_INVALIDARG;
    const uint32_t v = value.ulVal;
    switch (id) {
      case NCoderPropID::kDictionarySize:
        if (v < 1 || v > (1u << 28)) return E_INVALIDARG;
        properties_.dictionarySize = v;
        break;
      case NCoderPropID::kPosStateBits:
        if (v > 4) return E_INVALIDARG;
        properties_.pb = v;
        break;
      case NCoderPropID::kLitContextBits:
        if (v > 8) return E_INVALIDARG;
        properties_.lc = v;
        break;
      case NCoderPropID::kLitPosBits:
        if (v > 4) return E_INVALIDARG;
        properties_.lp = v;
        break;
      case NCoderPropID::kNumFastBytes:
        if (v < 2 || v > 273) return E_INVALIDARG;
        fastBytes_ = v;
        break;
      case NCoderPropID::kAlgorithm:
        algorithm_ = v;
        break;
      default:
        return E_INVALIDARG;
    }
  }
  return S_OK;
}

HRESULT CEncoder::WriteCoderProperties(ISequentialWriter* outStream) {
  uint8_t header[kLzmaPropertiesSize];
  EncodeLzmaProperties(properties_, header);
  for (uint8_t byte : header) {
    const HRESULT result = outStream->Write(&byte, 1, nullptr);
    if (result != S_OK) return result;
  }
  return S_OK;
}

uint32_t CEncoder::InputWindowSize() const {
  const uint32_t s = properties_.dictionarySize + 4369;
  return s + s / 2 + 256;
}

lzma_options_lzma CEncoder::Options() const {
  // liblzma's smallest dictionary; a smaller one in the header only tightens what the decoder
  // must keep, and it keeps at least this much.
  lzma_options_lzma options = LzmaOptions(
      properties_, properties_.dictionarySize < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN
                                                                   : properties_.dictionarySize);
  options.mode = algorithm_ == 0 ? LZMA_MODE_FAST : LZMA_MODE_NORMAL;
  options.nice_len = fastBytes_;
  options.mf = kMatchFinders[matchFinder_].liblzma;
  options.ext_flags = 0;  // no end-of-payload marker
  options.ext_size_low = 0;
  options.ext_size_high = 0;
  return options;
}

uint64_t CEncoder::MemoryNeeded() const {
  lzma_options_lzma options = Options();
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  const uint64_t liblzma = lzma_raw_encoder_memusage(filters);
  return (liblzma == UINT64_MAX ? 0 : liblzma) + InputWindowSize() + kOutBufferSize;
}

HRESULT CEncoder::Code(ISequentialReader* inStream, ISequentialWriter* outStream,
                       const uint64_t* /*inSize*/, const uint64_t* /*outSize*/,
                       ICompressProgressInfo* progress) {
  // What the system cannot give would only be had by swapping, or fail half way.
  if (MemoryNeeded() > platform::MemoryLimit()) return E_OUTOFMEMORY;
  lzma_options_lzma options = Options();
  lzma_filter filters[2] = {
      {endMarker_ ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &options},
      {LZMA_VLI_UNKNOWN, nullptr},
  };

  // Everything is set up before the first read.
  LzmaStream stream;
  lzma_ret ret = lzma_raw_encoder(&stream.strm, filters);
  if (ret != LZMA_OK) return ResultFromLzma(ret);
  const uint32_t inWindow = InputWindowSize();
  platform::LargeBlock inBuffer;
  std::unique_ptr<uint8_t[]> outBuffer(new (std::nothrow) uint8_t[kOutBufferSize]);
  if (!inBuffer.Allocate(inWindow) || !outBuffer) return E_OUTOFMEMORY;

  lzma_stream& strm = stream.strm;
  strm.next_out = outBuffer.get();
  strm.avail_out = kOutBufferSize;
  bool inputEnded = false;
  uint32_t lastRead = 0;
  uint32_t unsliced = 0;  // bytes of the last read not yet handed to liblzma
  for (;;) {
    if (strm.avail_in == 0 && unsliced == 0 && !inputEnded) {
      // liblzma has taken the last read into its own window. After a large read the input window
      // is exchanged for a fresh, untouched one, so that the memory of the largest file read so
      // far does not stay resident on top of the encoder's; without memory the old one serves on.
      if (lastRead > kKeepTouched) {
        platform::LargeBlock fresh;
        if (fresh.Allocate(inWindow)) inBuffer.Swap(fresh);
      }
      uint32_t got = 0;
      const HRESULT result = inStream->ReadPartial(inBuffer.data(), inWindow, &got);
      if (result != S_OK) return result;
      lastRead = got;
      if (got == 0) {
        inputEnded = true;
      } else {
        strm.next_in = inBuffer.data();
        unsliced = got;
      }
    }
    // liblzma takes a slice whole into its own window and encodes it before it asks for more.
    if (strm.avail_in == 0 && unsliced > 0) {
      strm.avail_in = unsliced < kInSliceSize ? unsliced : kInSliceSize;
      unsliced -= static_cast<uint32_t>(strm.avail_in);
    }
    ret = lzma_code(&strm, inputEnded ? LZMA_FINISH : LZMA_RUN);
    if (strm.avail_out == 0) {
      const HRESULT result = WriteBlock(outStream, outBuffer.get(), kOutBufferSize);
      if (result != S_OK) return result;
      strm.next_out = outBuffer.get();
      strm.avail_out = kOutBufferSize;
    }
    const HRESULT told = TellProgress(progress, strm);
    if (told != S_OK) return told;
    if (ret == LZMA_STREAM_END) break;
    if (ret != LZMA_OK) return ResultFromLzma(ret);
  }
  const auto rest = static_cast<uint32_t>(kOutBufferSize - strm.avail_out);
  if (rest > 0) return WriteBlock(outStream, outBuffer.get(), rest);
  return S_OK;
}

HRESULT SetProgramSettings(ICompressSetCoderProperties* encoder, uint32_t dictionarySize) {
  const PROPID ids[] = {NCoderPropID::kDictionarySize, NCoderPropID::kPosStateBits,
                        NCoderPropID::kLitContextBits, NCoderPropID::kLitPosBits,
                        NCoderPropID::kAlgorithm,      NCoderPropID::kNumFastBytes,
                        NCoderPropID::kMatchFinder,    NCoderPropID::kEndMarker};
  const CPropValue values[] = {CPropValue::UInt32(dictionarySize),
                               CPropValue::UInt32(2),
                               CPropValue::UInt32(3),
                               CPropValue::UInt32(0),
                               CPropValue::UInt32(2),
                               CPropValue::UInt32(128),
                               CPropValue::String(u"BT4"),
                               CPropValue::Bool(false)};
  return encoder->SetCoderProperties(ids, values, 8);
}

}  // namespace NLZMA
}  // namespace NCompress
