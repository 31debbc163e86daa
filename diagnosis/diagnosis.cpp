#include "diagnosis/diagnosis.h"

#include <algorithm>
#include <cstring>

#include "camera/text_bytes.h"
#include "diagnosis/reasons.h"
#include "diagnosis/utf8.h"

namespace diagnosis {
namespace {

constexpr std::size_t kPiece = camera::kPieceCapacity;
// The longest name a camera line can have: the shortest items after it
// (x=0y=0z=0pitch=0yaw=0roll=0) take 27 bytes of the piece, its quotes 2.
constexpr std::size_t kLongestCameraName = kPiece - 27 - 2;
// Binary data shows in the first lines of a file; later, only lines that
// would get a word are looked at for it.
constexpr std::size_t kBinaryLookout = 4096;
// More control bytes than this in a line, and it is no text.
constexpr int kMostControlBytes = 3;

// The number of whitespace bytes `text` starts with.
std::size_t leading_space(const char* text, std::size_t length) {
  return static_cast<std::size_t>(camera::skip_space(text, text + length) - text);
}

bool is_comment(const char* text, std::size_t length, std::size_t first) {
  const char c = text[first];
  return c == '#' || c == ';' || (c == '/' && first + 1 < length && text[first + 1] == '/');
}

// Bytes no text holds: controls other than whitespace (a Ctrl-Z is one too,
// where it is no end of the input).
int control_bytes(const char* text, std::size_t length) {
  int count = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    // Below '\t', from after '\r' to before ' ', or DEL: with no branch, so
    // that the compiler can test many bytes at once.
    count += (b < '\t') | (static_cast<unsigned char>(b - '\r' - 1) < ' ' - '\r' - 1) | (b == 0x7F);
  }
  return count;
}

// UTF-16 text has a NUL byte in every other place (in the ASCII range, which
// camera lists are written in): in the even places, or in the odd ones.
bool looks_like_utf16(const char* text, std::size_t length) {
  if (length < 4 || (text[0] != '\0' && text[1] != '\0')) return false;
  const std::size_t n = length < 32 ? length : 32;
  std::size_t zeros[2] = {0, 0};
  for (std::size_t i = 0; i < n; ++i) zeros[i % 2] += text[i] == '\0';
  return (zeros[0] == (n + 1) / 2 && zeros[1] == 0) || (zeros[1] == n / 2 && zeros[0] == 0);
}

// Whether a line of seven items goes on after its roll number: the rules
// then stopped before the end of its text, or at a key with no number.
bool fov_meant(const Reading& reading, std::size_t length) {
  return reading.stop.offset < length || reading.stop.expected != camera::StopPoint::Expected::kKey;
}

bool starts_with(const char* text, std::size_t length, std::string_view prefix) {
  return length >= prefix.size() && std::memcmp(text, prefix.data(), prefix.size()) == 0;
}

}  // namespace

