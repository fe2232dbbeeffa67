// The file object: a thin owner of one open system file. Every operation reports success as a
// bool and leaves the system's last-error code (GetLastError) on failure.
//
// Two halves behind this header. file_win32.cpp is the Win32 file API on a HANDLE, every name
// reaching it in the one form of archive/longpath.h. file_posix.cpp works on a descriptor, with the
// Win32 codes for its failures; since the directory of an archive is read one byte per call, an
// input file of the POSIX half reads a regular file through a read-ahead block
// (archive/readahead.h), with the positions, counts and results of unbuffered reads.
#pragma once

#include <cstdint>

#include "archive/readahead.h"
#include "platform/wintypes.h"

// The system's handle of an open file: a HANDLE on Windows, a descriptor elsewhere.
#ifdef _WIN32
typedef HANDLE NativeFile;
#else
typedef int NativeFile;
#endif

// The value that stands for no open file.
NativeFile NoNativeFile();
// Closes a handle that no file object owns (a folder held while members are placed, say).
void CloseNativeFile(NativeFile file);

// Which file an open handle stands for: handles on the same file, whatever names they were opened
// by, have equal identities.
struct FileIdentity {
  uint32_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index == other.index;
  }
};

class CFileHandle {
 public:
  // Seek origins.
  enum : uint32_t { kFromBeginning = 0, kFromCurrent = 1, kFromEnd = 2 };

  CFileHandle();
  virtual ~CFileHandle();
  CFileHandle(const CFileHandle&) = delete;
  CFileHandle& operator=(const CFileHandle&) = delete;

  // Closes the handle; true when nothing was open. A failed close leaves the object open.
  virtual bool Close();

  // Closes first, then takes over a file that the caller opened for writing; returns whether it
  // is open.
  bool Adopt(NativeFile opened);

  // Moves by distance from origin (kFromBeginning, kFromCurrent or kFromEnd) and stores the new
  // position; on failure position is not written.
  bool Seek(int64_t distance, uint32_t origin, uint64_t& position);
  // Moves to an absolute target.
  bool Seek(uint64_t target, uint64_t& position);
  bool GetPosition(uint64_t& position);
  bool GetLength(uint64_t& length);
  // Cuts the file at the current position.
  bool SetEndOfFile();
  bool GetIdentity(FileIdentity& identity);
  // Whether the file is one on disk, not a pipe or a device.
  bool IsDiskFile();

  bool IsOpen() const { return isOpen; }
  NativeFile Handle() const { return handle; }

 protected:
  // The system's own seek, without the read-ahead block.
  bool SystemSeek(int64_t distance, uint32_t origin, uint64_t& position);

  bool isOpen = false;
  NativeFile handle;
  ReadAhead readAhead_;
  bool readsAhead_ = false;  // reads go through readAhead_
};

class CInputFile : public CFileHandle {
 public:
  // Opens an existing file for shared reading; a folder is no file.
  bool Open(const char* name);
  // Reads up to size bytes, all of them unless the file ends first; processed is the count
  // (0 at the end of the file).
  bool Read(void* data, uint32_t size, uint32_t& processed);
};

class COutputFile : public CFileHandle {
 public:
  // Creates a file for writing with shared reading; replace empties an existing file, otherwise an
  // existing file makes it fail.
  bool Create(const char* name, bool replace);
  // Writes size bytes; processed is the count written, also when it fails.
  bool Write(const void* data, uint32_t size, uint32_t& processed);
  // Moves to length and cuts (or extends) the file there.
  bool SetLength(uint64_t length);
};
