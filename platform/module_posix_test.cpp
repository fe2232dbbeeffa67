#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/module.h"
#include "testing/scratchfolder.h"
#include "testing/scratchtest.h"

namespace {

class ModuleTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    // The file of the system's math library serves as a loadable module.
    Dl_info info = {};
    double (*cosine)(double) = &std::cos;
    ASSERT_NE(0, ::dladdr(reinterpret_cast<void*>(cosine), &info));
    libm_ = info.dli_fname;
  }

  std::string Write(const std::string& name, const std::string& content) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  static DWORD LoadError(const std::string& name) {
    SetLastError(ERROR_SUCCESS);
    HMODULE module = LoadLibraryExA(name.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(nullptr, module) << name;
    if (module != nullptr) FreeLibrary(module);
    return GetLastError();
  }

  std::string libm_;
};

TEST_F(ModuleTest, LoadsByPathLooksUpExportsAndFrees) {
  std::string backslashed = libm_;
  for (char& c : backslashed) c = (c == '/') ? '\\' : c;
  for (const std::string& name : {libm_, backslashed}) {
    HMODULE module = LoadLibraryExA(name.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, module) << name;
    FARPROC proc = GetProcAddress(module, "cos");
    ASSERT_NE(nullptr, proc);
    auto cosine = reinterpret_cast<double (*)(double)>(reinterpret_cast<void (*)()>(proc));
    EXPECT_DOUBLE_EQ(1.0, cosine(0.0));

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(nullptr, GetProcAddress(module, "NoSuchExportAnywhere"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_EQ(TRUE, FreeLibrary(module));
  }
}

TEST_F(ModuleTest, BareNameIsFoundInTheCurrentDirectoryFirstThenByTheLoader) {
  std::ifstream in(libm_, std::ios::binary);
  std::string copy((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Write("localmath.dll", copy);
  char cwd[4096];
  ASSERT_NE(nullptr, ::getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, ::chdir(dir_.c_str()));
  HMODULE local = LoadLibraryExA("localmath.dll", nullptr, 0);
  ASSERT_EQ(0, ::chdir(cwd));
  ASSERT_NE(nullptr, local);
  EXPECT_NE(nullptr, GetProcAddress(local, "cos"));
  EXPECT_EQ(TRUE, FreeLibrary(local));

  HMODULE searched = LoadLibraryExA("libm.so.6", nullptr, 0);
  ASSERT_NE(nullptr, searched);
  EXPECT_EQ(TRUE, FreeLibrary(searched));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), LoadError("no-such-module.dll"));
}

TEST_F(ModuleTest, FailedLoadsGiveTheWindowsErrorCodes) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), LoadError(dir_ + "/missing.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), LoadError(dir_ + "/nodir/missing.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), LoadError(""));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), LoadError(Write("text.dll", "plain text")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), LoadError(Write("empty.ocx", "")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT),
            LoadError(Write("truncated.dll", std::string("\177ELF\2\1\1", 7))));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), LoadError(dir_));
}

TEST_F(ModuleTest, LoaderMessagesOfAnObjectFileAreClassified) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND),
            platform::ErrorForFailedLoad(
                libm_, "libdep.so: cannot open shared object file: No such file or directory"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND),
            platform::ErrorForFailedLoad(libm_, "x.so: undefined symbol: Missing"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT),
            platform::ErrorForFailedLoad(libm_, "x.so: wrong ELF class: ELFCLASS32"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), platform::ErrorForFailedLoad(libm_, nullptr));
}

TEST_F(ModuleTest, InvalidArgumentsAreRefused) {
  int file = 0;
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(nullptr, LoadLibraryExA(libm_.c_str(), &file, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, LoadLibraryExA(nullptr, nullptr, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, GetProcAddress(nullptr, "cos"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(FALSE, FreeLibrary(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
