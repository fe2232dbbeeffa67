// ScratchFolder: a fresh folder under the system's temporary folder for one test, removed with
// everything in it when the object ends.
#pragma once

#include <filesystem>
#include <string>

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // False when no folder could be made; dir() is then empty.
  bool Made() const { return !dir_.empty(); }
  // The folder's absolute path, in the system's own spelling (backslashes on Windows).
  const std::string& dir() const { return dir_; }
  std::filesystem::path path() const { return std::filesystem::path(dir_); }
  // A name inside the folder, joined with the system's separator.
  std::string Path(const std::string& name) const;

  void WriteFile(const std::string& name, const std::string& bytes) const;
  // The file's bytes; "<missing>" when it cannot be read.
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;

  // Removes the folder with its contents now; true when it is gone. The destructor calls it.
  bool Remove();

 private:
  std::string dir_;
};
