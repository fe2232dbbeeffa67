#include <cstdio>
#include <cstdlib>

#include "archive/longpath.h"

namespace {

const char kSpellingStart[] = "<U+";

std::wstring FromCodePage(const char* text, size_t length) {
  if (length == 0) return std::wstring();
  const int size = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &wide[0], size);
  return wide;
}

// units in the code page; false when it lacks a character of them.
bool ToCodePage(const wchar_t* units, int count, std::string& text) {
  if (count == 0) return true;
  BOOL lacking = FALSE;
  // The UTF-8 code page holds every character and takes no test for a lacking one.
  BOOL* test = ::GetACP() == CP_UTF8 ? nullptr : &lacking;
  const int size =
      ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, count, nullptr, 0, nullptr, test);
  if (size <= 0 || lacking) return false;
  const size_t start = text.size();
  text.resize(start + static_cast<size_t>(size));
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, count, &text[start], size, nullptr,
                        nullptr);
  return true;
}

// The character spelled at text[at] ("<U+" 4 to 6 hex digits ">"): its code point and the length
// of the spelling, or 0 when there is none there.
size_t SpelledCharacter(const std::string& text, size_t at, unsigned long& code) {
  if (text.compare(at, 3, kSpellingStart) != 0) return 0;
  const size_t end = text.find('>', at + 3);
  if (end == std::string::npos || end - at - 3 < 4 || end - at - 3 > 6) return 0;
  char* stop = nullptr;
  code = std::strtoul(text.c_str() + at + 3, &stop, 16);
  if (stop != text.c_str() + end || code == 0 || code > 0x10FFFF) return 0;
  if (code >= 0xD800 && code <= 0xDFFF) return 0;
  return end + 1 - at;
}

// Whether name is a full path, the only form a spelling takes.
bool IsFullPath(const std::string& name) {
  return (!name.empty() && (name[0] == '\\' || name[0] == '/')) ||
         (name.size() >= 2 && name[1] == ':');
}

}  // namespace

std::wstring WideText(const std::string& text) {
  if (!IsFullPath(text)) return FromCodePage(text.data(), text.size());
  std::wstring wide;
  size_t start = 0;
  for (size_t at = text.find(kSpellingStart); at != std::string::npos;
       at = text.find(kSpellingStart, at + 1)) {
    unsigned long code = 0;
    const size_t length = SpelledCharacter(text, at, code);
    if (length == 0) continue;
    wide += FromCodePage(text.data() + start, at - start);
    if (code > 0xFFFF) {
      wide += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
      wide += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      wide += static_cast<wchar_t>(code);
    }
    start = at + length;
  }
  return wide + FromCodePage(text.data() + start, text.size() - start);
}

bool HoldsWideSpelling(const std::string& text) {
  return WideText(text) != FromCodePage(text.data(), text.size());
}

std::string ArgumentText(const wchar_t* argument) {
  std::string text;
  const std::wstring given(argument);
  if (ToCodePage(given.data(), static_cast<int>(given.size()), text)) return text;
  const DWORD size = ::GetFullPathNameW(argument, 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  full.resize(::GetFullPathNameW(argument, size, &full[0], nullptr));
  text.clear();
  for (size_t i = 0; i < full.size();) {
    const bool pair =
        IS_HIGH_SURROGATE(full[i]) && i + 1 < full.size() && IS_LOW_SURROGATE(full[i + 1]);
    const int units = pair ? 2 : 1;
    if (!ToCodePage(&full[i], units, text)) {
      const unsigned long code =
          pair ? 0x10000 + ((full[i] - 0xD800ul) << 10) + (full[i + 1] - 0xDC00ul) : full[i];
      char spelling[16];
      std::snprintf(spelling, sizeof spelling, "<U+%04lX>", code);
      text += spelling;
    }
    i += static_cast<size_t>(units);
  }
  return text;
}

std::wstring LongPath(const char* name) {
  const std::wstring wide = WideText(name);
  if (wide.empty()) return wide;
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  full.resize(::GetFullPathNameW(wide.c_str(), size, &full[0], nullptr));
  if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) return full;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}
