// Bytes handled a word at a time rather than one by one: eight bytes
// as the lanes of an integer (the byte at the lowest address in the lowest
// lane, on every machine), and 64 bytes as a bit mask. Lines, and the names
// and numbers in them, are short and of lengths that change from one to the
// next, so the branch that ends a loop over their bytes is mispredicted again
// and again, which costs far more than arithmetic on a whole word.
//
// These are the scalar helpers every kernel shares. The 64-byte windows, one
// type per kernel with the same questions, are in lanes_portable.h,
// lanes_sse2.h, lanes_avx2.h and lanes_simd128.h; kernel.h says which this
// build has and which this processor runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// The top bit of each of the eight lanes that holds no digit, exactly: '0' to
// '9' become 0 to 9 under the exclusive or; below the top bit, adding
// 0x80 - 10 then reaches the top bit from 10 up, and a byte with the top bit
// is no digit. No sum carries out of its lane, and no negation is needed.
inline std::uint64_t non_digit_lanes(std::uint64_t lanes) {
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  lanes ^= 0x3030303030303030;
  return (((lanes & ~kHigh) + 0x7676767676767676) | lanes) & kHigh;
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

// Copies `N` (at least 8) bytes as eight-byte words, the last one overlapping
// the one before it where `N` is not a multiple of 8. The copies of a block's
// fixed text and of names are small and of fixed sizes, which compilers may
// otherwise make with a string instruction that is slow to start.
template <std::size_t N>
inline void copy_words(char* out, const char* in) {
  static_assert(N >= 8, "a copy of at least one word");
  for (std::size_t i = 0; i + 8 < N; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, in + i, 8);
    std::memcpy(out + i, &word, 8);
  }
  std::uint64_t last;
  std::memcpy(&last, in + N - 8, 8);
  std::memcpy(out + N - 8, &last, 8);
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

// The index of the highest bit set; `bits` is not zero.
inline std::size_t highest_bit(std::uint64_t bits) {
#if defined(__GNUC__)
  return 63 - static_cast<unsigned>(__builtin_clzll(bits));
#else
  std::size_t bit = 63;
  while ((bits >> bit) == 0) --bit;
  return bit;
#endif
}

// The index of the lowest bit set at or above `from` (below 64), or 64 when
// there is none: the first byte of a kind from a place in a window, given the
// window's mask of that kind.
inline std::size_t lowest_bit_from(std::uint64_t bits, std::size_t from) {
  bits &= ~std::uint64_t{0} << from;
  return bits == 0 ? 64 : lowest_bit(bits);
}

}  // namespace camera
