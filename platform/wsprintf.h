// Formatting into a text buffer, and the double-byte lead-byte test.
//
// On Windows this is the real API. Elsewhere wsprintfA formats like snprintf into at most 1024
// bytes, the terminating zero included (Windows's limit for this call), and the code page is
// single-byte: no byte is a lead byte.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32

// The buffer size that wsprintfA never writes beyond.
#define WSPRINTF_LIMIT 1024

// Formats into buffer, cut to fit WSPRINTF_LIMIT bytes. Returns the count of characters stored,
// the terminating zero not counted.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));

// Whether the byte is the first byte of a double-byte character in the system's code page.
BOOL IsDBCSLeadByte(BYTE testChar);

#endif  // _WIN32
