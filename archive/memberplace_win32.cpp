// Member files beneath the extraction folder on Windows: held folder handles, see memberplace.h.
//
// Each folder on a member's way is opened by its name beneath the handle of the one above (the
// native calls take a folder handle as the root of a name), so that a folder costs the same at
// any depth. The member file itself is reached by its absolute path with the "\\?\" prefix of
// archive/longpath.h, so that members deeper than MAX_PATH are made too.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <vector>

#include "archive/longpath.h"
#include "archive/memberplace.h"

namespace {

// The extraction folder (the current folder) as a "\\?\" path without a final separator.
std::wstring ExtractionFolder() {
  std::wstring folder = LongPath(".");
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
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

// Opens path itself, never what a reparse point there leads to, a folder as well as a file.
HANDLE OpenItself(const std::wstring& path, DWORD access, DWORD share) {
  return ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Marks an open file for deletion when its last handle closes.
bool MarkForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO dispose = {static_cast<BOOLEAN>(TRUE)};
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose) !=
         FALSE;
}

HANDLE CreateNew(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Whether path stands for the archive, looked at through a handle that asks for no access that
// another one could refuse.
bool IsArchive(const std::wstring& path, const FileIdentity& archive) {
  const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE handle = OpenItself(path, FILE_READ_ATTRIBUTES, all);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool same = Information(handle, information) && IdentityOf(information) == archive;
  ::CloseHandle(handle);
  return same;
}

// The attributes of a name, not of what a link there leads to (the native call behind
// GetFileAttributesW); ntdll exports it, winternl.h leaves it out.
extern "C" NTSTATUS NTAPI NtQueryAttributesFile(POBJECT_ATTRIBUTES attributes,
                                                PFILE_BASIC_INFORMATION information);

// A name beneath the folder parent, in the form the native calls take.
class CNameBeneath {
 public:
  CNameBeneath(HANDLE parent, const std::wstring& name) {
    text_.Buffer = const_cast<PWSTR>(name.c_str());
    text_.Length = text_.MaximumLength = static_cast<USHORT>(name.size() * sizeof(WCHAR));
    InitializeObjectAttributes(&attributes_, &text_, OBJ_CASE_INSENSITIVE, parent, nullptr);
  }
  CNameBeneath(const CNameBeneath&) = delete;
  CNameBeneath& operator=(const CNameBeneath&) = delete;
  // Whether the native calls can take the name at all (their lengths are 16-bit byte counts).
  static bool Fits(const std::wstring& name) { return name.size() < 0x7fff; }
  OBJECT_ATTRIBUTES* Attributes() { return &attributes_; }

 private:
  UNICODE_STRING text_;
  OBJECT_ATTRIBUTES attributes_;
};

// Opens (disposition FILE_OPEN) or makes (FILE_CREATE, a folder) name beneath parent, the name
// itself and never what a reparse point there leads to, held as a folder of the member's way is:
// sharing reading only. INVALID_HANDLE_VALUE with the last error when the system refuses.
HANDLE OpenBeneath(HANDLE parent, const std::wstring& name, ULONG disposition) {
  if (!CNameBeneath::Fits(name)) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  CNameBeneath beneath(parent, name);
  HANDLE handle = nullptr;
  IO_STATUS_BLOCK status;
  const ULONG folder = disposition == FILE_CREATE ? FILE_DIRECTORY_FILE : 0;
  const NTSTATUS result = ::NtCreateFile(
      &handle, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE | SYNCHRONIZE,
      beneath.Attributes(), &status, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, disposition,
      folder | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT,
      nullptr, 0);
  if (result < 0) {
    ::SetLastError(::RtlNtStatusToDosError(result));
    return INVALID_HANDLE_VALUE;
  }
  return handle;
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
    ::SetLastError(::RtlNtStatusToDosError(result));
    return false;
  }
  attributes = information.FileAttributes;
  return true;
}

// Whether the name beneath parent is a reparse point by its own attributes: Wine opens a host's
// symbolic link as the folder it leads to, and only the name's attributes still show the link.
bool NameIsLink(HANDLE parent, const std::wstring& name) {
  CNameBeneath beneath(parent, name);
  FILE_BASIC_INFORMATION information;
  return ::NtQueryAttributesFile(beneath.Attributes(), &information) >= 0 &&
         (information.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

namespace {

// Removes what is under path for a member to take its place: opened itself and for deletion only,
// so that whoever holds it without sharing deletion (a running program, or this run reading the
// archive) keeps it, and a link goes, not what it leads to. kCreated when it is gone.
MemberPlaceResult RemoveExisting(const std::wstring& path, const FileIdentity* archive) {
  const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE old = OpenItself(path, DELETE | FILE_READ_ATTRIBUTES, all);
  if (old == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (archive != nullptr && IsArchive(path, *archive)) return MemberPlaceResult::kNamesArchive;
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

// A new file that takes path's place in one step: made under a temporary name beside it, then
// renamed over whatever path holds (other names of an old file keep it, a link goes). A folder,
// or a file that someone holds without sharing deletion (the archive being read), refuses it.
HANDLE CreateInPlaceOf(const std::wstring& path) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    const std::wstring temporary =
        path + L".partial" + (attempt > 0 ? std::to_wstring(attempt) : std::wstring());
    handle =
        ::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return handle;
  }
  if (handle == INVALID_HANDLE_VALUE) return handle;
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + path.size() * sizeof(WCHAR));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(path.size() * sizeof(WCHAR));
  std::copy(path.begin(), path.end(), rename->FileName);
  if (!::SetFileInformationByHandle(handle, FileRenameInfo, rename,
                                    static_cast<DWORD>(buffer.size()))) {
    const DWORD error = ::GetLastError();
    MarkForDeletion(handle);
    ::CloseHandle(handle);
    ::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

// The path of the count-th folder on a member's way: the extraction folder and the folders' names.
std::wstring FolderPath(const std::vector<std::string>& folders, size_t count) {
  std::wstring path = ExtractionFolder();
  for (size_t i = 0; i < count; ++i) path += L"\\" + WideText(folders[i]);
  return path;
}

}  // namespace

MemberPlaceResult CMemberPlace::OpenFolders(const std::vector<std::string>& folders) {
  const size_t same = KeepSameFolders(folders);
  if (root_ == NoNativeFile()) {
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    root_ = OpenItself(ExtractionFolder(), FILE_LIST_DIRECTORY | FILE_TRAVERSE, all);
    if (root_ == NoNativeFile()) return MemberPlaceResult::kFailed;
  }
  for (size_t i = same; i < folders.size(); ++i) {
    const std::wstring name = WideText(folders[i]);
    const HANDLE parent = InnermostFolder();
    HANDLE handle = OpenBeneath(parent, name, FILE_OPEN);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND &&
        createFolders_) {
      // Made and opened in one call; one made meanwhile by someone else is opened like any other.
      handle = OpenBeneath(parent, name, FILE_CREATE);
      if (handle != INVALID_HANDLE_VALUE) {
        NoteMade(folders, i + 1);
      } else if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        handle = OpenBeneath(parent, name, FILE_OPEN);
      }
    }
    if (handle == INVALID_HANDLE_VALUE) return MemberPlaceResult::kFailed;
    ULONG attributes = 0;
    const bool known = AttributesOf(handle, attributes);
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || NameIsLink(parent, name);
    if (!known || link || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ::CloseHandle(handle);
      ::SetLastError(ERROR_DIRECTORY);
      return link ? MemberPlaceResult::kThroughLink : MemberPlaceResult::kFailed;
    }
    held_.push_back(Folder{folders[i], handle});
  }
  return MemberPlaceResult::kCreated;
}

MemberPlaceResult CMemberPlace::CreateBeneath(const std::vector<std::string>& folders,
                                              const std::string& leaf, COutputFile& file) {
  const MemberPlaceResult opened = OpenFolders(folders);
  if (opened != MemberPlaceResult::kCreated) return opened;
  const std::wstring path = FolderPath(folders, folders.size()) + L"\\" + WideText(leaf);

  // Into a folder whose members are there already (an upgrade), each member takes the place of
  // the old one in one step, without first finding that its name is taken.
  HANDLE handle = replacing_ ? INVALID_HANDLE_VALUE : CreateNew(path);
  if (handle == INVALID_HANDLE_VALUE && (replacing_ || ::GetLastError() == ERROR_FILE_EXISTS)) {
    replacing_ = true;
    handle = CreateInPlaceOf(path);
    if (handle == INVALID_HANDLE_VALUE) {
      // A folder, a link to one, the archive, a file in use: looked at one by one.
      const MemberPlaceResult removed = RemoveExisting(path, archiveKnown_ ? &archive_ : nullptr);
      if (removed != MemberPlaceResult::kCreated) return removed;
      handle = CreateNew(path);
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
  if (archiveKnown_ && IsArchive(LongPath(name), archive_)) return MemberPlaceResult::kNamesArchive;
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
