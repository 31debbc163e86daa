// Characters that stand where brivel wants a byte of its own, and look like
// it, as word processors, spreadsheets, other locales and keyboards write
// them: other quotes for the double quote; other spaces, signs and digits;
// letters of other scripts in a key. Each in UTF-8, and in Windows-1252
// ("ANSI") text where it has a byte there.
#pragma once

#include <cstddef>
#include <string_view>

namespace diagnosis {

// The curly quotes, the single quote, and the angle quotes (guillemets) of
// French, German and other locales.
enum class QuoteKind { kCurly, kSingle, kAngle };

// The length of the quote at `p` that stands in for a double quote, 0 if
// none; `kind` tells which kind.
std::size_t other_quote_length(const char* p, const char* end, QuoteKind& kind);

// "curly", "single", "angle".
std::string_view quote_kind(QuoteKind kind);

enum class Lookalike { kNone, kSpace, kMinus, kPlus, kDigit };

struct LookalikeCharacter {
  Lookalike kind;
  std::string_view name;  // "a no-break space"
  char32_t code;          // 0 for a byte of Windows-1252 text
  std::size_t length;     // in bytes
};

// The character at `p`, and which of a space, a sign or a digit it looks
// like, if any.
LookalikeCharacter lookalike(const char* p, const char* end);

// A letter of another script that looks like a Latin one of the keys (the
// Cyrillic у of a Russian keyboard for y, say), or a full-width letter: the
// Latin letter, 0 if none; the character's `length` and its `script`.
char latin_lookalike(const char* p, const char* end, std::size_t& length, std::string_view& script);

}  // namespace diagnosis
