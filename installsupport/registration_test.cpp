#include "installsupport/registration.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace installsupport {
namespace {

ModuleHandle ModuleAt(uintptr_t value) {
  return reinterpret_cast<ModuleHandle>(value);
}

// Plays the system and writes down every call, in order.
class CFakeSystem : public IRegistrationSystem {
 public:
  struct Box {
    std::string text;
    std::string caption;
    UINT style;
  };

  HRESULT InitializeOle() override {
    calls.push_back("OleInitialize");
    return oleResult;
  }
  void UninitializeOle() override { calls.push_back("OleUninitialize"); }
  void SetErrorModeTo(UINT mode) override {
    calls.push_back("SetErrorMode " + std::to_string(mode));
  }
  ModuleHandle LoadModule(const char* name) override {
    calls.push_back(std::string("LoadLibraryEx ") + name);
    return loadResult;
  }
  DWORD LastError() override {
    calls.push_back("GetLastError");
    return lastError;
  }
  EntryPoint FindEntryPoint(ModuleHandle module, const char* name) override {
    EXPECT_EQ(loadResult, module);
    calls.push_back(std::string("GetProcAddress ") + name);
    return exports.count(name) != 0 ? StandIn() : nullptr;
  }
  bool CallEntryPoint(EntryPoint entryPoint, HRESULT* result, DWORD* exceptionCode) override {
    EXPECT_EQ(StandIn(), entryPoint);
    calls.push_back("Call");
    if (raisedCode != 0) {
      *exceptionCode = raisedCode;
      return false;
    }
    *result = entryResult;
    return true;
  }
  void UnloadModule(ModuleHandle module) override {
    EXPECT_EQ(loadResult, module);
    calls.push_back("FreeLibrary");
  }
  void ShowMessageBox(const char* text, const char* caption, UINT style) override {
    calls.push_back("MessageBox");
    boxes.push_back({text, caption, style});
  }
  bool IsLeadByte(unsigned char byte) override {
    return doubleByte && ((byte >= 0x81 && byte <= 0x9F) || byte >= 0xE0);
  }

  // What the fake hands out as the entry point; never called.
  static void EntryPointStandIn() {}
  static EntryPoint StandIn() { return &EntryPointStandIn; }

  HRESULT oleResult = S_OK;
  ModuleHandle loadResult = ModuleAt(0x10000);
  DWORD lastError = 0;
  std::set<std::string> exports = {"DllRegisterServer", "DllUnregisterServer"};
  HRESULT entryResult = S_OK;
  DWORD raisedCode = 0;  // when not 0, the entry point raises this exception instead
  bool doubleByte = false;

  std::vector<std::string> calls;
  std::vector<Box> boxes;
};

using Calls = std::vector<std::string>;

class RegistrationTest : public ::testing::Test {
 protected:
  // Runs one call; checks that neither buffer was written beyond its 1024 bytes.
  int Call(const char* moduleName, const char* chRegister, const char* chVerbose) {
    std::memset(message_, '#', sizeof message_);
    int result = RegisterModuleWith(system_, buffer_, moduleName, chRegister, chVerbose, message_);
    for (size_t i = kTextSize; i < sizeof buffer_; ++i) EXPECT_EQ('#', buffer_[i]) << i;
    for (size_t i = kTextSize; i < sizeof message_; ++i) EXPECT_EQ('#', message_[i]) << i;
    return result;
  }
  std::string Message() const { return std::string(message_); }

  CFakeSystem system_;
  char buffer_[2 * kTextSize];
  char message_[2 * kTextSize];

