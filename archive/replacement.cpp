#include "archive/replacement.h"

bool CReplacement::TakeTemporary(const Path& target,
                                 const std::function<bool(const Path&)>& create) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string suffix = ".partial" + (attempt > 0 ? std::to_string(attempt) : std::string());
    const Path candidate = target + Path(suffix.begin(), suffix.end());
    // Created new, so that nothing that is already there is touched.
    if (create(candidate)) {
      target_ = target;
      temporary_ = candidate;
      return true;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}
