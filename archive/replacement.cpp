#include "archive/replacement.h"

bool CReplacement::TakeTemporary(const std::string& target,
                                 const std::function<bool(const char*)>& create) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate =
        target + ".partial" + (attempt > 0 ? std::to_string(attempt) : std::string());
    // Created new, so that nothing that is already there is touched.
    if (create(candidate.c_str())) {
      target_ = target;
      temporary_ = candidate;
      return true;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}
