// The coder interfaces and their property values: what the pipelines call on the LZMA encoder and
// decoder. Both coders are reference-counted like the streams and present each group of
// operations on a face of its own.
#pragma once

#include <cstdint>

#include "base/streams.h"
#include "platform/variant.h"

namespace NCoderPropID {
enum : PROPID {
  kDictionarySize = 0x400,
  kPosStateBits = 0x440,
  kLitContextBits = 0x441,
  kLitPosBits = 0x442,
  kNumFastBytes = 0x450,
  kMatchFinder = 0x451,
  kAlgorithm = 0x470,
  kEndMarker = 0x490,
};
}  // namespace NCoderPropID

// A tagged property value: VT_UI4 uses ulVal, VT_BSTR bstrVal (16-bit characters, terminated),
// VT_BOOL boolVal (only VARIANT_TRUE, all bits set, counts as true).
struct CPropValue {
  VARTYPE vt;
  union {
    uint32_t ulVal;
    const char16_t* bstrVal;
    VARIANT_BOOL boolVal;
  };
  static CPropValue UInt32(uint32_t value) {
    CPropValue v;
    v.vt = VT_UI4;
    v.ulVal = value;
    return v;
  }
  static CPropValue String(const char16_t* value) {
    CPropValue v;
    v.vt = VT_BSTR;
    v.bstrVal = value;
    return v;
  }
  static CPropValue Bool(bool value) {
    CPropValue v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
};

// The identities of the coder interfaces: one family, told apart by the last byte.
constexpr InterfaceId CoderInterfaceId(uint8_t member) {
  return {0x2B4F7A31, 0x0C66, 0x4E2D, {0x8A, 0x15, 0x6D, 0x21, 0x90, 0x3B, 0x00, member}};
}
inline constexpr InterfaceId IID_ICompressCoder = CoderInterfaceId(1);
inline constexpr InterfaceId IID_ICompressSetCoderProperties = CoderInterfaceId(2);
inline constexpr InterfaceId IID_ICompressWriteCoderProperties = CoderInterfaceId(3);
inline constexpr InterfaceId IID_ICompressSetDecoderProperties = CoderInterfaceId(4);
inline constexpr InterfaceId IID_ICompressProgressInfo = CoderInterfaceId(5);

// Told the bytes read and written so far after each step of the coder; a result other than S_OK
// stops Code with that result.
class ICompressProgressInfo : public IRefCounted {
 public:
  static const InterfaceId& Identity() { return IID_ICompressProgressInfo; }
  virtual HRESULT SetRatioInfo(const uint64_t* inSize, const uint64_t* outSize) = 0;

 protected:
  ~ICompressProgressInfo() = default;
};

class ICompressCoder : public IRefCounted {
 public:
  static const InterfaceId& Identity() { return IID_ICompressCoder; }
  // inSize and outSize may be null (the program passes null); progress may be null (the program
  // passes a receiver only for the progress line on a terminal).
  virtual HRESULT Code(ISequentialReader* inStream, ISequentialWriter* outStream,
                       const uint64_t* inSize, const uint64_t* outSize,
                       ICompressProgressInfo* progress) = 0;

 protected:
  ~ICompressCoder() = default;
};

class ICompressSetCoderProperties : public IRefCounted {
 public:
  static const InterfaceId& Identity() { return IID_ICompressSetCoderProperties; }
  virtual HRESULT SetCoderProperties(const PROPID* propIDs, const CPropValue* values,
                                     uint32_t count) = 0;

 protected:
  ~ICompressSetCoderProperties() = default;
};

class ICompressWriteCoderProperties : public IRefCounted {
 public:
  static const InterfaceId& Identity() { return IID_ICompressWriteCoderProperties; }
  virtual HRESULT WriteCoderProperties(ISequentialWriter* outStream) = 0;

 protected:
  ~ICompressWriteCoderProperties() = default;
};

class ICompressSetDecoderProperties : public IRefCounted {
 public:
  static const InterfaceId& Identity() { return IID_ICompressSetDecoderProperties; }
  virtual HRESULT SetDecoderProperties(ISequentialReader* inStream) = 0;

 protected:
  ~ICompressSetDecoderProperties() = default;
};
