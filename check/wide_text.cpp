#include "check/wide_text.h"

#ifdef _WIN32
#include <windows.h>

namespace check {

// (Texts here are arguments, file names and at most some tens of KB of
// findings: their lengths fit an int.)
std::string utf8(std::wstring_view text) {
  const int length = static_cast<int>(text.size());
  if (length == 0) return {};
  std::string out(
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), static_cast<int>(out.size()),
                      nullptr, nullptr);
  return out;
}

std::wstring utf16(std::string_view text) {
  const int length = static_cast<int>(text.size());
  if (length == 0) return {};
  std::wstring out(MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), static_cast<int>(out.size()));
  return out;
}

}  // namespace check
#endif
