// The tagged property values of OLE automation that the coders' settings are passed as: the type
// codes (VARTYPE, VT_UI4, VT_BSTR, VT_BOOL), the 16-bit truth value and the property ID.
//
// On Windows these come from the real wtypes.h. Elsewhere this declares the same names with the
// same sizes and values.
#pragma once

#include "platform/wintypes.h"

#ifdef _WIN32
#include <wtypes.h>  // VARENUM, VARIANT_BOOL, VARIANT_TRUE
#else

#include <cstdint>

typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
enum VARENUM : uint16_t { VT_BSTR = 8, VT_BOOL = 11, VT_UI4 = 19 };
#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))
typedef ULONG PROPID;  // a 32-bit ULONG, as Windows' own

#endif  // _WIN32
