// RegisterModule as an installer calls it: the library is loaded by file name and the export
// found by name, and it runs on the system's own loader and OLE. The test modules beside the test
// program (testing/testserver.cpp) leave a line in the file named by HALYARD_TEST_LOG for each
// entry point that runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "installsupport/halyard4inst.h"
#include "installsupport/testing/testsupport.h"
#include "testing/scratchfolder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadText;

constexpr size_t kMessageSize = 1024;

const char kDllOcxTemplate[] =
    "%1 was loaded, but the %2 entry point was not found.\n\n%2 may not be exported, or a "
    "corrupt version of %1 may be in memory. Consider using PView to detect and remove it.";
const char kOtherTemplate[] =
    "%1 was loaded, but the %2 entry point was not found.\n\n%1 does not appear to be a .DLL "
    "or .OCX file.";

// The entry-point-missing message of a module.
std::string Expected(std::string text, const std::string& module, const char* entryPoint) {
  for (size_t at; (at = text.find("%1")) != std::string::npos;) text.replace(at, 2, module);
  for (size_t at; (at = text.find("%2")) != std::string::npos;) text.replace(at, 2, entryPoint);
  return text;
}

// Enters the multithreaded apartment, then calls RegisterModule on the same thread.
struct RegistrationThread {
  RegisterModuleFunction registerModule;
  const char* path;
  char* message;
  HRESULT apartment = E_FAIL;
  int result = -1;
  HRESULT afterwards = E_FAIL;

  static DWORD WINAPI Run(LPVOID parameter) {
    RegistrationThread* self = static_cast<RegistrationThread*>(parameter);
    self->apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    self->result = self->registerModule(self->path, "R", "s", self->message);
    self->afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(self->afterwards)) CoUninitialize();
    if (SUCCEEDED(self->apartment)) CoUninitialize();
    return 0;
  }
};

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

  // Calls the export; checks that nothing was written beyond the 1024 bytes of chMessage.
  int Register(const char* moduleName, const char* chRegister, const char* chVerbose) {
    std::vector<char> message(kMessageSize + 256, '#');
    int result = registerModule_(moduleName, chRegister, chVerbose, message.data());
    for (size_t i = kMessageSize; i < message.size(); ++i) {
      EXPECT_EQ('#', message[i]) << "chMessage written at " << i;
    }
    message_.assign(message.data(), strnlen(message.data(), kMessageSize));
    return result;
  }

  std::string Log() { return ReadText(log_); }

  // Whether the process has the module loaded.
  static bool IsLoaded(const std::string& path) {
    return GetModuleHandleA(path.c_str()) != nullptr;
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
  ASSERT_FALSE(IsLoaded(ok));
  EXPECT_EQ(0, Register(ok.c_str(), "register", "silent"));
  EXPECT_EQ("DllRegisterServer in " + ok + " succeeded.", message_);
  EXPECT_EQ(0, Register(ok.c_str(), "R", ""));
  EXPECT_EQ(0, Register(ok.c_str(), "u", ""));
  EXPECT_EQ("DllUnregisterServer in " + ok + " succeeded.", message_);
  EXPECT_EQ(0, Register(ok.c_str(), "unregister", ""));
  EXPECT_EQ(0, Register(ok.c_str(), "", ""));
  EXPECT_EQ(
      "ok DllRegisterServer\nok DllRegisterServer\n"
      "ok DllUnregisterServer\nok DllUnregisterServer\nok DllUnregisterServer\n",
      Log());
  EXPECT_FALSE(IsLoaded(ok));

  // A module that the process had loaded before stays loaded.
  HMODULE own = LoadLibraryA(ok.c_str());
  ASSERT_NE(nullptr, own);
  EXPECT_EQ(0, Register(ok.c_str(), "r", ""));
  EXPECT_TRUE(IsLoaded(ok));
  FreeLibrary(own);
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
  // A verbose call shows its boxes; where no box can be shown (no display) it goes on at once.
  EXPECT_EQ(5, Register(fail.c_str(), "r", "Verbose"));
  EXPECT_EQ("DllRegisterServer in " + fail + " failed.", message_);
  EXPECT_EQ(
      "sfalse DllRegisterServer\nfail DllRegisterServer\nfail DllUnregisterServer\n"
      "fail DllRegisterServer\n",
      Log());
  EXPECT_FALSE(IsLoaded(fail));
}

