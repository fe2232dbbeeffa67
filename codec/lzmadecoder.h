// The LZMA decoder over liblzma: reads the five-byte properties header and decodes a raw LZMA1
// stream, with or without end marker, until the input is used up. It never logs.
//
// Output goes to the stream in window-size blocks whenever the window is full. The window is the
// dictionary size of the header (at least 4 KiB), but its memory follows the data: it starts at
// kFirstWindowBytes and doubles as decoded bytes fill it, then takes what the data can fill at once
// (pages the system backs only as they are written), so that what a header claims costs nothing
// before the data fill it. liblzma reserves its own dictionary when Code starts (backed by the
// system only as the data arrive); SetDataSize keeps that to what the data can use. Before it
// starts, Code compares the memory that the window and the dictionary can come to with what the
// system can give at all (platform::MemoryLimit) and returns E_OUTOFMEMORY when it is more.
//
// At the end of the input the decoder offers what it still holds in a final hand-over, whose
// result it ignores, plus one byte beyond the data, so that the receiver creates trailing members
// of size 0, and returns S_FALSE. That byte goes only once the data that matter (SetDataSize) are
// all decoded: a stream that ends short of them ends without it, so that it is never taken for
// data. A stream with an end marker ends with the Writes of the pending bytes, whose outcome
// counts; when they took everything, the byte beyond the data follows on its own.
//
// A stream without end marker can decode, from its final flush, a few bytes beyond the real data
// (liblzma does so for about one stream in five). A full window is therefore handed over only when
// kLookahead more bytes have been decoded behind it: a window that may hold such bytes is always
// part of the final hand-over, and a complete archive never makes a full-window Write fail,
// wherever its data end.
#pragma once

#include <cstdint>
#include <memory>

#include "base/refcounted.h"
#include "codec/coder.h"
#include "codec/lzmaproperties.h"

namespace NCompress {
namespace NLZMA {

// QueryInterface answers the two faces.
class CDecoder
    : public CRefCounted<FaceQuery::kAnswer, ICompressCoder, ICompressSetDecoderProperties> {
 public:
  static constexpr uint32_t kInBufferSize = 1 << 20;
  static constexpr uint32_t kMinWindowSize = 4096;
  // The window's first allocation; it doubles from there as the decoded data need it, and beyond
  // kDoublingLimit takes what the data can fill at once (GrowWindow).
  static constexpr uint32_t kFirstWindowBytes = 1 << 16;
  static constexpr uint32_t kDoublingLimit = 1 << 18;
  // Bytes decoded behind a full window before it is handed over. What the flush of a sound
  // stream can decode stays far below this: every bit decoded without input narrows the range,
  // and a few hundred bits exhaust it.
  static constexpr uint32_t kLookahead = 4096;
  // The most bytes that a sound stream without end marker puts out beyond its real data: what
  // its final flush decodes (measured: 0 or 1 byte; the bound leaves room for two symbols of the
  // longest match, 273 bytes) and the byte that the decoder offers of its own. A receiver that
  // refuses more than this was handed data that it has no room for: the data stream is longer
  // than the receiver was told.
  static constexpr uint32_t kMaxMatchLength = 273;
  static constexpr uint32_t kMaxBytesBeyondData = 2 * kMaxMatchLength + 1;
  static_assert(kMaxBytesBeyondData < kLookahead, "the look-ahead holds what a flush decodes");

  CDecoder() = default;
  ~CDecoder() override = default;

  // The most literal bits (lc + lp) that liblzma decodes; a header may claim up to 12.
  static constexpr uint32_t kMaxLiteralBits = 4;

  // One Read of 5 bytes: the stream then stands behind the header. E_INVALIDARG for fewer bytes
  // or a properties byte of 225 or more.
  HRESULT SetDecoderProperties(ISequentialReader* inStream) override;
  // Decodes the rest of inStream (1 MiB ReadPartial requests) into outStream. S_FALSE at the end
  // of the input and on undecodable data; a failed read's result; a failed full-window Write's
  // result, or E_FAIL when it took fewer bytes; with an end marker, the final Write's outcome;
  // E_INVALIDARG, before anything is read, for settings that liblzma cannot decode
  // (SettingsSupported); E_OUTOFMEMORY when the memory it needs (MemoryNeeded) is more than the
  // system can give, or when the window cannot grow as far as the data need it. Tells progress,
  // when given, the bytes taken in and put out after each step of liblzma (at most one read or one
  // window); a result other than S_OK stops decoding with that result.
  HRESULT Code(ISequentialReader* inStream, ISequentialWriter* outStream, const uint64_t* inSize,
               const uint64_t* outSize, ICompressProgressInfo* progress) override;

  // Only the first dataSize bytes of the output matter to the receiver (the sizes of an archive's
  // directory): liblzma's dictionary then need not be larger than dataSize and kLookahead, since
  // no match in those bytes reaches further back. Every byte up to kLookahead beyond dataSize
  // comes out as with the full dictionary; later bytes may end in undecodable data. The window's
  // hand-overs keep the full size. Call it before Code.
  void SetDataSize(uint64_t dataSize) { dataSize_ = dataSize; }
  // The data size until SetDataSize tells it: every byte may matter, and the byte beyond the data
  // goes at every end of the input.
  static constexpr uint64_t kUnknownSize = UINT64_MAX;

  // Whether liblzma decodes the header's literal settings (lc + lp up to kMaxLiteralBits).
  bool SettingsSupported() const { return properties_.lc + properties_.lp <= kMaxLiteralBits; }
  // The memory that Code takes at most for the header's settings and the data size: liblzma's
  // dictionary and models, the window and the input buffer.
  uint64_t MemoryNeeded() const;

  uint32_t LiteralContextBits() const { return properties_.lc; }
  uint32_t LiteralPosBits() const { return properties_.lp; }
  uint32_t PosStateBits() const { return properties_.pb; }
  uint32_t DictionarySize() const { return properties_.dictionarySize; }
  // The size of the full-window hand-overs.
  uint32_t WindowSize() const { return windowSize_; }

 private:
  // Bytes the window holds once grown to its full size: the window itself and the bytes decoded
  // behind it (kLookahead). One byte more is allocated, for the byte offered beyond the data.
  uint64_t FullCapacity() const { return uint64_t{windowSize_} + kLookahead; }
  // Doubles the window's memory (up to the full capacity), keeping the used bytes at its start.
  // False when the memory cannot be had; the window is then unchanged.
  bool GrowWindow(size_t used);

  LzmaProperties properties_;  // from the header; a stored dictionary size of 0 counts as 1
  uint32_t windowSize_ = 0;
  // The dictionary that liblzma gets: the header's, or less when the data are smaller.
  uint32_t DictionaryForData() const;
  // The most bytes of memory that the window takes for the data.
  uint64_t WindowMemory() const;

  uint64_t dataSize_ = kUnknownSize;  // the output that matters (SetDataSize)
  std::unique_ptr<uint8_t[]> window_;
  size_t windowCapacity_ = 0;  // bytes of window_ that decoding may fill (one more is allocated)
  std::unique_ptr<uint8_t[]> inBuffer_;
};

}  // namespace NLZMA
}  // namespace NCompress
