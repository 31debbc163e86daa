// The AVX2 kernel's window (x86, 32-bit and 64-bit, where the processor and
// the system have AVX2, BMI1 and BMI2). Its code carries the target attribute
// rather than the whole program a compiler flag, so that nothing else is
// compiled for AVX2: an inline function of a shared header compiled so would
// be one the linker may pick for every caller, and the program would die on
// an older processor.
#pragma once

#include "camera/lanes_sse2.h"

#if defined(BRIVEL_HAS_X86_KERNELS)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "camera/byte_lanes.h"

// The AVX2 kernel's code, and the entry points that inline a whole loop into it.
#define BRIVEL_AVX2_CODE __attribute__((target("avx2,bmi,bmi2")))
#define BRIVEL_AVX2_ENTRY __attribute__((target("avx2,bmi,bmi2"), flatten, noinline))

namespace camera {

// Sixty-four bytes as two 32-byte registers, loaded once and asked any
// number of questions. The answers are those of PortableWindow.
class Avx2Window {
 public:
  static constexpr std::size_t kSize = 64;

  BRIVEL_AVX2_CODE explicit Avx2Window(const char* bytes)
      : low_(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes))),
        high_(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32))) {}

  // Whole masks are as cheap as the first byte of a kind (usual_layout.h).
  static constexpr bool kWholeMasks = true;

  // The mask of the bytes equal to `c`.
  BRIVEL_AVX2_CODE std::uint64_t bytes_equal_to(char c) const {
    const __m256i wanted = _mm256_set1_epi8(c);
    return join(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low_, wanted)),
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(high_, wanted)));
  }

  // Copies the 64 bytes to `out` (at least the first `length`, as
  // PortableWindow does).
  BRIVEL_AVX2_CODE void copy_to(char* out, std::size_t = kSize) const {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), low_);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), high_);
  }

  BRIVEL_AVX2_CODE std::uint64_t digits() const {
    // A digit is at most 9 above '0' (the subtraction wraps the bytes below '0' round).
    const __m256i zero = _mm256_set1_epi8('0');
    const __m256i nine = _mm256_set1_epi8(9);
    const __m256i low = _mm256_cmpeq_epi8(_mm256_max_epu8(_mm256_sub_epi8(low_, zero), nine), nine);
    const __m256i high =
        _mm256_cmpeq_epi8(_mm256_max_epu8(_mm256_sub_epi8(high_, zero), nine), nine);
    return join(_mm256_movemask_epi8(low), _mm256_movemask_epi8(high));
  }

  // The index of the first byte equal to `c` from byte `from` on, or kSize.
  BRIVEL_AVX2_CODE std::size_t first_byte_equal_to(char c, std::size_t from = 0) const {
    return lowest_bit_from(bytes_equal_to(c), from);
  }

  // The same for a byte equal to `a` or `b`.
  BRIVEL_AVX2_CODE std::size_t first_byte_equal_to_any(char a, char b, std::size_t from = 0) const {
    const __m256i first = _mm256_set1_epi8(a);
    const __m256i second = _mm256_set1_epi8(b);
    const __m256i low =
        _mm256_or_si256(_mm256_cmpeq_epi8(low_, first), _mm256_cmpeq_epi8(low_, second));
    const __m256i high =
        _mm256_or_si256(_mm256_cmpeq_epi8(high_, first), _mm256_cmpeq_epi8(high_, second));
    return lowest_bit_from(join(_mm256_movemask_epi8(low), _mm256_movemask_epi8(high)), from);
  }

 private:
  static std::uint64_t join(int low, int high) {
    return std::uint64_t{static_cast<std::uint32_t>(low)} |
           std::uint64_t{static_cast<std::uint32_t>(high)} << 32;
  }

  __m256i low_;
  __m256i high_;
};

}  // namespace camera

#endif
