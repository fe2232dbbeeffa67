// Member files beneath the extraction folder on Windows: held folder handles, see memberplace.h.
//
// Every name on a member's way is opened beneath the handle of the folder above it (the native
// calls take a folder handle as the root of a name), the member file too: a folder costs the same
// at any depth, and no name is looked up through a folder that is not held. The first kHeldLevels
// folders are opened and held one by one; below them a member's own folder is opened in one step
// from the deepest one held and taken only when its final path is the one asked for, so that no
// link on the way was followed.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <vector>

#include "archive/longpath.h"
#include "archive/memberplace.h"

namespace {

// Folders this deep and deeper are opened together with the member's own folder.
constexpr size_t kHeldLevels = 64;

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The attributes of a name, not of what a link there leads to (the native call behind
// GetFileAttributesW); ntdll exports it, winternl.h leaves it out.
extern "C" NTSTATUS NTAPI NtQueryAttributesFile(POBJECT_ATTRIBUTES attributes,
                                                PFILE_BASIC_INFORMATION information);

// A name as the native calls take it: beneath the folder handle folder, or, without one, a full
// "\\?\" path of archive/longpath.h.
class CNativeName {
 public:
  CNativeName(HANDLE folder, const std::wstring& name) : name_(name) {
    if (folder == nullptr && name_.compare(0, 4, L"\\\\?\\") == 0) name_[1] = L'?';  // "\\??\"
    text_.Buffer = &name_[0];
    text_.Length = text_.MaximumLength = static_cast<USHORT>(name_.size() * sizeof(WCHAR));
    InitializeObjectAttributes(&attributes_, &text_, OBJ_CASE_INSENSITIVE, folder, nullptr);
  }
  CNativeName(const CNativeName&) = delete;
  CNativeName& operator=(const CNativeName&) = delete;
  // Whether the native calls can take the name at all (their lengths are 16-bit byte counts).
  static bool Fits(const std::wstring& name) { return name.size() < 0x7fff; }
  OBJECT_ATTRIBUTES* Attributes() { return &attributes_; }
  const std::wstring& Text() const { return name_; }

 private:
  std::wstring name_;
  UNICODE_STRING text_;
  OBJECT_ATTRIBUTES attributes_;
};

// Sets the last error from a native status, in the words CreateFileW uses.
void SetErrorFrom(NTSTATUS status) {
  ::SetLastError(status == static_cast<NTSTATUS>(0xC0000035L)  // STATUS_OBJECT_NAME_COLLISION
                     ? ERROR_FILE_EXISTS
                     : ::RtlNtStatusToDosError(status));
}

// Opens (FILE_OPEN) or creates (FILE_CREATE) name beneath folder, the name itself and never what
// a reparse point there leads to; options add to that (FILE_DIRECTORY_FILE makes a folder,
// FILE_NON_DIRECTORY_FILE a file). INVALID_HANDLE_VALUE with the last error on failure.
HANDLE OpenNamed(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                 ULONG disposition, ULONG options) {
  if (!CNativeName::Fits(name)) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  CNativeName native(folder, name);
  HANDLE handle = nullptr;
  IO_STATUS_BLOCK status;
  const NTSTATUS result =
      ::NtCreateFile(&handle, access | SYNCHRONIZE, native.Attributes(), &status, nullptr,
                     FILE_ATTRIBUTE_NORMAL, share, disposition,
                     options | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT |
                         FILE_SYNCHRONOUS_IO_NONALERT,
                     nullptr, 0);
  if (result < 0) {
    SetErrorFrom(result);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

// A folder of a member's way: held sharing reading only, so that nothing can rename, remove or
// relink it meanwhile.
HANDLE OpenFolderHandle(HANDLE above, const std::wstring& name, ULONG disposition) {
  return OpenNamed(above, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE,
                   FILE_SHARE_READ, disposition,
                   disposition == FILE_CREATE ? FILE_DIRECTORY_FILE : 0);
}

// Opens name beneath folder itself, a folder as well as a file, for access only.
HANDLE OpenItself(HANDLE folder, const std::wstring& name, ACCESS_MASK access) {
  return OpenNamed(folder, name, access, kShareAll, FILE_OPEN, 0);
}

HANDLE CreateNew(HANDLE folder, const std::wstring& name, ACCESS_MASK access) {
  return OpenNamed(folder, name, access, FILE_SHARE_READ, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
}

bool Information(HANDLE handle, BY_HANDLE_FILE_INFORMATION& information) {
  return ::GetFileInformationByHandle(handle, &information) != FALSE;
}

bool IsLink(const BY_HANDLE_FILE_INFORMATION& information) {
  return (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& information) {
  FileIdentity identity;
  identity.volume = information.dwVolumeSerialNumber;
  identity.index =
      (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return identity;
}

// The attributes of an open file, without the name that GetFileInformationByHandle also asks
// for: Wine finds that name by looking at every folder above, which a deep tree cannot afford at
// every level.
bool AttributesOf(HANDLE handle, ULONG& attributes) {
  FILE_BASIC_INFORMATION information;
  IO_STATUS_BLOCK status;
  const NTSTATUS result = ::NtQueryInformationFile(handle, &status, &information,
                                                   sizeof information, FileBasicInformation);
  if (result < 0) {
    SetErrorFrom(result);
    return false;
  }
  attributes = information.FileAttributes;
  return true;
}

// Whether the name beneath folder is a reparse point by its own attributes: Wine opens a host's
// symbolic link as the folder it leads to, and only the name's attributes still show the link.
bool NameIsLink(HANDLE folder, const std::wstring& name) {
  CNativeName native(folder, name);
  FILE_BASIC_INFORMATION information;
  return ::NtQueryAttributesFile(native.Attributes(), &information) >= 0 &&
         (information.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The system's name of an open file (its volume and its path there), every link on the way
// resolved; empty when it has none.
std::wstring FinalPath(HANDLE handle) {
  std::vector<unsigned char> buffer(sizeof(OBJECT_NAME_INFORMATION) + 1024 * sizeof(WCHAR));
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS result = ::NtQueryObject(handle, ObjectNameInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), &needed);
    if (result >= 0) {
      const auto* name = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data());
      return std::wstring(name->Name.Buffer, name->Name.Length / sizeof(WCHAR));
    }
    if (needed <= buffer.size()) return std::wstring();
    buffer.resize(needed);
  }
}

// Whether two paths are the same but for letter case, as the system compares names.
bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Marks an open file for deletion when its last handle closes.
bool MarkForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO dispose = {static_cast<BOOLEAN>(TRUE)};
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose) !=
         FALSE;
}

// Whether name beneath folder stands for the archive, looked at through a handle that asks for no
// access that another one could refuse.
bool IsArchive(HANDLE folder, const std::wstring& name, const FileIdentity& archive) {
  HANDLE handle = OpenItself(folder, name, FILE_READ_ATTRIBUTES);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool same = Information(handle, information) && IdentityOf(information) == archive;
  ::CloseHandle(handle);
  return same;
}

// Removes what is under name beneath folder for a member to take its place: opened itself and for
// deletion only, so that whoever holds it without sharing deletion (a running program, or this
// run reading the archive) keeps it, and a link goes, not what it leads to. kCreated when it is
// gone.
MemberPlaceResult RemoveExisting(HANDLE folder, const std::wstring& name,
                                 const FileIdentity* archive) {
  HANDLE old = OpenItself(folder, name, DELETE | FILE_READ_ATTRIBUTES);
  if (old == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (archive != nullptr && IsArchive(folder, name, *archive)) {
      return MemberPlaceResult::kNamesArchive;
    }
    ::SetLastError(error);
    return MemberPlaceResult::kFailed;
  }
  BY_HANDLE_FILE_INFORMATION information;
  MemberPlaceResult judged = MemberPlaceResult::kCreated;
  if (!Information(old, information)) {
    judged = MemberPlaceResult::kFailed;
  } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
             !IsLink(information)) {
    ::SetLastError(ERROR_ACCESS_DENIED);  // a folder is no file
    judged = MemberPlaceResult::kFailed;
  } else if (archive != nullptr && IdentityOf(information) == *archive) {
    judged = MemberPlaceResult::kNamesArchive;
  } else if (!MarkForDeletion(old)) {
    judged = MemberPlaceResult::kFailed;
  }
  const DWORD error = ::GetLastError();
  ::CloseHandle(old);
  ::SetLastError(error);
  return judged;
}

// A new file that takes the place of name beneath folder in one step: made under a temporary name
// beside it, then renamed over whatever the name holds (other names of an old file keep it, a
// link goes). A folder, or a file that someone holds without sharing deletion (the archive being
// read), refuses it.
HANDLE CreateInPlaceOf(HANDLE folder, const std::wstring& name) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    const std::wstring temporary =
        name + L".partial" + (attempt > 0 ? std::to_wstring(attempt) : std::wstring());
    handle = CreateNew(folder, temporary, GENERIC_WRITE | DELETE);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return handle;
  }
  if (handle == INVALID_HANDLE_VALUE) return handle;
  // The native call, as SetFileInformationByHandle under Wine takes no folder handle for the new
  // name; FILE_RENAME_INFORMATION has the fields of FILE_RENAME_INFO.
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(WCHAR));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = folder;
  rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(WCHAR));
  std::copy(name.begin(), name.end(), rename->FileName);
  IO_STATUS_BLOCK status;
  const NTSTATUS renamed =
      ::NtSetInformationFile(handle, &status, rename, static_cast<ULONG>(buffer.size()),
                             static_cast<FILE_INFORMATION_CLASS>(10));  // FileRenameInformation
  if (renamed < 0) {
    SetErrorFrom(renamed);
    const DWORD error = ::GetLastError();
    MarkForDeletion(handle);
    ::CloseHandle(handle);
    ::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

}  // namespace

