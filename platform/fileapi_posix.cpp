#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>

#include "platform/fileapi.h"
#include "platform/readahead.h"

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

bool HasSeparator(const std::string& path) {
  return path.find('/') != std::string::npos;
}

DWORD ErrorForPath(int err, const std::string& path) {
  if (err != ENOENT) return ErrorFromErrno(err);
  const std::string::size_type slash = path.find_last_of('/');
  if (slash == path.size() - 1) return ERROR_PATH_NOT_FOUND;
  if (slash != std::string::npos && slash != 0) {
    struct stat st;
    const std::string parent = path.substr(0, slash);
    if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  }
  return ERROR_FILE_NOT_FOUND;
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
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      platform::SetLastErrorFromErrno();
      return false;
    }
    return true;
  }
  int fd() const { return fd_; }
  bool readable() const { return readable_; }

  // Without memory for the block the handle reads unbuffered.
  void EnableReadAhead() { buffered_ = readAhead_.Allocate(); }
  platform::ReadAhead* readAhead() { return buffered_ ? &readAhead_ : nullptr; }

 private:
  int fd_;
  bool readable_;  // opened with GENERIC_READ
  bool buffered_ = false;
  platform::ReadAhead readAhead_;
};

// The open file behind a handle, or null with ERROR_INVALID_HANDLE.
FileObject* FileFromHandle(HANDLE handle) {
  return platform::HandleObject::As<FileObject>(handle);
}

}  // namespace

