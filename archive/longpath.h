// How a name reaches the Windows file API: every call takes the wide form of LongPath, the full
// path with the "\\?\" prefix, so that names beyond MAX_PATH work wherever short ones do and every
// name (an input, a member, the archive, its temporary name, a pattern) takes the same way.
// Names convert from the system code page as the ANSI calls would convert them.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

// text converted from the system code page.
std::wstring WideText(const std::string& text);

// The absolute "\\?\" form of name (or "\\?\UNC\..." for a share): '/' and '\' both separate, "."
// and ".." are resolved and the trailing dots and blanks of the last component are trimmed, as
// the ANSI calls do. A name that the system takes for a device ("\\.\..." once made full, such as
// CON) stays in that form; an empty name stays empty.
std::wstring LongPath(const char* name);

#endif  // _WIN32