std::string_view reason_code(Reason reason) {
  switch (reason) {
    case Reason::kNoName:
      return "no-name";
    case Reason::kEmptyName:
      return "empty-name";
    case Reason::kNoClosingQuote:
      return "no-closing-quote";
    case Reason::kCurlyClosingQuote:
      return "curly-closing-quote";
    case Reason::kNulInName:
      return "nul-in-name";
    case Reason::kQuoteInName:
      return "quote-in-name";
    case Reason::kNul:
      return "nul";
    case Reason::kMissingKey:
      return "missing-key";
    case Reason::kKeysOutOfOrder:
      return "keys-out-of-order";
    case Reason::kKeyTypo:
      return "key-typo";
    case Reason::kUpperCaseKey:
      return "upper-case-key";
    case Reason::kSpaceBeforeEquals:
      return "space-before-equals";
    case Reason::kKeyWithoutEquals:
      return "key-without-equals";
    case Reason::kUnexpected:
      return "unexpected";
    case Reason::kDecimalPoint:
      return "decimal-point";
    case Reason::kHexNumber:
      return "hex-number";
    case Reason::kExponent:
      return "exponent";
    case Reason::kDigitGrouping:
      return "digit-grouping";
    case Reason::kNoNumber:
      return "no-number";
    case Reason::kQuotedNumber:
      return "quoted-number";
    case Reason::kSignWithoutDigits:
      return "sign-without-digits";
    case Reason::kSpaceAfterSign:
      return "space-after-sign";
    case Reason::kTwoSigns:
      return "two-signs";
    case Reason::kLookalike:
      return "lookalike-character";
    case Reason::kCurlyQuotes:
      return "curly-quotes";
    case Reason::kSingleQuotes:
      return "single-quotes";
    case Reason::kNoQuotes:
      return "no-quotes";
    case Reason::kUtf8ByteOrderMark:
      return "utf8-byte-order-mark";
    case Reason::kDefaultFov:
      return "default-fov";
    case Reason::kFovFraction:
      return "fov-fraction";
    case Reason::kFovHex:
      return "fov-hex";
    case Reason::kJoinedCamera:
      return "joined-camera";
    case Reason::kNumberOutOfRange:
      return "number-out-of-range";
    case Reason::kCutLosesItems:
      return "cut-loses-items";
    case Reason::kCutLosesCamera:
      return "cut-loses-camera";
    case Reason::kNameBeyondPiece:
      return "name-beyond-piece";
    case Reason::kCameraFromLaterPiece:
      return "camera-from-later-piece";
    case Reason::kUtf16:
      return "utf16";
    case Reason::kBinary:
      return "binary";
    case Reason::kCtrlZ:
      return "ctrl-z";
  }
  return "unknown";
}

void Diagnosis::piece(const char* text, std::size_t length, int items,
                      const camera::CameraRecord& record, bool line_ends) {
  if (line_ends && !continued_ && !cut_pending_ && text[length - 1] == '\n') {
    // Nearly every piece: a whole camera line that ends with its last item,
    // which nothing is to be said of.
    ++counts_.cameras;
    counts_.cameras_with_default_fov += items == 7;
    ++counts_.lines;
    input_offset_ += length;
    listener_.camera(record, line_);
    listener_.line_ended(line_,
                         items == 7 ? LineOutcome::kCameraWithDefaultFov : LineOutcome::kCamera);
    ++line_;
    return;
  }
  if (cut_pending_) settle_cut(text, length);
  if (items >= 7) {
    ++counts_.cameras;
    counts_.cameras_with_default_fov += items == 7;
    if (!line_has_camera_) line_default_fov_ = items == 7;
    line_has_camera_ = true;
    listener_.camera(record, line_);
    if (!quiet_) camera_piece(text, length, items, record, line_ends);
  } else if ((!continued_ || blank_so_far_) && !quiet_) {
    // A later piece of a long line that is no camera line needs no word of
    // its own: the word for the line, if any, was the first piece's. But
    // where the pieces before held only whitespace, this one is where the
    // line's text starts, and brivel reads it as a line of its own.
    skipped_piece(text, length);
  }
  input_offset_ += length;
  if (text[length - 1] == '\n') {
    end_line();
  } else {
    keep_tail(text, length);
    // A UTF-8 byte-order mark at the start of the input is no text of the line either.
    const std::size_t mark =
        input_offset_ == length && starts_with(text, length, "\xEF\xBB\xBF") ? 3 : 0;
    blank_so_far_ = blank_so_far_ && mark + leading_space(text + mark, length - mark) == length;
    line_offset_ += length;
    line_characters_ += count_characters(text, length, utf8_pending_);
    continued_ = true;
  }
}

