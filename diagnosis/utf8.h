// Characters of UTF-8 text, for columns and excerpts. A character is a lead
// byte with the continuation bytes that follow it (as many as it announces,
// or fewer where the text breaks off); any other byte is a character of its
// own. Whether a character is well-formed UTF-8 is a separate question.
#pragma once

#include <cstddef>

namespace diagnosis::utf8 {

inline bool is_continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The continuation bytes that a lead byte announces: 0 for any other byte.
inline int continuations(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0xF0 && b <= 0xF4 ? 3 : b >= 0xE0 ? (b <= 0xEF ? 2 : 0) : b >= 0xC2 ? 1 : 0;
}

// The length of the character at `p` (at least 1), by the rule above.
inline std::size_t character_length(const char* p, const char* end) {
  std::size_t length = 1;
  for (int left = continuations(*p); left > 0 && p + length != end && is_continuation(p[length]);
       --left) {
    ++length;
  }
  return length;
}

// Whether the `length` bytes at `p` are one well-formed UTF-8 character
// beyond ASCII (no overlong form, no surrogate, nothing above U+10FFFF).
inline bool well_formed(const char* p, std::size_t length) {
  if (length < 2 || length != static_cast<std::size_t>(continuations(*p)) + 1) return false;
  const auto lead = static_cast<unsigned char>(p[0]);
  const auto second = static_cast<unsigned char>(p[1]);
  if (lead == 0xE0) return second >= 0xA0;
  if (lead == 0xED) return second <= 0x9F;
  if (lead == 0xF0) return second >= 0x90;
  if (lead == 0xF4) return second <= 0x8F;
  return true;
}

}  // namespace diagnosis::utf8
