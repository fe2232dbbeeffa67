#include "installsupport/messagetext.h"

namespace installsupport {

namespace {

// Puts count bytes at buffer[*used] when they fit beside the terminator of a buffer of size
// bytes; puts nothing and returns false otherwise.
bool Put(char* buffer, size_t size, size_t* used, const char* bytes, size_t count) {
  if (*used + count >= size) return false;
  for (size_t i = 0; i < count; ++i) buffer[(*used)++] = bytes[i];
  return true;
}

// The byte count of the character at p: 2 for a lead byte with a byte behind it, else 1.
size_t CharLength(const char* p, const LeadByteTest& isLead) {
  return (isLead(static_cast<unsigned char>(*p)) && p[1] != '\0') ? 2 : 1;
}

// Appends text character by character. Returns false when it had to stop before its end.
bool Append(char* buffer, size_t size, size_t* used, const char* text, const LeadByteTest& isLead) {
  for (const char* p = text != nullptr ? text : ""; *p != '\0';) {
    size_t length = CharLength(p, isLead);
    if (!Put(buffer, size, used, p, length)) return false;
    p += length;
  }
  return true;
}

}  // namespace

bool CopyText(char* buffer, size_t size, const char* text, const LeadByteTest& isLead) {
  if (size == 0) return false;
  size_t used = 0;
  bool complete = Append(buffer, size, &used, text, isLead);
  buffer[used] = '\0';
  return complete;
}

void ExpandMessage(char* buffer, size_t size, const char* templateText, const char* first,
                   const char* second, const LeadByteTest& isLead) {
  if (size == 0) return;
  size_t used = 0;
  const char* p = templateText != nullptr ? templateText : "";
  bool room = true;
  while (room && *p != '\0') {
    size_t length = CharLength(p, isLead);
    if (length == 1 && p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
      room = Append(buffer, size, &used, p[1] == '1' ? first : second, isLead);
      length = 2;
    } else {
      room = Put(buffer, size, &used, p, length);
    }
    p += length;
  }
  buffer[used] = '\0';
}

}  // namespace installsupport
