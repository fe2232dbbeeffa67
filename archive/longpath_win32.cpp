#include "archive/longpath.h"

std::wstring LongPath(const char* name) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, name, -1, &wide[0], length);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  full.resize(::GetFullPathNameW(wide.c_str(), size, &full[0], nullptr));
  if (full.compare(0, 4, L"\\\\?\\") == 0) return full;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}