MemberPlaceResult CMemberPlace::OpenFolders(const std::vector<std::string>& folders) {
  if (root_ == NoNativeFile()) {
    std::wstring folder = LongPath(".");
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    root_ = OpenItself(nullptr, folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE);
    if (root_ == NoNativeFile()) return MemberPlaceResult::kFailed;
  }
  size_t from = KeepSameFolders(folders);
  while (from > 0 && held_[from - 1].handle == NoNativeFile()) --from;  // from the nearest held
  held_.resize(from);
  for (size_t i = from; i < folders.size(); ++i) {
    if (i >= kHeldLevels && i + 1 < folders.size()) {
      held_.push_back(Folder{folders[i], NoNativeFile()});  // opened with the member's folder
      continue;
    }
    const size_t above = HeldDepth();  // held_ lists the folders above this one
    if (above < i && OpenFoldersAtOnce(folders, above, i + 1)) continue;
    held_.resize(above);  // missing, or not what it should be, on the way: one by one
    for (size_t j = above; j <= i; ++j) {
      const MemberPlaceResult opened = OpenFolder(folders, j);
      if (opened != MemberPlaceResult::kCreated) return opened;
      if (j > above && j - 1 >= kHeldLevels) {  // held only while it is a member's own folder
        ::CloseHandle(held_[j - 1].handle);
        held_[j - 1].handle = NoNativeFile();
      }
    }
  }
  return MemberPlaceResult::kCreated;
}

