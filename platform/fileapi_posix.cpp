#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>
#include <typeinfo>

#include "platform/fileapi.h"
#include "platform/readahead.h"
#include "platform/sharelock.h"

namespace platform {

HandleObject* HandleObject::FromHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return static_cast<HandleObject*>(handle);
}

std::string ToPosixPath(const char* name) {
  std::string path(name);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace platform

namespace {

class FileObject final : public platform::HandleObject {
 public:
  FileObject(int fd, bool readable) : fd_(fd), readable_(readable) {}
  ~FileObject() override {
    if (fd_ >= 0) ::close(fd_);
  }
  // close(2) frees the descriptor even when it reports an error, so after a failed Close the
  // object holds nothing and the next Close succeeds.
  bool Close() override {
    if (fd_ < 0) return true;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      platform::SetLastErrorFromErrno();
      return false;
    }
    return true;
  }
  int fd() const { return fd_; }
  bool readable() const { return readable_; }

  // Only a handle that reads a regular file and keeps every writer away has a read-ahead block.
  bool EnableReadAhead() { return buffered_ = readAhead_.Allocate(); }
  platform::ReadAhead* readAhead() { return buffered_ ? &readAhead_ : nullptr; }

 private:
  int fd_;
  bool readable_;  // opened with GENERIC_READ
  bool buffered_ = false;
  platform::ReadAhead readAhead_;
};

// The open file behind a handle, or null with ERROR_INVALID_HANDLE.
FileObject* FileFromHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // The exact type, which costs far less than a dynamic_cast on every call: a directory reads
  // one byte per ReadFile.
  platform::HandleObject* object = platform::HandleObject::FromHandle(handle);
  if (typeid(*object) != typeid(FileObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<FileObject*>(object);
}

// A missing file is ERROR_FILE_NOT_FOUND; a missing folder on the way is ERROR_PATH_NOT_FOUND.
DWORD ErrorForOpen(int err, const std::string& path) {
  if (err == ENOENT) {
    std::string::size_type slash = path.find_last_of('/');
    if (slash != std::string::npos && slash != 0) {
      struct stat st;
      std::string parent = path.substr(0, slash);
      if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_FILE_NOT_FOUND;
  }
  if (err == EEXIST) return ERROR_FILE_EXISTS;
  if (err == ELOOP) return ERROR_CANT_RESOLVE_FILENAME;
  return platform::ErrorFromErrno(err);
}

// A valid descriptor that refuses a read or write was opened without that access.
void SetIoError() {
  if (errno == EBADF) {
    SetLastError(ERROR_ACCESS_DENIED);
  } else {
    platform::SetLastErrorFromErrno();
  }
}

class DescriptorSource : public platform::ReadAhead::Source {
 public:
  explicit DescriptorSource(int fd) : fd_(fd) {}
  long Read(void* data, size_t size) override {
    ssize_t n;
    do {
      n = ::read(fd_, data, size);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
  }

 private:
  int fd_;
};

int OpenRetrying(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// A handle that only writes is opened for reading too where the file allows it, because its share
// mark needs read access (sharelock.h); ReadFile still refuses it.
int OpenForAccess(const char* path, int flags) {
  if ((flags & O_ACCMODE) != O_WRONLY) return OpenRetrying(path, flags);
  const int fd = OpenRetrying(path, (flags & ~O_ACCMODE) | O_RDWR);
  if (fd >= 0 || errno != EACCES) return fd;
  return OpenRetrying(path, flags);
}

// Empties the file open on fd; a handle without write access truncates as open(2) would for it.
bool Truncate(int fd, const std::string& path, bool write) {
  if (write) return ::ftruncate(fd, 0) == 0;
  const int other = OpenRetrying(path.c_str(), O_RDONLY | O_TRUNC);
  if (other < 0) return false;
  ::close(other);
  return true;
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  if (fileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (fileName[0] == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = platform::ToPosixPath(fileName);

  int flags = (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0 ? O_NOFOLLOW : 0;
  const bool read = (desiredAccess & GENERIC_READ) != 0;
  const bool write = (desiredAccess & GENERIC_WRITE) != 0;
  if (read && write) {
    flags |= O_RDWR;
  } else if (write) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }

  // An existing file is truncated only once the sharing rules allow this handle.
  int fd = -1;
  bool existed = false;
  bool created = false;  // by this open, so that no other handle can be open on it
  bool truncate = false;
  switch (creationDisposition) {
    case CREATE_NEW:
      fd = OpenForAccess(path.c_str(), flags | O_CREAT | O_EXCL);
      created = fd >= 0;
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: {
      truncate = creationDisposition == CREATE_ALWAYS;
      fd = OpenForAccess(path.c_str(), flags | O_CREAT | O_EXCL);
      created = fd >= 0;
      if (fd < 0 && errno == EEXIST) {
        existed = true;
        fd = OpenForAccess(path.c_str(), flags);
        if (fd < 0 && errno == ENOENT) {  // removed in between: start again from nothing
          existed = false;
          fd = OpenForAccess(path.c_str(), flags | O_CREAT);
        }
      }
      break;
    }
    case OPEN_EXISTING:
      fd = OpenForAccess(path.c_str(), flags);
      break;
    case TRUNCATE_EXISTING:
      if (!write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      fd = OpenForAccess(path.c_str(), flags);
      truncate = true;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if (fd < 0) {
    SetLastError(ErrorForOpen(errno, path));
    return INVALID_HANDLE_VALUE;
  }

  // A file that this open created is a new regular file; any other may be a folder or a device.
  bool regular = created;
  if (!created) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      const int err = errno;
      ::close(fd);
      SetLastError(platform::ErrorFromErrno(err));
      return INVALID_HANDLE_VALUE;
    }
    if (S_ISDIR(st.st_mode)) {  // a folder is no file
      ::close(fd);
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    regular = S_ISREG(st.st_mode);
  }

  bool keepsWritersAway = false;
  // Truncating an existing file writes it, whatever the access asked for.
  const DWORD claimed = truncate && !created ? desiredAccess | GENERIC_WRITE : desiredAccess;
  if (!platform::TakeShare(fd, platform::ClaimFor(claimed, shareMode), created, keepsWritersAway)) {
    ::close(fd);
    return INVALID_HANDLE_VALUE;
  }
  if (truncate && regular && !created && !Truncate(fd, path, write)) {
    const int err = errno;
    ::close(fd);
    SetLastError(platform::ErrorFromErrno(err));
    return INVALID_HANDLE_VALUE;
  }

  auto* file = new (std::nothrow) FileObject(fd, read);
  if (file == nullptr || (keepsWritersAway && regular && !write && !file->EnableReadAhead())) {
    if (file != nullptr) {
      delete file;  // closes fd
    } else {
      ::close(fd);
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return file->ToHandle();
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD numberOfBytesToRead, LPDWORD numberOfBytesRead,
              LPOVERLAPPED /*overlapped*/) {
  if (numberOfBytesRead != nullptr) *numberOfBytesRead = 0;
  FileObject* file = FileFromHandle(handle);
  if (file == nullptr) return FALSE;
  if (!file->readable()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto* out = static_cast<unsigned char*>(buffer);
  if (platform::ReadAhead* readAhead = file->readAhead()) {
    uint32_t got = 0;
    DescriptorSource source(file->fd());
    const bool ok = readAhead->Read(source, out, numberOfBytesToRead, got);
    if (!ok) SetIoError();
    if (numberOfBytesRead != nullptr) *numberOfBytesRead = got;
    return ok ? TRUE : FALSE;
  }
  DWORD total = 0;
  // A regular file gives everything up to its end in one go; a pipe may need several reads.
  while (total < numberOfBytesToRead) {
    ssize_t n = ::read(file->fd(), out + total, numberOfBytesToRead - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetIoError();
      if (numberOfBytesRead != nullptr) *numberOfBytesRead = total;
      return FALSE;
    }
    if (n == 0) break;
    total += static_cast<DWORD>(n);
  }
  if (numberOfBytesRead != nullptr) *numberOfBytesRead = total;
  return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD numberOfBytesToWrite,
               LPDWORD numberOfBytesWritten, LPOVERLAPPED /*overlapped*/) {
  if (numberOfBytesWritten != nullptr) *numberOfBytesWritten = 0;
  FileObject* file = FileFromHandle(handle);
  if (file == nullptr) return FALSE;
  const auto* in = static_cast<const unsigned char*>(buffer);
  DWORD total = 0;
  while (total < numberOfBytesToWrite) {
    ssize_t n = ::write(file->fd(), in + total, numberOfBytesToWrite - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetIoError();
      if (numberOfBytesWritten != nullptr) *numberOfBytesWritten = total;
      return FALSE;
    }
    if (n == 0) {  // no progress and no reason given: the device is full
      SetLastError(ERROR_DISK_FULL);
      if (numberOfBytesWritten != nullptr) *numberOfBytesWritten = total;
      return FALSE;
    }
    total += static_cast<DWORD>(n);
  }
  if (numberOfBytesWritten != nullptr) *numberOfBytesWritten = total;
  return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distanceToMove, PLONG distanceToMoveHigh,
                     DWORD moveMethod) {
  FileObject* file = FileFromHandle(handle);
  if (file == nullptr) return INVALID_SET_FILE_POINTER;
  int64_t distance;
  if (distanceToMoveHigh != nullptr) {
    const uint64_t bits =
        (static_cast<uint64_t>(static_cast<uint32_t>(*distanceToMoveHigh)) << 32) |
        static_cast<uint32_t>(distanceToMove);
    distance = static_cast<int64_t>(bits);
  } else {
    distance = distanceToMove;
  }

  // With a read-ahead block the system position stands at the block's end, behind the bytes
  // that the caller has not yet read.
  platform::ReadAhead* readAhead = file->readAhead();
  off_t system = -1;
  if (moveMethod == FILE_CURRENT || (readAhead != nullptr && readAhead->Buffered() > 0)) {
    system = ::lseek(file->fd(), 0, SEEK_CUR);
    if (system < 0) {
      platform::SetLastErrorFromErrno();
      return INVALID_SET_FILE_POINTER;
    }
  }
  int64_t base;
  switch (moveMethod) {
    case FILE_BEGIN:
      base = 0;
      break;
    case FILE_CURRENT:
      base = system - (readAhead != nullptr ? readAhead->Buffered() : 0);
      break;
    case FILE_END: {
      struct stat st;
      if (::fstat(file->fd(), &st) != 0) {
        platform::SetLastErrorFromErrno();
        return INVALID_SET_FILE_POINTER;
      }
      base = st.st_size;
      break;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }

  // Work out the target first, so that a refused move leaves the pointer where it was.
  if ((distance > 0 && base > INT64_MAX - distance) || base + distance < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  const int64_t target = base + distance;
  if (distanceToMoveHigh == nullptr && target > static_cast<int64_t>(UINT32_MAX) - 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  uint64_t position;
  if (readAhead != nullptr && system >= 0 &&
      readAhead->SeekInside(static_cast<uint64_t>(target), static_cast<uint64_t>(system))) {
    position = static_cast<uint64_t>(target);  // inside the block: the system position stays
  } else {
    off_t reached = ::lseek(file->fd(), static_cast<off_t>(target), SEEK_SET);
    if (reached < 0) {
      platform::SetLastErrorFromErrno();
      return INVALID_SET_FILE_POINTER;
    }
    if (readAhead != nullptr) readAhead->Drop();
    position = static_cast<uint64_t>(reached);
  }
  if (distanceToMoveHigh != nullptr) {
    *distanceToMoveHigh = static_cast<LONG>(static_cast<uint32_t>(position >> 32));
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(position & 0xFFFFFFFFu);
}

DWORD GetFileSize(HANDLE handle, LPDWORD fileSizeHigh) {
  FileObject* file = FileFromHandle(handle);
  if (file == nullptr) return INVALID_FILE_SIZE;
  struct stat st;
  if (::fstat(file->fd(), &st) != 0) {
    platform::SetLastErrorFromErrno();
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  if (fileSizeHigh != nullptr) *fileSizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE handle) {
  FileObject* file = FileFromHandle(handle);
  if (file == nullptr) return FALSE;
  off_t current = ::lseek(file->fd(), 0, SEEK_CUR);
  if (current < 0 || ::ftruncate(file->fd(), current) != 0) {
    platform::SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR fileName) {
  if (fileName == nullptr || fileName[0] == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  const std::string path = platform::ToPosixPath(fileName);
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    SetLastError(ErrorForOpen(errno, path));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = 0;
  if (S_ISLNK(st.st_mode)) {
    attributes = FILE_ATTRIBUTE_REPARSE_POINT;
    struct stat target;
    if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
      attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
  } else if (S_ISDIR(st.st_mode)) {
    attributes = FILE_ATTRIBUTE_DIRECTORY;
  } else if (!S_ISREG(st.st_mode)) {
    attributes = FILE_ATTRIBUTE_DEVICE;
  }
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  SetLastError(ERROR_SUCCESS);
  return attributes;
}

BOOL DeleteFileA(LPCSTR fileName) {
  if (fileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string path = platform::ToPosixPath(fileName);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);  // a folder is no file
    return FALSE;
  }
  if (::unlink(path.c_str()) != 0) {
    SetLastError(ErrorForOpen(errno, path));
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR pathName) {
  if (pathName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string path = platform::ToPosixPath(pathName);
  struct stat st;
  const bool link = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  struct stat target;
  if (link && (::stat(path.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))) {
    SetLastError(ERROR_DIRECTORY);  // a link to a file is removed with DeleteFileA
    return FALSE;
  }
  if ((link ? ::unlink(path.c_str()) : ::rmdir(path.c_str())) != 0) {
    SetLastError(errno == ENOTDIR ? ERROR_DIRECTORY : ErrorForOpen(errno, path));
    return FALSE;
  }
  return TRUE;
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
  if (existingFileName == nullptr || newFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string from = platform::ToPosixPath(existingFileName);
  const std::string to = platform::ToPosixPath(newFileName);
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) {
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  if (::rename(from.c_str(), to.c_str()) != 0) {
    SetLastError(ErrorForOpen(errno, from));
    return FALSE;
  }
  return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
  FileObject* file = FileFromHandle(handle);
  if (file == nullptr) return FALSE;
  if (information == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st;
  if (::fstat(file->fd(), &st) != 0) {
    platform::SetLastErrorFromErrno();
    return FALSE;
  }
  *information = BY_HANDLE_FILE_INFORMATION{};
  information->dwFileAttributes =
      S_ISREG(st.st_mode) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_DEVICE;
  const auto device = static_cast<uint64_t>(st.st_dev);
  information->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
  const auto size = static_cast<uint64_t>(st.st_size);
  information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  information->nFileSizeLow = static_cast<DWORD>(size);
  information->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  const auto index = static_cast<uint64_t>(st.st_ino);
  information->nFileIndexHigh = static_cast<DWORD>(index >> 32);
  information->nFileIndexLow = static_cast<DWORD>(index);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  platform::HandleObject* object = platform::HandleObject::FromHandle(handle);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // A failed Close keeps the object, so that an owner that still holds the handle can retry
  // without touching freed memory.
  if (!object->Close()) return FALSE;
  delete object;
  return TRUE;
}
