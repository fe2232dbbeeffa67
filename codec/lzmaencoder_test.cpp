#include "codec/lzmaencoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec/lzmadecoder.h"
#include "testing/memorystreams.h"

namespace NCompress {
namespace NLZMA {
namespace {

using NCoderPropID::kAlgorithm;
using NCoderPropID::kDictionarySize;
using NCoderPropID::kEndMarker;
using NCoderPropID::kLitContextBits;
using NCoderPropID::kLitPosBits;
using NCoderPropID::kMatchFinder;
using NCoderPropID::kNumFastBytes;
using NCoderPropID::kPosStateBits;

// The program's table of settings for a window size.
HRESULT SetProgramSettings(CEncoder* encoder, uint32_t windowSize) {
  return NCompress::NLZMA::SetProgramSettings(encoder, 1u << windowSize);
}

std::vector<uint8_t> Header(CEncoder* encoder) {
  auto* out = new MemoryWriter;
  RefHolder<MemoryWriter> hold(out);
  EXPECT_EQ(encoder->WriteCoderProperties(out), S_OK);
  EXPECT_EQ(out->writeSizes, std::vector<uint32_t>(5, 1));
  EXPECT_EQ(out->nullProcessedCalls, 5);
  return out->data;
}

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(gen());
  return v;
}

TEST(EncoderTest, ProgramSettingsGiveTheHeader) {
  auto* encoder = new CEncoder;
  RefHolder<CEncoder> hold(encoder);
  ASSERT_EQ(SetProgramSettings(encoder, 23), S_OK);
  EXPECT_EQ(Header(encoder), (std::vector<uint8_t>{0x5D, 0x00, 0x00, 0x80, 0x00}));
  ASSERT_EQ(SetProgramSettings(encoder, 28), S_OK);
  EXPECT_EQ(Header(encoder), (std::vector<uint8_t>{0x5D, 0x00, 0x00, 0x00, 0x10}));
  ASSERT_EQ(SetProgramSettings(encoder, 20), S_OK);
  EXPECT_EQ(Header(encoder), (std::vector<uint8_t>{0x5D, 0x00, 0x00, 0x10, 0x00}));
  EXPECT_EQ(encoder->InputWindowSize(), (1048576u + 4369) * 3 / 2 + 256);
}

TEST(EncoderTest, FirstUnfitPairStopsTheSettings) {
  auto* encoder = new CEncoder;
  RefHolder<CEncoder> hold(encoder);
  // Window 29 fails on the first pair; nothing after it is applied.
  const PROPID ids[] = {kDictionarySize, kPosStateBits, kLitContextBits};
  const CPropValue tooBig[] = {CPropValue::UInt32(1u << 29), CPropValue::UInt32(0),
                               CPropValue::UInt32(0)};
  EXPECT_EQ(encoder->SetCoderProperties(ids, tooBig, 3), E_INVALIDARG);
  EXPECT_EQ(Header(encoder)[0], 0x5D);
  // A later unfit pair keeps the ones before it.
  const CPropValue later[] = {CPropValue::UInt32(4096), CPropValue::UInt32(0),
                              CPropValue::UInt32(9)};
  EXPECT_EQ(encoder->SetCoderProperties(ids, later, 3), E_INVALIDARG);
  EXPECT_EQ(Header(encoder), (std::vector<uint8_t>{3, 0x00, 0x10, 0x00, 0x00}));

  struct Case {
    PROPID id;
    CPropValue value;
    HRESULT expected;
  };
  const Case cases[] = {
      {kNumFastBytes, CPropValue::UInt32(1), E_INVALIDARG},
      {kNumFastBytes, CPropValue::UInt32(274), E_INVALIDARG},
      {kNumFastBytes, CPropValue::UInt32(273), S_OK},
      {kLitContextBits, CPropValue::UInt32(9), E_INVALIDARG},
      {kLitPosBits, CPropValue::UInt32(5), E_INVALIDARG},
      {kPosStateBits, CPropValue::UInt32(5), E_INVALIDARG},
      {kDictionarySize, CPropValue::UInt32(0), E_INVALIDARG},
      {kDictionarySize, CPropValue::UInt32(268435457), E_INVALIDARG},
      {kDictionarySize, CPropValue::UInt32(268435456), S_OK},
      {kDictionarySize, CPropValue::UInt32(1), S_OK},
      {0x401, CPropValue::UInt32(1), E_INVALIDARG},
      {kDictionarySize, CPropValue::String(u"1"), E_INVALIDARG},
      {kMatchFinder, CPropValue::UInt32(2), E_INVALIDARG},
      {kMatchFinder, CPropValue::String(u"bt4"), S_OK},
      {kMatchFinder, CPropValue::String(u"hc4"), S_OK},
      {kMatchFinder, CPropValue::String(u"BT5"), E_INVALIDARG},
      {kMatchFinder, CPropValue::String(u"BT"), E_INVALIDARG},
      {kEndMarker, CPropValue::UInt32(0), E_INVALIDARG},
      {kAlgorithm, CPropValue::UInt32(77), S_OK},
      {kAlgorithm, CPropValue::Bool(true), E_INVALIDARG},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encoder->SetCoderProperties(&c.id, &c.value, 1), c.expected)
        << std::hex << c.id << " " << c.value.vt;
  }
}

TEST(EncoderTest, EmptyInputGivesFiveZeroBytes) {
  auto* encoder = new CEncoder;
  RefHolder<CEncoder> hold(encoder);
  ASSERT_EQ(SetProgramSettings(encoder, 20), S_OK);
  auto* in = new MemoryReader({});
  RefHolder<MemoryReader> holdIn(in);
  auto* out = new MemoryWriter;
  RefHolder<MemoryWriter> holdOut(out);
  EXPECT_EQ(encoder->Code(in, out, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(out->data, std::vector<uint8_t>(5, 0));
  EXPECT_EQ(in->requestSizes, std::vector<uint32_t>{encoder->InputWindowSize()});
}

TEST(EncoderTest, WritesWholeMegabyteBlocksThenTheRest) {
  auto* encoder = new CEncoder;
  RefHolder<CEncoder> hold(encoder);
  ASSERT_EQ(SetProgramSettings(encoder, 20), S_OK);
  const std::vector<uint8_t> data = RandomBytes(1200000, 7);  // does not compress
  auto* in = new MemoryReader(data);
  RefHolder<MemoryReader> holdIn(in);
  in->chunkLimit = 300000;  // short reads are simply followed by more
  auto* out = new MemoryWriter;
  RefHolder<MemoryWriter> holdOut(out);
  ASSERT_EQ(encoder->Code(in, out, nullptr, nullptr, nullptr), S_OK);
  ASSERT_EQ(out->writeSizes.size(), 2u);
  EXPECT_EQ(out->writeSizes[0], CEncoder::kOutBufferSize);
  EXPECT_GT(out->writeSizes[1], 0u);
  EXPECT_LT(out->writeSizes[1], CEncoder::kOutBufferSize);
  EXPECT_EQ(in->requestSizes.front(), encoder->InputWindowSize());

  // The stream decodes back, and without end marker it ends by running out of input.
  auto* decoder = new CDecoder;
  RefHolder<CDecoder> holdDecoder(decoder);
  std::vector<uint8_t> archive = {0x5D, 0x00, 0x00, 0x10, 0x00};
  archive.insert(archive.end(), out->data.begin(), out->data.end());
  auto* packed = new MemoryReader(archive);
  RefHolder<MemoryReader> holdPacked(packed);
  auto* unpacked = new MemoryWriter;
  RefHolder<MemoryWriter> holdUnpacked(unpacked);
  ASSERT_EQ(decoder->SetDecoderProperties(packed), S_OK);
  EXPECT_EQ(decoder->Code(packed, unpacked, nullptr, nullptr, nullptr), S_FALSE);
  ASSERT_GT(unpacked->data.size(), data.size());
  unpacked->data.resize(data.size());
  EXPECT_EQ(unpacked->data, data);
}

TEST(EncoderTest, StreamFailuresEndCode) {
  auto* encoder = new CEncoder;
  RefHolder<CEncoder> hold(encoder);
  ASSERT_EQ(SetProgramSettings(encoder, 20), S_OK);
  const std::vector<uint8_t> data = RandomBytes(1100000, 3);
  {
    auto* in = new MemoryReader(data);
    RefHolder<MemoryReader> holdIn(in);
    in->chunkLimit = 1000;
    in->failAtCall = 3;
    in->failResult = static_cast<HRESULT>(ERROR_GEN_FAILURE);
    auto* out = new MemoryWriter;
    RefHolder<MemoryWriter> holdOut(out);
    EXPECT_EQ(encoder->Code(in, out, nullptr, nullptr, nullptr),
              static_cast<HRESULT>(ERROR_GEN_FAILURE));
  }
  {
    auto* in = new MemoryReader(data);
    RefHolder<MemoryReader> holdIn(in);
    auto* out = new MemoryWriter;
    RefHolder<MemoryWriter> holdOut(out);
    out->failAtCall = 1;
    out->failResult = static_cast<HRESULT>(ERROR_DISK_FULL);
    EXPECT_EQ(encoder->Code(in, out, nullptr, nullptr, nullptr),
              static_cast<HRESULT>(ERROR_DISK_FULL));
    EXPECT_EQ(out->writeSizes.size(), 1u);
  }
  for (uint64_t limit : {uint64_t{1000}, uint64_t{CEncoder::kOutBufferSize + 10}}) {
    auto* in = new MemoryReader(data);
    RefHolder<MemoryReader> holdIn(in);
    auto* out = new MemoryWriter;
    RefHolder<MemoryWriter> holdOut(out);
    out->acceptLimit = limit;  // a short count, in a full block or in the last one
    EXPECT_EQ(encoder->Code(in, out, nullptr, nullptr, nullptr), E_FAIL) << limit;
  }
  auto* out = new MemoryWriter;
  RefHolder<MemoryWriter> holdOut(out);
  out->failAtCall = 3;
  out->failResult = S_FALSE;
  EXPECT_EQ(encoder->WriteCoderProperties(out), S_FALSE);
  EXPECT_EQ(out->writeSizes.size(), 3u);
}

TEST(EncoderTest, FacesAndReferenceCount) {
  auto* encoder = new CEncoder;
  EXPECT_EQ(encoder->AddRef(), 1u);
  void* face = nullptr;
  ASSERT_EQ(encoder->QueryInterface(IID_ICompressWriteCoderProperties, &face), S_OK);
  EXPECT_EQ(face, static_cast<void*>(static_cast<ICompressWriteCoderProperties*>(encoder)));
  EXPECT_EQ(static_cast<ICompressWriteCoderProperties*>(face)->Release(), 1u);
  EXPECT_EQ(encoder->QueryInterface(IID_ICompressSetDecoderProperties, &face), E_NOINTERFACE);
  EXPECT_EQ(encoder->Release(), 0u);
}

}  // namespace
}  // namespace NLZMA
}  // namespace NCompress
