// A new file that takes the place of another only once it is complete, so that a failed or
// interrupted write leaves what was there as it was: the archive that packing writes.
//
// A name that is a symbolic link stands for the file it finally leads to: the new file is made
// beside that file and takes its place, and the link stays. A name that leads to something
// other than a file (a device, a folder) is written in place.
//
// POSIX (replacement_posix.cpp): the new file has no name while it is written (O_TMPFILE in the
// target's folder, where the file system offers it), so that nothing is left behind whatever ends
// the process; Commit links it under a temporary name beside the target and renames that over the
// target. Where that cannot be, and on Windows (replacement_win32.cpp), it is written under a
// temporary name beside the target from the start: the target's name and ".partial", or
// ".partial1" to ".partial99" when that is taken. On Windows the temporary file is marked for
// deletion while it is written, so that it goes when the process ends before Commit.
#pragma once

#include <functional>
#include <string>

#include "archive/file.h"

class CReplacement {
 public:
  // A path as the system takes it: wide on Windows (archive/longpath.h), bytes elsewhere.
#ifdef _WIN32
  typedef std::wstring Path;
#else
  typedef std::string Path;
#endif

  CReplacement() = default;
  // Removes a temporary file that was not committed.
  ~CReplacement() {
    Discard();
  }
  CReplacement(const CReplacement&) = delete;
  CReplacement& operator=(const CReplacement&) = delete;

  // Opens the new file for name into file; false, with the last error, when it cannot.
  bool Create(const char* name, COutputFile& file);
  // Closes file and puts it in its place; false, with the temporary file removed and the old one
  // untouched, when that fails. True at once for a file written in place.
  bool Commit(COutputFile& file);

 private:
  void Discard();
  // Takes the first free temporary name beside target for the new file: create(candidate) makes
  // it new, failing with ERROR_FILE_EXISTS when the name is taken. Sets target_ and temporary_
  // and returns true once create succeeds; false on any other failure or when all are taken.
  bool TakeTemporary(const Path& target, const std::function<bool(const Path&)>& create);

  Path target_;     // the name the new file takes; empty when written in place
  Path temporary_;  // its temporary name; empty while it has none
};
