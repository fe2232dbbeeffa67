#include "archive/memberplace.h"

void SplitMemberName(const char* name, std::vector<std::string>& folders, std::string& leaf) {
  folders.clear();
  const char* part = name;
  for (const char* p = name;; ++p) {
    if (*p != '/' && *p != '\\' && *p != '\0') continue;
    const auto length = static_cast<size_t>(p - part);
    if (*p == '\0') {
      leaf.assign(part, length);
      return;
    }
    if (length > 0 && !(length == 1 && *part == '.')) folders.emplace_back(part, length);
    part = p + 1;
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
  supplants_ = false;
  MemberPlaceResult result;
  if (followLinks_) {
    if (createFolders_) MakeFoldersAlong(name);
    result = CreateFollowing(name, file);
  } else {
    SplitMemberName(name, folders_, leaf_);
    if (leaf_.empty() || leaf_ == ".") {  // the name ends in a folder
      ::SetLastError(ERROR_INVALID_NAME);
      return MemberPlaceResult::kFailed;
    }
    result = CreateBeneath(folders_, leaf_, file);
  }
  if (result == MemberPlaceResult::kCreated) NoteCreated(name);
  return result;
}
