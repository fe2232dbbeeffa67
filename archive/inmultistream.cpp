#include "archive/inmultistream.h"

#include "archive/layout.h"
#include "log/log.h"

namespace {
const char kClass[] = "CInMultiFileStream";
}  // namespace

HRESULT CInMultiFileStream::AddFile(const char* name) {
  names.emplace_back(name);
  return S_OK;
}

HRESULT CInMultiFileStream::WriteUInt32(ISequentialWriter* outStream, uint32_t value) {
  return WriteUInt32Field(outStream, value, kClass);
}

HRESULT CInMultiFileStream::WriteUInt64(ISequentialWriter* outStream, uint64_t value) {
  return WriteUInt64Field(outStream, value, kClass);
}

HRESULT CInMultiFileStream::WriteLPCTSTR(ISequentialWriter* outStream, const char* string) {
  return WriteStringField(outStream, string, kClass);
}

HRESULT CInMultiFileStream::WriteDirectory(ISequentialWriter* outStream) {
  LogScope scope(lzmaLog_Interface, kClass, "WriteDirectory");
  HRESULT result = WriteUInt32Field(outStream, static_cast<uint32_t>(names.size()), kClass);
  for (size_t i = 0; i < names.size() && result == S_OK; ++i) {
    uint64_t length = 0;
    {
      CInputFile file;
      if (!file.Open(names[i].c_str())) {
        result = E_FAIL;
      } else {
        if (!file.GetLength(length)) result = E_FAIL;
        file.Close();
      }
    }
    if (result != S_OK) break;
    result = WriteDirectoryEntry(outStream, DirectoryEntry{names[i], 0, length}, kClass);
  }
  return result;
}

HRESULT CInMultiFileStream::Read(void* data, uint32_t size, uint32_t* processed) {
  LogScope scope(lzmaLog_Interface, kClass, "Read");
  if (processed == nullptr) return E_FAIL;
  *processed = 0;
  HRESULT result = S_OK;
  for (;;) {
    if (!fileOpen) {
      if (nextIndex >= static_cast<int32_t>(names.size())) return S_OK;  // end of the data
      const char* name = names[static_cast<size_t>(nextIndex)].c_str();
      lzmaLog_Interface.Verbose(kClass, "Read", "Opening: %s", name);
      if (!File.Open(name)) {
        lzmaLog_Interface.Error(kClass, "Read", "Opening: %s failed", name);
        result = E_FAIL;
        break;
      }
      fileOpen = true;
      ++nextIndex;
    }
    uint32_t count = 0;
    if (!File.Read(data, size, count)) {
      lzmaLog_Interface.Error(kClass, "Read", "File.Read failed");
      result = E_FAIL;
    } else if (count == 0) {  // this file is used up: go on with the next in the same call
      File.Close();
      fileOpen = false;
      continue;
    } else {
      *processed = count;
    }
    // Close the file as soon as its end is reached, so that the next call starts the next file.
    uint64_t position = 0;
    uint64_t length = 0;
    if (!File.GetPosition(position) || !File.GetLength(length)) {
      lzmaLog_Interface.Error(kClass, "Read", "File.GetPosition || File.GetLength failed");
      result = E_FAIL;
    } else if (position >= length) {
      lzmaLog_Interface.VVerbose(kClass, "Read", "Closing file");
      File.Close();
      fileOpen = false;
    }
    break;
  }
  lzmaLog_Interface.VVerbose(kClass, "Read", "Returning %d bytes", static_cast<int>(*processed));
  return result;
}
