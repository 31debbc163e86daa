#include "camera/line_matcher.h"

#include <cstdint>
#include <cstring>

#include "camera/byte_lanes.h"

namespace camera {
namespace {

// ---- The rules, for any text --------------------------------------------------

bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c) {
  return static_cast<unsigned char>(c - '0') < 10;
}

const char* skip_space(const char* p, const char* end) {
  while (p != end && is_space(*p)) ++p;
  return p;
}

// The first `c` from `p` on, or `end`. Names can be long, and memchr looks at
// many bytes a step where a loop per byte is slow.
const char* find_byte(const char* p, const char* end, char c) {
  const void* found = std::memchr(p, c, static_cast<std::size_t>(end - p));
  return found != nullptr ? static_cast<const char*>(found) : end;
}

using Expected = StopPoint::Expected;

// Where the rules stopped: the command line does not ask, and this compiles to nothing.
struct IgnoreStop {
  void operator()(const char*, Expected) const {}
};

class RecordStop {
 public:
  RecordStop(const char* text, StopPoint& stop) : text_(text), stop_(stop) {}
  void operator()(const char* at, Expected expected) const {
    stop_ = {static_cast<std::size_t>(at - text_), expected};
  }

 private:
  const char* text_;
  StopPoint& stop_;
};

// Reads `key` (its letters and "=") and the number after it into `value`.
// The key is a literal, so the comparison is a single fixed-size compare.
template <std::size_t N, typename Stop>
bool read_item(const char*& cursor, const char* end, const char (&key)[N], std::int32_t& value,
               const Stop& stopped) {
  constexpr std::size_t key_length = N - 1;
  const char* p = skip_space(cursor, end);
  if (static_cast<std::size_t>(end - p) < key_length || std::memcmp(p, key, key_length) != 0) {
    stopped(p, Expected::kKey);
    return false;
  }
  p = skip_space(p + key_length, end);
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end || !is_digit(*p)) {
    stopped(p, Expected::kNumber);
    return false;
  }
  // Unsigned arithmetic wraps, which is exactly "modulo 2^32" for any number of digits.
  std::uint32_t magnitude = 0;
  do {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(*p - '0');
    ++p;
  } while (p != end && is_digit(*p));
  value = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
  cursor = p;
  return true;
}

template <typename Stop>
int read_by_the_rules(const char* text, std::size_t length, CameraRecord& record,
                      const Stop& stopped) {
  const char* p = text;
  const char* const end = text + length;
  p = skip_space(p, end);
  if (p == end || *p != '"') {
    stopped(p, Expected::kOpeningQuote);
    return 0;
  }
  const char* const name = ++p;
  p = find_byte(name, find_byte(name, end, '"'), '\0');
  const std::size_t name_length = static_cast<std::size_t>(p - name);
  if (name_length == 0) {
    stopped(p, Expected::kName);
    return 0;
  }
  // Without its closing quote the name has taken the rest of the text.
  if (p == end || *p != '"') {
    stopped(p, Expected::kClosingQuote);
    return 1;
  }
  std::memcpy(record.name, name, name_length);
  record.name_length = name_length;
  ++p;

  if (!read_item(p, end, "x=", record.x, stopped)) return 1;
  if (!read_item(p, end, "y=", record.y, stopped)) return 2;
  if (!read_item(p, end, "z=", record.z, stopped)) return 3;
  if (!read_item(p, end, "pitch=", record.pitch, stopped)) return 4;
  if (!read_item(p, end, "yaw=", record.yaw, stopped)) return 5;
  if (!read_item(p, end, "roll=", record.roll, stopped)) return 6;
  if (!read_item(p, end, "fov=", record.fov, stopped)) return 7;
  stopped(p, Expected::kNothing);
  return 8;
}

}  // namespace

int match_by_the_rules(const char* text, std::size_t length, CameraRecord& record) {
  return read_by_the_rules(text, length, record, IgnoreStop{});
}

