#include "web/windows_text.h"

namespace web {

std::size_t read_as_windows_text(char* bytes, std::size_t length) {
  std::size_t kept = 0;
  for (std::size_t at = 0; at < length; ++at) {
    const char c = bytes[at];
    if (c == '\x1a') break;
    if (c == '\r' && at + 1 < length && bytes[at + 1] == '\n') continue;
    bytes[kept++] = c;
  }
  return kept;
}

int WindowsTextSink::write(const char* bytes, std::size_t length) {
  // A slice at a time, so that the doubled text fits a small buffer on the
  // stack (the WebAssembly stack is small) and the inner sink gets few calls.
  constexpr std::size_t kSlice = 8 * 1024;
  char translated[2 * kSlice];
  while (length > 0) {
    const std::size_t take = length < kSlice ? length : kSlice;
    std::size_t used = 0;
    for (std::size_t at = 0; at < take; ++at) {
      if (bytes[at] == '\n') translated[used++] = '\r';
      translated[used++] = bytes[at];
    }
    if (const int error = inner_.write(translated, used)) return error;
    bytes += take;
    length -= take;
  }
  return 0;
}

}  // namespace web
