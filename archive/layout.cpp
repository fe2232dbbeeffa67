#include "archive/layout.h"

#include <cinttypes>
#include <cstring>

#include "log/log.h"
#include "log/printable.h"

namespace {

// Writes byteCount bytes of value, lowest first, one Write each; stops at the first failure.
HRESULT WriteLittleEndian(ISequentialWriter* outStream, uint64_t value, int byteCount) {
  HRESULT result = S_OK;
  for (int i = 0; i < byteCount && result == S_OK; ++i) {
    const auto byte = static_cast<uint8_t>(value >> (8 * i));
    result = outStream->Write(&byte, 1, nullptr);
  }
  return result;
}

}  // namespace

HRESULT WriteUInt32Field(ISequentialWriter* outStream, uint32_t value, const char* logClass) {
  lzmaLog_Interface.Verbose(logClass, "WriteUInt32", "%08x", value);
  return WriteLittleEndian(outStream, value, kUInt32FieldSize);
}

HRESULT WriteUInt64Field(ISequentialWriter* outStream, uint64_t value, const char* logClass) {
  lzmaLog_Interface.Verbose(logClass, "WriteUInt64", "%016" PRIx64, value);
  return WriteLittleEndian(outStream, value, kUInt64FieldSize);
}

HRESULT WriteStringField(ISequentialWriter* outStream, const char* string, const char* logClass) {
  lzmaLog_Interface.Verbose(logClass, "WriteLPCTSTR", "%s", PrintableText(string).c_str());
  const auto length = static_cast<uint32_t>(std::strlen(string));
  HRESULT result = WriteUInt32Field(outStream, length, logClass);
  for (uint32_t i = 0; i < length && result == S_OK; ++i) {
    result = outStream->Write(string + i, 1, nullptr);
  }
  return result;
}

HRESULT WriteDirectoryEntry(ISequentialWriter* outStream, const DirectoryEntry& entry,
                            const char* logClass) {
  HRESULT result = WriteStringField(outStream, entry.name.c_str(), logClass);
  if (result == S_OK) result = WriteUInt32Field(outStream, entry.reserved, logClass);
  if (result == S_OK) result = WriteUInt64Field(outStream, entry.size, logClass);
  return result;
}

HRESULT FieldReader::ReadByte(ISequentialReader* inStream, const char* method, int index,
                              uint8_t& byte) {
  uint32_t count = 0;
  const HRESULT result = inStream->Read(&byte, 1, &count);
  if (count != 1) {
    if (index >= 0) {
      lzmaLog_Interface.Error(logClass_, method, "inStream->Read byte %i failed", index);
    } else {
      lzmaLog_Interface.Error(logClass_, method, "inStream->Read byte failed");
    }
    byte = 0;
    if (result == S_OK) ended_ = true;
  }
  return result;
}

HRESULT FieldReader::ReadLittleEndian(ISequentialReader* inStream, int byteCount,
                                      const char* method, uint64_t& value) {
  uint64_t read = 0;
  HRESULT result = S_OK;
  for (int i = 0; i < byteCount && result == S_OK && !ended_; ++i) {
    uint8_t byte = 0;
    result = ReadByte(inStream, method, i, byte);
    read |= static_cast<uint64_t>(byte) << (8 * i);
  }
  value = read;
  return result;
}

HRESULT FieldReader::ReadUInt32(ISequentialReader* inStream, uint32_t& value) {
  uint64_t read = 0;
  const HRESULT result = ReadLittleEndian(inStream, kUInt32FieldSize, "ReadUInt32", read);
  value = static_cast<uint32_t>(read);
  lzmaLog_Interface.Verbose(logClass_, "ReadUInt32", "%08x", value);
  return result;
}

HRESULT FieldReader::ReadUInt64(ISequentialReader* inStream, uint64_t& value) {
  const HRESULT result = ReadLittleEndian(inStream, kUInt64FieldSize, "ReadUInt64", value);
  lzmaLog_Interface.Verbose(logClass_, "ReadUInt64", "%016" PRIx64, value);
  return result;
}

HRESULT FieldReader::ReadString(ISequentialReader* inStream, std::string& string) {
  uint32_t length = 0;
  HRESULT result = ReadUInt32(inStream, length);
  string.clear();
  for (uint32_t i = 0; i < length && result == S_OK && !ended_; ++i) {
    uint8_t byte = 0;
    result = ReadByte(inStream, "ReadLPCTSTR", -1, byte);
    if (result == S_OK) string.push_back(static_cast<char>(byte));
  }
  lzmaLog_Interface.Verbose(logClass_, "ReadLPCTSTR", "%s", PrintableText(string.c_str()).c_str());
  return result;
}

HRESULT FieldReader::ReadEntry(ISequentialReader* inStream, DirectoryEntry& entry) {
  HRESULT result = ReadString(inStream, entry.name);
  if (result == S_OK) result = ReadUInt32(inStream, entry.reserved);
  if (result == S_OK) result = ReadUInt64(inStream, entry.size);
  return result;
}
