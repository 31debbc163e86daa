// The WebAssembly SIMD128 kernel's window, for the page's module where the
// browser has SIMD (the page loads a module built without it elsewhere).
#pragma once

#if defined(__wasm_simd128__)
#define BRIVEL_HAS_SIMD128_KERNEL 1

#include <wasm_simd128.h>

#include <cstddef>
#include <cstdint>

#include "camera/byte_lanes.h"
#include "camera/lanes_portable.h"

#define BRIVEL_SIMD128_ENTRY BRIVEL_PORTABLE_ENTRY

namespace camera {

// Sixty-four bytes as four 16-byte vectors, loaded once and asked any number
// of questions. The answers are those of PortableWindow.
class Simd128Window {
 public:
  static constexpr std::size_t kSize = 64;

  explicit Simd128Window(const char* bytes) {
    for (int i = 0; i < 4; ++i) chunks_[i] = wasm_v128_load(bytes + 16 * i);
  }

  // Whole masks are as cheap as the first byte of a kind (usual_layout.h).
  static constexpr bool kWholeMasks = true;

  // The mask of the bytes equal to `c`.
  std::uint64_t bytes_equal_to(char c) const {
    std::uint64_t found = 0;
    for (int i = 0; i < 4; ++i) {
      const v128_t equal = wasm_i8x16_eq(chunks_[i], wasm_i8x16_splat(c));
      found |= std::uint64_t{static_cast<std::uint16_t>(wasm_i8x16_bitmask(equal))} << (16 * i);
    }
    return found;
  }

  // Copies the 64 bytes to `out` (at least the first `length`, as
  // PortableWindow does).
  void copy_to(char* out, std::size_t = kSize) const {
    for (int i = 0; i < 4; ++i) wasm_v128_store(out + 16 * i, chunks_[i]);
  }

  std::uint64_t digits() const {
    std::uint64_t found = 0;
    for (int i = 0; i < 4; ++i) {
      // A digit is at most 9 above '0' (the subtraction wraps the bytes below '0' round).
      const v128_t digit =
          wasm_u8x16_le(wasm_i8x16_sub(chunks_[i], wasm_i8x16_splat('0')), wasm_i8x16_splat(9));
      found |= std::uint64_t{static_cast<std::uint16_t>(wasm_i8x16_bitmask(digit))} << (16 * i);
    }
    return found;
  }

  // The index of the first byte equal to `c` from byte `from` on, or kSize.
  std::size_t first_byte_equal_to(char c, std::size_t from = 0) const {
    return first_byte_equal_to_any(c, c, from);
  }

  // The same for a byte equal to `a` or `b`.
  std::size_t first_byte_equal_to_any(char a, char b, std::size_t from = 0) const {
    std::uint64_t found = 0;
    for (int i = 0; i < 4; ++i) {
      const v128_t equal = wasm_v128_or(wasm_i8x16_eq(chunks_[i], wasm_i8x16_splat(a)),
                                        wasm_i8x16_eq(chunks_[i], wasm_i8x16_splat(b)));
      found |= std::uint64_t{static_cast<std::uint16_t>(wasm_i8x16_bitmask(equal))} << (16 * i);
    }
    return lowest_bit_from(found, from);
  }

 private:
  v128_t chunks_[4];
};

}  // namespace camera

#endif