int match_by_the_rules(const char* text, std::size_t length, CameraRecord& record,
                       StopPoint& stop) {
  return read_by_the_rules(text, length, record, RecordStop(text, stop));
}

// ---- The usual layout, read without a loop per byte ------------------------------
//
//   "<name>" x=<n> y=<n> z=<n> pitch=<n> yaw=<n> roll=<n> fov=<n>
//
// with a name of at most 62 bytes, at most 63 bytes from its
// closing quote to the end of the text, single spaces, no sign but '-' and at
// most seven digits: nearly every camera line. The rules above read it with a
// loop per byte, and since the lengths of the name and of the numbers change
// from line to line, the branches that end those loops are mispredicted again
// and again. Here the digits are found all at once, as a bit mask of the
// window, each run of them is read as a number from the eight bytes where it
// starts, and the bytes before it are checked against the item's key: no
// branch depends on a length.
// Anything else is read by the rules.

namespace {

constexpr std::size_t kWindow = Window64::kSize;
static_assert(kWindow == kMatchWindow, "the read-ahead is reckoned for this window");

// The number written by eight digits, the first in the lowest lane (a zero
// lane reads as a leading zero). Each multiplication joins neighbouring lanes:
// two digits, then four, then eight.
std::uint32_t eight_digits_value(std::uint64_t lanes) {
  lanes = ((lanes & 0x0F0F0F0F0F0F0F0F) * (10 << 8 | 1)) >> 8;
  lanes = ((lanes & 0x00FF00FF00FF00FF) * (100 << 16 | 1)) >> 16;
  return static_cast<std::uint32_t>(((lanes & 0x0000FFFF0000FFFF) * (10000ull << 32 | 1)) >> 32);
}

// The same for four digits.
std::uint32_t four_digits_value(std::uint32_t lanes) {
  lanes = ((lanes & 0x0F0F0F0F) * (10 << 8 | 1)) >> 8;
  return ((lanes & 0x00FF00FF) * (100 << 16 | 1)) >> 16;
}

// One item of the usual layout: the space before it, its key and '=', one
// byte per lane, so that they are compared at once.
struct UsualItem {
  std::uint64_t lanes;
  std::uint64_t mask;  // the lanes they fill
  int length;
  std::int32_t CameraRecord::*field;
};

constexpr UsualItem usual_item(const char* text, std::int32_t CameraRecord::*field) {
  UsualItem item{0, 0, 0, field};
  for (; text[item.length] != '\0'; ++item.length) {
    const unsigned shift = 8 * static_cast<unsigned>(item.length);
    item.lanes |= std::uint64_t{static_cast<unsigned char>(text[item.length])} << shift;
    item.mask |= std::uint64_t{0xFF} << shift;
  }
  return item;
}

constexpr UsualItem kX = usual_item(" x=", &CameraRecord::x);
constexpr UsualItem kY = usual_item(" y=", &CameraRecord::y);
constexpr UsualItem kZ = usual_item(" z=", &CameraRecord::z);
constexpr UsualItem kPitch = usual_item(" pitch=", &CameraRecord::pitch);
constexpr UsualItem kYaw = usual_item(" yaw=", &CameraRecord::yaw);
constexpr UsualItem kRoll = usual_item(" roll=", &CameraRecord::roll);
constexpr UsualItem kFov = usual_item(" fov=", &CameraRecord::fov);

// What is known of the text of the usual layout; all bits are within the text.
// (Positions are of the machine's word size, so that no index is widened.)
struct UsualText {
  const char* bytes;
  std::size_t length;
  std::uint64_t digits;         // after the name
  std::uint64_t number_starts;  // the first digit of each run of them, not read yet
};

// Reads `item` from the next run of digits and moves `end` past it; false if
// the item does not stand right after `end`, the end of the item before. (The
// item is a template argument so that its key and field are constants in the
// code.)
template <const UsualItem& item>
bool read_usual_item(UsualText& text, std::size_t& end, CameraRecord& record) {
  if (text.number_starts == 0) return false;
  const std::size_t start = lowest_bit(text.number_starts);
  text.number_starts &= text.number_starts - 1;
  // Below 64: the text is shorter than the window.
  const std::size_t digits = lowest_bit(~(text.digits >> start));
  // The digit lanes, moved up to be the last of four, or of eight; one to seven digits.
  std::uint32_t magnitude;
  if (digits - 1 < 4) {
    magnitude = four_digits_value(load_four_lanes(text.bytes + start) << 8 * (4 - digits));
  } else if (digits - 5 < 3) {
    magnitude = eight_digits_value(load_eight_lanes(text.bytes + start) << 8 * (8 - digits));
  } else {
    return false;
  }
  const std::uint32_t negative = text.bytes[start - 1] == '-';
  record.*item.field = static_cast<std::int32_t>((magnitude ^ (0u - negative)) + negative);

  // The key and its '=' stand right after the item before, and the number,
  // or its minus sign, right after them.
  if ((load_eight_lanes(text.bytes + end) & item.mask) != item.lanes ||
      end + static_cast<std::size_t>(item.length) + negative != start) {
    return false;
  }
  end = start + digits;
  return true;
}

}  // namespace

