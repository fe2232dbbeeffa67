// The archive's replacement on POSIX systems: an anonymous file while it is written, see
// replacement.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "archive/replacement.h"

namespace {

// The folder part of a path, "." when it has none.
std::string FolderOf(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that path finally leads to, following links in its last part (at most 40, as the
// system does); the path itself when it is no link.
std::string FinalTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    char text[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), text, sizeof text - 1);
    if (length < 0) break;
    text[length] = '\0';
    path = text[0] == '/' ? std::string(text) : FolderOf(path) + "/" + text;
  }
  return path;
}

// The open file's link in /proc, through which an anonymous file gets a name.
std::string ProcLink(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

bool CReplacement::Create(const char* name, COutputFile& file) {
  Discard();
  const std::string target = FinalTarget(platform::ToPosixPath(name));
  struct stat st;
  if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    return file.Create(name, true);  // a device or a folder: in place
  }
  // Without /proc the anonymous file could not be given its name in the end.
  const int fd = ::access("/proc/self/fd", X_OK) == 0
                     ? ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666)
                     : -1;
  if (fd >= 0) {
    file.Adopt(fd);
    target_ = target;
    return true;
  }
  return TakeTemporary(
      target, [&](const std::string& candidate) { return file.Create(candidate.c_str(), false); });
}

bool CReplacement::Commit(COutputFile& file) {
  if (target_.empty()) return file.Close();
  // An anonymous file gets its temporary name now, while it is still open.
  const int fd = file.Handle();
  if (temporary_.empty()) {
    TakeTemporary(target_, [&](const std::string& candidate) {
      if (::linkat(AT_FDCWD, ProcLink(fd).c_str(), AT_FDCWD, candidate.c_str(),
                   AT_SYMLINK_FOLLOW) == 0) {
        return true;
      }
      platform::SetLastErrorFromErrno();
      return false;
    });
  }
  const bool renamed =
      !temporary_.empty() && file.Close() && ::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (renamed) temporary_.clear();
  if (!renamed) platform::SetLastErrorFromErrno();
  Discard();
  return renamed;
}

void CReplacement::Discard() {
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  target_.clear();
}
