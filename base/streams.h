// Stream interfaces: the reference-counted contract through which the coders and the pipelines
// move bytes. Every operation except AddRef and Release returns an HRESULT; any non-zero result is
// a failure to the archive code (a failed system call passes its positive Win32 error code on).
// So never test a stream's result with SUCCEEDED() or FAILED(): they look at the sign only, and
// SUCCEEDED() takes a failed system call, whose code is positive, for success.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wintypes.h"

// A 128-bit interface identity.
struct InterfaceId {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

inline bool operator==(const InterfaceId& a, const InterfaceId& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.data4[i] != b.data4[i]) return false;
  }
  return true;
}
inline bool operator!=(const InterfaceId& a, const InterfaceId& b) {
  return !(a == b);
}

// The identities of the interfaces below: one family, told apart by the last byte.
constexpr InterfaceId StreamInterfaceId(uint8_t member) {
  return {0x6C1B0E10, 0x4A51, 0x4D8B, {0x9F, 0x02, 0x11, 0x5E, 0x3A, 0x70, 0x00, member}};
}
inline constexpr InterfaceId IID_IRefCounted = StreamInterfaceId(0);
inline constexpr InterfaceId IID_ISequentialReader = StreamInterfaceId(1);
inline constexpr InterfaceId IID_IRandomReader = StreamInterfaceId(2);
inline constexpr InterfaceId IID_ISizeQuery = StreamInterfaceId(3);
inline constexpr InterfaceId IID_ISequentialWriter = StreamInterfaceId(4);
inline constexpr InterfaceId IID_IRandomWriter = StreamInterfaceId(5);

// Seek origins of the streams.
enum StreamSeekOrigin : uint32_t {
  kStreamSeekSet = 0,
  kStreamSeekCurrent = 1,
  kStreamSeekEnd = 2,
};

class IRefCounted {
 public:
  static const InterfaceId& Identity() { return IID_IRefCounted; }
  // On success stores the face in *object, adds a reference and returns S_OK; otherwise returns
  // E_NOINTERFACE and leaves *object untouched.
  virtual HRESULT QueryInterface(const InterfaceId& iid, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  // The release that takes the count to 0 destroys the object.
  virtual uint32_t Release() = 0;

 protected:
  ~IRefCounted() = default;
};

class ISequentialReader : public IRefCounted {
 public:
  static const InterfaceId& Identity() { return IID_ISequentialReader; }
  // Reads up to size bytes. S_OK with a count of 0 is the end of the data. processed may be null.
  virtual HRESULT Read(void* data, uint32_t size, uint32_t* processed) = 0;
  // Does nothing but Read.
  virtual HRESULT ReadPartial(void* data, uint32_t size, uint32_t* processed) {
    return Read(data, size, processed);
  }

 protected:
  ~ISequentialReader() = default;
};

class IRandomReader : public ISequentialReader {
 public:
  static const InterfaceId& Identity() { return IID_IRandomReader; }
  // origin: 0 from the beginning, 1 from the current position, 2 from the end; 3 or more gives
  // STG_E_INVALIDFUNCTION. position may be null.
  virtual HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* position) = 0;

 protected:
  ~IRandomReader() = default;
};

class ISizeQuery : public IRefCounted {
 public:
  static const InterfaceId& Identity() { return IID_ISizeQuery; }
  virtual HRESULT GetSize(uint64_t* size) = 0;

 protected:
  ~ISizeQuery() = default;
};

class ISequentialWriter : public IRefCounted {
 public:
  static const InterfaceId& Identity() { return IID_ISequentialWriter; }
  // Writes up to size bytes; a count below size with S_OK means the rest was refused.
  virtual HRESULT Write(const void* data, uint32_t size, uint32_t* processed) = 0;
  // Does nothing but Write.
  virtual HRESULT WritePartial(const void* data, uint32_t size, uint32_t* processed) {
    return Write(data, size, processed);
  }

 protected:
  ~ISequentialWriter() = default;
};

class IRandomWriter : public ISequentialWriter {
 public:
  static const InterfaceId& Identity() { return IID_IRandomWriter; }
  virtual HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* position) = 0;
  virtual HRESULT SetSize(uint64_t length) = 0;

 protected:
  ~IRandomWriter() = default;
};

// The result of a failed system call: its last-error code, or E_FAIL should the system have left
// none, so that a failure never reads as success.
HRESULT ResultFromLastError();

// The system's text for a system error code, without the line end ("Access is denied."), or
// "system error N" when the system has no text for it.
std::string SystemErrorText(DWORD code);