void Diagnosis::camera_piece(const char* text, std::size_t length, int items,
                             const camera::CameraRecord& record, bool line_ends) {
  const bool cut = length == kPiece && text[length - 1] != '\n';
  if (continued_) {
    words_.clear();
    words_ << "a camera from the middle of a long line: brivel reads a line of more than "
           << std::int64_t{kPiece}
           << " bytes in pieces, each as a line of its own, and the piece that starts here is a "
              "camera line";
    // Marked where the camera's text starts, past any whitespace.
    report(Reason::kCameraFromLaterPiece, text, length, leading_space(text, length));
  }
  // The usual layout's numbers have at most seven digits.
  if (line_ends) return;
  words_.clear();
  std::size_t at;
  if (explain_out_of_range(text, length, items, record, words_, at)) {
    report(Reason::kNumberOutOfRange, text, length, at);
  }
  if (!continued_ && !cut && plain_camera_line(text, length, items)) return;
  read_by_the_rules(text, length, reading_);
  if (cut && ran_out(text, length, reading_)) {
    hold_cut(text, length);
    return;
  }
  if (continued_) return;
  words_.clear();
  std::size_t offset = 0;
  if (items == 8) {
    Reason reason;
    if (explain_fov(text, length, reading_, reason, words_, offset)) {
      report(reason, text, length, offset);
    }
  } else if (fov_meant(reading_, length)) {
    // Seven items: whatever follows the roll number was meant as fov, if anything.
    explain_stop(text, length, reading_, words_, offset);
    words_ << ", so the camera gets fov " << std::int64_t{camera::kDefaultFov};
    report(Reason::kDefaultFov, text, length, offset);
  }
  words_.clear();
  if (explain_joined_camera(text, length, reading_.stop.offset, false, words_, offset)) {
    report(Reason::kJoinedCamera, text, length, offset);
  }
}

void Diagnosis::skipped_piece(const char* text, std::size_t length) {
  // The matcher reads a line only up to its first NUL byte.
  const char* const nul = static_cast<const char*>(std::memchr(text, '\0', length));
  const std::size_t end = nul != nullptr ? static_cast<std::size_t>(nul - text) : length;
  // A UTF-8 byte-order mark at the start of the input stands before the first
  // line's quote, if it has one.
  const bool byte_order_mark = input_offset_ == 0 && starts_with(text, end, "\xEF\xBB\xBF");
  const std::size_t from = byte_order_mark ? 3 : 0;
  const std::size_t first = from + leading_space(text + from, end - from);
  const bool comment = first < end && is_comment(text, end, first);
  // A comment is text, whatever bytes it holds (the escape sequences of colours, say).
  if (input_is_no_text(text, length, !comment && input_offset_ < kBinaryLookout)) return;

  words_.clear();
  Reason reason;
  std::size_t offset = 0;
  // Lines ended by a carriage return alone read as one: whatever the first
  // of them is, the cameras after it are what is lost. (The byte-order mark
  // before the first is told of as well, below.)
  const bool byte_order_mark_line = byte_order_mark && first < end && text[first] == '"';
  // (Most lines hold no carriage return: a search for one is all they cost.)
  if (first + kShortestCameraLine < end && std::memchr(text + first, '\r', end - first) &&
      !byte_order_mark_line && explain_joined_camera(text, end, first, true, words_, offset)) {
    // The line's text is a comment's as far as the first carriage return.
    if (input_is_no_text(text, length, !comment)) return;
    report(Reason::kJoinedCamera, text, length, offset);
    return;
  }
  if (comment) return;
  const Reading* near_miss = nullptr;
  // Nothing before a NUL byte was meant as a camera line; what follows it may have been.
  const auto past_nul = [&] {
    if (nul == nullptr || !explain_text_past_nul(text, length, end, words_)) return false;
    reason = Reason::kNul;
    offset = end;
    return true;
  };
  if (first == end) {
    if (!past_nul()) return;
  } else if (byte_order_mark && text[first] == '"') {
    read_by_the_rules(text + from, length - from, reading_);
    near_miss = &reading_;
    words_ << "a UTF-8 byte-order mark (BOM) at the start of the list stands before the quote, "
           << (reading_.items >= 7 ? "so the camera on this line is lost"
                                   : "so this line is read as no camera line")
           << ": save the list as UTF-8 without a BOM";
    reason = Reason::kUtf8ByteOrderMark;
  } else if (text[first] == '"') {
    read_by_the_rules(text, length, reading_);
    // A cut piece is explained once the next piece shows what the cut lost,
    // and whether the line goes on past it at all. (Where the rules read it
    // to the cut, it is text enough: a long name may hold control bytes.)
    if (length == kPiece && text[length - 1] != '\n') {
      if (ran_out(text, length, reading_) || !input_is_no_text(text, length, true)) {
        hold_cut(text, length);
      }
      return;
    }
    reason = explain_stop(text, length, reading_, words_, offset);
    near_miss = &reading_;
  } else if (!explain_unquoted(text, end, first, reason, words_, offset) && !past_nul()) {
    return;
  }
  if (input_is_no_text(text, length, true)) return;
  report(reason, text, length, offset, near_miss);
  words_.clear();
  if (byte_order_mark_line && explain_joined_camera(text, end, first, true, words_, offset)) {
    report(Reason::kJoinedCamera, text, length, offset);
  }
}

