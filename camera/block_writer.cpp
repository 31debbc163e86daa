#include "camera/block_writer.h"

#include <cstdint>
#include <cstring>

#include "camera/byte_lanes.h"

namespace camera {
namespace {

using block_text::kAngles;
using block_text::kFov;
using block_text::kHead;
using block_text::kOrigin;
using block_text::kTail;
using block_text::put;

static_assert(kDefaultFov == 90, "block_text::kDefaultFov must be the text of kDefaultFov");
static_assert(sizeof kHead + sizeof kOrigin + sizeof kAngles + sizeof kFov + sizeof kTail - 5 + 4 ==
                  kMaxBlockLength - kNameCapacity - 7 * 11,
              "kMaxBlockLength must count every fixed byte of the block, spaces included");

// "00" to "99": numbers of five digits or more are written two digits at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Any number: a pair at a time, from the end.
char* put_long(char* out, std::uint32_t n) {
  int length = 1;
  for (std::uint32_t bound = 10; length < 10 && n >= bound; bound *= 10) ++length;
  char* p = out + length;
  while (n >= 100) {
    p -= 2;
    std::memcpy(p, &kDigitPairs[2 * (n % 100)], 2);
    n /= 100;
  }
  if (n >= 10) {
    std::memcpy(p - 2, &kDigitPairs[2 * n], 2);
  } else {
    p[-1] = static_cast<char>('0' + n);
  }
  return out + length;
}

// The decimal text of every number from -9999 to 9999, sign included, in the
// low lanes of a word (the first character in the lowest lane) and followed by
// a space, and its length in the top lane. Camera lists hold mostly such
// numbers, of lengths that change from one number to the next: a lookup writes
// them with no branch on the length. (160 KB, of which the usual coordinates
// and angles read a few.)
constexpr std::int32_t kTableLowest = -9999;
constexpr std::int32_t kTableHighest = 9999;

struct ShortNumbers {
  std::uint64_t text[kTableHighest - kTableLowest + 1];
};

constexpr ShortNumbers short_numbers() {
  ShortNumbers numbers{};
  for (std::int32_t n = kTableLowest; n <= kTableHighest; ++n) {
    std::uint64_t text = 0;
    std::uint64_t length = 0;
    std::uint32_t rest = static_cast<std::uint32_t>(n < 0 ? -n : n);
    do {  // from the last digit: each shifts the ones after it up a lane
      text = text << 8 | ('0' + rest % 10);
      rest /= 10;
      ++length;
    } while (rest != 0);
    if (n < 0) {
      text = text << 8 | '-';
      ++length;
    }
    numbers.text[n - kTableLowest] = text | std::uint64_t{' '} << 8 * length | length << 56;
  }
  return numbers;
}

constexpr ShortNumbers kShortNumbers = short_numbers();

// Writes `value` in decimal and a space, which counts only when `spaced`.
// The bytes after those are overwritten by what follows in the block.
inline char* put(char* out, std::int32_t value, bool spaced = false) {
  const std::uint32_t index =
      static_cast<std::uint32_t>(value) - static_cast<std::uint32_t>(kTableLowest);
  if (index > static_cast<std::uint32_t>(kTableHighest - kTableLowest)) {
    *out = '-';
    out += value < 0;
    out = put_long(out, value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                  : static_cast<std::uint32_t>(value));
    *out = ' ';
    return out + spaced;
  }
  const std::uint64_t text = kShortNumbers.text[index];
  store_eight_lanes(text, out);
  return out + (text >> 56) + spaced;
}

// Names are mostly short and of many lengths: a copy of a fixed 64 bytes
// takes no branch on the length (the bytes after the name are overwritten).
char* put_name(char* out, const CameraRecord& record) {
  constexpr std::size_t kShortName = 64;
  static_assert(kShortName <= kNameCapacity, "the copy must not read past the name field");
  if (record.name_length > kShortName) {
    std::memcpy(out, record.name, record.name_length);
    return out + record.name_length;
  }
  copy_words<kShortName>(out, record.name);
  return out + record.name_length;
}

char* put_triple(char* out, std::int32_t a, std::int32_t b, std::int32_t c) {
  out = put(out, a, true);
  out = put(out, b, true);
  return put(out, c);
}

}  // namespace

char* append_block(const CameraRecord& record, char* out) {
  out = put(out, kHead);
  out = put_name(out, record);
  out = put(out, kOrigin);
  out = put_triple(out, record.x, record.y, record.z);
  out = put(out, kAngles);
  out = put_triple(out, record.pitch, record.yaw, record.roll);
  out = put(out, kFov);
  out = put(out, record.fov);
  return put(out, kTail);
}

}  // namespace camera
