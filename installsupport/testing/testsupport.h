// Helpers of the library's tests: the folder of the test program, where the library, the test
// modules and the test program are built; the environment; the library loaded by file name with
// its exports looked up by their plain names, as an installer does; and the two kinds of export,
// ANSI and wide, for tests that run the same cases on both.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>

#include "installsupport/halyard4inst.h"

namespace testsupport {

namespace fs = std::filesystem;

// The folder of the running test program.
inline fs::path ExecutableDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

inline void SetEnvironment(const char* name, const std::string& value) {
  _putenv_s(name, value.c_str());
}

inline std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// HALYARD4INST_FILE from the folder of the test program, loaded while the object lives.
class Library {
 public:
  Library()
      : file_((ExecutableDirectory() / HALYARD4INST_FILE).string()),
        module_(LoadLibraryExA(file_.c_str(), nullptr, 0)),
        loadError_(module_ == nullptr ? GetLastError() : 0) {}
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  const std::string& File() const { return file_; }
  // The system's error code of a failed load.
  DWORD LoadError() const { return loadError_; }
  RegisterModuleFunction RegisterModule() const {
    return reinterpret_cast<RegisterModuleFunction>(Export("RegisterModule"));
  }
  RunApplicationFunction RunApplication() const {
    return reinterpret_cast<RunApplicationFunction>(Export("RunApplication"));
  }
  // The export of that name, as a pointer of type Function.
  template <typename Function>
  Function Export(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
  }

 private:
  void (*Export(const char* name) const)() { return Export<void (*)()>(name); }

  std::string file_;
  HMODULE module_;
  DWORD loadError_;
};

// The ANSI exports and their wide twins, with the tests' texts (UTF-8) turned into theirs and
// back: the code page for the ANSI ones (the tests' paths are ASCII), UTF-16 for the wide ones.
template <bool Wide>
struct Exports {
  static constexpr bool kWide = Wide;
  using Char = std::conditional_t<Wide, wchar_t, char>;
  using Text = std::basic_string<Char>;
  using RegisterModule = std::conditional_t<Wide, RegisterModuleWFunction, RegisterModuleFunction>;
  using RunApplication = std::conditional_t<Wide, RunApplicationWFunction, RunApplicationFunction>;
  static constexpr const char* kRegisterModule = Wide ? "RegisterModuleW" : "RegisterModule";
  static constexpr const char* kRunApplication = Wide ? "RunApplicationW" : "RunApplication";
  static Text FromUtf8(const std::string& text) { return fs::u8path(text).string<Char>(); }
  static std::string Utf8(const Text& text) { return fs::path(text).u8string(); }
};
using ExportKinds = ::testing::Types<Exports<false>, Exports<true>>;

}  // namespace testsupport
