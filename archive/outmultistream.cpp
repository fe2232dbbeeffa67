#include "archive/outmultistream.h"

#include <cstdio>
#include <string>

#include "archive/membername.h"
#include "log/log.h"
#include "log/printable.h"

namespace {
const char kClass[] = "COutMultiFileStream";
}  // namespace

HRESULT COutMultiFileStream::AddFile(const char* name, uint64_t size, uint32_t reserved) {
  entries_.push_back(DirectoryEntry{name, reserved, size});
  return S_OK;
}

HRESULT COutMultiFileStream::SetCreatePath() {
  createPath_ = true;
  place_.SetCreateFolders(true);
  return S_OK;
}

HRESULT COutMultiFileStream::SetWriteTOC() {
  writeTOC_ = true;
  return S_OK;
}

HRESULT COutMultiFileStream::ReadUInt32(ISequentialReader* inStream, uint32_t& value) {
  return reader_.ReadUInt32(inStream, value);
}

HRESULT COutMultiFileStream::ReadUInt64(ISequentialReader* inStream, uint64_t& value) {
  return reader_.ReadUInt64(inStream, value);
}

HRESULT COutMultiFileStream::ReadLPCTSTR(ISequentialReader* inStream, const char*& string) {
  const HRESULT result = reader_.ReadString(inStream, nameBuffer_);
  string = nameBuffer_.c_str();
  return result;
}

// Entries are taken in archive order and checked for nothing; the entry that the end of the archive
// cut short is dropped.
HRESULT COutMultiFileStream::ReadDirectory(ISequentialReader* inStream) {
  LogScope scope(lzmaLog_Interface, kClass, "ReadDirectory");
  uint32_t count = 0;
  HRESULT result = reader_.ReadUInt32(inStream, count);
  for (uint32_t i = 0; i < count && result == S_OK && !reader_.Ended(); ++i) {
    DirectoryEntry entry;
    result = reader_.ReadEntry(inStream, entry);
    if (result == S_OK && !reader_.Ended()) {
      // A zero byte inside a name ends it, as in a terminated string.
      AddFile(entry.name.c_str(), entry.size, entry.reserved);
      if (writeTOC_) {
        std::fprintf(stdout, "%s\n", entry.name.c_str());
        std::fflush(stdout);
      }
    }
  }
  if (result == S_OK && reader_.Ended()) result = E_FAIL;
  return result;
}

void COutMultiFileStream::OpenNextMember() {
  const DirectoryEntry& entry = entries_[static_cast<size_t>(nextIndex_)];
  const char* name = entry.name.c_str();
  const bool unsafe = !preservePath_ && IsUnsafeMemberName(name);
  const MemberPlaceResult placed =
      unsafe ? MemberPlaceResult::kThroughLink : place_.Create(name, File);
  // Log lines show the name with its control bytes escaped; a member created without a line that
  // shows it needs none.
  const bool quiet =
      placed == MemberPlaceResult::kCreated && !lzmaLog_Interface.IsEnabled(LogLevelVerbose);
  const std::string shown = quiet ? std::string() : PrintableText(name);
  const char* refusal = nullptr;
  for (size_t i = 0; !unsafe && i < place_.MadeFolders().size(); ++i) {
    lzmaLog_Interface.Verbose(kClass, "Write", "Creating folder: %s",
                              PrintableText(place_.MadeFolders()[i].c_str()).c_str());
  }
  switch (placed) {
    case MemberPlaceResult::kCreated:
    case MemberPlaceResult::kFailed:
      lzmaLog_Interface.Verbose(kClass, "Write", "Creating: %s", shown.c_str());
      break;
    case MemberPlaceResult::kThroughLink:
      refusal = "Unsafe name";
      break;
    case MemberPlaceResult::kNamesArchive:
      refusal = "Names the archive being read";
      break;
    case MemberPlaceResult::kNotAFile:
      refusal = "Not a regular file";
      break;
  }
  if (refusal != nullptr) {
    lzmaLog_Interface.Error(kClass, "Write", "%s, not extracted: %s", refusal, shown.c_str());
  }
  if (placed == MemberPlaceResult::kCreated && place_.Supplanted() != nullptr) {
    lzmaLog_Interface.Warning(
        kClass, "Write", "Member %s replaces %s: the names differ only in letter case",
        PrintableText(name).c_str(), PrintableText(place_.Supplanted()->c_str()).c_str());
  }
  // A member that cannot be created (missing folder, access denied, invalid name) is reported
  // and its bytes are passed over, so that the members behind it still arrive.
  if (placed == MemberPlaceResult::kFailed) {
    lzmaLog_Interface.Error(kClass, "Write", "Creating: %s failed", shown.c_str());
    if (firstNotCreated_ < 0) firstNotCreated_ = nextIndex_;
  }
  dropping_ = placed != MemberPlaceResult::kCreated;
  fileSize_ = entry.size;
  fileSizeCurrent_ = 0;
  ++nextIndex_;
  fileOpen_ = true;
}

void COutMultiFileStream::ReportWriteFailure(DWORD error) {
  if (writeFailed_) return;
  writeFailed_ = true;
  const std::string shown =
      PrintableText(entries_[static_cast<size_t>(nextIndex_ - 1)].name.c_str());
  lzmaLog_Interface.Error(kClass, "Write", "Writing: %s failed: %s", shown.c_str(),
                          SystemErrorText(error).c_str());
}

HRESULT COutMultiFileStream::Write(const void* data, uint32_t size, uint32_t* processed) {
  LogScope scope(lzmaLog_Interface, kClass, "Write");
  if (processed == nullptr) return E_FAIL;
  *processed = 0;
  const auto* position = static_cast<const uint8_t*>(data);
  uint32_t remaining = size;
  HRESULT result = S_OK;
  while (remaining > 0 && result == S_OK) {
    if (!fileOpen_) {
      if (nextIndex_ >= static_cast<int32_t>(entries_.size())) {  // the rest is refused
        refusedBytes_ += remaining;
        return S_OK;
      }
      OpenNextMember();
    }
    const uint64_t lacking = fileSize_ - fileSizeCurrent_;
    const uint32_t chunk = lacking < remaining ? static_cast<uint32_t>(lacking) : remaining;
    uint32_t written = chunk;
    if (!dropping_ && !File.Write(position, chunk, written)) {
      const DWORD error = ::GetLastError();
      ReportWriteFailure(error);
      result = error != 0 ? static_cast<HRESULT>(error) : E_FAIL;
      break;
    }
    if (written == 0 && chunk > 0) {  // no progress without a reported failure
      result = E_FAIL;
      break;
    }
    *processed += written;
    fileSizeCurrent_ += written;
    remaining -= written;
    position += written;
    if (fileSizeCurrent_ == fileSize_) {
      if (!dropping_) File.Close();
      dropping_ = false;
      fileOpen_ = false;
    }
  }
  return result;
}

uint64_t COutMultiFileStream::DataSize() const {
  uint64_t total = 0;
  for (const DirectoryEntry& entry : entries_) {
    if (entry.size > UINT64_MAX - total) return UINT64_MAX;
    total += entry.size;
  }
  return total;
}

const char* COutMultiFileStream::FirstIncompleteMember() const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    const auto index = static_cast<int32_t>(i);
    const bool created = index < nextIndex_;
    const bool beingFilled = fileOpen_ && index == nextIndex_ - 1 && fileSizeCurrent_ < fileSize_;
    if (!created || beingFilled || index == firstNotCreated_) return entries_[i].name.c_str();
  }
  return nullptr;
}
