#include "base/streams.h"

HRESULT ResultFromLastError() {
  const DWORD code = GetLastError();
  return code == 0 ? E_FAIL : static_cast<HRESULT>(code);
}
