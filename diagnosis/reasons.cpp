#include "diagnosis/reasons.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "camera/byte_lanes.h"
#include "camera/text_bytes.h"
#include "diagnosis/lookalikes.h"
#include "diagnosis/utf8.h"

namespace diagnosis {
namespace {

using Expected = camera::StopPoint::Expected;

constexpr std::string_view kKeys[] = {"x", "y", "z", "pitch", "yaw", "roll", "fov"};
constexpr std::string_view kKeyOrder = "the keys come in the order x, y, z, pitch, yaw, roll, fov";

using camera::is_digit;
using camera::is_space;
using camera::skip_space;

bool is_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_hex_digit(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

const char* skip_letters(const char* p, const char* end) {
  while (p != end && is_letter(*p)) ++p;
  return p;
}

// The index of the key that `token` spells, in any case, or -1.
int key_index(std::string_view token) {
  for (int k = 0; k < 7; ++k) {
    const std::string_view key = kKeys[k];
    if (token.size() != key.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < key.size(); ++i) same = same && lower(token[i]) == key[i];
    if (same) return k;
  }
  return -1;
}

// Calls `found(key index, start)` for each key word in [from, end) that is
// followed, after any whitespace, by '='. Words are runs of letters, in any case.
template <typename Found>
void for_each_key_with_equals(const char* from, const char* end, Found found) {
  for (const char* p = from; p != end;) {
    if (!is_letter(*p)) {
      ++p;
      continue;
    }
    const char* const word_end = skip_letters(p, end);
    const int k = key_index({p, static_cast<std::size_t>(word_end - p)});
    const char* const after = skip_space(word_end, end);
    if (k >= 0 && after != end && *after == '=') found(k, p);
    p = word_end;
  }
}

// "a minus sign (U+2212)", the character itself where it shows.
Words& name_lookalike(Words& words, const LookalikeCharacter& c, const char* p) {
  static const char kHex[] = "0123456789ABCDEF";
  const char code[] = {kHex[c.code >> 12 & 15], kHex[c.code >> 8 & 15], kHex[c.code >> 4 & 15],
                       kHex[c.code & 15]};
  words << c.name;
  if (c.code == 0) {
    const auto b = static_cast<unsigned char>(*p);
    const char byte[] = {kHex[b >> 4], kHex[b & 15]};
    return words << " (the byte 0x" << std::string_view(byte, 2) << " of Windows-1252 text)";
  }
  if (c.kind != Lookalike::kSpace) words << " \"" << std::string_view(p, c.length) << "\"";
  return words << " (U+" << std::string_view(code, 4) << ")";
}

// Whether the word at `p` spells `key` once its lookalike letters are read
// as Latin ones, with at least one such letter: the first of them in
// `glyph`, its Latin letter in `latin` and its script in `script`.
bool key_with_lookalike_letter(const char* p, const char* end, std::string_view key,
                               std::string_view& glyph, char& latin, std::string_view& script) {
  char spelt[8];
  std::size_t letters = 0;
  glyph = {};
  while (p != end && letters < sizeof spelt) {
    std::size_t length = 1;
    char letter = is_letter(*p) ? lower(*p) : 0;
    std::string_view its_script;
    if (letter == 0) letter = latin_lookalike(p, end, length, its_script);
    if (letter == 0) break;
    if (length > 1 && glyph.empty()) {
      glyph = {p, length};
      latin = letter;
      script = its_script;
    }
    spelt[letters++] = letter;
    p += length;
  }
  return !glyph.empty() && std::string_view(spelt, letters) == key;
}

// What a number at `p`, right after its digits, was still meant to hold that
// brivel does not read: an exponent (1e3, 7E+1), or groups of three digits
// after a separator of thousands (1'024, 1_024, 1 024 with a no-break or thin
// space, 1’024). Its length, 0 if none; `exponent` tells which.
std::size_t number_tail(const char* p, const char* end, bool& exponent) {
  exponent = p != end && (*p == 'e' || *p == 'E');
  if (exponent) {
    const char* digits = p + 1;
    if (digits != end && (*digits == '+' || *digits == '-')) ++digits;
    const char* q = digits;
    while (q != end && is_digit(*q)) ++q;
    return q == digits ? 0 : static_cast<std::size_t>(q - p);
  }
  const char* q = p;
  for (;;) {
    std::size_t separator = 0;
    if (q != end && (*q == '\'' || *q == '_')) {
      separator = 1;
    } else if (q != end) {
      const std::size_t length = utf8::character_length(q, end);
      const std::string_view c(q, length);
      if (c == "\xC2\xA0" || c == "\xE2\x80\xAF" || c == "\xE2\x80\x89" || c == "\xE2\x80\x99") {
        separator = length;
      }
    }
    const char* const group = q + separator;
    if (separator == 0 || end - group < 3 || !is_digit(group[0]) || !is_digit(group[1]) ||
        !is_digit(group[2]) || (end - group > 3 && is_digit(group[3]))) {
      break;
    }
    q = group + 3;
  }
  return static_cast<std::size_t>(q - p);
}

// The number that ends at `p` (its sign and digits) and goes on for `tail`
// bytes, as the line writes it (its value may differ: beyond 32 bits, or with
// leading zeros); a long one as its value, then the tail.
Words& number_as_written(Words& words, const char* text, const char* p, std::size_t tail,
                         std::int64_t value) {
  const char* start = p;
  while (start != text && is_digit(start[-1])) --start;
  if (start != text && (start[-1] == '-' || start[-1] == '+')) --start;
  if (tail > 32) return words << value;
  if (p - start > 24) return words << value << std::string_view(p, tail);
  return words << std::string_view(start, static_cast<std::size_t>(p - start) + tail);
}

// "x=1e3 has an exponent, ...: " or "x=1'024 groups its digits, ...: ", for the
// number of `key` that ends at `p` and goes on for `tail` bytes.
Words& number_tail_words(Words& words, std::string_view key, const char* text, const char* p,
                         std::size_t tail, bool exponent, std::int64_t value) {
  return number_as_written(words << key << "=", text, p, tail, value)
         << (exponent ? " has an exponent, but numbers are whole and written without one: "
                      : " groups its digits, but numbers are written without separators: ");
}

// A number read as 0 that was meant as hexadecimal: "x1F" at `p`, right after
// a run of zeros that starts the number. The number as written, its sign, its
// zeros, x and (at most eight of) its digits, or nothing.
std::string_view hex_number(const char* text, const char* p, const char* end) {
  if (p == end || (*p != 'x' && *p != 'X')) return {};
  const char* zeros = p;
  while (zeros != text && zeros[-1] == '0') --zeros;
  if (zeros == p || (zeros != text && is_digit(zeros[-1]))) return {};
  const char* digits_end = p + 1;
  while (digits_end != end && is_hex_digit(*digits_end) && digits_end - p <= 8) ++digits_end;
  if (digits_end == p + 1) return {};
  const char* const start = zeros - (zeros != text && (zeros[-1] == '+' || zeros[-1] == '-'));
  return {start, static_cast<std::size_t>(digits_end - start)};
}

Reason explain_key(const char* text, const char* end, const Reading& reading, Words& words,
                   std::size_t& offset) {
  const std::string_view key = wanted_key(reading.items - 1);
  const char* const p = text + reading.stop.offset;
  if (p == end) {
    last_item(words << key << " is missing after ", reading);
    return Reason::kMissingKey;
  }
  if (*p == '\0') {
    last_item(words << "a NUL byte ends the line's text here, where " << key << "= should follow ",
              reading);
    return Reason::kNul;
  }
  if (reading.items == 1) {
    // A name that was to hold a double quote, escaped (\") or doubled (""),
    // ends at it.
    const char* quote = p;
    while (quote != text && is_space(quote[-1])) --quote;
    --quote;
    const bool escaped = quote - text >= 2 && quote[-1] == '\\' &&
                         std::memchr(p, '"', static_cast<std::size_t>(end - p)) != nullptr;
    if ((*p == '"' && quote + 1 == p) || escaped) {
      words << "the name ends at this double quote, but the line goes on as if it did not: a "
               "name holds no double quote, escaped (\\\") or doubled (\"\")";
      offset = static_cast<std::size_t>(quote - text);
      return Reason::kQuoteInName;
    }
  }
  const bool after_number = reading.items >= 2 && p > text && is_digit(p[-1]);
  if (const std::string_view hex = after_number ? hex_number(text, p, end) : ""; !hex.empty()) {
    const std::string_view number_key = wanted_key(reading.items - 2);
    words << number_key << "=" << hex
          << " is a hexadecimal number, but numbers are decimal: " << number_key
          << " reads as 0, and the line is read no further";
    return Reason::kHexNumber;
  }
  // A comma counts only before a digit: "x=1, y=2" is a list with commas.
  if (after_number && (*p == '.' || (*p == ',' && p + 1 != end && is_digit(p[1])))) {
    last_item(words << (*p == '.' ? "a decimal point after " : "a decimal comma after "), reading)
        << ": numbers are whole, and the line is read no further";
    return Reason::kDecimalPoint;
  }
  bool exponent = false;
  if (const std::size_t tail = after_number ? number_tail(p, end, exponent) : 0; tail != 0) {
    const std::string_view number_key = wanted_key(reading.items - 2);
    const std::int32_t value = item_value(reading.record, reading.items);
    number_tail_words(words, number_key, text, p, tail, exponent, value)
        << number_key << " reads as " << value << ", and the line is read no further";
    return exponent ? Reason::kExponent : Reason::kDigitGrouping;
  }
  std::string_view glyph;
  std::string_view script;
  char latin = 0;
  if (key_with_lookalike_letter(p, end, key, glyph, latin, script)) {
    words << key << " is written with " << (script == "full-width" ? "a " : "the ") << script
          << " letter \"" << glyph << "\" where the Latin " << std::string_view(&latin, 1)
          << " belongs";
    offset = static_cast<std::size_t>(glyph.data() - text);
    return Reason::kLookalike;
  }
  const char* const token_end = skip_letters(p, end);
  const std::string_view token(p, static_cast<std::size_t>(token_end - p));
  if (token.empty()) {
    last_item(words << key << "= was expected after ", reading) << ", not ";
    words.byte_at(p, end);
    return Reason::kUnexpected;
  }
  const char* const equals = skip_space(token_end, end);
  const bool has_equals = equals != end && *equals == '=';
  if (token == key) {
    if (has_equals) {
      words << "a space between " << key << " and =: the = must follow the key directly";
      return Reason::kSpaceBeforeEquals;
    }
    words << key << " must be followed directly by =, not ";
    words.byte_at(token_end, end);
    offset = static_cast<std::size_t>(token_end - text);
    return Reason::kKeyWithoutEquals;
  }
  const int k = key_index(token);
  if (k >= 0 && kKeys[k] == key) {
    words << token << (has_equals && equals == token_end ? "=" : "")
          << " must be written in lower case: " << key << "=";
    return Reason::kUpperCaseKey;
  }
  if (k >= 0) {
    bool comes_later = false;
    for_each_key_with_equals(token_end, end, [&](int later, const char* at) {
      (void)at;
      comes_later = comes_later || kKeys[later] == key;
    });
    if (comes_later) {
      words << token << "= stands where " << key << "= belongs: " << kKeyOrder;
      return Reason::kKeysOutOfOrder;
    }
    last_item(words << key << " is missing after ", reading);
    return Reason::kMissingKey;
  }
  if (has_equals) {
    words.quoted(token) << " is not a key: " << key << "= was expected after ";
    last_item(words, reading);
    return Reason::kKeyTypo;
  }
  last_item(words << key << "= was expected after ", reading) << ", not ";
  words.quoted(token);
  return Reason::kUnexpected;
}

Reason explain_number(const char* text, const char* end, const Reading& reading, Words& words) {
  const std::string_view key = wanted_key(reading.items - 1);
  const char* const p = text + reading.stop.offset;
  const bool sign = p > text && (p[-1] == '+' || p[-1] == '-');
  if (p != end && *p == '\0') {
    words << "a NUL byte ends the line's text here, where the number of " << key << " belongs";
    return Reason::kNul;
  }
  if (sign && p != end && (*p == '+' || *p == '-')) {
    words << "two signs before the number of " << key;
    return Reason::kTwoSigns;
  }
  if (sign && p != end && is_space(*p)) {
    const char* const digit = skip_space(p, end);
    if (digit != end && is_digit(*digit)) {
      words << "a space between the sign and the digits of " << key;
      return Reason::kSpaceAfterSign;
    }
  }
  if (sign) {
    words << "the sign of " << key << " has no digits after it";
    return Reason::kSignWithoutDigits;
  }
  // In straight quotes, or in the curly ones a word processor puts there.
  QuoteKind kind;
  if (const std::size_t quote = p == end    ? 0
                                : *p == '"' ? 1
                                            : other_quote_length(p, end, kind);
      quote != 0) {
    const char* digit = p + quote;
    if (digit != end && (*digit == '-' || *digit == '+')) ++digit;
    if (digit != end && is_digit(*digit)) {
      words << "the number of " << key << " stands in quotes, but numbers are written without them";
      return Reason::kQuotedNumber;
    }
  }
  if (const LookalikeCharacter c = p != end ? lookalike(p, end) : LookalikeCharacter{};
      c.kind != Lookalike::kNone) {
    name_lookalike(words << key << "= has no number that brivel reads: it starts with ", c, p);
    switch (c.kind) {
      case Lookalike::kSpace:
        words << ", and only spaces, tabs and line ends may stand between = and the number";
        break;
      case Lookalike::kDigit:
        words << ", and numbers are written in the digits 0 to 9";
        break;
      default:
        words << ", and a number's sign is - or +";
        break;
    }
    return Reason::kLookalike;
  }
  words << key << "= has no number";
  return Reason::kNoNumber;
}

// A name without its closing quote: did a curly or single quote stand in for
// it, with a key after it?
bool closed_by_other_quote(const char* name, const char* end, Words& words, const char*& at) {
  for (const char* p = name; p != end; ++p) {
    QuoteKind kind;
    const std::size_t length = other_quote_length(p, end, kind);
    if (length == 0) {
      // Past the rest of a character, so that no part of it is taken for a quote.
      const std::size_t character = utf8::character_length(p, end);
      if (utf8::well_formed(p, character)) p += character - 1;
      continue;
    }
    bool key_follows = false;
    const char* const after = skip_space(p + length, end);
    for_each_key_with_equals(
        after, end, [&](int, const char* key) { key_follows = key_follows || key == after; });
    if (!key_follows) continue;
    at = p;
    words << "the name ends with " << (kind == QuoteKind::kAngle ? "an " : "a ") << quote_kind(kind)
          << " quote (";
    if (length == 1 && *p != '\'') {
      words.byte_at(p, end);
    } else {
      words << std::string_view(p, length);
    }
    words << "), but it must end with a straight double quote (\")";
    return true;
  }
  return false;
}

}  // namespace

Words& Words::operator<<(std::string_view text) {
  const std::size_t take = std::min(text.size(), sizeof text_ - length_);
  std::memcpy(text_ + length_, text.data(), take);
  length_ += take;
  return *this;
}

Words& Words::operator<<(std::int64_t number) {
  char digits[24];
  std::size_t at = sizeof digits;
  const bool negative = number < 0;
  auto magnitude = static_cast<std::uint64_t>(number);
  if (negative) magnitude = 0 - magnitude;
  do {
    digits[--at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) digits[--at] = '-';
  return *this << std::string_view(digits + at, sizeof digits - at);
}

Words& Words::quoted(std::string_view token) {
  constexpr std::size_t kLongest = 24;
  if (token.size() <= kLongest) return *this << "\"" << token << "\"";
  return *this << "\"" << token.substr(0, kLongest) << "...\"";
}

Words& Words::byte_at(const char* at, const char* end) {
  if (at == end || *at == '\n') return *this << "the end of the line";
  switch (*at) {
    case ' ':
      return *this << "a space";
    case '\t':
      return *this << "a tab";
    case '\r':
      return *this << "a carriage return";
    case '\v':
      return *this << "a vertical tab";
    case '\f':
      return *this << "a form feed";
    case '"':
      return *this << "a double quote";
    case '\0':
      return *this << "a NUL byte";
    default:
      break;
  }
  const auto b = static_cast<unsigned char>(*at);
  if (b > 0x20 && b < 0x7F) return quoted({at, 1});
  // Spaces of other kinds show as a space, or as nothing: named.
  if (const LookalikeCharacter c = lookalike(at, end); c.kind == Lookalike::kSpace) {
    return name_lookalike(*this, c, at);
  }
  const std::size_t length = utf8::character_length(at, end);
  if (utf8::well_formed(at, length)) return quoted({at, length});
  static const char kHex[] = "0123456789ABCDEF";
  const char hex[] = {kHex[b >> 4], kHex[b & 15]};
  return *this << (b < 0x80 ? "the control byte 0x" : "the byte 0x") << std::string_view(hex, 2);
}

void read_by_the_rules(const char* text, std::size_t length, Reading& reading) {
  reading.items = camera::match_by_the_rules(text, length, reading.record, reading.stop);
}

std::string_view wanted_key(int items) {
  return kKeys[items < 0 ? 0 : items > 6 ? 6 : items];
}

std::int32_t item_value(const camera::CameraRecord& record, int item) {
  const std::int32_t values[] = {record.x,   record.y,    record.z,  record.pitch,
                                 record.yaw, record.roll, record.fov};
  return values[item - 2];
}

Words& last_item(Words& words, const Reading& reading) {
  if (reading.items <= 1) return words << "the name";
  const int item = reading.items;
  return words << wanted_key(item - 2) << "=" << item_value(reading.record, item);
}

Words& key_list(Words& words, int first, int last) {
  for (int item = first; item <= last; ++item) {
    words << (item == first ? "" : item == last ? " and " : ", ") << wanted_key(item - 2);
  }
  return words;
}

bool ran_out(const char* text, std::size_t length, const Reading& reading) {
  const std::size_t offset = reading.stop.offset;
  if (offset == length) return true;
  if (reading.stop.expected != Expected::kKey) return false;
  // A key cut short: "fo" of fov=.
  const std::string_view rest(text + offset, length - offset);
  std::string_view key_and_equals = wanted_key(reading.items - 1);
  return rest.size() <= key_and_equals.size() && key_and_equals.substr(0, rest.size()) == rest;
}

Reason explain_stop(const char* text, std::size_t length, const Reading& reading, Words& words,
                    std::size_t& offset) {
  const char* const end = text + length;
  const char* const p = text + reading.stop.offset;
  offset = reading.stop.offset;
  switch (reading.stop.expected) {
    case Expected::kName:
      if (p != end && *p == '"') {
        words << "the name is empty: a camera line's name has at least one character";
        return Reason::kEmptyName;
      }
      if (p != end && *p == '\0') {
        words << "a NUL byte ends the line inside the name";
        return Reason::kNulInName;
      }
      words << "the line ends after the opening quote: the name and its closing quote are missing";
      return Reason::kNoName;
    case Expected::kClosingQuote: {
      if (p != end && *p == '\0') {
        words << "a NUL byte ends the line inside the name";
        return Reason::kNulInName;
      }
      const char* quote = nullptr;
      if (closed_by_other_quote(skip_space(text, end) + 1, end, words, quote)) {
        offset = static_cast<std::size_t>(quote - text);
        return Reason::kCurlyClosingQuote;
      }
      words << "the closing quote of the name is missing";
      return Reason::kNoClosingQuote;
    }
    case Expected::kKey:
      return explain_key(text, end, reading, words, offset);
    case Expected::kNumber:
      return explain_number(text, end, reading, words);
    case Expected::kOpeningQuote:
    case Expected::kNothing:
      break;
  }
  words << "the line was read to its end";
  return Reason::kUnexpected;
}

namespace {

// How many different keys, each with its '=', stand in the bytes from `p` on.
int distinct_keys(const char* p, const char* end) {
  unsigned keys = 0;
  for_each_key_with_equals(p, end, [&](int k, const char*) { keys |= 1u << k; });
  int distinct = 0;
  for (; keys != 0; keys &= keys - 1) ++distinct;
  return distinct;
}

// Where a line names x, y and z, each followed by ':' (after its closing
// quote, if quoted, and any whitespace) and a number, each in quotes or after
// a '{' as JSON and YAML write them: the first of them. Otherwise null. (A
// legend, "Origin at x: 0, y: 0, z: 0", is no camera.)
const char* first_key_with_colon(const char* from, const char* end) {
  unsigned keys = 0;
  const char* first = nullptr;
  bool braced = false;
  for (const char* p = from; p != end;) {
    if (!is_letter(*p)) {
      braced = braced || *p == '{';
      ++p;
      continue;
    }
    const char* const word_end = skip_letters(p, end);
    const int k = key_index({p, static_cast<std::size_t>(word_end - p)});
    const char* after = word_end;
    const bool quoted =
        p != from && (p[-1] == '"' || p[-1] == '\'') && after != end && *after == p[-1];
    if (quoted) ++after;
    after = skip_space(after, end);
    const char* number = after != end && *after == ':' ? skip_space(after + 1, end) : end;
    if (number != end && (*number == '-' || *number == '+')) ++number;
    if (k >= 0 && k <= 2 && (braced || quoted) && number != end && is_digit(*number)) {
      keys |= 1u << k;
      if (first == nullptr) first = p;
    }
    p = word_end;
  }
  return keys == 7 ? first : nullptr;
}

}  // namespace

bool explain_unquoted(const char* text, std::size_t length, std::size_t first, Reason& reason,
                      Words& words, std::size_t& offset) {
  const char* const end = text + length;
  const char* const p = text + first;
  const int distinct = distinct_keys(p, end);
  offset = first;
  QuoteKind kind;
  const std::size_t quote = other_quote_length(p, end, kind);
  if (quote != 0 && distinct >= 1) {
    reason = kind == QuoteKind::kSingle ? Reason::kSingleQuotes : Reason::kCurlyQuotes;
    words << "the name is in " << quote_kind(kind)
          << " quotes, but a camera line's name is in straight double quotes (\"name\")";
    return true;
  }
  if (distinct < 2) {
    // A camera written as JSON or YAML write one: {"x": 10, "y": -4, ...}.
    const char* const colon_key = first_key_with_colon(p, end);
    if (colon_key == nullptr) return false;
    reason = Reason::kKeyWithoutEquals;
    offset = static_cast<std::size_t>(colon_key - text);
    words << "this line holds a camera with ':' after its keys, as JSON or YAML write one, "
             "but brivel reads only lines such as \"name\" x=10 y=-4 z=96 pitch=0 yaw=180 "
             "roll=0 fov=75";
    return true;
  }
  reason = Reason::kNoQuotes;
  if (std::memchr(p, '"', static_cast<std::size_t>(end - p)) == nullptr) {
    words << "no name in double quotes: a camera line starts with one (\"name\" x=...)";
    return true;
  }
  words << "a camera line starts with its name in double quotes, but this one starts with ";
  const char* const token_end = skip_letters(p, end);
  if (end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
    // Which no one sees: lists saved with one each, then joined (cat, copy).
    words << "a UTF-8 byte-order mark (BOM, the bytes EF BB BF), as where lists saved with one "
             "are joined: save each as UTF-8 without a BOM";
  } else if (token_end != p) {
    words.quoted({p, static_cast<std::size_t>(token_end - p)});
  } else {
    words.byte_at(p, end);
  }
  return true;
}

bool explain_text_past_nul(const char* text, std::size_t length, std::size_t nul, Words& words) {
  const char* const end = text + length;
  const char* p = text + nul;
  while (p != end && (*p == '\0' || is_space(*p))) ++p;
  const int distinct = distinct_keys(p, end);
  if (p == end || !(distinct >= 2 || (*p == '"' && distinct >= 1))) return false;
  words << "a NUL byte ends the line's text here: brivel reads nothing after it, and what follows "
           "looks like a camera line";
  return true;
}

bool explain_fov(const char* text, std::size_t length, const Reading& reading, Reason& reason,
                 Words& words, std::size_t& offset) {
  const char* const end = text + length;
  const char* const p = text + reading.stop.offset;  // past the fov number
  if (p == end || p == text || !is_digit(p[-1])) return false;
  const std::int32_t fov = reading.record.fov;
  offset = reading.stop.offset;
  // A fraction, with a decimal point or, as some locales write it, a comma.
  if ((*p == '.' || *p == ',') && end - p >= 2 && is_digit(p[1])) {
    const char* fraction_end = p + 1;
    while (fraction_end != end && is_digit(*fraction_end) && fraction_end - p < 10) ++fraction_end;
    // fov=75.0 is read as meant.
    const char* zeros = p + 1;
    while (zeros != end && *zeros == '0') ++zeros;
    if (zeros == end || !is_digit(*zeros)) return false;
    number_as_written(words << "numbers are whole: fov=", text, p,
                      static_cast<std::size_t>(fraction_end - p), fov)
        << " reads as " << fov << ", and the camera gets fov " << fov;
    reason = Reason::kFovFraction;
    return true;
  }
  if (const std::string_view hex = hex_number(text, p, end); !hex.empty()) {
    words << "fov=" << hex
          << " is a hexadecimal number, but numbers are decimal: the camera gets fov 0";
    reason = Reason::kFovHex;
    return true;
  }
  bool exponent = false;
  if (const std::size_t tail = number_tail(p, end, exponent); tail != 0) {
    number_tail_words(words, "fov", text, p, tail, exponent, fov) << "the camera gets fov " << fov;
    reason = exponent ? Reason::kExponent : Reason::kDigitGrouping;
    return true;
  }
  return false;
}

bool explain_joined_camera(const char* text, std::size_t length, std::size_t from,
                           bool after_carriage_return, Words& words, std::size_t& offset) {
  const char* const end = text + length;
  // (The rules skip whitespace before a key, a carriage return too.)
  const char* gap = text + from;
  while (gap != text && is_space(gap[-1])) --gap;
  if (static_cast<std::size_t>(end - gap) < kShortestCameraLine) return false;
  const auto* const carriage_return =
      static_cast<const char*>(std::memchr(gap, '\r', static_cast<std::size_t>(end - gap)));
  if (after_carriage_return && carriage_return == nullptr) return false;
  const auto found = [&](const char* quote) {
    Reading next;
    read_by_the_rules(quote, static_cast<std::size_t>(end - quote), next);
    if (next.items < 7) return false;
    offset = static_cast<std::size_t>(quote - text);
    if (carriage_return != nullptr && carriage_return < quote) {
      words << "a carriage return with no line feed after it ends the line before this camera "
               "line, as in lists saved with the line ends of old Macs: brivel ends lines at line "
               "feeds only, so this camera and any after it are read as part of that line, and "
               "lost";
    } else {
      words << "a second camera line starts here, on the line of the camera before it: brivel "
               "reads one camera a line and ignores the rest of the line, so this camera is lost";
    }
    return true;
  };
  // On the camera's own line, past its last item: a camera in a comment
  // there is none that was meant.
  const char* const line_end = carriage_return != nullptr ? carriage_return : end;
  for (const char* p = after_carriage_return ? line_end : text + from; p < line_end; ++p) {
    if (*p == '#' || *p == ';' || (*p == '/' && end - p >= 2 && p[1] == '/')) break;
    if (*p == '"' && found(p)) return true;
  }
  // After a carriage return, a camera line starts where a line would, as
  // brivel would read it with a line feed there: a camera commented out, or
  // in a line's note, is none that was meant.
  for (const char* r = carriage_return; r != nullptr;) {
    const char* const p = skip_space(r + 1, end);
    if (p != end && *p == '"' && found(p)) return true;
    r = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
  }
  return false;
}

namespace {

// Whether `text` holds ten digits in a row, eight bytes a step: each camera
// line that the usual layout leaves is looked at (every line of a list with
// CR LF read as Linux text), and a loop per byte took half as long again as
// the rest of the diagnosis of such a line.
bool ten_digits_in_a_row(const char* text, std::size_t length) {
  std::size_t run = 0;  // the digits that end the bytes before
  const auto run_of_ten = [&run](std::uint64_t lanes) {
    const std::uint64_t others = camera::non_digit_lanes(lanes);
    if (others == 0) {
      run += 8;
      return run >= 10;
    }
    if (run + camera::lowest_bit(others) / 8 >= 10) return true;
    run = 7 - camera::highest_bit(others) / 8;
    return false;
  };
  std::size_t at = 0;
  for (; at + 8 <= length; at += 8) {
    if (run_of_ten(camera::load_eight_lanes(text + at))) return true;
  }
  const std::size_t rest = length - at;
  if (rest == 0) return false;
  // The last bytes, fewer than eight, in the low lanes, the others NULs: from
  // the word that ends the text where there is one.
  if (length >= 8) return run_of_ten(camera::load_eight_lanes(text + length - 8) >> 8 * (8 - rest));
  char last[8] = {};
  std::memcpy(last, text, length);
  return run_of_ten(camera::load_eight_lanes(last));
}

}  // namespace

bool explain_out_of_range(const char* text, std::size_t length, int items,
                          const camera::CameraRecord& record, Words& words, std::size_t& offset) {
  // A number beyond 32 bits has ten digits at least: most lines have no such
  // run, and are passed over quickly.
  if (!ten_digits_in_a_row(text, length)) return false;
  const char* const end = text + length;
  // Each item's number: after the item's '=' (the first ones after the name's
  // closing quote), whitespace, a sign and the digits, as the rules read it.
  const char* const quote = skip_space(text, end);
  const char* p = static_cast<const char*>(
      std::memchr(quote + 1, '"', static_cast<std::size_t>(end - quote - 1)));
  for (int item = 2; item <= items; ++item) {
    p = static_cast<const char*>(std::memchr(p, '=', static_cast<std::size_t>(end - p)));
    if (p == nullptr) return false;
    const char* const number = skip_space(p + 1, end);
    const char* digits = number;
    const bool negative = digits != end && *digits == '-';
    if (digits != end && (*digits == '-' || *digits == '+')) ++digits;
    while (digits != end && *digits == '0') ++digits;
    // The magnitude, up to the first digit that takes it past 2^31.
    std::int64_t magnitude = 0;
    for (p = digits; p != end && is_digit(*p) && magnitude <= (std::int64_t{1} << 31); ++p) {
      magnitude = magnitude * 10 + (*p - '0');
    }
    while (p != end && is_digit(*p)) ++p;
    if (magnitude > (std::int64_t{1} << 31) - (negative ? 0 : 1)) {
      words
          << "the number of " << wanted_key(item - 2)
          << " lies outside -2147483648 to 2147483647, the range of brivel's numbers, and reads as "
          << item_value(record, item);
      offset = static_cast<std::size_t>(number - text);
      return true;
    }
  }
  return false;
}

namespace {

// The '=' bytes in [from, end), eight bytes a step as a word whose bytes are
// tested at once: every camera line is looked at, and a loop per byte cost
// more than matching the line did.
int count_equals(const char* p, const char* end) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
  constexpr std::uint64_t kEquals = 0x3D3D3D3D3D3D3D3D;
  int count = 0;
  for (; end - p >= 8; p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    word ^= kEquals;
    // The top bit of each byte that was '=', and of no other: the sum takes
    // 7 bits of each byte, so no carry crosses into the next.
    const std::uint64_t equals = ~(((word & kLow7) + kLow7) | word | kLow7);
    // The multiplication adds the bytes (0 or 1 each) up in the top byte.
    count += static_cast<int>(((equals >> 7) * 0x0101010101010101) >> 56);
  }
  for (; p != end; ++p) count += *p == '=';
  return count;
}

}  // namespace

bool plain_camera_line(const char* text, std::size_t length, int items) {
  const char* const end = text + length;
  // The line ends in whitespace, a number, an optional sign, whitespace and
  // an '=' (read from its end): the last '=' of the line.
  const char* p = end;
  while (p != text && is_space(p[-1])) --p;
  const char* const digits_end = p;
  while (p != text && is_digit(p[-1])) --p;
  if (p == digits_end) return false;
  if (p != text && (p[-1] == '+' || p[-1] == '-')) --p;
  while (p != text && is_space(p[-1])) --p;
  if (p == text || p[-1] != '=') return false;
  // The rules read one '=' for each item after the name, and only whitespace,
  // key letters, signs and digits between them: when the line holds no other
  // '=' after its name, that last '=' is the last item's, and nothing but
  // whitespace follows the item.
  const char* const quote = skip_space(text, end);
  // A camera line: its name is closed by the first quote after the opening one.
  const char* const name_end = static_cast<const char*>(
      std::memchr(quote + 1, '"', static_cast<std::size_t>(end - quote - 1)));
  return count_equals(name_end + 1, end) == items - 1;
}

std::size_t count_characters(const char* bytes, std::size_t length, utf8::Unfinished& pending) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (utf8::take(pending, bytes[i])) continue;
    ++characters;
    pending = utf8::start(bytes[i]);
  }
  return characters;
}

}  // namespace diagnosis
