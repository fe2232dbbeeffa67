#include "codec/lzmadecoder.h"

#include <gtest/gtest.h>
#include <lzma.h>

#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "codec/lzmaencoder.h"
#include "testing/memorystreams.h"

// The decoder obtains its window and input buffer with the non-throwing array new; this test
// program replaces that operator to see the largest request and to refuse large ones.
namespace {
size_t largestBufferRequest = 0;
size_t refuseBuffersAbove = SIZE_MAX;
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (size > largestBufferRequest) largestBufferRequest = size;
  if (size > refuseBuffersAbove) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace NCompress {
namespace NLZMA {
namespace {

// Mixed data: runs of text with random bytes between them.
std::vector<uint8_t> MixedBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v;
  const std::string text = "the quick brown fox jumps over the lazy dog; ";
  while (v.size() < n) {
    if (gen() % 3 == 0) {
      for (int i = 0; i < 50; ++i) v.push_back(static_cast<uint8_t>(gen()));
    } else {
      v.insert(v.end(), text.begin(), text.end());
    }
  }
  v.resize(n);
  return v;
}

// Header (lc 3, lp 0, pb 2, the dictionary size) and raw stream of our encoder.
std::vector<uint8_t> Compress(const std::vector<uint8_t>& data, uint32_t dictionary,
                              bool endMarker = false) {
  auto* encoder = new CEncoder;
  RefHolder<CEncoder> hold(encoder);
  const PROPID ids[] = {NCoderPropID::kDictionarySize, NCoderPropID::kEndMarker};
  const CPropValue values[] = {CPropValue::UInt32(dictionary), CPropValue::Bool(endMarker)};
  EXPECT_EQ(encoder->SetCoderProperties(ids, values, 2), S_OK);
  auto* out = new MemoryWriter;
  RefHolder<MemoryWriter> holdOut(out);
  EXPECT_EQ(encoder->WriteCoderProperties(out), S_OK);
  auto* in = new MemoryReader(data);
  RefHolder<MemoryReader> holdIn(in);
  EXPECT_EQ(encoder->Code(in, out, nullptr, nullptr, nullptr), S_OK);
  return out->data;
}

struct Decoded {
  HRESULT properties;
  HRESULT code;
  std::vector<uint32_t> writeSizes;
  std::vector<uint32_t> readSizes;
  std::vector<uint8_t> data;
};

// A decoder with the archive as its input and a memory output, each held for the scope.
struct Decoding {
  explicit Decoding(const std::vector<uint8_t>& archive)
      : decoder(new CDecoder), in(new MemoryReader(archive)), out(new MemoryWriter) {}
  HRESULT Code() { return decoder->Code(in.get(), out.get(), nullptr, nullptr, nullptr); }

  RefHolder<CDecoder> decoder;
  RefHolder<MemoryReader> in;
  RefHolder<MemoryWriter> out;
};

// dataSize goes to SetDataSize, as the program passes the sum of the directory's sizes.
Decoded Decode(const std::vector<uint8_t>& archive, MemoryWriter* out = nullptr,
               MemoryReader* in = nullptr, uint64_t dataSize = UINT64_MAX) {
  auto* decoder = new CDecoder;
  RefHolder<CDecoder> hold(decoder);
  if (in == nullptr) in = new MemoryReader(archive);
  RefHolder<MemoryReader> holdIn(in);
  if (out == nullptr) out = new MemoryWriter;
  RefHolder<MemoryWriter> holdOut(out);
  Decoded d;
  d.properties = decoder->SetDecoderProperties(in);
  decoder->SetDataSize(dataSize);
  d.code = d.properties == S_OK ? decoder->Code(in, out, nullptr, nullptr, nullptr) : E_FAIL;
  d.writeSizes = out->writeSizes;
  d.readSizes = in->requestSizes;
  d.data = out->data;
  return d;
}

TEST(DecoderTest, PropertiesHeaderIsCheckedAndSplit) {
  auto* decoder = new CDecoder;
  RefHolder<CDecoder> hold(decoder);
  {
    auto* in = new MemoryReader({0x5D, 0, 0, 0x80, 0, 0xAA});
    RefHolder<MemoryReader> holdIn(in);
    EXPECT_EQ(decoder->SetDecoderProperties(in), S_OK);
    EXPECT_EQ(in->position, 5u);
    EXPECT_EQ(in->requestSizes, std::vector<uint32_t>{5});
    EXPECT_EQ(decoder->LiteralContextBits(), 3u);
    EXPECT_EQ(decoder->LiteralPosBits(), 0u);
    EXPECT_EQ(decoder->PosStateBits(), 2u);
    EXPECT_EQ(decoder->WindowSize(), 8388608u);
  }
  {
    auto* in = new MemoryReader({224, 0, 0, 0, 0});
    RefHolder<MemoryReader> holdIn(in);
    EXPECT_EQ(decoder->SetDecoderProperties(in), S_OK);
    EXPECT_EQ(decoder->LiteralContextBits(), 8u);
    EXPECT_EQ(decoder->LiteralPosBits(), 4u);
    EXPECT_EQ(decoder->PosStateBits(), 4u);
    EXPECT_EQ(decoder->DictionarySize(), 1u);  // a stored 0 counts as 1
    EXPECT_EQ(decoder->WindowSize(), 4096u);
  }
  for (const std::vector<uint8_t>& bad :
       {std::vector<uint8_t>{225, 0, 0, 0, 0}, std::vector<uint8_t>{255, 0, 0, 0, 0},
        std::vector<uint8_t>{0x5D, 0, 0, 0x80}, std::vector<uint8_t>{}}) {
    auto* in = new MemoryReader(bad);
    RefHolder<MemoryReader> holdIn(in);
    EXPECT_EQ(decoder->SetDecoderProperties(in), E_INVALIDARG) << bad.size();
  }
  auto* in = new MemoryReader({0x5D, 0, 0, 0x80, 0});
  RefHolder<MemoryReader> holdIn(in);
  in->failAtCall = 1;
  in->failResult = static_cast<HRESULT>(ERROR_GEN_FAILURE);
  EXPECT_EQ(decoder->SetDecoderProperties(in), static_cast<HRESULT>(ERROR_GEN_FAILURE));
}

TEST(DecoderTest, EmptyStreamOffersOneByteBeyondTheData) {
  const Decoded d = Decode({0x5D, 0, 0, 0x10, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(d.code, S_FALSE);
  EXPECT_EQ(d.writeSizes, std::vector<uint32_t>{1});
}

TEST(DecoderTest, WindowMultiplesNeverFailACompleteStream) {
  // Data ending at, one short of, and one beyond a multiple of the 4096-byte window.
  for (size_t size : {size_t{8192}, size_t{8191}, size_t{8193}, size_t{4095}}) {
    const std::vector<uint8_t> data = MixedBytes(size, static_cast<unsigned>(size));
    auto* out = new MemoryWriter;
    out->acceptLimit = size;  // refuses what lies beyond the data, like the member files
    const Decoded d = Decode(Compress(data, 4096), out);
    EXPECT_EQ(d.code, S_FALSE) << size;
    EXPECT_EQ(d.data, data) << size;
    ASSERT_FALSE(d.writeSizes.empty());
    for (size_t i = 0; i + 1 < d.writeSizes.size(); ++i) EXPECT_EQ(d.writeSizes[i], 4096u);
    // The last Write carries the rest and at least one byte beyond it.
    EXPECT_EQ(d.writeSizes.back(), size % 4096 + 1) << size;
    // The header's one 5-byte Read, then requests of 1 MiB.
    EXPECT_EQ(d.readSizes.front(), 5u);
    for (size_t i = 1; i < d.readSizes.size(); ++i) {
      EXPECT_EQ(d.readSizes[i], CDecoder::kInBufferSize);
    }
  }
}

// The number of bytes plain liblzma puts out for a raw stream of ours (header skipped).
size_t PlainLiblzmaOutput(const std::vector<uint8_t>& archive, uint32_t dictionary) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, LZMA_PRESET_DEFAULT);
  options.dict_size = dictionary;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream strm = LZMA_STREAM_INIT;
  if (lzma_raw_decoder(&strm, filters) != LZMA_OK) return 0;
  std::vector<uint8_t> out(archive.size() * 2 + 65536);
  strm.next_in = archive.data() + 5;
  strm.avail_in = archive.size() - 5;
  strm.next_out = out.data();
  strm.avail_out = out.size();
  const lzma_ret ret = lzma_code(&strm, LZMA_RUN);
  if (ret != LZMA_OK && ret != LZMA_BUF_ERROR) ADD_FAILURE() << "liblzma: " << ret;
  const size_t produced = strm.total_out;
  lzma_end(&strm);
  return produced;
}

TEST(DecoderTest, BytesDecodedFromTheFlushNeverFailAFullWindow) {
  // Random data one byte short of the window: find streams whose flush liblzma decodes into a
  // byte beyond the data, so that the window fills up with it.
  int found = 0;
  for (unsigned seed = 0; seed < 200 && found < 3; ++seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> data(4095);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(gen());
    const std::vector<uint8_t> archive = Compress(data, 4096);
    if (PlainLiblzmaOutput(archive, 4096) <= data.size()) continue;
    ++found;
    auto* out = new MemoryWriter;
    out->acceptLimit = data.size();
    const Decoded d = Decode(archive, out);
    EXPECT_EQ(d.code, S_FALSE) << seed;
    EXPECT_EQ(d.data, data) << seed;
  }
  EXPECT_GT(found, 0) << "no stream decodes beyond its data";
}

TEST(DecoderTest, ReadsInMegabyteRequestsAcrossShortReads) {
  const std::vector<uint8_t> data = MixedBytes(3 << 20, 11);
  const std::vector<uint8_t> archive = Compress(data, 1 << 20);
  auto* in = new MemoryReader(archive);
  in->chunkLimit = 100000;
  const Decoded d = Decode(archive, nullptr, in);
  EXPECT_EQ(d.code, S_FALSE);
  ASSERT_GT(d.data.size(), data.size());
  EXPECT_EQ(std::vector<uint8_t>(d.data.begin(), d.data.begin() + data.size()), data);
  // The window grew from its first allocation; the full-window hand-overs keep its full size.
  for (size_t i = 0; i + 1 < d.writeSizes.size(); ++i) EXPECT_EQ(d.writeSizes[i], 1u << 20);
  ASSERT_GT(d.readSizes.size(), 10u);  // short reads are followed by more
  for (size_t i = 1; i < d.readSizes.size(); ++i) {
    EXPECT_EQ(d.readSizes[i], CDecoder::kInBufferSize);
  }
}

// A header may claim any dictionary up to 4 GiB - 1: the window's memory follows the decoded
// data, and claims near the top of the range neither wrap the window's size nor fail. (liblzma's
// own dictionary is kept to the data as the program keeps it, so that a 32-bit system can
// decode these too.)
TEST(DecoderTest, WindowMemoryFollowsTheDataNotTheHeader) {
  const std::vector<uint8_t> data = MixedBytes(200000, 17);
  const std::vector<uint8_t> stream = Compress(data, 4096);
  for (uint32_t claim : {0x10000000u, 0x7FFFFFFFu, 0xFFFFF000u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> archive = stream;
    for (int i = 0; i < 4; ++i) archive[1 + i] = static_cast<uint8_t>(claim >> (8 * i));
    largestBufferRequest = 0;
    const Decoded d = Decode(archive, nullptr, nullptr, data.size());
    EXPECT_EQ(d.code, S_FALSE) << claim;
    ASSERT_EQ(d.data.size(), data.size() + 1) << claim;  // one hand-over, one byte beyond
    EXPECT_EQ(std::vector<uint8_t>(d.data.begin(), d.data.end() - 1), data) << claim;
    EXPECT_LE(largestBufferRequest, size_t{CDecoder::kInBufferSize}) << claim;
  }
  // liblzma's dictionary kept to the data that matter: those bytes and kLookahead behind them
  // come out exactly; a match reaching further back ends in undecodable data.
  const std::vector<uint8_t> repeated = [] {
    std::vector<uint8_t> v = MixedBytes(60000, 3);
    v.insert(v.end(), v.begin(), v.begin() + 30000);  // matches 60000 bytes back
    return v;
  }();
  for (uint64_t limit : {uint64_t{90000}, uint64_t{50000}}) {
    auto* limited = new CDecoder;
    RefHolder<CDecoder> holdLimited(limited);
    auto* in = new MemoryReader(Compress(repeated, 1 << 20));
    RefHolder<MemoryReader> holdIn(in);
    auto* out = new MemoryWriter;
    RefHolder<MemoryWriter> holdOut(out);
    ASSERT_EQ(limited->SetDecoderProperties(in), S_OK);
    limited->SetDataSize(limit);
    EXPECT_EQ(limited->Code(in, out, nullptr, nullptr, nullptr), S_FALSE);
    const size_t exact = limit < 60000 ? limit + CDecoder::kLookahead : repeated.size();
    ASSERT_GE(out->data.size(), exact) << limit;
    EXPECT_EQ(std::vector<uint8_t>(out->data.begin(), out->data.begin() + exact),
              std::vector<uint8_t>(repeated.begin(), repeated.begin() + exact));
    if (limit < 60000) {
      EXPECT_LT(out->data.size(), repeated.size()) << limit;
    }
  }

  // Past the doubling limit the window takes its full size at once; where that is refused it
  // goes on doubling, and the data still come out whole.
  const std::vector<uint8_t> larger = MixedBytes(3 * CDecoder::kDoublingLimit / 2, 5);
  const std::vector<uint8_t> packed = Compress(larger, 1 << 22);
  largestBufferRequest = 0;
  refuseBuffersAbove = CDecoder::kInBufferSize;  // the input buffer, and windows of half that
  const Decoded doubled = Decode(packed);
  refuseBuffersAbove = SIZE_MAX;
  EXPECT_EQ(doubled.code, S_FALSE);
  EXPECT_EQ(largestBufferRequest, size_t{(1 << 22) + CDecoder::kLookahead + 1});  // refused
  ASSERT_EQ(doubled.data.size(), larger.size() + 1);
  EXPECT_EQ(std::vector<uint8_t>(doubled.data.begin(), doubled.data.end() - 1), larger);

  // A window that cannot grow ends Code, after the bytes it holds were offered.
  const std::vector<uint8_t> archive = Compress(data, 1 << 20);
  Decoding d(archive);
  ASSERT_EQ(d.decoder->SetDecoderProperties(d.in.get()), S_OK);
  refuseBuffersAbove = CDecoder::kFirstWindowBytes + 1;  // the window cannot double
  const HRESULT code = d.Code();
  refuseBuffersAbove = SIZE_MAX;
  EXPECT_EQ(code, E_OUTOFMEMORY);
  ASSERT_EQ(d.out->data.size(), size_t{CDecoder::kFirstWindowBytes});
  EXPECT_EQ(d.out->data, std::vector<uint8_t>(data.begin(), data.begin() + d.out->data.size()));
}

TEST(DecoderTest, RefusedOrFailedFullWindowEndsCode) {
  const std::vector<uint8_t> data = MixedBytes(20000, 5);
  const std::vector<uint8_t> archive = Compress(data, 4096);
  {
    auto* out = new MemoryWriter;
    out->acceptLimit = 5000;  // refuses in the middle of the second window
    const Decoded d = Decode(archive, out);
    EXPECT_EQ(d.code, E_FAIL);
    EXPECT_EQ(d.writeSizes, (std::vector<uint32_t>{4096, 4096, 4096}));  // offered once more
  }
  {
    auto* out = new MemoryWriter;
    out->failAtCall = 2;
    out->failResult = S_FALSE;
    const Decoded d = Decode(archive, out);
    EXPECT_EQ(d.code, S_FALSE);
    EXPECT_EQ(d.writeSizes, (std::vector<uint32_t>{4096, 4096, 4096}));
  }
  {
    auto* in = new MemoryReader(archive);
    in->chunkLimit = 1000;
    in->failAtCall = 3;  // header, then two blocks of data, then the failure
    in->failResult = static_cast<HRESULT>(ERROR_GEN_FAILURE);
    const Decoded d = Decode(archive, nullptr, in);
    EXPECT_EQ(d.code, static_cast<HRESULT>(ERROR_GEN_FAILURE));
  }
}

TEST(DecoderTest, StreamWithEndMarkerEndsWithTheFinalWrite) {
  const std::vector<uint8_t> data = MixedBytes(10000, 9);
  {
    auto* out = new MemoryWriter;
    out->acceptLimit = data.size();
    const Decoded d = Decode(Compress(data, 4096, true), out);
    EXPECT_EQ(d.code, S_OK);
    EXPECT_EQ(d.data, data);
    // The rest, then one byte beyond the data on its own.
    EXPECT_EQ(d.writeSizes, (std::vector<uint32_t>{4096, 4096, 10000 - 8192, 1}));
  }
  {
    auto* out = new MemoryWriter;
    out->acceptLimit = data.size() - 1;
    const Decoded d = Decode(Compress(data, 4096, true), out);
    EXPECT_EQ(d.code, E_FAIL);
    EXPECT_EQ(d.writeSizes, (std::vector<uint32_t>{4096, 4096, 10000 - 8192}));
  }
  // A stream made by liblzma's own LZMA1 encoder, which always writes the marker.
  lzma_options_lzma options;
  ASSERT_FALSE(lzma_lzma_preset(&options, 6));
  options.dict_size = 1 << 16;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  std::vector<uint8_t> raw(data.size() + 1000);
  size_t rawSize = 0;
  ASSERT_EQ(lzma_raw_buffer_encode(filters, nullptr, data.data(), data.size(), raw.data(), &rawSize,
                                   raw.size()),
            LZMA_OK);
  std::vector<uint8_t> archive = {0x5D, 0x00, 0x00, 0x01, 0x00};
  archive.insert(archive.end(), raw.begin(), raw.begin() + static_cast<long>(rawSize));
  const Decoded d = Decode(archive);
  EXPECT_EQ(d.code, S_OK);
  ASSERT_EQ(d.data.size(), data.size() + 1);
  EXPECT_EQ(std::vector<uint8_t>(d.data.begin(), d.data.end() - 1), data);
}

TEST(DecoderTest, DamagedOrCutStreamsEndWithoutFailure) {
  const std::vector<uint8_t> data = MixedBytes(50000, 13);
  const std::vector<uint8_t> archive = Compress(data, 4096);
  // Cut: what could be decoded comes out, then one byte beyond it.
  std::vector<uint8_t> cut(archive.begin(), archive.begin() + archive.size() / 2);
  const Decoded c = Decode(cut);
  EXPECT_EQ(c.code, S_FALSE);
  EXPECT_LT(c.data.size(), data.size());
  EXPECT_GT(c.data.size(), 4096u);
  EXPECT_EQ(std::vector<uint8_t>(c.data.begin(), c.data.begin() + 4096),
            std::vector<uint8_t>(data.begin(), data.begin() + 4096));
  // Flipped bytes: undecodable data or wrong bytes, never a failure of Code or a crash.
  for (size_t at : {size_t{6}, size_t{40}, archive.size() / 3, archive.size() - 2}) {
    std::vector<uint8_t> flipped = archive;
    flipped[at] ^= 0xFF;
    const Decoded f = Decode(flipped);
    EXPECT_EQ(f.code, S_FALSE) << at;
  }
  Decoding d(archive);
  EXPECT_EQ(d.Code(), E_FAIL);  // no properties read
  void* face = nullptr;
  EXPECT_EQ(d.decoder->QueryInterface(IID_ICompressSetDecoderProperties, &face), S_OK);
  EXPECT_EQ(d.decoder->Release(), 1u);
  EXPECT_EQ(d.decoder->QueryInterface(IID_ICompressSetCoderProperties, &face), E_NOINTERFACE);
}

}  // namespace
}  // namespace NLZMA
}  // namespace NCompress
