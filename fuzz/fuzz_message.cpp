// Fuzz target: halyard4inst's messages with arbitrary module names and lead bytes. The input's
// first 32 bytes say which bytes are lead bytes of a double-byte code page, the next byte picks
// the outcome of each system call, and the rest, split at its zero bytes, gives the module name,
// chRegister, chVerbose and a message template. RegisterModuleWith builds every message of its
// templates in buffers of exactly kTextSize bytes, so that the sanitizer sees a byte beyond
// them; the template is also expanded on its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "installsupport/messagetext.h"
#include "installsupport/registration.h"

namespace {

using installsupport::kTextSize;

class ScriptedSystem : public installsupport::IRegistrationSystem {
 public:
  ScriptedSystem(const uint8_t (&leadBits)[32], uint8_t outcome) : outcome_(outcome) {
    std::memcpy(leadBits_, leadBits, sizeof leadBits_);
  }
  HRESULT InitializeOle() override { return (outcome_ & 1) != 0 ? E_FAIL : S_OK; }
  void UninitializeOle() override {}
  void SetErrorModeTo(UINT /*mode*/) override {}
  installsupport::ModuleHandle LoadModule(const char* /*name*/) override {
    return (outcome_ & 2) != 0 ? nullptr : reinterpret_cast<installsupport::ModuleHandle>(&module_);
  }
  DWORD LastError() override { return outcome_ * 0x01010101u; }
  installsupport::EntryPoint FindEntryPoint(installsupport::ModuleHandle /*module*/,
                                            const char* /*name*/) override {
    return (outcome_ & 4) != 0 ? nullptr
                               : reinterpret_cast<installsupport::EntryPoint>(&std::abort);
  }
  bool CallEntryPoint(installsupport::EntryPoint /*entryPoint*/, HRESULT* result,
                      DWORD* exceptionCode) override {
    if ((outcome_ & 32) != 0) {
      *exceptionCode = outcome_ * 0x01010101u;
      return false;
    }
    *result = (outcome_ & 8) != 0 ? E_FAIL : S_FALSE;
    return true;
  }
  void UnloadModule(installsupport::ModuleHandle /*module*/) override {}
  void ShowMessageBox(const char* text, const char* /*caption*/, UINT /*style*/) override {
    if (std::strlen(text) >= kTextSize) std::abort();
  }
  bool IsLeadByte(unsigned char byte) override { return (leadBits_[byte / 8] >> (byte % 8)) & 1; }

 private:
  uint8_t leadBits_[32];
  uint8_t outcome_;
  int module_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 33) return 0;
  uint8_t leadBits[32];
  std::memcpy(leadBits, data, sizeof leadBits);
  ScriptedSystem system(leadBits, data[32]);
  std::vector<std::string> texts(1);
  for (size_t i = 33; i < size && texts.size() <= 4; ++i) {
    if (data[i] == 0) {
      texts.emplace_back();
    } else {
      texts.back().push_back(static_cast<char>(data[i]));
    }
  }
  texts.resize(4);
  // Exactly kTextSize bytes each: a byte written beyond them is a heap overflow.
  std::vector<char> messageBuffer(kTextSize, '\0');
  std::vector<char> message(kTextSize, '\0');
  const bool nullName = (data[32] & 16) != 0;
  installsupport::RegisterModuleWith(system, messageBuffer.data(),
                                     nullName ? nullptr : texts[0].c_str(), texts[1].c_str(),
                                     texts[2].c_str(), message.data());
  if (std::memchr(message.data(), '\0', kTextSize) == nullptr) std::abort();

  const installsupport::LeadByteTest isLead = [&](unsigned char byte) {
    return system.IsLeadByte(byte);
  };
  std::vector<char> expanded(kTextSize);
  installsupport::ExpandMessage(expanded.data(), expanded.size(), texts[3].c_str(),
                                texts[0].c_str(), texts[1].c_str(), isLead);
  installsupport::ModuleExtension(texts[0].c_str(), isLead);
  return 0;
}
