// Member files beneath the extraction folder on POSIX systems: openat walks, see memberplace.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive/memberplace.h"

namespace {

// The identity that GetFileInformationByHandle gives the same file (platform/fileapi_posix.cpp).
FileIdentity IdentityOf(const struct stat& st) {
  const auto device = static_cast<uint64_t>(st.st_dev);
  FileIdentity identity;
  identity.volume = static_cast<uint32_t>(device ^ (device >> 32));
  identity.index = static_cast<uint64_t>(st.st_ino);
  return identity;
}

MemberPlaceResult Failed(int err) {
  ::SetLastError(platform::ErrorFromErrno(err));
  return MemberPlaceResult::kFailed;
}

// Opens the folder name below the folder fd, never through a link: the descriptor, or -1 with
// errno.
int OpenFolderBelow(int fd, const std::string& name) {
  return platform::RetryInterrupted(
      [&] { return ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
}

// Creates a new file name in the folder fd, never through a link and never waiting.
int CreateBelow(int fd, const std::string& name) {
  return platform::RetryInterrupted([&] {
    return ::openat(fd, name.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  });
}

// What an existing name in a folder holds, as far as extraction cares: kCreated for a link or a
// file that the member may take the place of.
MemberPlaceResult Judge(const struct stat& st, const FileIdentity* archive) {
  if (S_ISDIR(st.st_mode)) {
    ::SetLastError(ERROR_ACCESS_DENIED);  // a folder is no file
    return MemberPlaceResult::kFailed;
  }
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return MemberPlaceResult::kNotAFile;
  if (S_ISREG(st.st_mode) && archive != nullptr && IdentityOf(st) == *archive) {
    return MemberPlaceResult::kNamesArchive;
  }
  return MemberPlaceResult::kCreated;
}

MemberPlaceResult Adopt(int fd, COutputFile& file) {
  if (!file.Adopt(platform::HandleForDescriptor(fd, false))) return MemberPlaceResult::kFailed;
  return MemberPlaceResult::kCreated;
}

}  // namespace

MemberPlaceResult CMemberPlace::CreateBeneath(const std::vector<std::string>& folders,
                                              const std::string& leaf, COutputFile& file) {
  if (root_ == INVALID_HANDLE_VALUE) {
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Failed(errno);
    root_ = platform::HandleForDescriptor(fd, false);
    if (root_ == INVALID_HANDLE_VALUE) return MemberPlaceResult::kFailed;
  }
  // The walk starts at the extraction folder for every member; each step holds the folder above.
  int folder = platform::DescriptorOf(root_);
  for (const std::string& name : folders) {
    const int below = OpenFolderBelow(folder, name);
    const int err = errno;
    struct stat st;
    const bool link = below < 0 && ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(st.st_mode);
    if (folder != platform::DescriptorOf(root_)) ::close(folder);
    if (link) return MemberPlaceResult::kThroughLink;
    if (below < 0) return Failed(err);
    folder = below;
  }
  // Closes the walk's last folder on every way out.
  struct Closer {
    int fd;
    int root;
    ~Closer() {
      if (fd != root) ::close(fd);
    }
  } closer{folder, platform::DescriptorOf(root_)};

  int fd = CreateBelow(folder, leaf);
  if (fd < 0 && errno == EEXIST) {
    struct stat st;
    if (::fstatat(folder, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Failed(errno);
    const MemberPlaceResult judged = Judge(st, archiveKnown_ ? &archive_ : nullptr);
    if (judged != MemberPlaceResult::kCreated) return judged;
    // Other names of the old file keep it; a link goes, not what it points to.
    if (::unlinkat(folder, leaf.c_str(), 0) != 0) return Failed(errno);
    fd = CreateBelow(folder, leaf);
  }
  if (fd < 0) return Failed(errno);
  return Adopt(fd, file);
}

MemberPlaceResult CMemberPlace::CreateFollowing(const char* name, COutputFile& file) {
  const std::string path = platform::ToPosixPath(name);
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    const MemberPlaceResult judged = Judge(st, archiveKnown_ ? &archive_ : nullptr);
    if (judged != MemberPlaceResult::kCreated) return judged;
  }
  return file.Create(name, true) ? MemberPlaceResult::kCreated : MemberPlaceResult::kFailed;
}