bool Diagnosis::input_is_no_text(const char* text, std::size_t length, bool look_for_binary) {
  const bool utf16_mark = input_offset_ == 0 && (starts_with(text, length, "\xFF\xFE") ||
                                                 starts_with(text, length, "\xFE\xFF"));
  if (utf16_mark || looks_like_utf16(text, length)) {
    words_.clear();
    words_ << "the list is saved as UTF-16 ("
           << (utf16_mark ? "it starts with a UTF-16 byte-order mark"
                          : "a NUL byte stands beside each character")
           << "): brivel reads bytes and finds no camera line in UTF-16 text; save the list as "
              "UTF-8 or ANSI";
    report(Reason::kUtf16, text, length, 0);
    quiet_ = true;
    return true;
  }
  if (!look_for_binary || control_bytes(text, length) <= kMostControlBytes) return false;
  std::size_t first = 0;
  while (control_bytes(text + first, 1) == 0) ++first;
  words_.clear();
  words_ << "binary data, not a camera list: this line holds NUL or other control bytes, which "
            "no text holds; no more lines are explained";
  report(Reason::kBinary, text, length, first);
  quiet_ = true;
  return true;
}

void Diagnosis::hold_cut(const char* text, std::size_t length) {
  cut_pending_ = true;
  cut_place_ = place();
  std::memcpy(joined_, text, length);
  cut_reading_ = reading_;
}

void Diagnosis::settle_cut(const char* text, std::size_t length) {
  cut_pending_ = false;
  if (quiet_) return;
  const Reading& cut = cut_reading_;
  words_.clear();
  std::memcpy(joined_ + kPiece, text, length);
  const std::size_t joined_length = kPiece + length;
  if (!ran_out(joined_, kPiece, cut)) {
    // The rules stopped before the cut: the word is the cut piece's own, and
    // its excerpt shows the line across the cut, up to its end.
    std::size_t offset;
    const Reason reason = explain_stop(joined_, kPiece, cut, words_, offset);
    report_read_whole(reason, text, length, offset, &cut);
    return;
  }
  words_ << "this line is longer than a piece (" << std::int64_t{kPiece} << " bytes), and ";
  using Expected = camera::StopPoint::Expected;
  if (cut.stop.expected == Expected::kName || cut.stop.expected == Expected::kClosingQuote) {
    words_ << "its name goes on past "
           << (cut_place_.continued ? "the piece it starts in" : "the first piece")
           << ", which brivel reads as a line of its own: "
              "a name of more than "
           << std::int64_t{kLongestCameraName} << " bytes never makes a camera";
    report(Reason::kNameBeyondPiece, text, length, 0);
    return;
  }
  // The line read as one: the cut piece and the next. (Its name, closed in
  // the cut piece, fits a record.)
  read_by_the_rules(joined_, joined_length, reading_);
  if (cut.items >= 7) {
    words_ << "the camera comes from its piece before the cut here: ";
    const int last = cut.items;  // the item the cut piece ends in
    bool lost = false;
    if (item_value(cut.record, last) != item_value(reading_.record, last)) {
      words_ << "the cut falls inside the number of " << wanted_key(last - 2) << ", which reads as "
             << item_value(cut.record, last) << ", not " << item_value(reading_.record, last);
      lost = true;
    }
    if (last == 7 && reading_.items == 8) {
      words_ << (lost ? ", and " : "") << "fov=" << reading_.record.fov
             << " lies beyond the cut, so the camera gets fov "
             << std::int64_t{camera::kDefaultFov};
      lost = true;
    }
    if (lost) {
      report(Reason::kCutLosesItems, text, length, 0);
    } else if (last == 7 && fov_meant(reading_, joined_length)) {
      // Nothing cut: what follows the roll number was no fov item anyway.
      words_.clear();
      std::size_t offset;
      explain_stop(joined_, joined_length, reading_, words_, offset);
      words_ << ", so the camera gets fov " << std::int64_t{camera::kDefaultFov};
      report_read_whole(Reason::kDefaultFov, text, length, offset);
    }
    return;
  }
  if (reading_.items >= 7) {
    last_item(words_ << "brivel reads each piece as a line of its own: the "
                     << (cut_place_.continued ? "piece where the name starts" : "first piece")
                     << " ends here, after ",
              cut);
    key_list(words_ << ", so ", cut.items + 1, 7)
        << (cut.items == 6 ? " lies" : " lie") << " beyond the cut, and the line gives no camera";
    report(Reason::kCutLosesCamera, text, length, 0, &reading_);
    return;
  }
  // Read whole, the line is no camera line either: why not.
  words_.clear();
  std::size_t offset;
  const Reason reason = explain_stop(joined_, joined_length, reading_, words_, offset);
  report_read_whole(reason, text, length, offset, &reading_);
}

