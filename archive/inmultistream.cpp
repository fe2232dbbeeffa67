#include "archive/inmultistream.h"

#include <cstring>

#include "archive/layout.h"
#include "log/log.h"
#include "log/printable.h"

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
  sizes.clear();
  HRESULT result = WriteUInt32Field(outStream, static_cast<uint32_t>(names.size()), kClass);
  for (size_t i = 0; i < names.size() && result == S_OK; ++i) {
    uint64_t length = 0;
    {
      CInputFile file;
      if (!file.Open(names[i].c_str())) {
        // Nothing is read after a failed directory: this is the line that names the file.
        ReportOpenFailure("WriteDirectory", names[i].c_str());
        result = E_FAIL;
      } else if (!file.IsDiskFile()) {
        // What became a pipe or a device after the expansion may never end: it is not read.
        lzmaLog_Interface.Error(kClass, "WriteDirectory", "Not a regular file: %s",
                                PrintableText(names[i].c_str()).c_str());
        result = E_FAIL;
      } else if (!file.GetLength(length)) {
        result = E_FAIL;
      }
    }
    if (result != S_OK) break;
    sizes.push_back(length);
    result = WriteDirectoryEntry(outStream, DirectoryEntry{names[i], 0, length}, kClass);
  }
  return result;
}

uint64_t CInMultiFileStream::DataSize() const {
  uint64_t total = 0;
  for (uint64_t size : sizes) total += size;  // file sizes: far below 2^64 together
  return total;
}

void CInMultiFileStream::ReportSizeChange() {
  ++changedFiles;
  const std::string shown = PrintableText(names[static_cast<size_t>(nextIndex - 1)].c_str());
  lzmaLog_Interface.Error(kClass, "Read", "Size changed while packing: %s", shown.c_str());
}

void CInMultiFileStream::ReportOpenFailure(const char* method, const char* name) {
  const DWORD error = GetLastError();
  lzmaLog_Interface.Error(kClass, method, "Opening: %s failed: %s", PrintableText(name).c_str(),
                          SystemErrorText(error).c_str());
}

bool CInMultiFileStream::OpenNextFile() {
  const char* name = names[static_cast<size_t>(nextIndex)].c_str();
  const std::string shown = PrintableText(name);
  lzmaLog_Interface.Verbose(kClass, "Read", "Opening: %s", shown.c_str());
  if (!File.Open(name)) {
    ReportOpenFailure("Read", name);
    return false;
  }
  measured = static_cast<size_t>(nextIndex) < sizes.size();
  remaining = measured ? sizes[static_cast<size_t>(nextIndex)] : 0;
  fileOpen = true;
  ++nextIndex;
  return true;
}

void CInMultiFileStream::CloseFile(bool changed) {
  if (changed) ReportSizeChange();
  filling = measured && remaining > 0;
  File.Close();
  fileOpen = false;
}

HRESULT CInMultiFileStream::Read(void* data, uint32_t size, uint32_t* processed) {
  LogScope scope(lzmaLog_Interface, kClass, "Read");
  if (processed == nullptr) return E_FAIL;
  *processed = 0;
  HRESULT result = S_OK;
  for (;;) {
    if (filling) {  // the file shrank: zeros up to its size in the directory
      const uint32_t count = remaining < size ? static_cast<uint32_t>(remaining) : size;
      std::memset(data, 0, count);
      *processed = count;
      remaining -= count;
      filling = remaining > 0;
      break;
    }
    if (!fileOpen) {
      if (nextIndex >= static_cast<int32_t>(names.size())) return S_OK;  // end of the data
      if (!OpenNextFile()) {
        result = E_FAIL;
        break;
      }
    }
    // A measured file gives no more than its size in the directory; at that size, one more read
    // tells whether it grew.
    const uint32_t ask =
        measured && remaining > 0 && remaining < size ? static_cast<uint32_t>(remaining) : size;
    uint32_t count = 0;
    if (!File.Read(data, ask, count)) {
      lzmaLog_Interface.Error(kClass, "Read", "File.Read failed");
      result = E_FAIL;
    } else if (count == 0 || (measured && remaining == 0)) {
      // This file is used up (or grew beyond its size, and is cut there): go on with the next in
      // the same call, after the zeros that make up a file that shrank.
      CloseFile(count != 0 || remaining > 0);
      continue;
    } else {
      *processed = count;
      if (measured) remaining -= count;
    }
    // Close the file as soon as its end is reached, so that the next call starts the next file.
    uint64_t position = 0;
    uint64_t length = 0;
    if (!File.GetPosition(position) || !File.GetLength(length)) {
      lzmaLog_Interface.Error(kClass, "Read", "File.GetPosition || File.GetLength failed");
      result = E_FAIL;
    } else if (position >= length || (measured && remaining == 0 && length > position)) {
      // The end of the file, or of its size in the directory when it grew: either ends it.
      lzmaLog_Interface.VVerbose(kClass, "Read", "Closing file");
      CloseFile(measured && (remaining > 0 || length > position));
    }
    break;
  }
  lzmaLog_Interface.VVerbose(kClass, "Read", "Returning %d bytes", static_cast<int>(*processed));
  return result;
}
