// Fixed-size texts of the registration messages: copying cut to fit, template expansion.
//
// Every text lives in a buffer of kTextSize characters, the terminating zero included: bytes of
// the ANSI code page for the ANSI exports, UTF-16 units for their wide twins. A text that does not
// fit is cut at the end of the buffer (or shortened in its middle, ExpandMessageToFit), never in
// the middle of a character of two (a double-byte character, a surrogate pair), and always
// zero-terminated: nothing is ever written beyond a buffer.
#pragma once

#include <cstddef>
#include <functional>
#include <type_traits>

namespace installsupport {

constexpr size_t kTextSize = 1024;

// The code unit of a text of Char: unsigned char for bytes, wchar_t for UTF-16 units.
template <typename Char>
using CodeUnit = std::conditional_t<std::is_same_v<Char, char>, unsigned char, Char>;

// Whether a code unit starts a character of two: a lead byte of the double-byte code page of the
// texts, or a high surrogate of UTF-16.
template <typename Char>
using LeadTest = std::function<bool(CodeUnit<Char> unit)>;
using LeadByteTest = LeadTest<char>;
using LeadUnitTest = LeadTest<wchar_t>;

// Copies text (null reads as empty) into buffer of size characters. Returns false when it was
// cut.
bool CopyText(char* buffer, size_t size, const char* text, const LeadByteTest& isLead);
bool CopyText(wchar_t* buffer, size_t size, const wchar_t* text, const LeadUnitTest& isLead);

// Expands a message template into buffer of size characters: "%1" becomes first, "%2" second
// (null reads as empty), and the scan goes on behind the placeholder, so inserted texts are never
// scanned. Any other "%" is copied as it stands. A lead byte (unit) is copied together with the
// one behind it, and such a pair is never read as a placeholder.
void ExpandMessage(char* buffer, size_t size, const char* templateText, const char* first,
                   const char* second, const LeadByteTest& isLead);
void ExpandMessage(wchar_t* buffer, size_t size, const wchar_t* templateText, const wchar_t* first,
                   const wchar_t* second, const LeadUnitTest& isLead);

// Expands as ExpandMessage does, but when the whole text would not fit, first is shortened
// wherever it is inserted: its start and its end, joined by "...", each as long as the rest of the
// text leaves room for. The rest, second included, then stands whole. Only when that leaves first
// fewer than 5 characters is the text cut as ExpandMessage cuts it.
// A text that fits comes out as ExpandMessage makes it.
void ExpandMessageToFit(char* buffer, size_t size, const char* templateText, const char* first,
                        const char* second, const LeadByteTest& isLead);
void ExpandMessageToFit(wchar_t* buffer, size_t size, const wchar_t* templateText,
                        const wchar_t* first, const wchar_t* second, const LeadUnitTest& isLead);

}  // namespace installsupport
