// Where extraction may put a member: the checks against the file system that it makes before it
// creates a member file, so that nothing is written outside the extraction folder through a
// symbolic link (on Windows also a junction or another reparse point), nor over the archive being
// read. The name rule itself, without the file system, is archive/membername.h's.
//
// What stays possible: a link made by someone else between these checks and the creation of the
// file. For the last component the creation itself does not follow a link (a link made meanwhile
// makes it fail on POSIX; on Windows the link itself is opened and written, not what it points
// to). A folder on the way that becomes a link in that moment is not caught.
#pragma once

#include "archive/file.h"

// True when a folder part of name (each prefix that ends before a '/' or '\') exists as a
// symbolic link or another reparse point, wherever it points.
bool LeadsThroughLink(const char* name);

// Creates the member file name for writing, replacing what is there, without writing through a
// link: a link with that name is removed first (a link to a folder too, never what it points
// to) and the file is created anew; otherwise the file is created or emptied with
// FILE_FLAG_OPEN_REPARSE_POINT. False, with the system's last error, when it cannot be created.
bool CreateMemberFile(COutputFile& file, const char* name);

// True when name opens as the very file that archive stands for (under this name or another).
bool NamesFile(const char* name, const FileIdentity& archive);
