// Characters of UTF-8 text, for columns and excerpts, counted as editors and
// terminals count them: a lead byte with the continuation bytes that follow it
// as long as they could still make a well-formed character (as many as it
// announces, or fewer where the text breaks off or turns ill-formed); any
// other byte is a character of its own. So E0 80 80, which no well-formed
// character starts, is three characters, as it shows as three replacement
// characters. Whether a character is well-formed is a separate question.
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

// Whether `next` may follow `lead` in a well-formed character: no overlong
// form, no surrogate, nothing above U+10FFFF.
inline bool may_follow(char lead, char next) {
  const auto l = static_cast<unsigned char>(lead);
  const auto n = static_cast<unsigned char>(next);
  if ((n & 0xC0) != 0x80) return false;
  if (l == 0xE0) return n >= 0xA0;
  if (l == 0xED) return n <= 0x9F;
  if (l == 0xF0) return n >= 0x90;
  if (l == 0xF4) return n <= 0x8F;
  return true;
}

// A character not finished yet: its lead byte and the continuation bytes it
// still awaits (none once finished).
struct Unfinished {
  char lead = 0;
  int left = 0;
};

// The character that `lead` starts.
inline Unfinished start(char lead) {
  return {lead, continuations(lead)};
}

// Whether `next` belongs to the character `unfinished`, which then takes it.
inline bool take(Unfinished& unfinished, char next) {
  if (unfinished.left == 0) return false;
  const bool second = unfinished.left == continuations(unfinished.lead);
  if (second ? !may_follow(unfinished.lead, next) : !is_continuation(next)) return false;
  --unfinished.left;
  return true;
}

// The length of the character at `p` (at least 1), by the rule above.
inline std::size_t character_length(const char* p, const char* end) {
  std::size_t length = 1;
  for (Unfinished c = start(*p); p + length != end && take(c, p[length]);) ++length;
  return length;
}

// Whether the `length` bytes at `p`, as character_length() gives them, are one
// well-formed UTF-8 character beyond ASCII.
inline bool well_formed(const char* p, std::size_t length) {
  return length >= 2 && length == static_cast<std::size_t>(continuations(*p)) + 1;
}

// The code point of the well-formed character of `length` bytes at `p`.
inline char32_t code_point(const char* p, std::size_t length) {
  const auto byte = [p](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(p[i]));
  };
  char32_t code = length == 1 ? byte(0) : byte(0) & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) code = code << 6 | (byte(i) & 0x3F);
  return code;
}

}  // namespace diagnosis::utf8
