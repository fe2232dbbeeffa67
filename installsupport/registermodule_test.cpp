// RegisterModule and its wide twin RegisterModuleW as an installer calls them: the library is
// loaded by file name and the export found by name, and it runs on the system's own loader and
// OLE. Every case runs on both exports. The test modules beside the test program
// (testing/testserver.cpp) leave a line in the file named by HALYARD_TEST_LOG for each entry point
// that runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <list>
#include <regex>
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
template <typename Exports>
struct RegistrationThread {
  typename Exports::RegisterModule registerModule;
  const typename Exports::Char* path;
  typename Exports::Char* message;
  HRESULT apartment = E_FAIL;
  int result = -1;
  HRESULT afterwards = E_FAIL;

  static DWORD WINAPI Run(LPVOID parameter) {
    RegistrationThread* self = static_cast<RegistrationThread*>(parameter);
    self->apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    self->result = self->registerModule(self->path, Exports::FromUtf8("R").c_str(),
                                        Exports::FromUtf8("s").c_str(), self->message);
    self->afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(self->afterwards)) CoUninitialize();
    if (SUCCEEDED(self->apartment)) CoUninitialize();
    return 0;
  }
};

template <typename Exports>
class RegisterModuleTest : public ::testing::Test {
 protected:
  using Char = typename Exports::Char;

