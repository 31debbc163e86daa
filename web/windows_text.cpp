#include "web/windows_text.h"

#include <cstring>

namespace web {
namespace {

// The index of the first `c` in bytes[at, end), or `end`.
std::size_t find(const char* bytes, std::size_t at, std::size_t end, char c) {
  const void* found = std::memchr(bytes + at, c, end - at);
  return found ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes) : end;
}

}  // namespace

int WindowsTextSink::write(const char* bytes, std::size_t length) {
  // A slice at a time, so that the doubled text fits a small buffer on the
  // stack (the WebAssembly stack is small) and the inner sink gets few calls.
  constexpr std::size_t kSlice = 8 * 1024;
  char translated[2 * kSlice];
  while (length > 0) {
    const std::size_t take = length < kSlice ? length : kSlice;
    std::size_t used = 0;
    for (std::size_t at = 0; at < take;) {
      const std::size_t line_end = find(bytes, at, take, '\n');
      std::memcpy(translated + used, bytes + at, line_end - at);
      used += line_end - at;
      at = line_end;
      if (at == take) break;
      translated[used++] = '\r';
      translated[used++] = '\n';
      ++at;
    }
    if (const int error = inner_.write(translated, used)) return error;
    bytes += take;
    length -= take;
  }
  return 0;
}

}  // namespace web
