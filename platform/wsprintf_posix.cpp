#include <cstdarg>
#include <cstdio>

#include "platform/wsprintf.h"

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  const int wanted = std::vsnprintf(buffer, WSPRINTF_LIMIT, format, args);
  va_end(args);
  if (wanted < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return wanted < WSPRINTF_LIMIT ? wanted : WSPRINTF_LIMIT - 1;
}

BOOL IsDBCSLeadByte(BYTE /*testChar*/) {
  return FALSE;
}
