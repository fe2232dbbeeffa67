#include "archive/memberplace.h"

void SplitMemberName(const char* name, std::vector<std::string>& folders, std::string& leaf) {
  folders.clear();
  leaf.clear();
  for (const char* p = name;; ++p) {
    if (*p == '/' || *p == '\\' || *p == '\0') {
      if (*p == '\0') break;
      if (!leaf.empty() && leaf != ".") folders.push_back(leaf);
      leaf.clear();
    } else {
      leaf += *p;
    }
  }
}

CMemberPlace::~CMemberPlace() {
  Release(0);
  CloseNativeFile(root_);
}

void CMemberPlace::Release(size_t depth) {
  while (held_.size() > depth) {
    CloseNativeFile(held_.back().handle);
    held_.pop_back();
  }
}

size_t CMemberPlace::KeepSameFolders(const std::vector<std::string>& folders) {
  size_t same = 0;
  while (same < held_.size() && same < folders.size() && held_[same].name == folders[same]) ++same;
  if (same != held_.size() || same != folders.size()) replacing_ = false;  // another folder
  Release(same);
  return same;
}

void CMemberPlace::NoteMade(const std::vector<std::string>& folders, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i) path += (i > 0 ? "/" : "") + folders[i];
  made_.push_back(path);
}

void CMemberPlace::MakeFoldersAlong(const char* name) {
  const std::string path = name;
  for (size_t at = path.find_first_of("/\\", 1); at != std::string::npos;
       at = path.find_first_of("/\\", at + 1)) {
    const std::string folder = path.substr(0, at);
    if (folder.back() == '/' || folder.back() == '\\' || folder.back() == ':') continue;
    bool made = false;
    if (!MakeFolderNamed(folder, made)) return;
    if (made) made_.push_back(folder);
  }
}

MemberPlaceResult CMemberPlace::Create(const char* name, COutputFile& file) {
  file.Close();
  made_.clear();
  if (followLinks_) {
    if (createFolders_) MakeFoldersAlong(name);
    return CreateFollowing(name, file);
  }
  std::vector<std::string> folders;
  std::string leaf;
  SplitMemberName(name, folders, leaf);
  if (leaf.empty() || leaf == ".") {  // the name ends in a folder
    ::SetLastError(ERROR_INVALID_NAME);
    return MemberPlaceResult::kFailed;
  }
  return CreateBeneath(folders, leaf, file);
}
