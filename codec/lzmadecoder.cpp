#include "codec/lzmadecoder.h"

#include <lzma.h>

#include <cstring>
#include <new>

namespace NCompress {
namespace NLZMA {

namespace {

struct LzmaStream {
  lzma_stream strm = LZMA_STREAM_INIT;
  ~LzmaStream() { lzma_end(&strm); }
};

}  // namespace

HRESULT CDecoder::SetDecoderProperties(ISequentialReader* inStream) {
  uint8_t header[kLzmaPropertiesSize] = {};
  uint32_t got = 0;
  const HRESULT result = inStream->Read(header, kLzmaPropertiesSize, &got);
  if (result != S_OK) return result;
  if (got != kLzmaPropertiesSize || !DecodeLzmaProperties(header, properties_)) return E_INVALIDARG;
  if (properties_.dictionarySize == 0) properties_.dictionarySize = 1;
  const uint32_t dictionary = properties_.dictionarySize;
  windowSize_ = dictionary < kMinWindowSize ? kMinWindowSize : dictionary;
  // Room for the window, the bytes decoded behind it and the byte offered beyond the data.
  window_.reset(new (std::nothrow) uint8_t[windowSize_ + kLookahead + 1]);
  inBuffer_.reset(new (std::nothrow) uint8_t[kInBufferSize]);
  if (!window_ || !inBuffer_) {
    window_.reset();
    inBuffer_.reset();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CDecoder::Code(ISequentialReader* inStream, ISequentialWriter* outStream,
                       const uint64_t* /*inSize*/, const uint64_t* /*outSize*/,
                       ICompressProgressInfo* progress) {
  if (!window_ || !inBuffer_) return E_FAIL;  // no properties set
  uint8_t* const window = window_.get();
  const uint32_t capacity = windowSize_ + kLookahead;  // the window and the bytes behind it

  // Offers the pending bytes (plus one beyond the data when asked), at most a window per Write,
  // and ignores the outcome.
  auto offerPending = [&](uint32_t pending, bool extraByte) {
    if (extraByte) window[pending++] = 0;
    for (uint32_t offset = 0; offset < pending;) {
      const uint32_t size = pending - offset < windowSize_ ? pending - offset : windowSize_;
      uint32_t ignored = 0;
      outStream->Write(window + offset, size, &ignored);
      offset += size;
    }
  };

  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, LZMA_PRESET_DEFAULT)) return E_FAIL;
  options.dict_size = windowSize_;
  options.lc = properties_.lc;
  options.lp = properties_.lp;
  options.pb = properties_.pb;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  LzmaStream stream;
  lzma_ret ret = lzma_raw_decoder(&stream.strm, filters);
  if (ret == LZMA_MEM_ERROR) return E_OUTOFMEMORY;
  if (ret != LZMA_OK) return S_FALSE;  // settings liblzma cannot decode (lc + lp above 4)

  lzma_stream& strm = stream.strm;
  strm.next_out = window;
  strm.avail_out = capacity;
  bool inputEnded = false;
  int idleFinishes = 0;
  for (;;) {
    if (strm.avail_in == 0 && !inputEnded) {
      uint32_t got = 0;
      const HRESULT result = inStream->ReadPartial(inBuffer_.get(), kInBufferSize, &got);
      if (result != S_OK) {
        offerPending(capacity - static_cast<uint32_t>(strm.avail_out), false);
        return result;
      }
      if (got == 0) {
        inputEnded = true;
      } else {
        strm.next_in = inBuffer_.get();
        strm.avail_in = got;
      }
    }
    const uint64_t outBefore = strm.total_out;
    ret = lzma_code(&strm, inputEnded ? LZMA_FINISH : LZMA_RUN);
    if (strm.avail_out == 0) {
      // A full window with more decoded output behind it: hand it over while decoding goes on.
      uint32_t written = 0;
      HRESULT result = outStream->Write(window, windowSize_, &written);
      if (result == S_OK && written != windowSize_) result = E_FAIL;
      if (result != S_OK) {
        uint32_t ignored = 0;
        outStream->Write(window, windowSize_, &ignored);
        return result;
      }
      std::memmove(window, window + windowSize_, kLookahead);
      strm.next_out = window + kLookahead;
      strm.avail_out = windowSize_;
      if (progress != nullptr) {
        const uint64_t in = strm.total_in;
        const uint64_t out = strm.total_out;
        const HRESULT told = progress->SetRatioInfo(&in, &out);
        if (told != S_OK) {
          offerPending(kLookahead, false);
          return told;
        }
      }
    }
    const auto pending = static_cast<uint32_t>(capacity - strm.avail_out);
    if (ret == LZMA_STREAM_END) {  // an end marker: the outcome of the final Writes counts
      HRESULT result = S_OK;
      for (uint32_t offset = 0; offset < pending && result == S_OK;) {
        const uint32_t size = pending - offset < windowSize_ ? pending - offset : windowSize_;
        uint32_t written = 0;
        result = outStream->Write(window + offset, size, &written);
        if (result == S_OK && written != size) result = E_FAIL;
        offset += size;
      }
      // One byte beyond the data still reaches a receiver that took everything, for trailing
      // members of size 0.
      if (result == S_OK) offerPending(0, true);
      return result;
    }
    if (ret == LZMA_OK) {
      // Under LZMA_FINISH a stream without end marker stops making progress once its input
      // is used up; liblzma then reports LZMA_BUF_ERROR, or keeps answering LZMA_OK.
      if (inputEnded && strm.total_out == outBefore && ++idleFinishes > 2) ret = LZMA_BUF_ERROR;
      if (ret == LZMA_OK) continue;
    }
    if (ret == LZMA_BUF_ERROR && inputEnded) {  // the end of the input: the normal end
      offerPending(pending, true);
      return S_FALSE;
    }
    // Undecodable data or another failure inside liblzma.
    offerPending(pending, false);
    return S_FALSE;
  }
}

}  // namespace NLZMA
}  // namespace NCompress
