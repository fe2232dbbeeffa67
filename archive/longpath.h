// Names beyond MAX_PATH on Windows. The ANSI file calls refuse a path of 260 characters or more
// unless the system allows long paths (lzmulti's manifest opts in; Windows 10 and 11 honour it
// where a system setting allows it). Where an ANSI call refused such a name, the caller tries
// the wide call with LongPath's form of it; short names take the ANSI calls only, as always.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstring>
#include <string>

// Whether an ANSI call may have refused name for its length alone.
inline bool IsLongName(const char* name) {
  return name != nullptr && std::strlen(name) >= MAX_PATH - 12;
}

// The absolute "\\?\" form of name (or "\\?\UNC\..." for a share), converted from the system code
// page as the ANSI calls convert it: the wide calls take it up to 32,767 characters.
std::wstring LongPath(const char* name);

#endif  // _WIN32
