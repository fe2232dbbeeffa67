#include <cstdio>

#include "platform/msgbox.h"

namespace platform {

std::string FormatMessageBox(LPCSTR text, LPCSTR caption) {
  std::string out = "[";
  out += caption != nullptr ? caption : "Error";
  out += "]\n";
  out += text != nullptr ? text : "";
  if (out.back() != '\n') out += '\n';
  return out;
}

}  // namespace platform

int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT /*type*/) {
  std::string box = platform::FormatMessageBox(text, caption);
  std::fwrite(box.data(), 1, box.size(), stderr);
  std::fflush(stderr);
  return IDOK;
}
