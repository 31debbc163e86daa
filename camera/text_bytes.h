// The kinds of bytes the record pattern's rules ask about, in one place for
// the matcher and for the diagnosis that explains it, so that both read
// whitespace and digits alike.
#pragma once

#include <cstddef>
#include <cstring>

namespace camera {

// Whitespace as the C library has it in its "C" locale: the space, tab, line
// feed, vertical tab, form feed and carriage return.
inline bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool is_digit(char c) {
  return static_cast<unsigned char>(c - '0') < 10;
}

// The first byte from `p` on that is no whitespace, or `end`.
inline const char* skip_space(const char* p, const char* end) {
  while (p != end && is_space(*p)) ++p;
  return p;
}

// The first `c` from `p` on, or `end`. Names and lines can be long, and
// memchr looks at many bytes a step where a loop per byte is slow.
inline const char* find_byte(const char* p, const char* end, char c) {
  const void* found = std::memchr(p, c, static_cast<std::size_t>(end - p));
  return found != nullptr ? static_cast<const char*>(found) : end;
}

}  // namespace camera
