#include <cstdio>

#include "platform/wsprintf.h"

int wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) {
  int wanted = std::vsnprintf(buffer, WSPRINTF_LIMIT, format, args);
  if (wanted < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return wanted < WSPRINTF_LIMIT ? wanted : WSPRINTF_LIMIT - 1;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int stored = wvsprintfA(buffer, format, args);
  va_end(args);
  return stored;
}

BOOL IsDBCSLeadByte(BYTE /*testChar*/) {
  return FALSE;
}