  static void SetUpTestSuite() {
    library_ = new testsupport::Library;
    ASSERT_TRUE(library_->Loaded()) << library_->File() << ": error " << library_->LoadError();
    registerModule_ = library_->Export<typename Exports::RegisterModule>(Exports::kRegisterModule);
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

  // Calls the export with the texts (UTF-8; null stays null); checks that nothing was written
  // beyond the 1024 characters of chMessage.
  int Register(const char* moduleName, const char* chRegister, const char* chVerbose) {
    std::vector<Char> message(kMessageSize + 256, '#');
    int result = registerModule_(Arg(moduleName), Arg(chRegister), Arg(chVerbose), message.data());
    for (size_t i = kMessageSize; i < message.size(); ++i) {
      EXPECT_EQ(Char('#'), message[i]) << "chMessage written at " << i;
    }
    message_ = Exports::Utf8(typename Exports::Text(message.data(), kMessageSize).c_str());
    return result;
  }
  // The text of the export's kind, kept until the test ends.
  const Char* Arg(const char* text) {
    if (text == nullptr) return nullptr;
    texts_.push_back(Exports::FromUtf8(text));
    return texts_.back().c_str();
  }

  std::string Log() { return ReadText(log_); }

  // Whether the process has the module loaded.
  static bool IsLoaded(const std::string& path) {
    return GetModuleHandleA(path.c_str()) != nullptr;
  }

  static inline testsupport::Library* library_ = nullptr;
  static inline typename Exports::RegisterModule registerModule_ = nullptr;
  ScratchFolder scratch_;
  fs::path log_;
  std::string message_;
  std::list<typename Exports::Text> texts_;
};

TYPED_TEST_SUITE(RegisterModuleTest, testsupport::ExportKinds);

TYPED_TEST(RegisterModuleTest, RegistersAndUnregistersAndFreesTheModule) {
  std::string ok = this->Module("server_ok.dll");
  ASSERT_FALSE(this->IsLoaded(ok));
  EXPECT_EQ(0, this->Register(ok.c_str(), "register", "silent"));
  EXPECT_EQ("DllRegisterServer in " + ok + " succeeded.", this->message_);
  EXPECT_EQ(0, this->Register(ok.c_str(), "R", ""));
  EXPECT_EQ(0, this->Register(ok.c_str(), "u", ""));
  EXPECT_EQ("DllUnregisterServer in " + ok + " succeeded.", this->message_);
  EXPECT_EQ(0, this->Register(ok.c_str(), "unregister", ""));
  EXPECT_EQ(0, this->Register(ok.c_str(), "", ""));
  EXPECT_EQ(
      "ok DllRegisterServer\nok DllRegisterServer\n"
      "ok DllUnregisterServer\nok DllUnregisterServer\nok DllUnregisterServer\n",
      this->Log());
  EXPECT_FALSE(this->IsLoaded(ok));

  // A module that the process had loaded before stays loaded.
  HMODULE own = LoadLibraryA(ok.c_str());
  ASSERT_NE(nullptr, own);
  EXPECT_EQ(0, this->Register(ok.c_str(), "r", ""));
  EXPECT_TRUE(this->IsLoaded(ok));
  FreeLibrary(own);
  EXPECT_FALSE(this->IsLoaded(ok));
}

TYPED_TEST(RegisterModuleTest, EntryPointResultCodes) {
  std::string sfalse = this->Module("server_sfalse.dll");
  EXPECT_EQ(0, this->Register(sfalse.c_str(), "R", ""));
  EXPECT_EQ("DllRegisterServer in " + sfalse + " succeeded.", this->message_);

  std::string fail = this->Module("server_fail.dll");
  EXPECT_EQ(5, this->Register(fail.c_str(), "r", ""));
  EXPECT_EQ("DllRegisterServer in " + fail + " failed.", this->message_);
  EXPECT_EQ(5, this->Register(fail.c_str(), "", ""));
  EXPECT_EQ("DllUnregisterServer in " + fail + " failed.", this->message_);
  // A verbose call shows its boxes; where no box can be shown (no display) it goes on at once.
  EXPECT_EQ(5, this->Register(fail.c_str(), "r", "Verbose"));
  EXPECT_EQ("DllRegisterServer in " + fail + " failed.", this->message_);

  // Entry points that fault: the call names the exception, frees the module and leaves OLE as it
  // found it (the thread can enter its apartment afresh).
  std::string fault = this->Module("server_fault.dll");
  const struct {
    const char* chRegister;
    const char* entryPoint;
  } faults[] = {{"R", "DllRegisterServer"}, {"U", "DllUnregisterServer"}};
  for (const auto& f : faults) {
    EXPECT_EQ(5, this->Register(fault.c_str(), f.chRegister, ""));
    EXPECT_EQ(
        std::string(f.entryPoint) + " in " + fault + " failed.\nException 0xc0000005 was raised.",
        this->message_);
    EXPECT_FALSE(this->IsLoaded(fault));
    HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(S_OK, apartment);
    if (SUCCEEDED(apartment)) CoUninitialize();
  }
  EXPECT_EQ(
      "sfalse DllRegisterServer\nfail DllRegisterServer\nfail DllUnregisterServer\n"
      "fail DllRegisterServer\nfault DllRegisterServer\nfault DllUnregisterServer\n",
      this->Log());
  EXPECT_FALSE(this->IsLoaded(fail));
}

// The module without entry points, copied under the names that choose the two templates; for the
// wide twin into a folder whose name the ANSI code page cannot hold.
TYPED_TEST(RegisterModuleTest, MissingEntryPointChoosesTheTemplateByExtension) {
  const std::string source = this->Module("server_none.dll");
  const fs::path folder =
      this->scratch_.path() / fs::u8path(TypeParam::kWide ? "v1.2 Пример" : "v1.2");
  ASSERT_TRUE(fs::create_directory(folder));
  const std::string dotted = folder.u8string();
  struct Case {
    std::string copyAs;      // file to create
    std::string moduleName;  // name passed to RegisterModule
    bool dllOrOcx;
  };
  const Case cases[] = {
      {this->scratch_.Path("plain.dll"), this->scratch_.Path("plain.dll"), true},
      {this->scratch_.Path("control.OCX"), this->scratch_.Path("control.OCX"), true},
      {this->scratch_.Path("control2.oCx"), this->scratch_.Path("control2.oCx"), true},
      {this->scratch_.Path("library.bin"), this->scratch_.Path("library.bin"), false},
      // The loader appends .dll to a name without extension; the full stop of the folder name
      // stands before the last backslash and does not make an extension.
      {dotted + "\\noext.dll", dotted + "\\noext", false},
      // A name that ends in a full stop is loaded as it stands, without extension.
      {dotted + "\\bare", dotted + "\\bare.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moduleName);
    ASSERT_TRUE(fs::copy_file(source, fs::u8path(c.copyAs)));
    for (const char* entryPoint : {"DllRegisterServer", "DllUnregisterServer"}) {
      const bool registering = std::strcmp(entryPoint, "DllRegisterServer") == 0;
      EXPECT_EQ(4, this->Register(c.moduleName.c_str(), registering ? "R" : "U", ""));
      EXPECT_EQ(Expected(c.dllOrOcx ? kDllOcxTemplate : kOtherTemplate, c.moduleName, entryPoint),
                this->message_);
    }
    // Freed again: the copy can be deleted.
    std::error_code error;
    EXPECT_TRUE(fs::remove(fs::u8path(c.copyAs), error)) << error.message();
  }

  // The module that has only the registration entry point.
  std::string regonly = this->Module("server_regonly.OCX");
  EXPECT_EQ(4, this->Register(regonly.c_str(), "u", ""));
  EXPECT_EQ(Expected(kDllOcxTemplate, regonly, "DllUnregisterServer"), this->message_);
  EXPECT_EQ(0, this->Register(regonly.c_str(), "r", ""));
  EXPECT_EQ("regonly DllRegisterServer\n", this->Log());
}

TYPED_TEST(RegisterModuleTest, ModulesThatCannotBeLoaded) {
  std::string missing = this->scratch_.Path("missing.dll");
  EXPECT_EQ(3, this->Register(missing.c_str(), "r", ""));
  EXPECT_EQ("LoadLibrary(" + missing + ") failed.\nGetLastError returns 0x0000007e.",
            this->message_);

  std::string text = this->scratch_.Path("notamodule.dll");
  std::ofstream(text) << "This is no module.\n";
  EXPECT_EQ(3, this->Register(text.c_str(), "r", ""));
  EXPECT_EQ("LoadLibrary(" + text + ") failed.\nGetLastError returns 0x000000c1.", this->message_);
  EXPECT_EQ("", this->Log());
}

TYPED_TEST(RegisterModuleTest, NullArguments) {
  EXPECT_EQ(1, this->Register(nullptr, "r", "v"));
  EXPECT_EQ("ModuleName=NULL", this->message_);
  // Null flags read as empty texts: unregister, silently.
  std::string ok = this->Module("server_ok.dll");
  EXPECT_EQ(0, this->Register(ok.c_str(), nullptr, nullptr));
  EXPECT_EQ("DllUnregisterServer in " + ok + " succeeded.", this->message_);
  EXPECT_EQ("ok DllUnregisterServer\n", this->Log());
}

// A 4000-byte module name: the loader refuses it, and the message fits the 1024 bytes of the
// buffers, zero-terminated, with nothing written behind them: the name keeps its start and its
// end, and the error code stands whole.
TYPED_TEST(RegisterModuleTest, VeryLongModuleNameIsRefusedAndTheMessageCutToFit) {
  std::string name = "C:\\" + std::string(3993, 'm') + ".dll";
  ASSERT_EQ(4000u, name.size());
  for (const char* verbose : {"s", "v"}) {
    SCOPED_TRACE(verbose);
    EXPECT_EQ(3, this->Register(name.c_str(), "R", verbose));
    EXPECT_GE(kMessageSize - 1, this->message_.size());
    EXPECT_TRUE(std::regex_match(this->message_,
                                 std::regex("LoadLibrary\\(C:\\\\m+\\.\\.\\.m+\\.dll\\) failed\\.\n"
                                            "GetLastError returns 0x[0-9a-f]{8}\\.")))
        << this->message_;
  }
}

// OleInitialize needs a single-threaded apartment; a thread that entered the multithreaded one
// cannot have it, and RegisterModule must then stop before it loads anything.
TYPED_TEST(RegisterModuleTest, ThreadInTheMultithreadedApartmentGivesResult2) {
  const auto ok = TypeParam::FromUtf8(this->Module("server_ok.dll"));
  std::vector<typename TypeParam::Char> message(kMessageSize, '#');
  RegistrationThread<TypeParam> work{this->registerModule_, ok.c_str(), message.data()};
  HANDLE handle = CreateThread(nullptr, 0, RegistrationThread<TypeParam>::Run, &work, 0, nullptr);
  ASSERT_NE(nullptr, handle);
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);

  ASSERT_EQ(S_OK, work.apartment);
  EXPECT_EQ(2, work.result);
  EXPECT_EQ("OleInitialize failed.", TypeParam::Utf8(message.data()));
  EXPECT_EQ("", this->Log());
  // The thread's own initialisation is untouched: entering again only counts up.
  EXPECT_EQ(S_FALSE, work.afterwards);
}

// A COM server of the system itself: scrrun.dll ships with every Windows (and with Wine) and
// exports DllRegisterServer. The name goes to the loader as it stands.
TYPED_TEST(RegisterModuleTest, RegistersACOMServerOfTheSystem) {
  EXPECT_EQ(0, this->Register("scrrun.dll", "R", ""));
  EXPECT_EQ("DllRegisterServer in scrrun.dll succeeded.", this->message_);
}

}  // namespace
