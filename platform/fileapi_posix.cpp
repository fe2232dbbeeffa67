#include "platform/fileapi.h"

BOOL CloseHandle(HANDLE handle) {
  platform::HandleObject* object = platform::HandleObject::FromHandle(handle);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!object->Close()) return FALSE;
  delete object;
  return TRUE;
}
