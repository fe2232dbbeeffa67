// The LZMA encoder over liblzma: a raw LZMA1 stream without end marker, its five-byte properties
// header, and the settings that SetCoderProperties accepts. It never logs.
#pragma once

#include <lzma.h>

#include <cstdint>

#include "base/refcounted.h"
#include "codec/coder.h"
#include "codec/lzmaproperties.h"

namespace NCompress {
namespace NLZMA {

// QueryInterface answers the three faces.
class CEncoder : public CRefCounted<FaceQuery::kAnswer, ICompressCoder, ICompressSetCoderProperties,
                                    ICompressWriteCoderProperties> {
 public:
  // Output blocks of Code.
  static constexpr uint32_t kOutBufferSize = 1 << 20;
  // liblzma is handed each read in slices of at most this many bytes, so that progress is told at
  // least once for each slice taken in, however well the data compress.
  static constexpr uint32_t kInSliceSize = 1 << 20;
  // A read of more than this many bytes into the input window is followed by a fresh window.
  static constexpr uint32_t kKeepTouched = 256 * 1024;

  CEncoder() = default;
  ~CEncoder() override = default;

  // Reads inStream to its end (ReadPartial into the free room of the input window) and writes
  // the compressed data in 1 MiB blocks, then the rest. Tells progress, when given, the bytes
  // taken in and put out after each slice and each block; a result other than S_OK stops Code with
  // that result.
  HRESULT Code(ISequentialReader* inStream, ISequentialWriter* outStream, const uint64_t* inSize,
               const uint64_t* outSize, ICompressProgressInfo* progress) override;
  // Checks and stores the pairs in order; E_INVALIDARG at the first that does not fit, the
  // settings before it staying in force.
  HRESULT SetCoderProperties(const PROPID* propIDs, const CPropValue* values,
                             uint32_t count) override;
  // The properties byte, then the dictionary size from its lowest byte: five 1-byte Writes.
  HRESULT WriteCoderProperties(ISequentialWriter* outStream) override;

  // S + S / 2 + 256 with S = dictionary size + 4369.
  uint32_t InputWindowSize() const;
  // The memory that Code takes for the settings in force: liblzma's match finder and models, the
  // input window and the output buffer. Code refuses (E_OUTOFMEMORY, before anything is read or
  // written) when that is more than the system can give (platform::MemoryLimit).
  uint64_t MemoryNeeded() const;

 private:
  // liblzma's options for the settings in force.
  lzma_options_lzma Options() const;

  LzmaProperties properties_;  // lc, lp, pb and the dictionary size of the header
  uint32_t fastBytes_ = 128;
  uint32_t algorithm_ = 2;
  int matchFinder_ = 2;  // index into the match finder table: "BT4"
  bool endMarker_ = false;
};

// lzmulti's table of settings, passed as one SetCoderProperties call of eight pairs in this order:
// the dictionary size, pb 2, lc 3, lp 0, algorithm 2, 128 fast bytes, match finder "BT4", no end
// marker. Its result is SetCoderProperties'.
HRESULT SetProgramSettings(ICompressSetCoderProperties* encoder, uint32_t dictionarySize);

}  // namespace NLZMA
}  // namespace NCompress
