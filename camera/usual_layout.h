// The usual layout of a camera line, read without a loop per byte, over the
// window of any kernel:
//
//   "<name>" x=<n> y=<n> z=<n> pitch=<n> yaw=<n> roll=<n> fov=<n>
//
// with a name of at most 62 bytes, at most 63 bytes from its closing quote to
// the end of the text, single spaces, no sign but '-' and at most seven
// digits: nearly every camera line. The rules read it with a loop per byte,
// and since the lengths of the name and of the numbers change from line to
// line, the branches that end those loops are mispredicted again and again.
// Here the digits are found all at once, as a bit mask of the window, each run
// of them is read as a number from the eight bytes where it starts, and the
// bytes before it are checked against the item's key: no branch depends on a
// length. Anything else is left to the rules (line_matcher.cpp).
//
// For the kernels' entry points only (line_matcher.cpp, cli/convert.cpp), which
// instantiate it for their window with their target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "camera/block_writer.h"
#include "camera/byte_lanes.h"
#include "camera/camera_record.h"
#include "camera/line_matcher.h"
#include "camera/padded_text.h"
#include "camera/text_bytes.h"

namespace camera {
namespace usual_layout {

constexpr std::size_t kWindow = 64;

// The number written by eight digits, the first in the lowest lane (a zero
// lane reads as a leading zero). Each multiplication joins neighbouring lanes:
// two digits, then four, then eight.
inline std::uint32_t eight_digits_value(std::uint64_t lanes) {
  lanes = ((lanes & 0x0F0F0F0F0F0F0F0F) * (10 << 8 | 1)) >> 8;
  lanes = ((lanes & 0x00FF00FF00FF00FF) * (100 << 16 | 1)) >> 16;
  return static_cast<std::uint32_t>(((lanes & 0x0000FFFF0000FFFF) * (10000ull << 32 | 1)) >> 32);
}

// One item of the usual layout: the space before it, its key and '=', one
// byte per lane, so that they are compared at once.
struct Item {
  std::uint64_t lanes;
  std::uint64_t mask;  // the lanes they fill
  int length;
};

constexpr Item item(const char* text) {
  Item item{0, 0, 0};
  for (; text[item.length] != '\0'; ++item.length) {
    const unsigned shift = 8 * static_cast<unsigned>(item.length);
    item.lanes |= std::uint64_t{static_cast<unsigned char>(text[item.length])} << shift;
    item.mask |= std::uint64_t{0xFF} << shift;
  }
  return item;
}

constexpr Item kX = item(" x=");
constexpr Item kY = item(" y=");
constexpr Item kZ = item(" z=");
constexpr Item kPitch = item(" pitch=");
constexpr Item kYaw = item(" yaw=");
constexpr Item kRoll = item(" roll=");
constexpr Item kFov = item(" fov=");

// What is known of the text of the usual layout; all bits are within the
// text, but for the portable words' stand-in bit 63 (read_items()).
// (Positions are of the machine's word size, so that no index is widened.)
struct Text {
  const char* bytes;
  std::uint64_t digits;  // after the name
  // Of each number not read yet: where whole masks are cheap, its first byte
  // (its minus sign, if it has one) and its last digit. Elsewhere `firsts`
  // holds each first digit and `lasts` is not used.
  std::uint64_t firsts;
  std::uint64_t lasts;
};

// Finds the number of item `index` in the next run of digits, hands it to
// `sink` and moves `end` past it; false if the item does not stand right
// after `end`, the end of the item before, or if its number is not written as
// the block writer writes it (which read_items() has ruled out for the whole
// line already as far as eight digits go, and where `checked`, altogether).
// (The item is a template argument so that its key is a constant in the code.)
template <const Item& item, int index, bool checked, typename Sink>
bool read_item(Text& text, std::size_t& end, Sink& sink) {
  // Of the number's text, its sign included (the portable words step back
  // to the sign below).
  std::size_t first = lowest_bit(text.firsts);
  text.firsts &= text.firsts - 1;
  std::size_t past;  // the end of the number
  bool written_otherwise = false;
  if constexpr (checked) {
    past = lowest_bit(text.lasts) + 1;
    text.lasts &= text.lasts - 1;
  } else {
    const std::size_t digits = lowest_bit(~(text.digits >> first));
    const std::size_t negative = text.bytes[first - 1] == '-';
    // Some digits (none where the run stands in for a missing one), no
    // leading zero, nor "-0".
    written_otherwise = (digits == 0) | ((text.bytes[first] == '0') & (digits + negative > 1));
    past = first + digits;
    first -= negative;
  }
  // The key and its '=' stand right after the item before, and the number,
  // or its minus sign, right after them.
  const std::uint64_t misplaced = ((load_eight_lanes(text.bytes + end) & item.mask) ^ item.lanes) |
                                  ((end + static_cast<std::size_t>(item.length)) ^ first);
  if ((misplaced != 0) | written_otherwise) return false;
  end = past;
  sink.template number<index>(text.bytes + first, end - first);
  return true;
}

// Reads the items after the name from `window`, whose byte `quote` is the
// name's closing quote and whose mask of digits after it is `digits`; false
// if x to roll are not all there. `end` is then the end of the last number:
// of fov when it was read (`items` 8), else of roll (7).
template <typename Window, typename Sink>
bool read_items(const Window& window, const char* bytes, std::size_t quote, std::uint64_t digits,
                Sink& sink, int& items, std::size_t& end) {
  constexpr bool checked = Window::kWholeMasks;
  const std::uint64_t digit_starts = digits & ~(digits << 1);
  // Every number at once, rather than each as it is read: none may have eight
  // digits, so that each fits eight bytes with its sign.
  std::uint64_t written_otherwise = digits & (digits >> 1);
  written_otherwise &= written_otherwise >> 2;
  written_otherwise &= written_otherwise >> 4;
  Text text{bytes, digits, 0, 0};
  if constexpr (checked) {
    // Nor start with a zero followed by a digit, nor be "-0".
    const std::uint64_t minus_before = window.bytes_equal_to('-') << 1;
    written_otherwise |= digit_starts & window.bytes_equal_to('0') & ((digits >> 1) | minus_before);
    text.firsts = (digit_starts & ~minus_before) | ((digit_starts & minus_before) >> 1);
    text.lasts = digits & ~(digits >> 1);
    // Every item from x to roll has a number: six of them at least, counted
    // once here rather than checked by each item (lowest_bit() needs a bit).
    std::uint64_t sixth = text.firsts;
    for (int i = 0; i < 5; ++i) sixth &= sixth - 1;
    if (sixth == 0) return false;
  } else {
    // Bit 63 is never a digit of the text (it is shorter than the window): it
    // stands in for the start of a run when none is left, where no digits
    // follow, so that the item is not read.
    text.firsts = digit_starts | std::uint64_t{1} << 63;
  }
  if (written_otherwise != 0) return false;
  end = quote + 1;  // the end of the item before
  if (!read_item<kX, 0, checked>(text, end, sink) || !read_item<kY, 1, checked>(text, end, sink) ||
      !read_item<kZ, 2, checked>(text, end, sink) ||
      !read_item<kPitch, 3, checked>(text, end, sink) ||
      !read_item<kYaw, 4, checked>(text, end, sink) ||
      !read_item<kRoll, 5, checked>(text, end, sink)) {
    return false;
  }
  // Where masks are cheap, fov is looked for only where a seventh number is
  // left (lowest_bit() needs a bit).
  const bool fov = (!checked || text.firsts != 0) && read_item<kFov, 6, checked>(text, end, sink);
  items = fov ? 8 : 7;
  return true;
}

// The mask of the bits from `from` on.
inline std::uint64_t bits_from(std::size_t from) {
  return ~((std::uint64_t{1} << from) - 1);
}

// Finds the usual layout in `text`, whose first byte is a quote, with `first`
// the window at its start, and hands its name, each number's text, the
// number of items (7 or 8) and whether nothing but the line feed follows the
// last of them to `sink`; kUnusual for any other text, when the sink may have
// been handed some of it.
template <typename Window, typename Sink>
int find(const Window& first, PaddedText text, Sink& sink) {
  const char* const bytes = text.data();
  const std::size_t length = text.size();
  // The name ends at the first quote or NUL after the opening quote; only a
  // quote closes it.
  const std::size_t close = first.first_byte_equal_to_any('"', '\0', 1);
  if (close == 1 || close >= length || close >= kWindow || bytes[close] != '"') return kUnusual;
  sink.name(first, bytes, close - 1);

  // The items are read from one window: the first when the whole line fits
  // it, else one that starts at the closing quote, which leaves them all of it.
  int items;
  std::size_t end;
  std::size_t rest = length;
  if (length < kWindow) {
    const std::uint64_t digits = first.digits() & bits_from(close + 1) & ~bits_from(rest);
    if (!read_items(first, bytes, close, digits, sink, items, end)) return kUnusual;
  } else {
    rest = length - close;
    if (rest >= kWindow) return kUnusual;
    const Window second(bytes + close);
    const std::uint64_t digits = second.digits() & bits_from(1) & ~bits_from(rest);
    if (!read_items(second, bytes + close, 0, digits, sink, items, end)) return kUnusual;
  }
  // Without fov, only the line feed may follow the roll number.
  const char* const base = bytes + length - rest;
  const bool line_ends = end == rest || (end + 1 == rest && base[end] == '\n');
  if (items == 7 && !line_ends) return kUnusual;
  sink.finish(items, line_ends);
  return items;
}

// A sink that writes the line's block, copying its name and numbers as they
// stand, from `out`, which has room for camera::kMaxBlockLength bytes.
class BlockSink {
 public:
  explicit BlockSink(char* out) : out_(out) {}
  // The end of the block, once finished.
  char* end() const { return out_; }

