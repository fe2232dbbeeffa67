// The archive layout: the one place where the byte format of an archive is written and read.
//
// An archive is three parts back to back; every number is little-endian, and there is no magic
// number, version field, checksum or padding:
//
//   properties header   5 bytes: the codec's properties byte and dictionary size, written and
//                       read by the coders (codec/lzmaproperties.h)
//   directory           the file count (32 bits), then one entry per file, in packing order:
//                         name length L (32 bits), the L name bytes (no terminator),
//                         a reserved value (32 bits, written as 0, kept, never used),
//                         the file's size (64 bits)
//   compressed data     one raw LZMA1 stream of the files' contents, to the end of the file
//
// Every field moves one byte per stream call. The writers pass no count and stop at the first
// Write that does not return S_OK. The readers ask for the count; a missing byte counts as 0 and
// is reported once, and after the end of the archive nothing more is read. Each field is logged
// on lzmaLog_Interface under the class given and the stream operation's name (WriteUInt32,
// ReadLPCTSTR, ...).
#pragma once

#include <cstdint>
#include <string>

#include "base/streams.h"

// The two kinds of number field: the count, a name length and the reserved value are 32-bit
// fields, a size is a 64-bit field.
constexpr int kUInt32FieldSize = 4;
constexpr int kUInt64FieldSize = 8;

struct DirectoryEntry {
  std::string name;
  uint32_t reserved = 0;
  uint64_t size = 0;
};

// Field writers: "%08x", "%016x" and "%s" at Verbose, then the bytes.
HRESULT WriteUInt32Field(ISequentialWriter* outStream, uint32_t value, const char* logClass);
HRESULT WriteUInt64Field(ISequentialWriter* outStream, uint64_t value, const char* logClass);
// The length as a 32-bit field, then the bytes.
HRESULT WriteStringField(ISequentialWriter* outStream, const char* string, const char* logClass);
// Name, reserved value, size.
HRESULT WriteDirectoryEntry(ISequentialWriter* outStream, const DirectoryEntry& entry,
                            const char* logClass);

// Field readers over one archive: they remember whether the archive has ended.
class FieldReader {
 public:
  explicit FieldReader(const char* logClass) : logClass_(logClass) {}

  HRESULT ReadUInt32(ISequentialReader* inStream, uint32_t& value);
  HRESULT ReadUInt64(ISequentialReader* inStream, uint64_t& value);
  // The name grows with the bytes actually read, never with the stated length.
  HRESULT ReadString(ISequentialReader* inStream, std::string& string);
  // Name, reserved value, size; each field is read as long as the one before gave S_OK.
  HRESULT ReadEntry(ISequentialReader* inStream, DirectoryEntry& entry);

  // True once a read met the end of the archive.
  bool Ended() const { return ended_; }

 private:
  // Reads one byte; a missing one (logged with the byte's index unless index is negative) gives 0.
  HRESULT ReadByte(ISequentialReader* inStream, const char* method, int index, uint8_t& byte);
  HRESULT ReadLittleEndian(ISequentialReader* inStream, int byteCount, const char* method,
                           uint64_t& value);

  const char* logClass_;
  bool ended_ = false;
};
