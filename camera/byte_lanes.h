// Bytes handled a word at a time rather than one by one: four or eight bytes
// as the lanes of an integer (the byte at the lowest address in the lowest
// lane, on every machine), and 64 bytes as a bit mask. Lines, and the names
// and numbers in them, are short and of lengths that change from one to the
// next, so the branch that ends a loop over their bytes is mispredicted again
// and again, which costs far more than arithmetic on a whole word.
#pragma once

#include <cstddef>
#include <cstdint>

namespace camera {

// The lanes are put together byte by byte, which fixes their order whatever
// the machine's: compilers see the pattern and emit one load (and a byte swap
// on a big-endian machine).
inline std::uint64_t load_eight_lanes(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return std::uint64_t{b[0]} | std::uint64_t{b[1]} << 8 | std::uint64_t{b[2]} << 16 |
         std::uint64_t{b[3]} << 24 | std::uint64_t{b[4]} << 32 | std::uint64_t{b[5]} << 40 |
         std::uint64_t{b[6]} << 48 | std::uint64_t{b[7]} << 56;
}

inline std::uint32_t load_four_lanes(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
         std::uint32_t{b[3]} << 24;
}

// The lowest lane at the lowest address, likewise.
inline void store_eight_lanes(std::uint64_t lanes, char* bytes) {
  auto* b = reinterpret_cast<unsigned char*>(bytes);
  b[0] = static_cast<unsigned char>(lanes);
  b[1] = static_cast<unsigned char>(lanes >> 8);
  b[2] = static_cast<unsigned char>(lanes >> 16);
  b[3] = static_cast<unsigned char>(lanes >> 24);
  b[4] = static_cast<unsigned char>(lanes >> 32);
  b[5] = static_cast<unsigned char>(lanes >> 40);
  b[6] = static_cast<unsigned char>(lanes >> 48);
  b[7] = static_cast<unsigned char>(lanes >> 56);
}

// The index of the lowest bit set; `bits` is not zero.
inline std::size_t lowest_bit(std::uint64_t bits) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(bits));
#else
  std::size_t bit = 0;
  while ((bits & 1) == 0) {
    bits >>= 1;
    ++bit;
  }
  return bit;
#endif
}

}  // namespace camera

// Window64: sixty-four bytes, asked which of them are digits (bit i of the
// answer stands for byte i) and where the first byte of a kind is. Two
// implementations with the same answers: SSE2, and plain 64-bit words for
// every other machine (or any machine, with BRIVEL_PORTABLE_LANES, so that it
// is tested and measured everywhere).
#if defined(__SSE2__) && !defined(BRIVEL_PORTABLE_LANES)

#include <emmintrin.h>

namespace camera {

class Window64 {
 public:
  static constexpr std::size_t kSize = 64;

  explicit Window64(const char* bytes) {
    for (int i = 0; i < 4; ++i) {
      chunks_[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
    }
  }

  std::uint64_t digits() const {
    // A digit is at most 9 above '0' (the subtraction wraps the bytes below '0' round).
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    return bits([zero, nine](__m128i chunk) {
      return _mm_cmpeq_epi8(_mm_max_epu8(_mm_sub_epi8(chunk, zero), nine), nine);
    });
  }

  // The index of the first byte equal to `a` or `b`, or kSize when there is none.
  std::size_t first_byte_equal_to_any(char a, char b) const {
    const __m128i first = _mm_set1_epi8(a);
    const __m128i second = _mm_set1_epi8(b);
    const std::uint64_t found = bits([first, second](__m128i chunk) {
      return _mm_or_si128(_mm_cmpeq_epi8(chunk, first), _mm_cmpeq_epi8(chunk, second));
    });
    return found == 0 ? kSize : lowest_bit(found);
  }

  std::size_t first_byte_equal_to(char c) const { return first_byte_equal_to_any(c, c); }

 private:
  template <typename Test>
  std::uint64_t bits(Test test) const {
    std::uint64_t found = 0;
    for (int i = 0; i < 4; ++i) {
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(test(chunks_[i])));
      found |= static_cast<std::uint64_t>(mask) << (16 * i);
    }
    return found;
  }

  __m128i chunks_[4];
};

}  // namespace camera

#else

namespace camera {

// Eight words of eight lanes, each loaded as it is asked about (a search for
// the first byte of a kind mostly stops before the last). A test sets the top
// bit of each lane where the byte is of the kind.
class Window64 {
 public:
  static constexpr std::size_t kSize = 64;

  explicit Window64(const char* bytes) : bytes_(bytes) {}

  std::uint64_t digits() const {
    // Below the top bit, adding 0x80 - '0' reaches the top bit from '0' up,
    // and adding 0x80 - ':' from ':' up; a byte with the top bit is no digit.
    // Exact, lane by lane: no sum carries out of its lane.
    std::uint64_t found = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      const std::uint64_t lanes = word(i);
      const std::uint64_t low = lanes & kLow;
      const std::uint64_t word_digits =
          (low + every_lane(0x80 - '0')) & ~((low + every_lane(0x80 - ':')) | lanes);
      found |= top_bits(word_digits) << (8 * i);
    }
    return found;
  }

  // The index of the first byte equal to `c`, or kSize when there is none.
  std::size_t first_byte_equal_to(char c) const {
    return first_lane([c](std::uint64_t word) { return zero_lanes(word ^ every_lane(c)); });
  }

  // The same for a byte equal to `a` or `b`.
  std::size_t first_byte_equal_to_any(char a, char b) const {
    return first_lane([a, b](std::uint64_t word) {
      return zero_lanes(word ^ every_lane(a)) | zero_lanes(word ^ every_lane(b));
    });
  }

 private:
  static constexpr std::uint64_t kHigh = 0x8080808080808080;
  static constexpr std::uint64_t kLow = ~kHigh;

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

  // The lowest lane whose top bit `test` sets, or kSize: a word at a time,
  // stopping at the first word with one (the bytes asked for are mostly in the
  // window's first or last words), so that `test` need be exact only up to
  // the lowest lane it marks.
  template <typename Test>
  std::size_t first_lane(Test test) const {
    for (std::size_t i = 0; i < 8; ++i) {
      const std::uint64_t found = test(word(i));
      if (found != 0) return 8 * i + lowest_bit(found) / 8;
    }
    return kSize;
  }

  // The eight top bits of `word`'s lanes as the eight bits of a byte: the
  // multiplication moves the top bit of lane i to bit 56 + i, and no two of
  // its partial products meet.
  static std::uint64_t top_bits(std::uint64_t word) {
    return ((word & kHigh) * 0x0002040810204081) >> 56;
  }

  std::uint64_t word(std::size_t i) const { return load_eight_lanes(bytes_ + 8 * i); }

  const char* bytes_;
};

}  // namespace camera

#endif