// The module without entry points, copied under the names that choose the two templates.
TEST_F(RegisterModuleTest, MissingEntryPointChoosesTheTemplateByExtension) {
  const std::string source = Module("server_none.dll");
  const std::string dotted = scratch_.Path("v1.2");
  ASSERT_TRUE(CreateDirectoryA(dotted.c_str(), nullptr));
  struct Case {
    std::string copyAs;      // file to create
    std::string moduleName;  // name passed to RegisterModule
    bool dllOrOcx;
  };
  const Case cases[] = {
      {scratch_.Path("plain.dll"), scratch_.Path("plain.dll"), true},
      {scratch_.Path("control.OCX"), scratch_.Path("control.OCX"), true},
      {scratch_.Path("control2.oCx"), scratch_.Path("control2.oCx"), true},
      {scratch_.Path("library.bin"), scratch_.Path("library.bin"), false},
      // The loader appends .dll to a name without extension; the full stop of the folder name
      // stands before the last backslash and does not make an extension.
      {dotted + "\\noext.dll", dotted + "\\noext", false},
      // A name that ends in a full stop is loaded as it stands, without extension.
      {dotted + "\\bare", dotted + "\\bare.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moduleName);
    ASSERT_TRUE(CopyFileA(source.c_str(), c.copyAs.c_str(), FALSE));
    for (const char* entryPoint : {"DllRegisterServer", "DllUnregisterServer"}) {
      const bool registering = std::strcmp(entryPoint, "DllRegisterServer") == 0;
      EXPECT_EQ(4, Register(c.moduleName.c_str(), registering ? "R" : "U", ""));
      EXPECT_EQ(Expected(c.dllOrOcx ? kDllOcxTemplate : kOtherTemplate, c.moduleName, entryPoint),
                message_);
    }
    // Freed again: the copy can be deleted.
    EXPECT_TRUE(DeleteFileA(c.copyAs.c_str()));
  }

  // The module that has only the registration entry point.
  std::string regonly = Module("server_regonly.OCX");
  EXPECT_EQ(4, Register(regonly.c_str(), "u", ""));
  EXPECT_EQ(Expected(kDllOcxTemplate, regonly, "DllUnregisterServer"), message_);
  EXPECT_EQ(0, Register(regonly.c_str(), "r", ""));
  EXPECT_EQ("regonly DllRegisterServer\n", Log());
}

TEST_F(RegisterModuleTest, ModulesThatCannotBeLoaded) {
  std::string missing = scratch_.Path("missing.dll");
  EXPECT_EQ(3, Register(missing.c_str(), "r", ""));
  EXPECT_EQ("LoadLibrary(" + missing + ") failed.\nGetLastError returns 0x0000007e.", message_);

  std::string text = scratch_.Path("notamodule.dll");
  std::ofstream(text) << "This is no module.\n";
  EXPECT_EQ(3, Register(text.c_str(), "r", ""));
  EXPECT_EQ("LoadLibrary(" + text + ") failed.\nGetLastError returns 0x000000c1.", message_);
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

// A 4000-byte module name: the loader refuses it, and the message is cut to the 1024 bytes of
// the buffers, zero-terminated, with nothing written behind them.
TEST_F(RegisterModuleTest, VeryLongModuleNameIsRefusedAndTheMessageCutToFit) {
  std::string name = "C:\\" + std::string(3993, 'm') + ".dll";
  ASSERT_EQ(4000u, name.size());
  for (const char* verbose : {"s", "v"}) {
    SCOPED_TRACE(verbose);
    EXPECT_EQ(3, Register(name.c_str(), "R", verbose));
    EXPECT_EQ(kMessageSize - 1, message_.size());
    EXPECT_EQ(("LoadLibrary(" + name).substr(0, kMessageSize - 1), message_);
  }
}

// OleInitialize needs a single-threaded apartment; a thread that entered the multithreaded one
// cannot have it, and RegisterModule must then stop before it loads anything.
TEST_F(RegisterModuleTest, ThreadInTheMultithreadedApartmentGivesResult2) {
  std::string ok = Module("server_ok.dll");
  std::vector<char> message(kMessageSize, '#');
  RegistrationThread work{registerModule_, ok.c_str(), message.data()};
  HANDLE handle = CreateThread(nullptr, 0, RegistrationThread::Run, &work, 0, nullptr);
  ASSERT_NE(nullptr, handle);
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);

  ASSERT_EQ(S_OK, work.apartment);
  EXPECT_EQ(2, work.result);
  EXPECT_STREQ("OleInitialize failed.", message.data());
  EXPECT_EQ("", Log());
  // The thread's own initialisation is untouched: entering again only counts up.
  EXPECT_EQ(S_FALSE, work.afterwards);
}

// A COM server of the system itself: scrrun.dll ships with every Windows (and with Wine) and
// exports DllRegisterServer. The name goes to the loader as it stands.
TEST_F(RegisterModuleTest, RegistersACOMServerOfTheSystem) {
  EXPECT_EQ(0, Register("scrrun.dll", "R", ""));
  EXPECT_EQ("DllRegisterServer in scrrun.dll succeeded.", message_);
}

}  // namespace
