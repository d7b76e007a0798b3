#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

#include "file_attributes.h"

bool hideFile(const std::string& name) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0);
  if (size <= 0) return false;
  std::vector<wchar_t> wide(static_cast<std::size_t>(size));
  ::MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), size);
  return ::SetFileAttributesW(wide.data(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) != 0;
}