  // The name of `length` bytes after the opening quote that starts `window`,
  // which holds the 64 bytes from `text` on.
  template <typename Window>
  void name(const Window& window, const char* /*text*/, std::size_t length) {
    // The head ends in a quote, as the window starts: the window's start,
    // copied over that quote, holds the name, and what follows it is
    // overwritten.
    out_ = block_text::put(out_, block_text::kHead);
    window.copy_to(out_ - 1, 1 + length);
    out_ = block_text::put(out_ + length, block_text::kOrigin);
  }

  template <int index>
  void number(const char* text, std::size_t length) {
    if (index == 3) out_ = block_text::put(out_, block_text::kAngles);
    if (index == 6) out_ = block_text::put(out_, block_text::kFov);
    // x and y, pitch and yaw, are followed by a space, in the line as in the
    // block (the next key starts with it).
    out_ = block_text::put_number<(index != 2 && index < 5)>(out_, text, length);
  }

  void finish(int items, bool /*line_ends*/) {
    if (items == 7) number<6>(block_text::kDefaultFov, 2);
    out_ = block_text::put(out_, block_text::kTail);
  }

 private:
  char* out_;
};

// A sink that fills a record, as the matcher does, and says whether the line
// ends with its last item.
class RecordSink {
  static_assert(kWindow - 1 <= kNameCapacity, "a window's copy must fit the name field");

