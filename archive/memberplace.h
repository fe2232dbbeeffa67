// Where extraction puts a member: the file system's side of creating a member file beneath the
// extraction folder (the current folder), so that nothing is written outside it through a link (on
// Windows also a junction or another reparse point), over the archive being read, into a pipe or
// a device, or through another name of a file (a hard link). The name rule itself, without the
// file system, is archive/membername.h's.
//
// The folders on a member's way are opened one at a time, each below the one before, and never
// through a link; the file is created in the last of them, by its handle, so that no folder can be
// swapped for a link between the check and the use. While consecutive members share folders, the
// folders stay open from one member to the next, so that a folder costs one walk however many
// members it holds; a folder whose name is swapped for a link meanwhile never leads a member
// through the link: the member goes into the folder that was opened. What is already there under
// the member's name is looked at without being opened: a link or a file (not the archive) is
// removed and the member created anew in its place; a pipe, a socket or a device stays as it is.
//
// POSIX (memberplace_posix.cpp): the folders are descriptors (openat with O_NOFOLLOW and
// O_DIRECTORY). Windows (memberplace_win32.cpp): the folders are handles that refuse reparse
// points, held without sharing delete or write: held so, a folder can be neither renamed, removed
// nor turned into a junction until extraction ends. Every name is reached beneath such a handle.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "archive/file.h"

enum class MemberPlaceResult {
  kCreated,       // the file is open for writing
  kThroughLink,   // a folder on the way is a link or another reparse point
  kNamesArchive,  // the name stands for the archive being read
  kNotAFile,      // the name holds a pipe, a socket or a device
  kFailed,        // the system refused (the last error says why)
};

class CMemberPlace {
 public:
  CMemberPlace() = default;
  ~CMemberPlace();
  CMemberPlace(const CMemberPlace&) = delete;
  CMemberPlace& operator=(const CMemberPlace&) = delete;

  // The archive being read: no member takes its place.
  void SetArchive(const FileIdentity& archive) {
    archive_ = archive;
    archiveKnown_ = true;
  }
  // Names used as they stand (option -p): links on the way and under the member's name are
  // followed, and an existing file is emptied and written in place. The archive, pipes and
  // devices are still refused.
  void SetFollowLinks(bool follow) { followLinks_ = follow; }
  // Folders missing on a member's way are made (option -c): below the extraction folder by the
  // same walk, each below the one before and never through a link; with links followed, along the
  // name as it stands.
  void SetCreateFolders(bool create) { createFolders_ = create; }
  // The folders that the last Create made, outermost first, their names joined with '/'.
  const std::vector<std::string>& MadeFolders() const { return made_; }
  // After a Create that made its file: the stored name of an earlier member of this extraction
  // whose file it took, spelled otherwise but the same name to the system ("Dir/x" and "dir/X"
  // on Windows); null when there is none. Elsewhere names that differ are different files.
  const std::string* Supplanted() const { return supplants_ ? &supplanted_ : nullptr; }

  // Creates the member file name ('/' and '\' separate folders; the name must be safe unless
  // links are followed) for writing and hands it to file.
  MemberPlaceResult Create(const char* name, COutputFile& file);

 private:
  struct Folder {
    std::string name;
    NativeFile handle;
  };

  // Opens the folders of the member's way that are not held yet, and holds them.
  MemberPlaceResult OpenFolders(const std::vector<std::string>& folders);
#ifdef _WIN32
  // Opens the index-th folder of folders beneath the deepest one held, and holds it.
  MemberPlaceResult OpenFolder(const std::vector<std::string>& folders, size_t index);
  // Opens the folders from the above-th to the depth-th in one step beneath the deepest one held
  // and holds the last of them; false, with nothing held, unless they are all there as folders
  // and no link on the way was followed.
  bool OpenFoldersAtOnce(const std::vector<std::string>& folders, size_t above, size_t depth);
  // How many of held_ lead down to the deepest folder held, and that folder (or the extraction
  // folder): the folders held_ lists below it are not held.
  size_t HeldDepth() const;
  NativeFile DeepestHeld() const;
#endif
  MemberPlaceResult CreateBeneath(const std::vector<std::string>& folders, const std::string& leaf,
                                  COutputFile& file);
  MemberPlaceResult CreateFollowing(const char* name, COutputFile& file);
  // Makes the folder path as it stands, links followed: true when it is there, made now or
  // before; false with the last error.
  static bool MakeFolderNamed(const std::string& path, bool& made);
  // Makes the missing folders along name as it stands (links followed).
  void MakeFoldersAlong(const char* name);
  // Records that the member name, just created, holds its file now (see Supplanted).
  void NoteCreated(const char* name);
  // Records the count-th folder of folders as made.
  void NoteMade(const std::vector<std::string>& folders, size_t count);
  // Keeps the folders held for the member before as far as folders, this member's way, is the
  // same, and closes the others; returns how many are kept.
  size_t KeepSameFolders(const std::vector<std::string>& folders);
  // Closes the held folders from the depth-th on.
  void Release(size_t depth);
  // The innermost folder held, or the extraction folder.
  NativeFile InnermostFolder() const {
    return held_.empty() ? root_ : held_.back().handle;
  }

  FileIdentity archive_;
  bool archiveKnown_ = false;
  bool followLinks_ = false;
  bool createFolders_ = false;
  std::vector<std::string> made_;  // the folders that the last Create made
  // The last member's folders and file name, kept for their memory.
  std::vector<std::string> folders_;
  std::string leaf_;
  NativeFile root_ = NoNativeFile();  // the extraction folder, opened at the first member
  std::vector<Folder> held_;          // the folders below it that are held open
  bool replacing_ = false;            // names in the last member's folder were taken
#ifdef _WIN32
  // Each file made so far, by its name in the system's letter case, with its spelling (folders
  // and file joined by '\') and its stored name.
  struct Created {
    std::wstring spelling;
    std::string name;
  };
  std::unordered_map<std::wstring, Created> created_;
#endif
  bool supplants_ = false;
  std::string supplanted_;
};

// Splits a member name into its folders and its file name: '/' and '\' separate them, and empty
// parts and "." are passed over.
void SplitMemberName(const char* name, std::vector<std::string>& folders, std::string& leaf);
