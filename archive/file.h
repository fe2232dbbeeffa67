// The file object: a thin owner of one system file handle, without any buffering of its own.
// Every operation reports success as a bool and leaves the system's last-error code on failure.
#pragma once

#include <cstdint>

#include "platform/fileapi.h"

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
  CFileHandle() = default;
  virtual ~CFileHandle();
  CFileHandle(const CFileHandle&) = delete;
  CFileHandle& operator=(const CFileHandle&) = delete;

  // Closes the handle; true when nothing was open. A failed close leaves the object open.
  virtual bool Close();

  // Closes first, then takes over a handle that the caller opened; returns whether it is open.
  bool Adopt(HANDLE opened);
  // Closes first, then opens with CreateFileA; returns whether the file is open.
  bool OpenHandle(const char* name, DWORD access, DWORD shareMode, DWORD creationDisposition,
                  DWORD attributes);

  // Moves by distance from origin (FILE_BEGIN, FILE_CURRENT or FILE_END) and stores the new
  // position; on failure position is not written.
  bool Seek(int64_t distance, DWORD origin, uint64_t& position);
  // Moves to an absolute target.
  bool Seek(uint64_t target, uint64_t& position);
  bool GetPosition(uint64_t& position);
  bool GetLength(uint64_t& length);
  // Cuts the file at the current position.
  bool SetEndOfFile();
  bool GetIdentity(FileIdentity& identity);

  bool IsOpen() const { return isOpen; }
  HANDLE Handle() const { return handle; }

 protected:
  bool isOpen = false;
  HANDLE handle = INVALID_HANDLE_VALUE;
};

class CInputFile : public CFileHandle {
 public:
  // Opens an existing file for shared reading.
  bool Open(const char* name);
  // One ReadFile; processed is the count it reports (0 at the end of the file).
  bool Read(void* data, uint32_t size, uint32_t& processed);
};

class COutputFile : public CFileHandle {
 public:
  // Creates a file for writing with shared reading; replace empties an existing file, otherwise an
  // existing file makes it fail.
  bool Create(const char* name, bool replace);
  // One WriteFile; processed is the count it reports.
  bool Write(const void* data, uint32_t size, uint32_t& processed);
  // Moves to length and cuts (or extends) the file there.
  bool SetLength(uint64_t length);
};