HANDLE platform::HandleForDescriptor(int fd, bool readable) {
  auto* file = new (std::nothrow) FileObject(fd, readable);
  if (file == nullptr) {
    ::close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  return file->ToHandle();
}

int platform::DescriptorOf(HANDLE handle) {
  FileObject* file = FileFromHandle(handle);
  return file != nullptr ? file->fd() : -1;
}

namespace {

// A valid descriptor that refuses a read or write was opened without that access.
void SetIoError() {
  if (errno == EBADF) {
    SetLastError(ERROR_ACCESS_DENIED);
  } else {
    platform::SetLastErrorFromErrno();
  }
}

ssize_t ReadRetrying(int fd, void* data, size_t size) {
  return platform::RetryInterrupted([&] { return ::read(fd, data, size); });
}

class DescriptorSource : public platform::ReadAhead::Source {
 public:
  explicit DescriptorSource(int fd) : fd_(fd) {}
  long Read(void* data, size_t size) override {
    return static_cast<long>(ReadRetrying(fd_, data, size));
  }

 private:
  int fd_;
};

// The open(2) flags for an access and a disposition; -1 for an unknown disposition.
int OpenFlags(DWORD desiredAccess, DWORD creationDisposition) {
  const bool read = (desiredAccess & GENERIC_READ) != 0;
  const bool write = (desiredAccess & GENERIC_WRITE) != 0;
  int flags = (read && write ? O_RDWR : (write ? O_WRONLY : O_RDONLY)) | O_NONBLOCK;
  switch (creationDisposition) {
    case CREATE_NEW:
      return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
      return flags | O_CREAT | O_TRUNC;
    case OPEN_EXISTING:
      return flags;
    default:
      return -1;
  }
}

// A descriptor that only reads may have opened a folder, which is no file, or a regular file that
// reads ahead when its share mode denies writing. false, with the last error, for a folder.
bool CheckReadOnlyOpen(int fd, bool& readsAhead, DWORD shareMode) {
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    platform::SetLastErrorFromErrno();
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  readsAhead = S_ISREG(st.st_mode) && (shareMode & FILE_SHARE_WRITE) == 0;
  return true;
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
  const int flags = OpenFlags(desiredAccess, creationDisposition);
  if (fileName == nullptr || flags < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (fileName[0] == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = platform::ToPosixPath(fileName);
  // A folder opened for writing fails with EISDIR; one opened for reading is refused below.
  const int fd =
      platform::RetryInterrupted([&] { return ::open(path.c_str(), flags | O_CLOEXEC, 0666); });
  if (fd < 0) {
    SetLastError(platform::ErrorForPath(errno, path));
    return INVALID_HANDLE_VALUE;
  }
  bool readsAhead = false;
  if ((flags & O_ACCMODE) == O_RDONLY && !CheckReadOnlyOpen(fd, readsAhead, shareMode)) {
    ::close(fd);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = platform::HandleForDescriptor(fd, (desiredAccess & GENERIC_READ) != 0);
  if (handle == INVALID_HANDLE_VALUE) return handle;
  if (readsAhead) FileFromHandle(handle)->EnableReadAhead();
  SetLastError(ERROR_SUCCESS);
  return handle;
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
    const ssize_t n = ReadRetrying(file->fd(), out + total, numberOfBytesToRead - total);
    if (n < 0) {
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
  BOOL ok = TRUE;
  while (total < numberOfBytesToWrite) {
    const ssize_t n = platform::RetryInterrupted(
        [&] { return ::write(file->fd(), in + total, numberOfBytesToWrite - total); });
    if (n <= 0) {
      // No progress and no reason given: the device is full.
      if (n == 0) {
        SetLastError(ERROR_DISK_FULL);
      } else {
        SetIoError();
      }
      ok = FALSE;
      break;
    }
    total += static_cast<DWORD>(n);
  }
  if (numberOfBytesWritten != nullptr) *numberOfBytesWritten = total;
  return ok;
}

namespace {

// The position that the caller sees: the system position less the bytes read ahead and not yet
// taken. false, with the last error, when the system cannot tell.
bool CallerPosition(FileObject& file, int64_t& position) {
  const off_t system = ::lseek(file.fd(), 0, SEEK_CUR);
  if (system < 0) {
    platform::SetLastErrorFromErrno();
    return false;
  }
  platform::ReadAhead* readAhead = file.readAhead();
  position = system - (readAhead != nullptr ? readAhead->Buffered() : 0);
  return true;
}

// Where a move by moveMethod starts: the beginning, the caller's position or the end of the file.
bool MoveBase(FileObject& file, DWORD moveMethod, int64_t& base) {
  switch (moveMethod) {
    case FILE_BEGIN:
      base = 0;
      return true;
    case FILE_CURRENT:
      return CallerPosition(file, base);
    case FILE_END: {
      struct stat st;
      if (::fstat(file.fd(), &st) != 0) {
        platform::SetLastErrorFromErrno();
        return false;
      }
      base = st.st_size;
      return true;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
  }
}

// Moves the caller's position to target. Inside the read-ahead block only the block's cursor
// moves; elsewhere the system position does and the block is dropped.
bool MoveTo(FileObject& file, int64_t target, uint64_t& reached) {
  platform::ReadAhead* readAhead = file.readAhead();
  if (readAhead != nullptr && readAhead->Held() > 0) {
    const off_t system = ::lseek(file.fd(), 0, SEEK_CUR);
    if (system >= 0 &&
        readAhead->SeekInside(static_cast<uint64_t>(target), static_cast<uint64_t>(system))) {
      reached = static_cast<uint64_t>(target);
      return true;
    }
  }
  const off_t at = ::lseek(file.fd(), static_cast<off_t>(target), SEEK_SET);
  if (at < 0) {
    platform::SetLastErrorFromErrno();
    return false;
  }
  if (readAhead != nullptr) readAhead->Drop();
  reached = static_cast<uint64_t>(at);
  return true;
}

}  // namespace

DWORD SetFilePointer(HANDLE handle, LONG distanceToMove, PLONG distanceToMoveHigh,
                     DWORD moveMethod) {
  FileObject* file = FileFromHandle(handle);
  if (file == nullptr) return INVALID_SET_FILE_POINTER;
  int64_t distance = distanceToMove;
  if (distanceToMoveHigh != nullptr) {
    const uint64_t bits =
        (static_cast<uint64_t>(static_cast<uint32_t>(*distanceToMoveHigh)) << 32) |
        static_cast<uint32_t>(distanceToMove);
    distance = static_cast<int64_t>(bits);
  }
  int64_t base = 0;
  if (!MoveBase(*file, moveMethod, base)) return INVALID_SET_FILE_POINTER;
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
  uint64_t position = 0;
  if (!MoveTo(*file, target, position)) return INVALID_SET_FILE_POINTER;
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
  const off_t current = ::lseek(file->fd(), 0, SEEK_CUR);
  if (current < 0 || ::ftruncate(file->fd(), current) != 0) {
    platform::SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileType(HANDLE handle) {
  FileObject* file = FileFromHandle(handle);
  struct stat st;
  if (file == nullptr) return FILE_TYPE_UNKNOWN;
  if (::fstat(file->fd(), &st) != 0) {
    platform::SetLastErrorFromErrno();
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(ERROR_SUCCESS);
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return FILE_TYPE_DISK;
  return S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? FILE_TYPE_CHAR : FILE_TYPE_PIPE;
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
