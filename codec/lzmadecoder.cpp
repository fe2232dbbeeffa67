#include "codec/lzmadecoder.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "codec/lzmastream.h"
#include "platform/largeblock.h"

namespace NCompress {
namespace NLZMA {

namespace {

// A raw LZMA1 decoder for the header's settings: E_OUTOFMEMORY, E_INVALIDARG for settings that
// liblzma cannot decode, S_FALSE for any other refusal.
HRESULT StartDecoder(lzma_stream& strm, const LzmaProperties& properties, uint32_t dictionary) {
  lzma_options_lzma options = LzmaOptions(properties, dictionary);
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  strm.allocator = &kLzmaMemory;
  const lzma_ret ret = lzma_raw_decoder(&strm, filters);
  if (ret == LZMA_MEM_ERROR) return E_OUTOFMEMORY;
  if (ret == LZMA_OPTIONS_ERROR) return E_INVALIDARG;
  return ret == LZMA_OK ? S_OK : S_FALSE;
}

// liblzma's memory for a raw LZMA1 decoder with these settings.
uint64_t LiblzmaMemory(const LzmaProperties& properties, uint32_t dictionary) {
  lzma_options_lzma options = LzmaOptions(properties, dictionary);
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  const uint64_t memory = lzma_raw_decoder_memusage(filters);
  return memory == UINT64_MAX ? dictionary : memory;
}

// Offers size bytes in Writes of at most chunk bytes each. With outcomeCounts it stops at the first
// Write that fails or takes fewer bytes and returns that failure (E_FAIL for a short count);
// otherwise it offers everything, ignores every outcome and returns S_OK.
HRESULT WriteChunks(ISequentialWriter* outStream, const uint8_t* data, size_t size, uint32_t chunk,
                    bool outcomeCounts) {
  for (size_t offset = 0; offset < size;) {
    const uint32_t n = size - offset < chunk ? static_cast<uint32_t>(size - offset) : chunk;
    uint32_t written = 0;
    HRESULT result = outStream->Write(data + offset, n, &written);
    if (result == S_OK && written != n) result = E_FAIL;
    if (outcomeCounts && result != S_OK) return result;
    offset += n;
  }
  return S_OK;
}

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
  // The window starts small, whatever the header claims; Code lets it grow with the data.
  window_.reset();
  windowCapacity_ = 0;
  const uint64_t first = kFirstWindowBytes < FullCapacity() ? kFirstWindowBytes : FullCapacity();
  window_.reset(new (std::nothrow) uint8_t[first + 1]);
  inBuffer_.reset(new (std::nothrow) uint8_t[kInBufferSize]);
  if (!window_ || !inBuffer_) {
    window_.reset();
    inBuffer_.reset();
    return E_OUTOFMEMORY;
  }
  windowCapacity_ = static_cast<size_t>(first);
  return S_OK;
}

uint32_t CDecoder::DictionaryForData() const {
  if (dataSize_ < uint64_t{windowSize_} - kLookahead) {
    return static_cast<uint32_t>(dataSize_) + kLookahead;
  }
  return windowSize_;
}

uint64_t CDecoder::WindowMemory() const {
  const uint64_t fits = dataSize_ < FullCapacity() ? dataSize_ + 2 * kLookahead : FullCapacity();
  return (fits < FullCapacity() ? fits : FullCapacity()) + 1;
}

uint64_t CDecoder::MemoryNeeded() const {
  return LiblzmaMemory(properties_, DictionaryForData()) + WindowMemory() + kInBufferSize;
}

bool CDecoder::GrowWindow(size_t used) {
  uint64_t capacity = uint64_t{windowCapacity_} * 2;
  if (capacity > FullCapacity()) capacity = FullCapacity();
  // Past kDoublingLimit the window takes at once what the data can fill, up to its full size:
  // as with liblzma's dictionary, the system backs it only as the data arrive, and nothing more
  // is copied. Where that much is refused (a 32-bit address space), it goes on doubling.
  uint64_t wanted = capacity;
  if (capacity > kDoublingLimit) {
    wanted = WindowMemory() - 1;
    if (wanted < capacity) wanted = capacity;
  }
  for (;;) {
    // A capacity beyond the address space cannot be had either.
    std::unique_ptr<uint8_t[]> grown;
    if (wanted + 1 <= SIZE_MAX)
      grown.reset(new (std::nothrow) uint8_t[static_cast<size_t>(wanted) + 1]);
    if (grown) {
      // Filled from end to end: large pages save most of its page faults.
      platform::AdviseLargePages(grown.get(), static_cast<size_t>(wanted) + 1);
      std::memcpy(grown.get(), window_.get(), used);
      window_ = std::move(grown);
      windowCapacity_ = static_cast<size_t>(wanted);
      return true;
    }
    if (wanted == capacity) return false;
    wanted = capacity;
  }
}

HRESULT CDecoder::Code(ISequentialReader* inStream, ISequentialWriter* outStream,
                       const uint64_t* /*inSize*/, const uint64_t* /*outSize*/,
                       ICompressProgressInfo* progress) {
  if (!window_ || !inBuffer_) return E_FAIL;  // no properties set
  if (!SettingsSupported()) return E_INVALIDARG;
  // What the system cannot give would only be had by swapping, or fail half way.
  if (MemoryNeeded() > platform::MemoryLimit()) return E_OUTOFMEMORY;
  LzmaStream stream;
  // A dictionary beyond the output that matters (and the bytes behind it) is never used.
  const HRESULT started = StartDecoder(stream.strm, properties_, DictionaryForData());
  if (started != S_OK) return started;

  lzma_stream& strm = stream.strm;
  // The bytes decoded into the window and not yet handed over.
  auto pendingBytes = [&]() { return static_cast<size_t>(strm.next_out - window_.get()); };
  // Every ending but an end marker offers the pending bytes in a last hand-over whose outcome is
  // ignored; when the input has run out, one byte beyond the data goes with them, but only once
  // every byte that matters is out: before, it would be taken for data.
  auto endWith = [&](HRESULT result, size_t pending, bool extraByte) {
    const bool dataComplete = dataSize_ == kUnknownSize || strm.total_out >= dataSize_;
    if (extraByte && dataComplete) window_[pending++] = 0;
    WriteChunks(outStream, window_.get(), pending, windowSize_, false);
    return result;
  };

  strm.next_out = window_.get();
  strm.avail_out = windowCapacity_;
  bool inputEnded = false;
  int idleFinishes = 0;
  for (;;) {
    // Read.
    if (strm.avail_in == 0 && !inputEnded) {
      uint32_t got = 0;
      const HRESULT read = inStream->ReadPartial(inBuffer_.get(), kInBufferSize, &got);
      if (read != S_OK) return endWith(read, pendingBytes(), false);
      inputEnded = got == 0;
      strm.next_in = inBuffer_.get();
      strm.avail_in = got;
    }

    // Decode.
    const uint64_t outBefore = strm.total_out;
    lzma_ret ret = lzma_code(&strm, inputEnded ? LZMA_FINISH : LZMA_RUN);

    if (strm.avail_out == 0 && windowCapacity_ < FullCapacity()) {
      // The window's memory is used up before its full size: it grows, nothing is handed over.
      const size_t used = pendingBytes();
      if (!GrowWindow(used)) return endWith(E_OUTOFMEMORY, used, false);
      strm.next_out = window_.get() + used;
      strm.avail_out = windowCapacity_ - used;
    } else if (strm.avail_out == 0) {
      // Hand the window over once it is full with kLookahead bytes decoded behind it.
      uint8_t* const window = window_.get();
      const HRESULT written = WriteChunks(outStream, window, windowSize_, windowSize_, true);
      // The receiver did not take the window, so the window is what is pending: the last
      // hand-over offers that same window once more.
      if (written != S_OK) return endWith(written, windowSize_, false);
      std::memmove(window, window + windowSize_, kLookahead);
      strm.next_out = window + kLookahead;
      strm.avail_out = windowSize_;
    }
    const HRESULT told = TellProgress(progress, strm);
    if (told != S_OK) return endWith(told, pendingBytes(), false);

    // Classify the ending.
    const size_t pending = pendingBytes();
    if (ret == LZMA_STREAM_END) {  // an end marker: the outcome of the final Writes counts
      const HRESULT result = WriteChunks(outStream, window_.get(), pending, windowSize_, true);
      // One byte beyond the data still reaches a receiver that took everything, for trailing
      // members of size 0.
      if (result == S_OK) endWith(S_OK, 0, true);
      return result;
    }
    // Under LZMA_FINISH a stream without end marker stops making progress once its input is used
    // up; liblzma then reports LZMA_BUF_ERROR, or keeps answering LZMA_OK.
    if (ret == LZMA_OK && inputEnded && strm.total_out == outBefore && ++idleFinishes > 2) {
      ret = LZMA_BUF_ERROR;
    }
    if (ret == LZMA_OK) continue;
    // The end of the input is the normal end; anything else is undecodable data or another
    // failure inside liblzma.
    return endWith(S_FALSE, pending, ret == LZMA_BUF_ERROR && inputEnded);
  }
}

}  // namespace NLZMA
}  // namespace NCompress
