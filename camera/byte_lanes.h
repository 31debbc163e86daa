// Bytes handled a word at a time rather than one by one: four or eight bytes
// as the lanes of an integer (the byte at the lowest address in the lowest
// lane), and 64 bytes as a bit mask. Lines, and the names and numbers in them,
// are short and of lengths that change from one to the next, so the branch
// that ends a loop over their bytes is mispredicted again and again, which
// costs far more than arithmetic on a whole word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "byte lanes assume a little-endian machine"
#endif

namespace camera {

inline std::uint64_t load_eight_lanes(const char* bytes) {
  std::uint64_t lanes;
  std::memcpy(&lanes, bytes, sizeof lanes);
  return lanes;
}

inline std::uint32_t load_four_lanes(const char* bytes) {
  std::uint32_t lanes;
  std::memcpy(&lanes, bytes, sizeof lanes);
  return lanes;
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

#if defined(__SSE2__)

// Sixty-four bytes, asked which of them are of a kind: bit i of the answer
// stands for byte i.
class Window64 {
 public:
  static constexpr std::size_t kSize = 64;

  explicit Window64(const char* bytes) {
    for (int i = 0; i < 4; ++i) {
      chunks_[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
    }
  }

  std::uint64_t bytes_equal_to(char c) const {
    const __m128i wanted = _mm_set1_epi8(c);
    return bits([wanted](__m128i chunk) { return _mm_cmpeq_epi8(chunk, wanted); });
  }

  std::uint64_t bytes_equal_to_any(char a, char b, char c) const {
    const __m128i first = _mm_set1_epi8(a);
    const __m128i second = _mm_set1_epi8(b);
    const __m128i third = _mm_set1_epi8(c);
    return bits([first, second, third](__m128i chunk) {
      return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, first), _mm_cmpeq_epi8(chunk, second)),
                          _mm_cmpeq_epi8(chunk, third));
    });
  }

  std::uint64_t digits() const {
    // A digit is at most 9 above '0' (the subtraction wraps the bytes below '0' round).
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    return bits([zero, nine](__m128i chunk) {
      return _mm_cmpeq_epi8(_mm_max_epu8(_mm_sub_epi8(chunk, zero), nine), nine);
    });
  }

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

#endif

}  // namespace camera
