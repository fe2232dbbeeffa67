#include "installsupport/messagetext.h"

namespace installsupport {

namespace {

// The length of the character at p: 2 for a lead byte (unit) with one behind it, else 1.
template <typename Char, typename Lead>
size_t CharLength(const Char* p, const Lead& isLead) {
  return (isLead(static_cast<CodeUnit<Char>>(*p)) && p[1] != 0) ? 2 : 1;
}

template <typename Char>
size_t TextLength(const Char* text) {
  size_t length = 0;
  if (text != nullptr) {
    while (text[length] != 0) ++length;
  }
  return length;
}

// Whether the character at p, length long, is a placeholder: "%1" or "%2".
template <typename Char>
bool IsPlaceholder(const Char* p, size_t length) {
  return length == 1 && p[0] == '%' && (p[1] == '1' || p[1] == '2');
}

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

  // Appends text character by character. Returns false when it had to stop before its end.
  bool Append(const Char* text) {
    static const Char kEmpty[1] = {0};
    for (const Char* p = text != nullptr ? text : kEmpty; *p != 0;) {
      size_t length = CharLength(p, isLead_);
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

// A text as it is inserted: whole, or its first headEnd and its last length - tailStart
// characters joined by "...".
template <typename Char>
struct CInsertion {
  const Char* text;
  bool shortened = false;
  size_t headEnd = 0;
  size_t tailStart = 0;
};

template <typename Char, typename Lead>
bool Insert(CTextBuilder<Char, Lead>& out, const CInsertion<Char>& insertion) {
  if (!insertion.shortened) return out.Append(insertion.text);
  static const Char kDots[3] = {'.', '.', '.'};
  return out.Put(insertion.text, insertion.headEnd) && out.Put(kDots, 3) &&
         out.Put(insertion.text + insertion.tailStart,
                 TextLength(insertion.text) - insertion.tailStart);
}

// Shortens text (length long, more than room) to at most room characters, room being 5 or more:
// its start and its end, cut at the borders of its characters.
template <typename Char, typename Lead>
CInsertion<Char> Shortened(const Char* text, size_t length, size_t room, const Lead& isLead) {
  const size_t head = (room - 3 + 1) / 2;
  const size_t tail = (room - 3) / 2;
  CInsertion<Char> insertion{text, true, 0, length};
  for (size_t i = 0, next; i < length; i = next) {
    next = i + CharLength(text + i, isLead);
    if (next <= head) insertion.headEnd = next;
    if (i + tail >= length && insertion.tailStart == length) insertion.tailStart = i;
  }
  return insertion;
}

template <typename Char, typename Lead>
bool CopyTextOf(Char* buffer, size_t size, const Char* text, const Lead& isLead) {
  if (size == 0) return false;
  CTextBuilder<Char, Lead> out(buffer, size, isLead);
  bool complete = out.Append(text);
  out.Terminate();
  return complete;
}

template <typename Char, typename Lead>
void ExpandMessageOf(Char* buffer, size_t size, const Char* templateText,
                     const CInsertion<Char>& first, const Char* second, const Lead& isLead) {
  if (size == 0) return;
  CTextBuilder<Char, Lead> out(buffer, size, isLead);
  static const Char kEmpty[1] = {0};
  const Char* p = templateText != nullptr ? templateText : kEmpty;
  bool room = true;
  while (room && *p != 0) {
    size_t length = CharLength(p, isLead);
    if (IsPlaceholder(p, length)) {
      room = p[1] == '1' ? Insert(out, first) : out.Append(second);
      length = 2;
    } else {
      room = out.Put(p, length);
    }
    p += length;
  }
  out.Terminate();
}

template <typename Char, typename Lead>
void ExpandMessageToFitOf(Char* buffer, size_t size, const Char* templateText, const Char* first,
                          const Char* second, const Lead& isLead) {
  // The length of the whole text, and how much of it is first.
  const size_t firstLength = TextLength(first);
  size_t length = 0;
  size_t firstUses = 0;
  for (const Char* p = templateText; p != nullptr && *p != 0;) {
    size_t characterLength = CharLength(p, isLead);
    if (IsPlaceholder(p, characterLength)) {
      if (p[1] == '1') ++firstUses;
      length += p[1] == '1' ? firstLength : TextLength(second);
      characterLength = 2;
    } else {
      length += characterLength;
    }
    p += characterLength;
  }
  CInsertion<Char> insertion{first};
  if (length >= size && firstUses > 0) {
    const size_t rest = length - firstUses * firstLength;
    const size_t room = rest < size ? (size - 1 - rest) / firstUses : 0;
    if (room >= 5) insertion = Shortened(first, firstLength, room, isLead);
  }
  ExpandMessageOf(buffer, size, templateText, insertion, second, isLead);
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
  ExpandMessageOf(buffer, size, templateText, CInsertion<char>{first}, second, isLead);
}

void ExpandMessage(wchar_t* buffer, size_t size, const wchar_t* templateText, const wchar_t* first,
                   const wchar_t* second, const LeadUnitTest& isLead) {
  ExpandMessageOf(buffer, size, templateText, CInsertion<wchar_t>{first}, second, isLead);
}

void ExpandMessageToFit(char* buffer, size_t size, const char* templateText, const char* first,
                        const char* second, const LeadByteTest& isLead) {
  ExpandMessageToFitOf(buffer, size, templateText, first, second, isLead);
}

void ExpandMessageToFit(wchar_t* buffer, size_t size, const wchar_t* templateText,
                        const wchar_t* first, const wchar_t* second, const LeadUnitTest& isLead) {
  ExpandMessageToFitOf(buffer, size, templateText, first, second, isLead);
}

}  // namespace installsupport
