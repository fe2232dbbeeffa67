// RegisterModule on Windows' own loader and OLE: the self-registering test modules
// (testserver.cpp), a COM server of the system, and a thread on which OLE cannot be initialised.
#include <windows.h>

#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "installsupport/testing/testsupport.h"
#include "testing/scratchfolder.h"

namespace {

using testsupport::ExecutableDirectory;
using testsupport::Library;

constexpr size_t kMessageSize = 1024;

// A test server module kept loaded by the test, so that its call counters can be read after
// RegisterModule has loaded and freed it again.
class ServerModule {
 public:
  explicit ServerModule(const std::string& path) : module_(LoadLibraryA(path.c_str())) {}
  ~ServerModule() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  LONG RegisterCalls() const { return Counter("TestServerRegisterCalls"); }
  LONG UnregisterCalls() const { return Counter("TestServerUnregisterCalls"); }

 private:
  LONG Counter(const char* name) const {
    typedef LONG (*CounterFunction)();
    auto counter = reinterpret_cast<CounterFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    return counter != nullptr ? counter() : -1;
  }

  HMODULE module_;
};

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

class RegisterModuleWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.Loaded()) << library_.File() << ": error " << library_.LoadError();
    ASSERT_NE(library_.RegisterModule(), nullptr) << "RegisterModule is not exported by name";
    std::memset(message_, '#', sizeof message_);
  }

  int Call(const char* moduleName, const char* chRegister, const char* chVerbose = "s") {
    return library_.RegisterModule()(moduleName, chRegister, chVerbose, message_);
  }

  std::string Message() const { return std::string(message_, strnlen(message_, kMessageSize)); }

  // The bytes behind the 1024 that the caller provides stay as they were.
  void ExpectGuardUntouched() const {
    for (size_t i = kMessageSize; i < sizeof message_; ++i) {
      ASSERT_EQ(message_[i], '#') << "byte " << i << " of the caller's buffer was written";
    }
  }

  static std::string Server(const char* name) { return (ExecutableDirectory() / name).string(); }

  Library library_;
  char message_[kMessageSize + 64];
};

TEST_F(RegisterModuleWin32Test, RegisteringCallsDllRegisterServerOnceAndReportsSuccess) {
  std::string path = Server("server_ok.dll");
  ServerModule server(path);
  ASSERT_TRUE(server.Loaded());

  EXPECT_EQ(Call(path.c_str(), "R"), 0);
  EXPECT_EQ(Message(), "DllRegisterServer in " + path + " succeeded.");
  EXPECT_EQ(server.RegisterCalls(), 1);
  EXPECT_EQ(server.UnregisterCalls(), 0);
  ExpectGuardUntouched();
}

TEST_F(RegisterModuleWin32Test, UnregisteringCallsDllUnregisterServer) {
  std::string path = Server("server_ok.dll");
  ServerModule server(path);
  ASSERT_TRUE(server.Loaded());

  EXPECT_EQ(Call(path.c_str(), "unregister"), 0);
  EXPECT_EQ(Message(), "DllUnregisterServer in " + path + " succeeded.");
  EXPECT_EQ(Call(path.c_str(), ""), 0);
  EXPECT_EQ(server.RegisterCalls(), 0);
  EXPECT_EQ(server.UnregisterCalls(), 2);
}

TEST_F(RegisterModuleWin32Test, ModuleIsFreedAgainAfterTheCall) {
  std::string path = Server("server_ok.dll");
  ASSERT_EQ(GetModuleHandleA(path.c_str()), nullptr);
  EXPECT_EQ(Call(path.c_str(), "r"), 0);
  EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
}

TEST_F(RegisterModuleWin32Test, NegativeResultOfTheEntryPointGivesResult5) {
  std::string path = Server("server_fail.dll");
  ServerModule server(path);
  ASSERT_TRUE(server.Loaded());

  EXPECT_EQ(Call(path.c_str(), "R"), 5);
  EXPECT_EQ(Message(), "DllRegisterServer in " + path + " failed.");
  EXPECT_EQ(Call(path.c_str(), "U"), 5);
  EXPECT_EQ(Message(), "DllUnregisterServer in " + path + " failed.");
  EXPECT_EQ(server.RegisterCalls(), 1);
  EXPECT_EQ(server.UnregisterCalls(), 1);
}

TEST_F(RegisterModuleWin32Test, SFalseFromTheEntryPointCountsAsSuccess) {
  std::string path = Server("server_sfalse.dll");
  EXPECT_EQ(Call(path.c_str(), "R"), 0);
  EXPECT_EQ(Message(), "DllRegisterServer in " + path + " succeeded.");
}

