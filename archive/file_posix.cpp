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

long ReadSome(NativeFile file, void* data, uint32_t size) {
  const ssize_t n = platform::RetryInterrupted([&] { return ::read(file, data, size); });
  if (n < 0) SetIoError(file);
  return static_cast<long>(n);
}

bool CFileHandle::SystemSeek(int64_t distance, uint32_t origin, uint64_t& position) {
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin > kFromEnd) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const off_t at = ::lseek(handle, static_cast<off_t>(distance), kWhence[origin]);
  if (at < 0) {
    // A move before the start is refused with the position where it was.
    if (errno == EINVAL) {
      ::SetLastError(ERROR_NEGATIVE_SEEK);
    } else {
      platform::SetLastErrorFromErrno();
    }
    return false;
  }
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
