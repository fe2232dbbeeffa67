// The share-mode rules between handles of one file that this layer keeps, as Windows does: while
// a handle that denies writing (a share mode without FILE_SHARE_WRITE) is open, the file cannot be
// opened for writing, and a handle that denies writing cannot be opened while a handle writes the
// file. Both fail with ERROR_SHARING_VIOLATION. The other share-mode rules are not kept.
//
// Each handle marks what it does with a shared lock on one of two bytes far beyond any data: the
// kernel keeps the marks per open file (open file description locks), drops them when the handle
// closes, and shows them to every handle of every process that opens the same file through this
// layer. Programs outside it are not held back. On a file system without such locks no handle
// is marked and nothing is refused.
#pragma once

#include "platform/wintypes.h"

namespace platform {

struct ShareClaim {
  bool writes = false;         // the handle has write access
  bool deniesWriting = false;  // its share mode lacks FILE_SHARE_WRITE
};

ShareClaim ClaimFor(DWORD desiredAccess, DWORD shareMode);

// Checks the claim against the other handles open on the file of fd and marks fd with it. false
// when they conflict; a file just created by this open (freshlyCreated) has no other handles, so
// only the mark is set. held says whether fd now carries the mark of deniesWriting, which is what
// the file's read-ahead relies on.
bool TakeShare(int fd, ShareClaim claim, bool freshlyCreated, bool& held);

}  // namespace platform
