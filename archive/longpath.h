// How a name reaches the Windows file API: every call takes the wide form of LongPath, the full
// path with the "\\?\" prefix, so that names beyond MAX_PATH work wherever short ones do and every
// name (an input, a member, the archive, its temporary name, a pattern) takes the same way.
// Names convert from the system code page as the ANSI calls would convert them.
//
// A command-line argument that the code page cannot hold (a folder of a Unicode installer, say)
// keeps its wide form in the 8 bits of the program: ArgumentText spells it as its full path with
// each character outside the code page written <U+XXXX>, and WideText, so LongPath, reads such a
// spelling back, in a full path only ("X:..." or "\..."), which a member name that passed its
// safety check never is.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

// text converted from the system code page, spellings of characters outside it read back.
std::wstring WideText(const std::string& text);

// The 8-bit form of a command-line argument: as the code page spells it when it holds every
// character, otherwise the spelling above.
std::string ArgumentText(const wchar_t* argument);

// Whether text holds the spelling of a character outside the code page.
bool HoldsWideSpelling(const std::string& text);

// The absolute "\\?\" form of name (or "\\?\UNC\..." for a share): '/' and '\' both separate, "."
// and ".." are resolved and the trailing dots and blanks of the last component are trimmed, as
// the ANSI calls do. A name that the system takes for a device ("\\.\..." once made full, such as
// CON) stays in that form; an empty name stays empty.
std::wstring LongPath(const char* name);

#endif  // _WIN32
