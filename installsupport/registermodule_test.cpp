// RegisterModule as an installer calls it: the library is loaded by file name and the export
// found by name. The test modules beside the test program leave a line in the file named by
// HALYARD_TEST_LOG for each entry point that runs.
#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "installsupport/halyard4inst.h"
#include "installsupport/testing/testsupport.h"
#include "platform/module.h"
#include "testing/scratchfolder.h"
#include "testing/streamcapture.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadText;

const char kCaption[] = "[HALYARD4 Installation Support]\n";

class RegisterModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library_ = new testsupport::Library;
    ASSERT_TRUE(library_->Loaded()) << library_->File() << ": error " << library_->LoadError();
    registerModule_ = library_->RegisterModule();
    ASSERT_NE(nullptr, registerModule_);
  }
  static void TearDownTestSuite() {
    delete library_;
    library_ = nullptr;
  }

  void SetUp() override {
    log_ = scratch_.path() / "log.txt";
    testsupport::SetEnvironment("HALYARD_TEST_LOG", log_.string());
  }

  static std::string Module(const char* name) {
    return (testsupport::ExecutableDirectory() / name).string();
  }

  // The module without extension, in a folder whose name holds a full stop. Windows appends
  // ".dll" to a name without extension unless it ends in a full stop.
  static std::string NoExtension() {
    std::string name = (testsupport::ExecutableDirectory() / "dotted.dir" / "server_none").string();
#ifdef _WIN32
    name += ".";
#endif
    return name;
  }

  // Calls the export; checks that nothing was written beyond the 1024 bytes of chMessage.
  int Register(const char* moduleName, const char* chRegister, const char* chVerbose) {
    std::vector<char> message(1024 + 256, '#');
    int result = registerModule_(moduleName, chRegister, chVerbose, message.data());
    for (size_t i = 1024; i < message.size(); ++i) {
      EXPECT_EQ('#', message[i]) << "chMessage written at " << i;
    }
    message_.assign(message.data(), strnlen(message.data(), 1024));
    return result;
  }

  std::string Log() {
    return ReadText(log_);
  }

  // Whether the process still has the module loaded.
  static bool IsLoaded(const std::string& path) {
#ifdef _WIN32
    return GetModuleHandleA(path.c_str()) != nullptr;
#else
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    return handle != nullptr;
#endif
  }

  static testsupport::Library* library_;
  static RegisterModuleFunction registerModule_;
  ScratchFolder scratch_;
  fs::path log_;
  std::string message_;
};

testsupport::Library* RegisterModuleTest::library_ = nullptr;
RegisterModuleFunction RegisterModuleTest::registerModule_ = nullptr;

TEST_F(RegisterModuleTest, RegistersAndUnregistersAndFreesTheModule) {
  std::string ok = Module("server_ok.dll");
  EXPECT_EQ(0, Register(ok.c_str(), "register", "silent"));
  EXPECT_EQ("DllRegisterServer in " + ok + " succeeded.", message_);
  EXPECT_EQ(0, Register(ok.c_str(), "u", ""));
  EXPECT_EQ("DllUnregisterServer in " + ok + " succeeded.", message_);
  EXPECT_EQ("ok DllRegisterServer\nok DllUnregisterServer\n", Log());
  EXPECT_FALSE(IsLoaded(ok));
}

TEST_F(RegisterModuleTest, EntryPointResultCodes) {
  std::string sfalse = Module("server_sfalse.dll");
  EXPECT_EQ(0, Register(sfalse.c_str(), "R", ""));
  EXPECT_EQ("DllRegisterServer in " + sfalse + " succeeded.", message_);

  std::string fail = Module("server_fail.dll");
  EXPECT_EQ(5, Register(fail.c_str(), "r", ""));
  EXPECT_EQ("DllRegisterServer in " + fail + " failed.", message_);
  EXPECT_EQ(5, Register(fail.c_str(), "", ""));
  EXPECT_EQ("DllUnregisterServer in " + fail + " failed.", message_);
  EXPECT_EQ("sfalse DllRegisterServer\nfail DllRegisterServer\nfail DllUnregisterServer\n", Log());
  EXPECT_FALSE(IsLoaded(fail));
}

TEST_F(RegisterModuleTest, MissingEntryPointsByExtension) {
  const std::string dllOcx = " may be in memory. Consider using PView to detect and remove it.";
  const std::string other = " does not appear to be a .DLL or .OCX file.";
  struct Case {
    std::string name;
    const char* flag;
    const char* entryPoint;
    std::string tail;
  } cases[] = {
      {Module("server_none.dll"), "r", "DllRegisterServer", dllOcx},
      {Module("server_none.OCX"), "u", "DllUnregisterServer", dllOcx},
      {Module("server_regonly.OCX"), "u", "DllUnregisterServer", dllOcx},
      {Module("server_none.bin"), "r", "DllRegisterServer", other},
      {NoExtension(), "r", "DllRegisterServer", other},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(4, Register(c.name.c_str(), c.flag, "")) << c.name;
    std::string head =
        c.name + " was loaded, but the " + c.entryPoint + " entry point was not found.\n\n";
    std::string tail = c.name + c.tail;
    ASSERT_GE(message_.size(), head.size() + tail.size()) << message_;
    EXPECT_EQ(head, message_.substr(0, head.size()));
    EXPECT_EQ(tail, message_.substr(message_.size() - tail.size()));
    EXPECT_FALSE(IsLoaded(c.name)) << c.name;
  }
  // The module that has only the registration entry point registers.
  EXPECT_EQ(0, Register(Module("server_regonly.OCX").c_str(), "r", ""));
  EXPECT_EQ("regonly DllRegisterServer\n", Log());
}