size_t CMemberPlace::HeldDepth() const {
  size_t depth = held_.size();
  while (depth > 0 && held_[depth - 1].handle == NoNativeFile()) --depth;
  return depth;
}

NativeFile CMemberPlace::DeepestHeld() const {
  const size_t depth = HeldDepth();
  return depth > 0 ? held_[depth - 1].handle : root_;
}

MemberPlaceResult CMemberPlace::OpenFolder(const std::vector<std::string>& folders, size_t index) {
  const HANDLE above = DeepestHeld();
  const std::wstring name = WideText(folders[index]);
  HANDLE handle = OpenFolderHandle(above, name, FILE_OPEN);
  if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND &&
      createFolders_) {
    // Made and opened in one call; one made meanwhile by someone else is opened like any other.
    handle = OpenFolderHandle(above, name, FILE_CREATE);
    if (handle != INVALID_HANDLE_VALUE) {
      NoteMade(folders, index + 1);
    } else if (::GetLastError() == ERROR_FILE_EXISTS) {
      handle = OpenFolderHandle(above, name, FILE_OPEN);
    }
  }
  if (handle == INVALID_HANDLE_VALUE) return MemberPlaceResult::kFailed;
  ULONG attributes = 0;
  const bool known = AttributesOf(handle, attributes);
  const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || NameIsLink(above, name);
  if (!known || link || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_DIRECTORY);
    return link ? MemberPlaceResult::kThroughLink : MemberPlaceResult::kFailed;
  }
  held_.push_back(Folder{folders[index], handle});
  return MemberPlaceResult::kCreated;
}