// A module without the entry points, copied under the names that choose the two templates.
TEST_F(RegisterModuleWin32Test, MissingEntryPointChoosesTheTemplateByExtension) {
  ScratchFolder scratch;
  const std::string source = Server("server_none.dll");
  const std::string dottedFolder = scratch.Path("v1.2");
  ASSERT_TRUE(CreateDirectoryA(dottedFolder.c_str(), nullptr));

  const std::string dllTemplate =
      "%1 was loaded, but the %2 entry point was not found.\n\n%2 may not be exported, or a "
      "corrupt version of %1 may be in memory. Consider using PView to detect and remove it.";
  const std::string otherTemplate =
      "%1 was loaded, but the %2 entry point was not found.\n\n%1 does not appear to be a .DLL "
      "or .OCX file.";
  struct Case {
    std::string copyAs;      // file to create
    std::string moduleName;  // name passed to RegisterModule
    bool dllOrOcx;
  };
  const Case cases[] = {
      {scratch.Path("plain.dll"), scratch.Path("plain.dll"), true},
      {scratch.Path("control.OCX"), scratch.Path("control.OCX"), true},
      {scratch.Path("control2.oCx"), scratch.Path("control2.oCx"), true},
      {scratch.Path("library.bin"), scratch.Path("library.bin"), false},
      // The loader appends .dll to a name without extension; the full stop of the folder
      // name stands before the last backslash and does not make an extension.
      {dottedFolder + "\\noext.dll", dottedFolder + "\\noext", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moduleName);
    ASSERT_TRUE(CopyFileA(source.c_str(), c.copyAs.c_str(), FALSE));
    for (const char* entryPoint : {"DllRegisterServer", "DllUnregisterServer"}) {
      const bool registering = std::strcmp(entryPoint, "DllRegisterServer") == 0;
      std::string expected = c.dllOrOcx ? dllTemplate : otherTemplate;
      for (size_t at; (at = expected.find("%1")) != std::string::npos;) {
        expected.replace(at, 2, c.moduleName);
      }
      for (size_t at; (at = expected.find("%2")) != std::string::npos;) {
        expected.replace(at, 2, entryPoint);
      }
      EXPECT_EQ(Call(c.moduleName.c_str(), registering ? "R" : "U"), 4);
      EXPECT_EQ(Message(), expected);
    }
    // Freed again: the copy can be deleted.
    EXPECT_TRUE(DeleteFileA(c.copyAs.c_str()));
  }
}

TEST_F(RegisterModuleWin32Test, MissingFileGivesResult3WithTheSystemErrorCode) {
  ScratchFolder scratch;
  std::string path = scratch.Path("absent.dll");
  EXPECT_EQ(Call(path.c_str(), "R"), 3);
  EXPECT_EQ(Message(), "LoadLibrary(" + path + ") failed.\nGetLastError returns 0x0000007e.");
}

TEST_F(RegisterModuleWin32Test, NullModuleNameGivesResult1) {
  EXPECT_EQ(Call(nullptr, "R", "v"), 1);
  EXPECT_EQ(Message(), "ModuleName=NULL");
}

// OleInitialize needs a single-threaded apartment; a thread that entered the multithreaded one
// cannot have it, and RegisterModule must then stop before it loads anything.
TEST_F(RegisterModuleWin32Test, ThreadInTheMultithreadedApartmentGivesResult2) {
  std::string path = Server("server_ok.dll");
  ServerModule server(path);
  ASSERT_TRUE(server.Loaded());

  RegistrationThread work{library_.RegisterModule(), path.c_str(), message_};
  HANDLE handle = CreateThread(nullptr, 0, RegistrationThread::Run, &work, 0, nullptr);
  ASSERT_NE(handle, nullptr);
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);

  ASSERT_EQ(work.apartment, S_OK);
  EXPECT_EQ(work.result, 2);
  EXPECT_EQ(Message(), "OleInitialize failed.");
  EXPECT_EQ(server.RegisterCalls(), 0);
  // The thread's own initialisation is untouched: entering again only counts up.
  EXPECT_EQ(work.afterwards, S_FALSE);
}

// A COM server of the system itself: scrrun.dll ships with every Windows (and with Wine) and
// exports DllRegisterServer. The name goes to the loader as it stands.
TEST_F(RegisterModuleWin32Test, RegistersACOMServerOfTheSystem) {
  EXPECT_EQ(Call("scrrun.dll", "R"), 0);
  EXPECT_EQ(Message(), "DllRegisterServer in scrrun.dll succeeded.");
}

// A verbose call shows its boxes; where no box can be shown (no display) it goes on at once.
TEST_F(RegisterModuleWin32Test, VerboseCallGivesTheSameResultAndMessage) {
  std::string path = Server("server_fail.dll");
  EXPECT_EQ(Call(path.c_str(), "R", "Verbose"), 5);
  EXPECT_EQ(Message(), "DllRegisterServer in " + path + " failed.");
}

// A 4000-byte module name: the loader refuses it, and the message is cut to the 1024 bytes of
// the buffers, zero-terminated, with nothing written behind them, as on Linux.
TEST_F(RegisterModuleWin32Test, VeryLongModuleNameIsRefusedAndTheMessageCutToFit) {
  std::string name = "C:\\" + std::string(3993, 'm') + ".dll";
  ASSERT_EQ(name.size(), 4000u);
  for (const char* verbose : {"s", "v"}) {
    SCOPED_TRACE(verbose);
    std::memset(message_, '#', sizeof message_);
    EXPECT_EQ(Call(name.c_str(), "R", verbose), 3);
    std::string message = Message();
    EXPECT_EQ(message.size(), kMessageSize - 1);
    EXPECT_EQ(message, ("LoadLibrary(" + name).substr(0, kMessageSize - 1));
    ExpectGuardUntouched();
  }
}

}  // namespace