 public:
  explicit RecordSink(CameraRecord& record, bool& line_ends)
      : record_(record), line_ends_(line_ends) {}

  template <typename Window>
  void name(const Window& /*window*/, const char* text, std::size_t length) {
    // The name fits the window: a copy of the window's bytes after the
    // opening quote holds it, with no branch on its length (the text has
    // room after it for the whole window).
    copy_words<kWindow - 1>(record_.name, text + 1);
    record_.name_length = length;
  }

  template <int index>
  void number(const char* text, std::size_t length) {
    std::int32_t CameraRecord::*const fields[] = {
        &CameraRecord::x,   &CameraRecord::y,    &CameraRecord::z,  &CameraRecord::pitch,
        &CameraRecord::yaw, &CameraRecord::roll, &CameraRecord::fov};
    const std::uint32_t negative = text[0] == '-';
    const std::size_t digits = length - negative;
    const char* const first = text + negative;
    // The digit lanes, moved up to be the last of eight (a number has at most
    // seven digits here): one way for every length, with no branch on it,
    // which the lengths of a line's numbers would send either way in turn.
    const std::uint32_t magnitude = eight_digits_value(load_eight_lanes(first) << 8 * (8 - digits));
    record_.*fields[index] = static_cast<std::int32_t>((magnitude ^ (0u - negative)) + negative);
  }

  void finish(int, bool line_ends) { line_ends_ = line_ends; }

 private:
  CameraRecord& record_;
  bool& line_ends_;
};

// Both at once: a line's block, written as it is read, and its record.
class BlockAndRecordSink {
 public:
  BlockAndRecordSink(char* out, CameraRecord& record, bool& line_ends)
      : block_(out), record_(record, line_ends) {}
  char* end() const { return block_.end(); }

  template <typename Window>
  void name(const Window& window, const char* text, std::size_t length) {
    block_.name(window, text, length);
    record_.name(window, text, length);
  }
  template <int index>
  void number(const char* text, std::size_t length) {
    block_.number<index>(text, length);
    record_.number<index>(text, length);
  }
  void finish(int items, bool line_ends) {
    block_.finish(items, line_ends);
    record_.finish(items, line_ends);
  }

 private:
  BlockSink block_;
  RecordSink record_;
};

// The usual layout of `text` into `record`, with `first` the window at its
// start; kUnusual for any other text.
template <typename Window>
int match(const Window& first, PaddedText text, CameraRecord& record) {
  if (text.size() == 0 || text.data()[0] != '"') return kUnusual;
  bool line_ends;
  RecordSink sink(record, line_ends);
  return find(first, text, sink);
}

// Any line that find() leaves: by the rules. A line that starts with anything
// but whitespace or a quote, such as a comment, needs no more than its first
// byte.
inline int match_other(PaddedText text, CameraRecord& record) {
  if (text.size() == 0) return 0;
  const char lead = text.data()[0];
  if (lead != '"' && !is_space(lead)) return 0;
  return match_by_the_rules(text.data(), text.size(), record);
}

// The whole matcher, with `first` the window at the start of `text`: the usual
// layout, else the rules.
template <typename Window>
int match_line(const Window& first, PaddedText text, CameraRecord& record) {
  const int items = match(first, text, record);
  return items != kUnusual ? items : match_other(text, record);
}

}  // namespace usual_layout
}  // namespace camera