bool CMemberPlace::OpenFoldersAtOnce(const std::vector<std::string>& folders, size_t above,
                                     size_t depth) {
  const HANDLE from = DeepestHeld();
  std::wstring names;
  for (size_t j = above; j < depth; ++j) names += (j > above ? L"\\" : L"") + WideText(folders[j]);
  HANDLE handle = OpenFolderHandle(from, names, FILE_OPEN);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ULONG attributes = 0;
  // Taken only where the system's own path of what was opened is the one asked for: then no link
  // on the way was followed.
  const bool plain = AttributesOf(handle, attributes) &&
                     (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                     (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !NameIsLink(from, names);
  const std::wstring reached = plain ? FinalPath(handle) : std::wstring();
  if (reached.empty() || !SamePath(reached, FinalPath(from) + L"\\" + names)) {
    ::CloseHandle(handle);
    return false;
  }
  held_.push_back(Folder{folders[depth - 1], handle});
  return true;
}

MemberPlaceResult CMemberPlace::CreateBeneath(const std::vector<std::string>& folders,
                                              const std::string& leaf, COutputFile& file) {
  const MemberPlaceResult opened = OpenFolders(folders);
  if (opened != MemberPlaceResult::kCreated) return opened;
  const HANDLE folder = InnermostFolder();
  const std::wstring name = WideText(leaf);

  // Into a folder whose members are there already (an upgrade), each member takes the place of
  // the old one in one step, without first finding that its name is taken.
  HANDLE handle = replacing_ ? INVALID_HANDLE_VALUE : CreateNew(folder, name, GENERIC_WRITE);
  if (handle == INVALID_HANDLE_VALUE && (replacing_ || ::GetLastError() == ERROR_FILE_EXISTS)) {
    replacing_ = true;
    handle = CreateInPlaceOf(folder, name);
    if (handle == INVALID_HANDLE_VALUE) {
      // A folder, a link to one, the archive, a file in use: looked at one by one.
      const MemberPlaceResult removed =
          RemoveExisting(folder, name, archiveKnown_ ? &archive_ : nullptr);
      if (removed != MemberPlaceResult::kCreated) return removed;
      handle = CreateNew(folder, name, GENERIC_WRITE);
    }
  }
  return file.Adopt(handle) ? MemberPlaceResult::kCreated : MemberPlaceResult::kFailed;
}

bool CMemberPlace::MakeFolderNamed(const std::string& path, bool& made) {
  made = ::CreateDirectoryW(LongPath(path.c_str()).c_str(), nullptr) != FALSE;
  return made || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

MemberPlaceResult CMemberPlace::CreateFollowing(const char* name, COutputFile& file) {
  if (file.Create(name, true)) {
    if (::GetFileType(file.Handle()) == FILE_TYPE_DISK) return MemberPlaceResult::kCreated;
    file.Close();
    return MemberPlaceResult::kNotAFile;  // a device under a name such as CON
  }
  // The archive being read shares no writing: opening it fails, and only its identity tells why.
  const DWORD error = ::GetLastError();
  if (archiveKnown_ && IsArchive(nullptr, LongPath(name), archive_)) {
    return MemberPlaceResult::kNamesArchive;
  }
  ::SetLastError(error);
  return MemberPlaceResult::kFailed;
}

void CMemberPlace::NoteCreated(const char* name) {
  std::wstring spelling;
  if (followLinks_) {
    spelling = LongPath(name);
  } else {
    for (const std::string& folder : folders_) spelling += WideText(folder) + L"\\";
    spelling += WideText(leaf_);
  }
  // The system compares names in upper case: "q.txt" and "Q.TXT" name one file.
  std::wstring key = spelling;
  ::CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
  auto found = created_.find(key);
  if (found == created_.end()) {
    created_.emplace(std::move(key), Created{std::move(spelling), name});
    return;
  }
  // The same spelling again is a member stored twice, replaced as ever without a word.
  if (found->second.spelling != spelling) {
    supplants_ = true;
    supplanted_ = found->second.name;
  }
  found->second = Created{std::move(spelling), name};
}
