#include "diagnosis/lookalikes.h"

#include "diagnosis/utf8.h"

namespace diagnosis {

std::size_t other_quote_length(const char* p, const char* end, QuoteKind& kind) {
  const auto b = static_cast<unsigned char>(*p);
  kind = b == '\'' || b == 0x91 || b == 0x92 ? QuoteKind::kSingle : QuoteKind::kCurly;
  if (b == '\'') return 1;
  const std::size_t length = utf8::character_length(p, end);
  if (!utf8::well_formed(p, length)) {
    // A byte of Windows-1252 text (in UTF-8, the same bytes are parts of
    // other characters: 0x94 ends an em dash).
    if (length == 1 && (b == 0xAB || b == 0xBB)) {
      kind = QuoteKind::kAngle;
      return 1;
    }
    return length == 1 && ((b >= 0x91 && b <= 0x94) || b == 0x84) ? 1 : 0;
  }
  const auto c = length > 1 ? static_cast<unsigned char>(p[length - 1]) : 0;
  // « » in UTF-8: C2 AB, C2 BB.
  if (length == 2 && b == 0xC2 && (c == 0xAB || c == 0xBB)) {
    kind = QuoteKind::kAngle;
    return 2;
  }
  if (length != 3 || b != 0xE2 || static_cast<unsigned char>(p[1]) != 0x80) return 0;
  // “ ” „ ‘ ’ in UTF-8: E2 80 9C, 9D, 9E, 98, 99; ‹ ›: E2 80 B9, BA.
  if (c == 0xB9 || c == 0xBA) {
    kind = QuoteKind::kAngle;
    return 3;
  }
  kind = c == 0x98 || c == 0x99 ? QuoteKind::kSingle : QuoteKind::kCurly;
  return c >= 0x98 && c <= 0x9E && c != 0x9A && c != 0x9B ? 3 : 0;
}

std::string_view quote_kind(QuoteKind kind) {
  return kind == QuoteKind::kSingle ? "single" : kind == QuoteKind::kAngle ? "angle" : "curly";
}

LookalikeCharacter lookalike(const char* p, const char* end) {
  const std::size_t length = utf8::character_length(p, end);
  if (!utf8::well_formed(p, length)) {
    // Windows-1252 ("ANSI") text.
    const auto b = static_cast<unsigned char>(*p);
    if (length == 1 && b == 0xA0) return {Lookalike::kSpace, "a no-break space", 0, 1};
    if (length == 1 && b == 0x96) return {Lookalike::kMinus, "an en dash", 0, 1};
    if (length == 1 && b == 0x97) return {Lookalike::kMinus, "an em dash", 0, 1};
    return {Lookalike::kNone, {}, 0, 1};
  }
  const char32_t c = utf8::code_point(p, length);
  const auto is = [&](Lookalike kind, std::string_view name) {
    return LookalikeCharacter{kind, name, c, length};
  };
  switch (c) {
    case 0x00A0:
      return is(Lookalike::kSpace, "a no-break space");
    case 0x2009:
      return is(Lookalike::kSpace, "a thin space");
    case 0x202F:
      return is(Lookalike::kSpace, "a narrow no-break space");
    case 0x3000:
      return is(Lookalike::kSpace, "an ideographic space");
    case 0x200B:
      return is(Lookalike::kSpace, "a zero-width space");
    case 0xFEFF:
      return is(Lookalike::kSpace, "a zero-width no-break space");
    case 0x2212:
      return is(Lookalike::kMinus, "a minus sign");
    case 0x2013:
      return is(Lookalike::kMinus, "an en dash");
    case 0x2014:
      return is(Lookalike::kMinus, "an em dash");
    case 0x2010:
    case 0x2011:
      return is(Lookalike::kMinus, "a hyphen");
    case 0x2012:
      return is(Lookalike::kMinus, "a figure dash");
    case 0xFE63:
      return is(Lookalike::kMinus, "a small hyphen-minus");
    case 0xFF0D:
      return is(Lookalike::kMinus, "a full-width hyphen-minus");
    case 0xFF0B:
      return is(Lookalike::kPlus, "a full-width plus sign");
    default:
      break;
  }
  if ((c >= 0x2000 && c <= 0x200A) || c == 0x1680 || c == 0x205F) {
    return is(Lookalike::kSpace, "a Unicode space");
  }
  if (c >= 0xFF10 && c <= 0xFF19) return is(Lookalike::kDigit, "a full-width digit");
  return {Lookalike::kNone, {}, 0, length};
}

char latin_lookalike(const char* p, const char* end, std::size_t& length,
                     std::string_view& script) {
  length = utf8::character_length(p, end);
  if (!utf8::well_formed(p, length)) return 0;
  const char32_t c = utf8::code_point(p, length);
  if (c >= 0xFF41 && c <= 0xFF5A) {
    script = "full-width";
    return static_cast<char>('a' + (c - 0xFF41));
  }
  static constexpr struct {
    char32_t code;
    char latin;
  } kCyrillic[] = {{0x0430, 'a'}, {0x0441, 'c'}, {0x04BB, 'h'}, {0x0456, 'i'},
                   {0x043E, 'o'}, {0x0440, 'p'}, {0x0445, 'x'}, {0x0443, 'y'}},
    kGreek[] = {{0x03B1, 'a'}, {0x03B9, 'i'}, {0x03BF, 'o'}, {0x03C1, 'p'}, {0x03BD, 'v'}};
  for (const auto& l : kCyrillic) {
    if (l.code != c) continue;
    script = "Cyrillic";
    return l.latin;
  }
  for (const auto& l : kGreek) {
    if (l.code != c) continue;
    script = "Greek";
    return l.latin;
  }
  return 0;
}

}  // namespace diagnosis
