// The file object on a POSIX descriptor, see file.h. '/' and '\' both separate folders; opening
// never waits (a pipe without a peer opens at once); every failure leaves the Win32 code that
// Windows gives for it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "archive/file.h"

namespace {

// A valid descriptor that refuses a read or write was opened without that access.
void SetIoError(int fd) {
  if (errno == EBADF && fd >= 0) {
    ::SetLastError(ERROR_ACCESS_DENIED);
  } else {
    platform::SetLastErrorFromErrno();
  }
}

ssize_t ReadRetrying(int fd, void* data, size_t size) {
  return platform::RetryInterrupted([&] { return ::read(fd, data, size); });
}

class DescriptorSource : public ReadAhead::Source {
 public:
  explicit DescriptorSource(int fd) : fd_(fd) {}
  long Read(void* data, size_t size) override {
    return static_cast<long>(ReadRetrying(fd_, data, size));
  }

 private:
  int fd_;
};

// Opens name with the open(2) flags; -1 with the last error set.
int OpenPath(const char* name, int flags) {
  if (name[0] == '\0') {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return -1;
  }
  const std::string path = platform::ToPosixPath(name);
  const int fd = platform::RetryInterrupted(
      [&] { return ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666); });
  if (fd < 0) ::SetLastError(platform::ErrorForPath(errno, path));
  return fd;
}

bool Stat(int fd, struct stat& st) {
  if (::fstat(fd, &st) == 0) return true;
  platform::SetLastErrorFromErrno();
  return false;
}

}  // namespace

NativeFile NoNativeFile() {
  return -1;
}

void CloseNativeFile(NativeFile file) {
  if (file >= 0) ::close(file);
}

// close(2) frees the descriptor even when it reports an error: after a failed Close the object
// holds nothing more, and the next Close succeeds.
bool CFileHandle::Close() {
  if (!isOpen) return true;
  const int fd = handle;
  handle = -1;
  readsAhead_ = false;
  readAhead_.Drop();
  if (fd >= 0 && ::close(fd) != 0) {
    platform::SetLastErrorFromErrno();
    return false;
  }
  isOpen = false;
  return true;
}

// The caller's position is the system's less what the read-ahead block holds untaken. A move
// inside the block only moves the block's cursor; elsewhere the system position moves and the
// block is dropped. A move before the start fails and leaves the position as it was.
bool CFileHandle::Seek(int64_t distance, uint32_t origin, uint64_t& position) {
  const off_t system = ::lseek(handle, 0, SEEK_CUR);
  struct stat st;
  if (system < 0 || (origin == kFromEnd && !Stat(handle, st))) {
    platform::SetLastErrorFromErrno();
    return false;
  }
  if (origin > kFromEnd) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const int64_t base = origin == kFromBeginning ? 0
                       : origin == kFromEnd     ? st.st_size
                                            : system - (readsAhead_ ? readAhead_.Buffered() : 0);
  if ((distance > 0 && base > INT64_MAX - distance) || base + distance < 0) {
    ::SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  const auto target = static_cast<uint64_t>(base + distance);
  if (readsAhead_ && readAhead_.SeekInside(target, static_cast<uint64_t>(system))) {
    position = target;
    return true;
  }
  const off_t at = ::lseek(handle, static_cast<off_t>(target), SEEK_SET);
  if (at < 0) {
    platform::SetLastErrorFromErrno();
    return false;
  }
  readAhead_.Drop();
  position = static_cast<uint64_t>(at);
  return true;
}

bool CFileHandle::GetLength(uint64_t& length) {
  struct stat st;
  if (!Stat(handle, st)) return false;
  length = static_cast<uint64_t>(st.st_size);
  return true;
}

bool CFileHandle::SetEndOfFile() {
  const off_t current = ::lseek(handle, 0, SEEK_CUR);
  if (current < 0 || ::ftruncate(handle, current) != 0) {
    platform::SetLastErrorFromErrno();
    return false;
  }
  return true;
}

// The same numbers for a file whatever name or link it was opened by.
bool CFileHandle::GetIdentity(FileIdentity& identity) {
  struct stat st;
  if (!Stat(handle, st)) return false;
  const auto device = static_cast<uint64_t>(st.st_dev);
  identity.volume = static_cast<uint32_t>(device ^ (device >> 32));
  identity.index = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool CFileHandle::IsDiskFile() {
  struct stat st;
  return Stat(handle, st) && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode));
}

bool CInputFile::Open(const char* name) {
  Close();
  const int fd = OpenPath(name, O_RDONLY);
  if (fd < 0) return false;
  struct stat st;
  const bool stated = Stat(fd, st);
  if (!stated || S_ISDIR(st.st_mode)) {
    if (stated) ::SetLastError(ERROR_ACCESS_DENIED);  // a folder is no file
    ::close(fd);
    return false;
  }
  // Without memory for the block the file reads unbuffered.
  readsAhead_ = S_ISREG(st.st_mode) && readAhead_.Allocate();
  return Adopt(fd);
}

bool CInputFile::Read(void* data, uint32_t size, uint32_t& processed) {
  processed = 0;
  auto* out = static_cast<uint8_t*>(data);
  if (readsAhead_) {
    DescriptorSource source(handle);
    if (readAhead_.Read(source, out, size, processed)) return true;
    SetIoError(handle);
    return false;
  }
  // A regular file gives everything up to its end in one go; a pipe may need several reads.
  while (processed < size) {
    const ssize_t n = ReadRetrying(handle, out + processed, size - processed);
    if (n < 0) {
      SetIoError(handle);
      return false;
    }
    if (n == 0) break;
    processed += static_cast<uint32_t>(n);
  }
  return true;
}

bool COutputFile::Create(const char* name, bool replace) {
  Close();
  const int fd = OpenPath(name, O_WRONLY | O_CREAT | (replace ? O_TRUNC : O_EXCL));
  return fd >= 0 && Adopt(fd);
}

bool COutputFile::Write(const void* data, uint32_t size, uint32_t& processed) {
  processed = 0;
  const auto* in = static_cast<const uint8_t*>(data);
  while (processed < size) {
    const ssize_t n = platform::RetryInterrupted(
        [&] { return ::write(handle, in + processed, size - processed); });
    if (n <= 0) {
      // No progress and no reason given: the device is full.
      if (n == 0) {
        ::SetLastError(ERROR_DISK_FULL);
      } else {
        SetIoError(handle);
      }
      return false;
    }
    processed += static_cast<uint32_t>(n);
  }
  return true;
}
