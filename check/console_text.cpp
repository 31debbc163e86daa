#include "check/console_text.h"

#ifdef _WIN32
#include <windows.h>

#include <cerrno>
#include <climits>
#include <string>

#include "check/wide_text.h"
#endif

namespace check {

#ifdef _WIN32
bool write_to_console(int fd, std::string_view text, int& error) {
  const HANDLE console = GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (console == nullptr || console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode) ||
      text.size() > INT_MAX) {
    return false;
  }
  error = 0;
  const std::wstring wide = utf16(text);
  // Each line end as CR LF, as a text stream writes it.
  std::wstring shown;
  shown.reserve(wide.size() + wide.size() / 16);
  for (const wchar_t c : wide) {
    if (c == L'\n') shown += L'\r';
    shown += c;
  }
  // In parts that older consoles take in one call, none ending inside a
  // surrogate pair.
  constexpr std::size_t kPart = 8192;
  for (std::size_t at = 0; at < shown.size();) {
    std::size_t part = shown.size() - at < kPart ? shown.size() - at : kPart;
    if (part == kPart && shown[at + part - 1] >= 0xD800 && shown[at + part - 1] <= 0xDBFF) --part;
    DWORD written = 0;
    if (!WriteConsoleW(console, shown.data() + at, static_cast<DWORD>(part), &written, nullptr) ||
        written == 0) {
      error = EIO;
      return true;
    }
    at += written;
  }
  return true;
}
#else
bool write_to_console(int, std::string_view, int&) {
  return false;
}
#endif

}  // namespace check