int match_usual_layout(const char* bytes, std::size_t length, CameraRecord& record) {
  if (length == 0 || bytes[0] != '"') return kUnusual;
  // The name ends at the first quote or NUL after the opening quote; only a
  // quote closes it.
  const std::size_t close = 1 + Window64(bytes + 1).first_byte_equal_to_any('"', '\0');
  if (close == 1 || close >= length || close >= kWindow || bytes[close] != '"') return kUnusual;
  // The name fits the window, so a fixed-size copy of the whole window holds it.
  std::memcpy(record.name, bytes + 1, kWindow);
  record.name_length = close - 1;

  // The items are read from one window: one that starts at the opening quote
  // when the whole line fits it, else one that starts at the closing quote,
  // which leaves them all of it.
  const std::size_t shift = length < kWindow ? 0 : close;
  const std::size_t rest = length - shift;
  if (rest >= kWindow) return kUnusual;
  const std::size_t quote = close - shift;
  const std::uint64_t after_name =
      ((std::uint64_t{1} << rest) - 1) & ~((std::uint64_t{2} << quote) - 1);
  const std::uint64_t digits = Window64(bytes + shift).digits() & after_name;
  UsualText text{bytes + shift, rest, digits, digits & ~(digits << 1)};
  std::size_t end = quote + 1;  // the end of the item before
  if (!read_usual_item<kX>(text, end, record) || !read_usual_item<kY>(text, end, record) ||
      !read_usual_item<kZ>(text, end, record) || !read_usual_item<kPitch>(text, end, record) ||
      !read_usual_item<kYaw>(text, end, record) || !read_usual_item<kRoll>(text, end, record)) {
    return kUnusual;
  }
  if (read_usual_item<kFov>(text, end, record)) return 8;
  // No fov: seven items when nothing but the line feed follows the roll number.
  if (end == text.length || (end + 1 == text.length && text.bytes[end] == '\n')) return 7;
  return kUnusual;
}

int match_camera_line_in_place(const char* text, std::size_t length, CameraRecord& record) {
  if (length > kPieceCapacity) length = kPieceCapacity;
  const int items = match_usual_layout(text, length, record);
  return items != kUnusual ? items : match_by_the_rules(text, length, record);
}

int match_camera_line(std::string_view text, CameraRecord& record) {
  char padded[kPieceCapacity + kMatchReadAhead];
  const std::size_t length = text.size() < kPieceCapacity ? text.size() : kPieceCapacity;
  std::memcpy(padded, text.data(), length);
  std::memset(padded + length, 0, kMatchReadAhead);
  return match_camera_line_in_place(padded, length, record);
}

}  // namespace camera