  void SetUp() override {
    std::memset(buffer_, '#', sizeof buffer_);
    buffer_[0] = '\0';
  }
};

TEST_F(RegistrationTest, SuccessfulRegistrationRunsEveryStepInOrder) {
  EXPECT_EQ(kRegisterSucceeded, Call("C:\\x\\server.dll", "R", "s"));
  EXPECT_EQ("DllRegisterServer in C:\\x\\server.dll succeeded.", Message());
  EXPECT_EQ((Calls{"OleInitialize", "SetErrorMode 1", "LoadLibraryEx C:\\x\\server.dll",
                   "GetProcAddress DllRegisterServer", "Call", "FreeLibrary", "OleUninitialize"}),
            system_.calls);
  EXPECT_STREQ(buffer_, message_);
}

TEST_F(RegistrationTest, FirstCharacterOfChRegisterChoosesTheEntryPoint) {
  for (const char* flag : {"register", "R", "r", "Rubbish"}) {
    system_.calls.clear();
    EXPECT_EQ(kRegisterSucceeded, Call("m.dll", flag, ""));
    EXPECT_EQ("GetProcAddress DllRegisterServer", system_.calls.at(3)) << flag;
    EXPECT_EQ("DllRegisterServer in m.dll succeeded.", Message());
  }
  for (const char* flag :
       {"u", "U", "unregister", "0", "", " r", static_cast<const char*>(nullptr)}) {
    system_.calls.clear();
    EXPECT_EQ(kRegisterSucceeded, Call("m.dll", flag, ""));
    EXPECT_EQ("GetProcAddress DllUnregisterServer", system_.calls.at(3))
        << (flag != nullptr ? flag : "(null)");
    EXPECT_EQ("DllUnregisterServer in m.dll succeeded.", Message());
  }
}

TEST_F(RegistrationTest, VerboseShowsTheEchoThenOneResultBox) {
  for (const char* flag : {"v", "V", "Verbose"}) {
    system_.boxes.clear();
    system_.calls.clear();
    EXPECT_EQ(kRegisterSucceeded, Call("m.dll", "r", flag));
    ASSERT_EQ(2U, system_.boxes.size()) << flag;
    EXPECT_EQ(std::string("ModuleName=m.dll\nchRegister=r\nchVerbose=") + flag + "\n",
              system_.boxes[0].text);
    EXPECT_EQ("HALYARD4 Installation Support", system_.boxes[0].caption);
    EXPECT_EQ(0x40U, system_.boxes[0].style);
    EXPECT_EQ("DllRegisterServer in m.dll succeeded.", system_.boxes[1].text);
    EXPECT_EQ("HALYARD4 Installation Support", system_.boxes[1].caption);
    EXPECT_EQ(0x2040U, system_.boxes[1].style);
    // The echo comes before anything else, the result box before the module is freed.
    EXPECT_EQ("MessageBox", system_.calls.front());
    EXPECT_EQ((Calls{"MessageBox", "FreeLibrary", "OleUninitialize"}),
              Calls(system_.calls.end() - 3, system_.calls.end()));
  }
  for (const char* flag : {"", "x", " v", "silent", static_cast<const char*>(nullptr)}) {
    system_.boxes.clear();
    EXPECT_EQ(kRegisterSucceeded, Call("m.dll", "r", flag));
    EXPECT_TRUE(system_.boxes.empty()) << (flag != nullptr ? flag : "(null)");
  }
}

TEST_F(RegistrationTest, NullChRegisterAndChVerboseEchoAsEmptyTexts) {
  EXPECT_EQ(kRegisterSucceeded, Call("m.dll", nullptr, "v"));
  ASSERT_FALSE(system_.boxes.empty());
  EXPECT_EQ("ModuleName=m.dll\nchRegister=\nchVerbose=v\n", system_.boxes[0].text);
}

TEST_F(RegistrationTest, NullModuleNameDoesNothingButReportIt) {
  EXPECT_EQ(kRegisterSucceeded, Call("m.dll", "r", ""));
  system_.calls.clear();
  EXPECT_EQ(kRegisterNoModuleName, Call(nullptr, "r", ""));
  EXPECT_EQ("ModuleName=NULL", Message());
  EXPECT_TRUE(system_.calls.empty());
  // The message buffer keeps the last real message.
  EXPECT_STREQ("DllRegisterServer in m.dll succeeded.", buffer_);

  EXPECT_EQ(kRegisterNoModuleName, Call(nullptr, "u", "v"));
  ASSERT_EQ(1U, system_.boxes.size());  // the echo only, no result box
  EXPECT_EQ("ModuleName=(null)\nchRegister=u\nchVerbose=v\n", system_.boxes[0].text);
}

TEST_F(RegistrationTest, FailedOleInitialisationStopsAtOnce) {
  system_.oleResult = E_FAIL;
  EXPECT_EQ(kRegisterOleFailed, Call("m.dll", "r", "v"));
  EXPECT_EQ("OleInitialize failed.", Message());
  EXPECT_EQ((Calls{"MessageBox", "OleInitialize", "MessageBox"}), system_.calls);
  EXPECT_EQ("OleInitialize failed.", system_.boxes.at(1).text);
}

TEST_F(RegistrationTest, AlreadyInitialisedOleCountsAsSuccess) {
  system_.oleResult = S_FALSE;
  EXPECT_EQ(kRegisterSucceeded, Call("m.dll", "r", ""));
  EXPECT_EQ("OleUninitialize", system_.calls.back());
}

TEST_F(RegistrationTest, FailedLoadReportsTheErrorCodeAndFreesNothing) {
  struct Case {
    ModuleHandle handle;
    DWORD error;
    const char* code;
  } cases[] = {
      {nullptr, 126, "0x0000007e"},
      {nullptr, 193, "0x000000c1"},
      {ModuleAt(31), 5, "0x00000005"},
      {nullptr, 0x8007007EUL, "0x8007007e"},
  };
  for (const Case& c : cases) {
    system_.calls.clear();
    system_.loadResult = c.handle;
    system_.lastError = c.error;
    EXPECT_EQ(kRegisterLoadFailed, Call("dir\\missing.dll", "r", ""));
    EXPECT_EQ(
        std::string("LoadLibrary(dir\\missing.dll) failed.\nGetLastError returns ") + c.code + ".",
        Message());
    EXPECT_EQ((Calls{"OleInitialize", "SetErrorMode 1", "LoadLibraryEx dir\\missing.dll",
                     "GetLastError", "OleUninitialize"}),
              system_.calls);
  }
  // 32 is the first value that counts as a loaded module.
  system_.loadResult = ModuleAt(32);
  EXPECT_EQ(kRegisterSucceeded, Call("m.dll", "r", ""));
}

TEST_F(RegistrationTest, MissingEntryPointMessageDependsOnTheExtension) {
  const std::string dllOcx =
      " was loaded, but the DllUnregisterServer entry point was not found.\n\n"
      "DllUnregisterServer may not be exported, or a corrupt version of ";
  const std::string other =
      " was loaded, but the DllUnregisterServer entry point was not found.\n\n";
  system_.exports = {"DllRegisterServer"};
  for (const char* name : {"a.dll", "a.DLL", "dir\\a.Dll", "a.ocx", "dir.x/a.OCX", "a.b.ocx"}) {
    system_.calls.clear();
    EXPECT_EQ(kRegisterNoEntryPoint, Call(name, "u", ""));
    EXPECT_EQ(
        name + dllOcx + name + " may be in memory. Consider using PView to detect and remove it.",
        Message());
    EXPECT_EQ((Calls{"OleInitialize", "SetErrorMode 1", std::string("LoadLibraryEx ") + name,
                     "GetProcAddress DllUnregisterServer", "FreeLibrary", "OleUninitialize"}),
              system_.calls);
  }
  for (const char* name :
       {"a.exe", "a", "a.", "dir.d\\a", "dir.dll/a", "a.dll.bak", "a.dl", "a.ocxx"}) {
    EXPECT_EQ(kRegisterNoEntryPoint, Call(name, "u", ""));
    EXPECT_EQ(name + other + name + " does not appear to be a .DLL or .OCX file.", Message());
  }
}

TEST_F(RegistrationTest, EntryPointResultDecidesBetweenSuccessAndFailure) {
  struct Case {
    HRESULT code;
    int result;
    const char* message;
    DWORD raised;
  } cases[] = {
      {E_FAIL, kRegisterEntryPointFailed, "DllRegisterServer in m.ocx failed.", 0},
      {static_cast<HRESULT>(0x80040201L), kRegisterEntryPointFailed,
       "DllRegisterServer in m.ocx failed.", 0},
      {S_OK, kRegisterSucceeded, "DllRegisterServer in m.ocx succeeded.", 0},
      {S_FALSE, kRegisterSucceeded, "DllRegisterServer in m.ocx succeeded.", 0},
      {0x7FFFFFFF, kRegisterSucceeded, "DllRegisterServer in m.ocx succeeded.", 0},
      {S_OK, kRegisterEntryPointFailed,
       "DllRegisterServer in m.ocx failed.\nException 0xc0000005 was raised.", 0xC0000005},
  };
  for (const Case& c : cases) {
    system_.calls.clear();
    system_.entryResult = c.code;
    system_.raisedCode = c.raised;
    EXPECT_EQ(c.result, Call("m.ocx", "r", ""));
    EXPECT_EQ(c.message, Message());
    EXPECT_EQ((Calls{"Call", "FreeLibrary", "OleUninitialize"}),
              Calls(system_.calls.end() - 3, system_.calls.end()));
  }
}

TEST_F(RegistrationTest, PlaceholdersInTheModuleNameAreNotExpanded) {
  EXPECT_EQ(kRegisterSucceeded, Call("50%1%2%.dll", "u", ""));
  EXPECT_EQ("DllUnregisterServer in 50%1%2%.dll succeeded.", Message());
  system_.loadResult = nullptr;
  system_.lastError = 2;
  EXPECT_EQ(kRegisterLoadFailed, Call("%2", "u", ""));
  EXPECT_EQ("LoadLibrary(%2) failed.\nGetLastError returns 0x00000002.", Message());
}

TEST_F(RegistrationTest, TextsBeyondTheBuffersAreCutNeverOverflowed) {
  std::string longName(4000, 'm');
  longName += ".dll";
  std::string longFlag = "v" + std::string(3000, 'x');
  system_.exports.clear();
  EXPECT_EQ(kRegisterNoEntryPoint, Call(longName.c_str(), longFlag.c_str(), longFlag.c_str()));
  // The module name, here twice in the message, is shortened so that the rest stands whole.
  EXPECT_GE(kTextSize - 1, Message().size());
  EXPECT_TRUE(
      std::regex_match(Message(), std::regex("m+\\.\\.\\.m+\\.dll was loaded, [\\s\\S]* of "
                                             "m+\\.\\.\\.m+\\.dll may be in memory\\. "
                                             "Consider using PView to detect and remove it\\.")))
      << Message();
  ASSERT_EQ(2U, system_.boxes.size());
  EXPECT_EQ(kTextSize - 1, system_.boxes[0].text.size());
  EXPECT_EQ("ModuleName=" + longName.substr(0, kTextSize - 1 - 11), system_.boxes[0].text);
  EXPECT_EQ(Message(), system_.boxes[1].text);

  // The exception's code behind a shortened name stands whole too.
  system_.exports = {"DllRegisterServer"};
  system_.raisedCode = 0xC0000005;
  EXPECT_EQ(kRegisterEntryPointFailed, Call(longName.c_str(), "r", ""));
  EXPECT_GE(kTextSize - 1, Message().size());
  EXPECT_TRUE(
      std::regex_match(Message(), std::regex("DllRegisterServer in m+\\.\\.\\.m+\\.dll failed\\.\n"
                                             "Exception 0xc0000005 was raised\\.")))
      << Message();
}

TEST_F(RegistrationTest, DoubleByteNamesKeepTheirCharactersWhole) {
  system_.doubleByte = true;
  system_.exports.clear();
  // 0x81 0x2E is one character, not a full stop: the name has no extension.
  EXPECT_EQ(kRegisterNoEntryPoint, Call("mod\x81.dll", "r", ""));
  EXPECT_NE(std::string::npos, Message().find("does not appear to be a .DLL or .OCX file."));
  // 0x81 0x5C is one character, not a backslash: the extension starts at "dir.".
  EXPECT_EQ(kRegisterNoEntryPoint, Call("dir.ocx\x81\\a", "r", ""));
  EXPECT_NE(std::string::npos, Message().find("does not appear to be a .DLL or .OCX file."));
  EXPECT_EQ(kRegisterNoEntryPoint, Call("\x81\\dir\\a.ocx", "r", ""));
  EXPECT_NE(std::string::npos, Message().find("Consider using PView"));
}

TEST(ModuleExtensionTest, LastFullStopBehindTheLastSeparator) {
  auto single = [](unsigned char) { return false; };
  auto dbcs = [](unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; };
  EXPECT_STREQ(".dll", ModuleExtension("C:\\dir.d\\a.b.dll", single));
  EXPECT_STREQ("", ModuleExtension("C:\\dir.d\\a", single));
  EXPECT_STREQ("", ModuleExtension("dir.d/a", single));
  EXPECT_STREQ(".", ModuleExtension("a.", single));
  EXPECT_STREQ("", ModuleExtension("", single));
  EXPECT_STREQ(".x\x81\\y", ModuleExtension("a.x\x81\\y", dbcs));
  EXPECT_STREQ("", ModuleExtension("a.x\x81\\y", single));
  EXPECT_STREQ("", ModuleExtension("a\x81.", dbcs));
}

}  // namespace
}  // namespace installsupport
