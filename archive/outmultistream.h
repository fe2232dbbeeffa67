// COutMultiFileStream is the receiving end of extraction: it reads the archive directory into a
// list of entries (printing the names when a listing is wanted) and then cuts the decoded data
// stream at the directory's sizes into files that it creates one after another.
//
// Safe names: unless SetPreservePath(true) was called, a member whose stored name is unsafe
// (IsUnsafeMemberName, archive/membername.h) or whose folder part leads through a symbolic link
// is not created; its bytes are consumed and dropped, with one Error line naming it, and
// extraction goes on. What is under a member's name already is replaced, never written through
// (a link, another name of the file: archive/memberplace.h). A member that names the archive
// being read (SetArchive), or whose name holds a pipe, a socket or a device, is dropped the same
// way, with or without SetPreservePath. Log lines show stored names with their control bytes
// escaped (log/printable.h); the listing prints them as stored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/file.h"
#include "archive/layout.h"
#include "archive/memberplace.h"
#include "base/refcounted.h"
#include "base/streams.h"

// QueryInterface answers no identity.
class COutMultiFileStream : public CRefCounted<FaceQuery::kNone, ISequentialWriter> {
 public:
  COutMultiFileStream() = default;
  ~COutMultiFileStream() override = default;

  // Places the data into the directory's files in order. Once every file is complete the rest is
  // refused: S_OK with *processed below size. processed must not be null.
  HRESULT Write(const void* data, uint32_t size, uint32_t* processed) override;

  // The operations from here to ReadLPCTSTR are virtual for the layout of the object's virtual
  // table, which the design fixes (destructor, AddFile, SetCreatePath, SetWriteTOC, ReadDirectory,
  // the three field readers); nothing overrides them.
  virtual HRESULT AddFile(const char* name, uint64_t size, uint32_t reserved);
  // Members' missing folders are made, each logged (archive/memberplace.h); without it no folder
  // is ever made.
  virtual HRESULT SetCreatePath();
  // ReadDirectory prints every name on standard output.
  virtual HRESULT SetWriteTOC();
  // Reads the file count and the entries from the current position of inStream. Stops at the end
  // of the archive: the missing byte is reported once and the result is E_FAIL; the entry being
  // read is dropped.
  virtual HRESULT ReadDirectory(ISequentialReader* inStream);

  // The field readers of archive/layout.h, on this stream's record of the archive's end.
  virtual HRESULT ReadUInt32(ISequentialReader* inStream, uint32_t& value);
  virtual HRESULT ReadUInt64(ISequentialReader* inStream, uint64_t& value);
  // The string handed out is nameBuffer_: valid until the next ReadLPCTSTR or the destruction.
  virtual HRESULT ReadLPCTSTR(ISequentialReader* inStream, const char*& string);

  // With true, stored names are used as they stand, unsafe ones and links included.
  void SetPreservePath(bool preserve) {
    preservePath_ = preserve;
    place_.SetFollowLinks(preserve);
  }
  // The archive being read: no member is written over it.
  void SetArchive(const FileIdentity& archive) { place_.SetArchive(archive); }

  // The name of the first directory entry that was not completely written (created short, or not
  // created at all), or null when every entry is complete. A member dropped for its unsafe name
  // counts as complete once all its bytes have arrived.
  const char* FirstIncompleteMember() const;
  // Bytes refused by Write because every member was complete. A sound archive leaves only the
  // few bytes that the decoder puts out beyond the data (the decoder publishes how many at most);
  // more tell that the data stream is longer than the directory says.
  uint64_t RefusedBytes() const { return refusedBytes_; }
  // True once a read inside the directory met the end of the archive.
  bool DirectoryEnded() const { return reader_.Ended(); }
  size_t FileCount() const { return entries_.size(); }
  // Whether a write into a member failed.
  bool WriteFailed() const { return writeFailed_; }
  // The members that no Write reached: not even created.
  size_t MembersNotReached() const { return entries_.size() - static_cast<size_t>(nextIndex_); }
  // The sum of the directory's sizes (UINT64_MAX when it does not fit): the data that matter.
  uint64_t DataSize() const;

  COutputFile File;

 private:
  // Creates the file of the entry at nextIndex_, or, when it must not or cannot be created, makes
  // ready to drop its bytes; either way the entry becomes the one being filled.
  void OpenNextMember();
  // Logs the system's text for the first write into a member that failed; later ones add nothing.
  void ReportWriteFailure(DWORD error);

  std::vector<DirectoryEntry> entries_;
  bool fileOpen_ = false;
  int32_t nextIndex_ = 0;
  uint64_t fileSize_ = 0;
  uint64_t fileSizeCurrent_ = 0;
  bool createPath_ = false;
  bool writeTOC_ = false;
  std::string nameBuffer_;

  bool preservePath_ = false;
  CMemberPlace place_;
  bool dropping_ = false;     // the member being filled is not written: unsafe name or not created
  bool writeFailed_ = false;  // a write into a member failed (and was reported)
  int32_t firstNotCreated_ = -1;  // index of the first member whose file could not be created
  FieldReader reader_{"COutMultiFileStream"};
  uint64_t refusedBytes_ = 0;
};
