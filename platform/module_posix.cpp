#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fileapi.h"
#include "platform/module.h"

namespace platform {

DWORD ErrorForFailedLoad(const std::string& path, const char* loaderMessage) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    const DWORD error = ErrorForPath(errno, path);
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_MOD_NOT_FOUND
                                                                          : error;
  }
  if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrorFromErrno(errno);
  unsigned char magic[4] = {0, 0, 0, 0};
  ssize_t got = ::read(fd, magic, sizeof magic);
  ::close(fd);
  if (got != static_cast<ssize_t>(sizeof magic) || std::memcmp(magic, "\177ELF", 4) != 0) {
    return ERROR_BAD_EXE_FORMAT;
  }
  // The file is an object file; what went wrong is in the loader's message.
  const char* message = loaderMessage != nullptr ? loaderMessage : "";
  if (std::strstr(message, "cannot open shared object file") != nullptr) {
    return ERROR_MOD_NOT_FOUND;  // a module it depends on is missing
  }
  if (std::strstr(message, "undefined symbol") != nullptr) return ERROR_PROC_NOT_FOUND;
  return ERROR_BAD_EXE_FORMAT;
}

}  // namespace platform

namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD /*flags*/) {
  if (fileName == nullptr || file != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string path = platform::ToPosixPath(fileName);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // The loader takes a bare name as a library to search for; the current directory comes first.
  if (!platform::HasSeparator(path) && IsFile(path)) path = "./" + path;
  ::dlerror();
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* message = ::dlerror();
    SetLastError(platform::HasSeparator(path) ? platform::ErrorForFailedLoad(path, message)
                                              : static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    return nullptr;
  }
  return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (module == nullptr || procName == nullptr) {
    SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ::dlerror();
  void* address = ::dlsym(module, procName);
  if (address == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (::dlclose(module) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