TEST_F(RegisterModuleTest, ModulesThatCannotBeLoaded) {
  std::string missing = (scratch_.path() / "missing.dll").string();
  EXPECT_EQ(3, Register(missing.c_str(), "r", ""));
  EXPECT_EQ("LoadLibrary(" + missing + ") failed.\nGetLastError returns 0x0000007e.", message_);

  fs::path text = scratch_.path() / "notamodule.dll";
  std::ofstream(text) << "This is no module.\n";
  EXPECT_EQ(3, Register(text.string().c_str(), "r", ""));
  EXPECT_EQ("LoadLibrary(" + text.string() + ") failed.\nGetLastError returns 0x000000c1.",
            message_);
  EXPECT_EQ("", Log());
}

TEST_F(RegisterModuleTest, NullArguments) {
  EXPECT_EQ(1, Register(nullptr, "r", "v"));
  EXPECT_EQ("ModuleName=NULL", message_);
  // Null flags read as empty texts: unregister, silently.
  std::string ok = Module("server_ok.dll");
  EXPECT_EQ(0, Register(ok.c_str(), nullptr, nullptr));
  EXPECT_EQ("DllUnregisterServer in " + ok + " succeeded.", message_);
  EXPECT_EQ("ok DllUnregisterServer\n", Log());
}

TEST_F(RegisterModuleTest, LongModuleNameIsCutNeverOverflowed) {
  std::string name = (scratch_.path() / std::string(4000, 'n')).string() + ".dll";
  EXPECT_EQ(3, Register(name.c_str(), "r", ""));
  EXPECT_EQ(1023U, message_.size());
  EXPECT_EQ("LoadLibrary(" + name.substr(0, 1023 - 12), message_);
}

// 2 (OleInitialize failed) cannot happen here: OLE initialisation always succeeds on Linux.
// The Windows tests drive it on a thread initialised for the multithreaded apartment.

#ifndef _WIN32
TEST_F(RegisterModuleTest, BackslashesSeparateFoldersAndTheMessageKeepsThem) {
  std::string ok = Module("server_ok.dll");
  std::string backslashed = ok;
  for (char& c : backslashed) c = (c == '/') ? '\\' : c;
  EXPECT_EQ(0, Register(backslashed.c_str(), "r", ""));
  EXPECT_EQ("DllRegisterServer in " + backslashed + " succeeded.", message_);
}

TEST_F(RegisterModuleTest, VerboseBoxesGoToStandardError) {
  std::string ok = Module("server_ok.dll");
  {
    StreamCapture capture(stderr);
    EXPECT_EQ(0, Register(ok.c_str(), "r", "v"));
    EXPECT_EQ(std::string(kCaption) + "ModuleName=" + ok + "\nchRegister=r\nchVerbose=v\n" +
                  kCaption + "DllRegisterServer in " + ok + " succeeded.\n",
              capture.Text());
  }
  {
    StreamCapture capture(stderr);
    std::string missing = (scratch_.path() / "missing.dll").string();
    EXPECT_EQ(3, Register(missing.c_str(), "u", "Verbose"));
    EXPECT_EQ(std::string(kCaption) + "ModuleName=" + missing +
                  "\nchRegister=u\nchVerbose=Verbose\n" + kCaption + "LoadLibrary(" + missing +
                  ") failed.\nGetLastError returns 0x0000007e.\n",
              capture.Text());
  }
  {
    StreamCapture capture(stderr);
    EXPECT_EQ(1, Register(nullptr, "r", "v"));
    EXPECT_EQ(std::string(kCaption) + "ModuleName=(null)\nchRegister=r\nchVerbose=v\n",
              capture.Text());
  }
  {
    StreamCapture capture(stderr);
    EXPECT_EQ(0, Register(ok.c_str(), "r", "no"));
    EXPECT_EQ(5, Register(Module("server_fail.dll").c_str(), "r", ""));
    EXPECT_EQ("", capture.Text());
  }
}

TEST_F(RegisterModuleTest, LongTextsInBoxesAreCut) {
  std::string name = (scratch_.path() / std::string(4000, 'n')).string() + ".dll";
  StreamCapture capture(stderr);
  EXPECT_EQ(3, Register(name.c_str(), "r", "v"));
  std::string echo = "ModuleName=" + name;
  EXPECT_EQ(std::string(kCaption) + echo.substr(0, 1023) + "\n" + kCaption + message_ + "\n",
            capture.Text());
}
#endif

}  // namespace
