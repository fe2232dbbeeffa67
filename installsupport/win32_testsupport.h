// Helpers of the Windows-only tests: the folder of the test program, a scratch folder, and the
// halyard4inst library loaded the way an installer loads it.
#pragma once

#include <windows.h>

#include <string>

#include "gtest/gtest.h"
#include "installsupport/halyard4inst.h"

namespace win32test {

// The folder of the running test program, with a trailing backslash. The library, the test
// server modules and the test child program are built into it.
inline std::string ProgramFolder() {
  char path[MAX_PATH] = "";
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// A fresh folder under the system's temporary folder, removed with its files at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    char base[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, base);
    for (unsigned n = GetCurrentProcessId() * 100;; ++n) {
      path_ = std::string(base) + "halyard4-test-" + std::to_string(n);
      if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
    path_ += "\\";
  }
  ~ScratchFolder() { Remove(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }

 private:
  static void Remove(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Remove(folder + name + "\\");
        } else {
          DeleteFileA((folder + name).c_str());
        }
      } while (FindNextFileA(search, &entry));
      FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
  }

  std::string path_;
};

// halyard4inst.dll from the program folder, its exports looked up by their plain names.
class Library {
 public:
  Library() : module_(LoadLibraryA((ProgramFolder() + "halyard4inst.dll").c_str())) {
    if (module_ != nullptr) {
      registerModule_ = reinterpret_cast<RegisterModuleFunction>(
          reinterpret_cast<void (*)()>(GetProcAddress(module_, "RegisterModule")));
      runApplication_ = reinterpret_cast<RunApplicationFunction>(
          reinterpret_cast<void (*)()>(GetProcAddress(module_, "RunApplication")));
    }
  }
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  RegisterModuleFunction RegisterModule() const { return registerModule_; }
  RunApplicationFunction RunApplication() const { return runApplication_; }

 private:
  HMODULE module_;
  RegisterModuleFunction registerModule_ = nullptr;
  RunApplicationFunction runApplication_ = nullptr;
};

}  // namespace win32test
