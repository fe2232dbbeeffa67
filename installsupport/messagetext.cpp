#include "installsupport/messagetext.h"

namespace installsupport {

namespace {

// The same steps for bytes and for UTF-16 units: Char is the character type, Lead its test.
template <typename Char, typename Lead>
class CTextBuilder {
 public:
  CTextBuilder(Char* buffer, size_t size, const Lead& isLead)
      : buffer_(buffer), size_(size), isLead_(isLead) {}

  // Puts count characters at the end when they fit beside the terminator; puts nothing and
  // returns false otherwise.
  bool Put(const Char* characters, size_t count) {
    if (used_ + count >= size_) return false;
    for (size_t i = 0; i < count; ++i) buffer_[used_++] = characters[i];
    return true;
  }

  // The length of the character at p: 2 for a lead byte (unit) with one behind it, else 1.
  size_t CharLength(const Char* p) const {
    return (isLead_(static_cast<CodeUnit<Char>>(*p)) && p[1] != 0) ? 2 : 1;
  }

  // Appends text character by character. Returns false when it had to stop before its end.
  bool Append(const Char* text) {
    static const Char kEmpty[1] = {0};
    for (const Char* p = text != nullptr ? text : kEmpty; *p != 0;) {
      size_t length = CharLength(p);
      if (!Put(p, length)) return false;
      p += length;
    }
    return true;
  }

  void Terminate() { buffer_[used_] = 0; }

 private:
  Char* buffer_;
  size_t size_;
  const Lead& isLead_;
  size_t used_ = 0;
};

template <typename Char, typename Lead>
bool CopyTextOf(Char* buffer, size_t size, const Char* text, const Lead& isLead) {
  if (size == 0) return false;
  CTextBuilder<Char, Lead> out(buffer, size, isLead);
  bool complete = out.Append(text);
  out.Terminate();
  return complete;
}

template <typename Char, typename Lead>
void ExpandMessageOf(Char* buffer, size_t size, const Char* templateText, const Char* first,
                     const Char* second, const Lead& isLead) {
  if (size == 0) return;
  CTextBuilder<Char, Lead> out(buffer, size, isLead);
  static const Char kEmpty[1] = {0};
  const Char* p = templateText != nullptr ? templateText : kEmpty;
  bool room = true;
  while (room && *p != 0) {
    size_t length = out.CharLength(p);
    if (length == 1 && p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
      room = out.Append(p[1] == '1' ? first : second);
      length = 2;
    } else {
      room = out.Put(p, length);
    }
    p += length;
  }
  out.Terminate();
}

}  // namespace

bool CopyText(char* buffer, size_t size, const char* text, const LeadByteTest& isLead) {
  return CopyTextOf(buffer, size, text, isLead);
}

bool CopyText(wchar_t* buffer, size_t size, const wchar_t* text, const LeadUnitTest& isLead) {
  return CopyTextOf(buffer, size, text, isLead);
}

void ExpandMessage(char* buffer, size_t size, const char* templateText, const char* first,
                   const char* second, const LeadByteTest& isLead) {
  ExpandMessageOf(buffer, size, templateText, first, second, isLead);
}

void ExpandMessage(wchar_t* buffer, size_t size, const wchar_t* templateText, const wchar_t* first,
                   const wchar_t* second, const LeadUnitTest& isLead) {
  ExpandMessageOf(buffer, size, templateText, first, second, isLead);
}

}  // namespace installsupport
