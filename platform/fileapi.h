// What the POSIX services of halyard4inst's stand-in still share: the handle objects that
// CloseHandle releases. To go with that stand-in.
#pragma once

#include "platform/wintypes.h"

#ifndef _WIN32

#include <string>
#include <typeinfo>

typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

BOOL CloseHandle(HANDLE object);

namespace platform {

class HandleObject {
 public:
  HandleObject() = default;
  virtual ~HandleObject() = default;
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;
  virtual bool Close() = 0;
  HANDLE ToHandle() { return static_cast<HANDLE>(this); }
  static HandleObject* FromHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<HandleObject*>(handle);
  }
  template <class T>
  static T* As(HANDLE handle) {
    HandleObject* object = FromHandle(handle);
    if (object == nullptr || typeid(*object) != typeid(T)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    return static_cast<T*>(object);
  }
};

inline bool HasSeparator(const std::string& path) {
  return path.find('/') != std::string::npos;
}

}  // namespace platform

#endif  // _WIN32
