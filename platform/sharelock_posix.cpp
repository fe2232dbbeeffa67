#include <fcntl.h>

#include <cerrno>
#include <cstdint>

#include "platform/fileapi.h"
#include "platform/sharelock.h"

namespace platform {

namespace {

// The two marks, side by side, so that one lock call covers both.
constexpr off_t kWriterByte = INT64_MAX - 2;
constexpr off_t kDenyWriteByte = INT64_MAX - 1;

struct flock Range(short type, off_t start, off_t length) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = length;
  return lock;
}

int LockRetrying(int fd, int command, struct flock* lock) {
  int result;
  do {
    result = ::fcntl(fd, command, lock);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

ShareClaim ClaimFor(DWORD desiredAccess, DWORD shareMode) {
  ShareClaim claim;
  claim.writes = (desiredAccess & GENERIC_WRITE) != 0;
  claim.deniesWriting = (shareMode & FILE_SHARE_WRITE) == 0;
  return claim;
}

bool TakeShare(int fd, ShareClaim claim, bool freshlyCreated, bool& held) {
  held = false;
  if (!claim.writes && !claim.deniesWriting) return true;
  // A writer must find no mark of a handle that denies writing, and a handle that denies writing
  // no mark of a writer; it then sets its own marks.
  off_t check = kDenyWriteByte;
  off_t mark = kWriterByte;
  off_t length = 1;
  if (claim.writes && claim.deniesWriting) {
    check = kWriterByte;
    length = 2;
  } else if (claim.deniesWriting) {
    check = kWriterByte;
    mark = kDenyWriteByte;
  }
  if (!freshlyCreated) {
    struct flock probe = Range(F_WRLCK, check, length);
    if (LockRetrying(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return false;
    }
  }
  struct flock own = Range(F_RDLCK, mark, length);
  held = LockRetrying(fd, F_OFD_SETLK, &own) == 0 && claim.deniesWriting;
  return true;
}

}  // namespace platform
