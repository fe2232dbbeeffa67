// OLE initialisation of the calling thread and the process's error mode.
//
// On Windows this is the real API. Elsewhere there is no OLE to initialise: OleInitialize and
// OleUninitialize succeed without effect. SetErrorMode keeps the mode for the process and hands
// back the earlier one, as Windows does; nothing else reads it.
#pragma once

#include "platform/wintypes.h"

#ifdef _WIN32
#include <ole2.h>
#else

#define SEM_FAILCRITICALERRORS 0x0001U

// S_OK; E_INVALIDARG when reserved is not null (Windows wants it null as well).
HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize();
// Sets the process's error mode and returns the mode it had before.
UINT SetErrorMode(UINT mode);

#endif  // _WIN32