void Diagnosis::report_read_whole(Reason reason, const char* text, std::size_t length,
                                  std::size_t offset, const Reading* near_miss) {
  if (offset >= kPiece) {
    report(reason, text, length, offset - kPiece, near_miss);
    return;
  }
  // Reported from where the cut piece stands, with the next piece after it.
  const Place now = place();
  move_to(cut_place_);
  report(reason, joined_, kPiece + length, offset, near_miss);
  move_to(now);
}

Diagnosis::Place Diagnosis::place() const {
  Place p{line_offset_, line_characters_, utf8_pending_, continued_, {}, tail_length_};
  std::memcpy(p.tail, tail_, tail_length_);
  return p;
}

void Diagnosis::move_to(const Place& p) {
  line_offset_ = p.line_offset;
  line_characters_ = p.line_characters;
  utf8_pending_ = p.utf8_pending;
  continued_ = p.continued;
  std::memcpy(tail_, p.tail, p.tail_length);
  tail_length_ = p.tail_length;
}

void Diagnosis::keep_tail(const char* text, std::size_t length) {
  if (length >= kExcerptLength) {
    std::memcpy(tail_, text + length - kExcerptLength, kExcerptLength);
    tail_length_ = kExcerptLength;
    return;
  }
  const std::size_t keep = std::min(tail_length_, kExcerptLength - length);
  std::memmove(tail_, tail_ + tail_length_ - keep, keep);
  std::memcpy(tail_ + keep, text, length);
  tail_length_ = keep + length;
}

void Diagnosis::end_line() {
  ++counts_.lines;
  counts_.skipped_lines += !line_has_camera_;
  listener_.line_ended(line_, !line_has_camera_   ? LineOutcome::kSkipped
                              : line_default_fov_ ? LineOutcome::kCameraWithDefaultFov
                                                  : LineOutcome::kCamera);
  ++line_;
  line_offset_ = 0;
  line_characters_ = 0;
  utf8_pending_ = {};
  continued_ = false;
  blank_so_far_ = true;
  line_has_camera_ = false;
  tail_length_ = 0;
}

void Diagnosis::finish(const CtrlZStop& ctrl_z) {
  static const char kNothing = '\0';
  stopped_at_ctrl_z_ = ctrl_z.stopped;
  input_ended_ = true;
  if (cut_pending_) settle_cut(&kNothing, 0);
  if (ctrl_z.stopped && ctrl_z.text_after) {
    words_.clear();
    words_ << "a Ctrl-Z (byte 0x1A) ends the input here, as the Windows program reads text: ";
    const Count after = ctrl_z.lines_after;
    if (ctrl_z.rest_of_line) words_ << "the rest of this line" << (after > 0 ? " and " : "");
    if (after > 0)
      words_ << std::int64_t(after) << (after == 1 ? " line after it" : " lines after it");
    words_ << (ctrl_z.rest_of_line + after > 1 ? " are" : " is") << " not read";
    report(Reason::kCtrlZ, &kNothing, 0, 0);
  }
  if (continued_) end_line();
}

