// The portable kernel's window: plain 64-bit words, on every machine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "camera/byte_lanes.h"

// An entry point that has a whole loop compiled into it, apart from its
// callers: every kernel's entry, whose target attribute, where it has one,
// then covers all of that code.
#if defined(__GNUC__)
#define BRIVEL_PORTABLE_ENTRY __attribute__((flatten, noinline))
#else
#define BRIVEL_PORTABLE_ENTRY
#endif

namespace camera {

// Sixty-four bytes, asked which of them are digits (bit i of the answer stands
// for byte i) and where the first byte of a kind is, from a given place on.
// Eight words of eight lanes, each loaded as it is asked about (a search for
// the first byte of a kind mostly stops before the last). A test sets the top
// bit of each lane where the byte is of the kind.
class PortableWindow {
 public:
  static constexpr std::size_t kSize = 64;

  // A whole mask of a kind of byte would cost as much as the digits' does
  // (usual_layout.h asks instead about the bytes it needs).
  static constexpr bool kWholeMasks = false;

  explicit PortableWindow(const char* bytes) : bytes_(bytes) {}

  // Copies the first `length` bytes to `out`, and up to all 64: two words,
  // which hold the quote and name of most lines, and the other six only when
  // they are asked for.
  void copy_to(char* out, std::size_t length = kSize) const {
    copy_words<16>(out, bytes_);
    if (length > 16) copy_words<kSize - 16>(out + 16, bytes_ + 16);
  }

  std::uint64_t digits() const {
    // The bytes that are not digits are gathered, which needs no negation
    // per word.
    std::uint64_t others = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      others |= top_bits(non_digit_lanes(load_eight_lanes(bytes_ + 8 * i))) << (8 * i);
    }
    return ~others;
  }

  // The index of the first byte equal to `c` from byte `from` on, or kSize
  // when there is none in the window.
  std::size_t first_byte_equal_to(char c, std::size_t from = 0) const {
    return first_lane(from, [c](std::uint64_t word) { return zero_lanes(word ^ every_lane(c)); });
  }

  // The same for a byte equal to `a` or `b`.
  std::size_t first_byte_equal_to_any(char a, char b, std::size_t from = 0) const {
    return first_lane(from, [a, b](std::uint64_t word) {
      return zero_lanes(word ^ every_lane(a)) | zero_lanes(word ^ every_lane(b));
    });
  }

 private:
  static constexpr std::uint64_t kHigh = 0x8080808080808080;

  static constexpr std::uint64_t every_lane(int byte) {
    return std::uint64_t{static_cast<unsigned char>(byte)} * 0x0101010101010101;
  }

  // The usual has-a-zero-byte test: the top bit of each zero lane set,
  // exactly up to the lowest one (a lane above it may be marked too, when it
  // holds 1 and the lane below it borrowed), which is all that the first
  // lane asks of it.
  static std::uint64_t zero_lanes(std::uint64_t word) {
    return (word - every_lane(1)) & ~word & kHigh;
  }

  // The lowest lane from `from` on whose top bit `test` sets, or kSize: a word
  // at a time, the first word starting at `from` (so that no lane below it can
  // borrow into one above), stopping at the first word with one (the bytes
  // asked for are mostly in the window's first or last words), so that `test`
  // need be exact only up to the lowest lane it marks.
  template <typename Test>
  std::size_t first_lane(std::size_t from, Test test) const {
    for (std::size_t at = from; at < kSize; at += 8) {
      const std::uint64_t found = test(load_eight_lanes(bytes_ + at));
      if (found != 0) {
        const std::size_t index = at + lowest_bit(found) / 8;
        return index < kSize ? index : kSize;
      }
    }
    return kSize;
  }

  // The eight top bits of `word`'s lanes as the eight bits of a byte: the
  // multiplication moves the top bit of lane i to bit 56 + i, and no two of
  // its partial products meet.
  static std::uint64_t top_bits(std::uint64_t word) {
    return ((word & kHigh) * 0x0002040810204081) >> 56;
  }

  const char* bytes_;
};

}  // namespace camera
