// The rule for stored member names that extraction refuses unless asked to keep the names as they
// stand (the -p option).
#pragma once

// True for a stored name that would reach outside the extraction folder or into a device:
// absolute ("/...", "\..."), with a colon (a drive letter such as "C:", or a Windows data
// stream), with a component of dots and blanks only other than "." (such as "..", "..." or ".. ",
// which Windows trims to ".." or less), or with a component that Windows takes for a device (CON,
// PRN, AUX, NUL, COM1-9, LPT1-9, in any case and with any extension); on Windows also with a
// component that ends in a dot or a blank ("x.txt.", "y "), which Windows programs cannot reach.
// "/" and "\" both separate components.
bool IsUnsafeMemberName(const char* name);
