// Member files beneath the extraction folder on POSIX systems: descriptors of the folders on the
// way, see memberplace.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive/memberplace.h"

namespace {

// The identity that CFileHandle::GetIdentity gives the same file (file_posix.cpp).
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

// Folders this deep and deeper are held only while they are a member's own folder, so that a
// deep tree does not run out of descriptors.
constexpr size_t kHeldLevels = 64;

}  // namespace

// Opens the member's folders that are not held yet, each below the one before.
MemberPlaceResult CMemberPlace::OpenFolders(const std::vector<std::string>& folders) {
  if (root_ < 0) {
    root_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_ < 0) return Failed(errno);
  }
  size_t from = KeepSameFolders(folders);
  while (from > 0 && held_[from - 1].handle < 0) --from;  // reopened from the nearest one held
  held_.resize(from);
  for (size_t i = from; i < folders.size(); ++i) {
    const int above = InnermostFolder();
    int below = OpenFolderBelow(above, folders[i]);
    if (below < 0 && errno == ENOENT && createFolders_) {
      // Made, then opened like any other: a link put in its place meanwhile is refused below.
      if (::mkdirat(above, folders[i].c_str(), 0777) == 0) NoteMade(folders, i + 1);
      below = OpenFolderBelow(above, folders[i]);
    }
    if (below < 0) {
      const int err = errno;
      struct stat st;
      if (::fstatat(above, folders[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(st.st_mode)) {
        return MemberPlaceResult::kThroughLink;
      }
      return Failed(err);
    }
    if (i > kHeldLevels) {
      ::close(held_.back().handle);
      held_.back().handle = -1;
    }
    held_.push_back(Folder{folders[i], below});
  }
  return MemberPlaceResult::kCreated;
}

MemberPlaceResult CMemberPlace::CreateBeneath(const std::vector<std::string>& folders,
                                              const std::string& leaf, COutputFile& file) {
  const MemberPlaceResult opened = OpenFolders(folders);
  if (opened != MemberPlaceResult::kCreated) return opened;
  const int folder = InnermostFolder();
  // Into a folder whose members are there already (an upgrade), each member looks at what is
  // under its name first, without first failing to create it.
  int fd = replacing_ ? -1 : CreateBelow(folder, leaf);
  if (replacing_ || (fd < 0 && errno == EEXIST)) {
    replacing_ = true;
    struct stat st;
    if (::fstatat(folder, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return Failed(errno);
      replacing_ = false;  // nothing there: a folder filled anew
    } else {
      const MemberPlaceResult judged = Judge(st, archiveKnown_ ? &archive_ : nullptr);
      if (judged != MemberPlaceResult::kCreated) return judged;
      // Other names of the old file keep it; a link goes, not what it points to.
      if (::unlinkat(folder, leaf.c_str(), 0) != 0) return Failed(errno);
    }
    fd = CreateBelow(folder, leaf);
  }
  if (fd < 0) return Failed(errno);
  return file.Adopt(fd) ? MemberPlaceResult::kCreated : MemberPlaceResult::kFailed;
}

bool CMemberPlace::MakeFolderNamed(const std::string& path, bool& made) {
  made = ::mkdir(platform::ToPosixPath(path.c_str()).c_str(), 0777) == 0;
  if (made || errno == EEXIST) return true;
  platform::SetLastErrorFromErrno();
  return false;
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

// Names that differ are different files here (two names of one file are links, which are not
// followed): nothing to keep.
void CMemberPlace::NoteCreated(const char* /*name*/) {}
