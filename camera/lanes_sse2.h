// The SSE2 kernel's window (x86, 32-bit and 64-bit). Its code carries the
// target attribute rather than the whole program a compiler flag: the 32-bit
// programs run on processors without SSE2 too, and choose at start-up.
#pragma once

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define BRIVEL_HAS_X86_KERNELS 1

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "camera/byte_lanes.h"

// The SSE2 kernel's code, and the entry points that inline a whole loop into it.
#define BRIVEL_SSE2_CODE __attribute__((target("sse2")))
#define BRIVEL_SSE2_ENTRY __attribute__((target("sse2"), flatten, noinline))

namespace camera {

// Sixty-four bytes as four 16-byte registers, loaded once and asked any
// number of questions. The answers are those of PortableWindow.
class Sse2Window {
 public:
  static constexpr std::size_t kSize = 64;

  BRIVEL_SSE2_CODE explicit Sse2Window(const char* bytes) {
    for (int i = 0; i < 4; ++i) {
      chunks_[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
    }
  }

  // Whole masks are as cheap as the first byte of a kind (usual_layout.h).
  static constexpr bool kWholeMasks = true;

  // The mask of the bytes equal to `c`.
  BRIVEL_SSE2_CODE std::uint64_t bytes_equal_to(char c) const { return equal_to_any(c, c); }

  // Copies the 64 bytes to `out` (at least the first `length`, as
  // PortableWindow does).
  BRIVEL_SSE2_CODE void copy_to(char* out, std::size_t = kSize) const {
    for (int i = 0; i < 4; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), chunks_[i]);
    }
  }

  BRIVEL_SSE2_CODE std::uint64_t digits() const {
    // A digit is at most 9 above '0' (the subtraction wraps the bytes below '0' round).
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    std::uint64_t found = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i digit =
          _mm_cmpeq_epi8(_mm_max_epu8(_mm_sub_epi8(chunks_[i], zero), nine), nine);
      found |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(digit))} << (16 * i);
    }
    return found;
  }

  // The index of the first byte equal to `c` from byte `from` on, or kSize.
  BRIVEL_SSE2_CODE std::size_t first_byte_equal_to(char c, std::size_t from = 0) const {
    return lowest_bit_from(equal_to_any(c, c), from);
  }

  // The same for a byte equal to `a` or `b`.
  BRIVEL_SSE2_CODE std::size_t first_byte_equal_to_any(char a, char b, std::size_t from = 0) const {
    return lowest_bit_from(equal_to_any(a, b), from);
  }

 private:
  BRIVEL_SSE2_CODE std::uint64_t equal_to_any(char a, char b) const {
    const __m128i first = _mm_set1_epi8(a);
    const __m128i second = _mm_set1_epi8(b);
    std::uint64_t found = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i equal =
          _mm_or_si128(_mm_cmpeq_epi8(chunks_[i], first), _mm_cmpeq_epi8(chunks_[i], second));
      found |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(equal))} << (16 * i);
    }
    return found;
  }

  __m128i chunks_[4];
};

}  // namespace camera

#endif
