// Message boxes.
//
// On Windows this is the real API. Elsewhere there is no desktop to show a box on: MessageBoxA
// writes the caption and the text to the standard error stream and returns as if the user had
// pressed OK.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32

#include <string>

typedef void* HWND;

// Buttons.
#define MB_OK 0x00000000U
// Icons.
#define MB_ICONINFORMATION 0x00000040U
// Modality.
#define MB_TASKMODAL 0x00002000U

// Results.
#define IDOK 1

// Shows text under caption on the standard error stream; returns IDOK. A null caption reads as
// "Error" and a null text as empty, as on Windows.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

namespace platform {
// The console form of a message box: the caption in brackets on a line of its own, then the
// text, ending with a line feed.
std::string FormatMessageBox(LPCSTR text, LPCSTR caption);
}  // namespace platform

#endif  // _WIN32