Verdict Diagnosis::verdict() const {
  if (whole_ != Verdict::kCameraList) return whole_;
  if (input_offset_ == 0 && counts_.findings == 0 && !stopped_at_ctrl_z_) return Verdict::kEmpty;
  if (counts_.cameras > 0) return Verdict::kCameraList;
  return line_findings_ > 0 ? Verdict::kOnlyNearMisses : Verdict::kNoCameraLines;
}

void Diagnosis::report(Reason reason, const char* text, std::size_t length, std::size_t offset,
                       const Reading* near_miss) {
  if (reason == Reason::kUtf16 || reason == Reason::kBinary) {
    whole_ = reason == Reason::kUtf16 ? Verdict::kUtf16 : Verdict::kBinary;
  } else if (reason == Reason::kUtf8ByteOrderMark) {
    whole_ = Verdict::kUtf8ByteOrderMark;
  }
  line_findings_ += reason != Reason::kCtrlZ;
  const bool line_feed = length > 0 && text[length - 1] == '\n';
  std::size_t visible = length - line_feed;
  if (line_feed && visible > 0 && text[visible - 1] == '\r') --visible;
  if (offset > visible) offset = visible;

  Finding finding;
  finding.reason = reason;
  finding.line = line_;
  finding.byte_column = line_offset_ + offset + 1;
  utf8::Unfinished pending = utf8_pending_;
  finding.column = line_characters_ + count_characters(text, offset, pending) + 1;
  finding.words = words_.view();

  // The excerpt: this piece around the column, and the end of the piece
  // before when the column is near the start of a later piece. What one side
  // leaves of the window goes to the other.
  const std::size_t before_here = continued_ ? offset + tail_length_ : offset;
  const std::size_t after_here = visible - offset;
  std::size_t before = before_here < kExcerptBefore ? before_here : kExcerptBefore;
  std::size_t after = after_here < kExcerptAfter ? after_here : kExcerptAfter;
  after += std::min(kExcerptLength - before - after, after_here - after);
  before += std::min(kExcerptLength - before - after, before_here - before);
  const std::size_t from_piece = before < offset ? before : offset;
  const std::size_t from_tail = before - from_piece;
  std::memcpy(excerpt_, tail_ + tail_length_ - from_tail, from_tail);
  std::memcpy(excerpt_ + from_tail, text + offset - from_piece, from_piece + after);
  const std::size_t mark = before;
  std::size_t start = 0;
  std::size_t stop = mark + after;
  // (The tail holds the whole line when the line is short and the input ended in it.)
  const bool starts_line = before == before_here && (!continued_ || tail_length_ == line_offset_);
  // (A full piece at the end of the input ends its line too: a cut piece held
  // to the end is reported with nothing after it.)
  const bool ends_line = after == after_here && (line_feed || length < kPiece || input_ended_);
  // Not a part of a character at either end.
  if (!starts_line) {
    while (start < mark && start < 3 && utf8::is_continuation(excerpt_[start])) ++start;
  }
  if (!ends_line) {
    std::size_t lead = stop;
    while (lead > mark && stop - lead < 3 && utf8::is_continuation(excerpt_[lead - 1])) --lead;
    if (lead > mark && utf8::continuations(excerpt_[lead - 1]) > static_cast<int>(stop - lead)) {
      stop = lead - 1;
    }
  }
  finding.excerpt = std::string_view(excerpt_ + start, stop - start);
  finding.mark = mark - start;
  finding.excerpt_starts_line = starts_line;
  finding.excerpt_ends_line = ends_line && stop == mark + after;
  // x is the second item the rules read, y the third.
  finding.has_position = near_miss != nullptr && near_miss->items >= 3;
  finding.x = finding.has_position ? near_miss->record.x : 0;
  finding.y = finding.has_position ? near_miss->record.y : 0;
  ++counts_.findings;
  listener_.finding(finding);
}

}  // namespace diagnosis
