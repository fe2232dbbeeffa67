#include "archive/membername.h"

#include <cstring>

namespace {

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A component that Windows reads as a device, whatever its extension: CON, PRN, AUX, NUL,
// COM1 to COM9, LPT1 to LPT9 (blanks before the extension are trimmed as Windows does).
bool IsDeviceName(const char* component, size_t length) {
  size_t base = 0;
  while (base < length && component[base] != '.') ++base;
  while (base > 0 && component[base - 1] == ' ') --base;
  char upper[4];
  if (base != 3 && base != 4) return false;
  for (size_t i = 0; i < 3; ++i) upper[i] = UpperAscii(component[i]);
  const bool numbered = base == 4 && component[3] >= '1' && component[3] <= '9';
  if (base == 3) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : kDevices) {
      if (std::memcmp(upper, device, 3) == 0) return true;
    }
    return false;
  }
  return numbered && (std::memcmp(upper, "COM", 3) == 0 || std::memcmp(upper, "LPT", 3) == 0);
}

// Windows trims blanks and dots at the end of a component, so ".. " and "..." may lead upwards
// too: a component of dots and blanks only is refused, but for "." itself.
bool IsDotsAndBlanks(const char* component, size_t length) {
  if (length == 0 || (length == 1 && component[0] == '.')) return false;
  for (size_t i = 0; i < length; ++i) {
    if (component[i] != '.' && component[i] != ' ') return false;
  }
  return true;
}

// Windows drops a dot or a blank at the end of a component from every name that reaches it in
// the usual form, so a member created verbatim under such a name ("x.txt.", "y ") could be opened,
// renamed or removed by no ordinary program, and "a.dpc." would be read as "a.dpc". Elsewhere
// such names are as good as any.
bool EndsInDotOrBlank(const char* component, size_t length) {
#ifdef _WIN32
  return length > 0 && (component[length - 1] == '.' || component[length - 1] == ' ') &&
         !(length == 1 && component[0] == '.');
#else
  (void)component;
  (void)length;
  return false;
#endif
}

}  // namespace

bool IsUnsafeMemberName(const char* name) {
  if (name[0] == '/' || name[0] == '\\') return true;
  // A colon names a drive ("C:x") or, after a file name, an alternate data stream.
  if (std::strchr(name, ':') != nullptr) return true;
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == '/' || *p == '\\' || *p == '\0') {
      const auto length = static_cast<size_t>(p - component);
      if (IsDotsAndBlanks(component, length) || IsDeviceName(component, length) ||
          EndsInDotOrBlank(component, length)) {
        return true;
      }
      if (*p == '\0') break;
      component = p + 1;
    }
  }
  return false;
}
