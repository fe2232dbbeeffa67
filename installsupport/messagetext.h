// Fixed-size texts of the registration messages: copying cut to fit, template expansion.
//
// Every text lives in a buffer of kTextSize bytes, the terminating zero included. A text that
// does not fit is cut at the end of the buffer, never in the middle of a double-byte character,
// and always zero-terminated: nothing is ever written beyond a buffer.
#pragma once

#include <cstddef>
#include <functional>

namespace installsupport {

constexpr size_t kTextSize = 1024;

// Whether a byte starts a double-byte character in the code page of the texts.
using LeadByteTest = std::function<bool(unsigned char byte)>;

// Copies text (null reads as empty) into buffer of size bytes. Returns false when it was cut.
bool CopyText(char* buffer, size_t size, const char* text, const LeadByteTest& isLead);

// Expands a message template into buffer of size bytes: "%1" becomes first, "%2" second (null
// reads as empty), and the scan goes on behind the placeholder, so inserted texts are never
// scanned. Any other "%" is copied as it stands. A lead byte is copied together with the byte
// behind it, and such a pair is never read as a placeholder.
void ExpandMessage(char* buffer, size_t size, const char* templateText, const char* first,
                   const char* second, const LeadByteTest& isLead);

}  // namespace installsupport
