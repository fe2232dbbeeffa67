// Names from an archive may hold any byte. A log line shows them through PrintableText, so that
// control bytes (terminal escapes, line feeds, carriage returns) never reach the console raw.
#pragma once

#include <string>

// The text with every byte below 0x20 and the byte 0x7F written as \xHH (two lower-case
// hexadecimal digits: an escape becomes \x1b); every other byte, '\' included, stays as it is.
// Null reads as empty.
std::string PrintableText(const char* text);
