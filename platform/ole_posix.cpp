#include <atomic>

#include "platform/ole.h"

namespace {
// The process's error mode: system state that Windows keeps per process.
std::atomic<UINT> error_mode{0};
}  // namespace

HRESULT OleInitialize(LPVOID reserved) {
  return reserved == nullptr ? S_OK : E_INVALIDARG;
}

void OleUninitialize() {}

UINT SetErrorMode(UINT mode) {
  return error_mode.exchange(mode);
}
