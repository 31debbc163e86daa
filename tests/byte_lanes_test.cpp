// Each kernel's window against the definitions of its answers, for every byte
// value at every position and every place a search starts from: the program
// asks only a few questions of a few bytes, so a lane that answers wrongly for
// others could hide from the other tests. Every kernel of the build that this
// processor runs is tested; the others are reported as skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "camera/byte_lanes.h"
#include "camera/kernel.h"

namespace {

template <typename W, camera::Kernel k>
struct KernelOf {
  using Window = W;
  static constexpr camera::Kernel kKernel = k;
};

using Kernels = testing::Types<KernelOf<camera::PortableWindow, camera::Kernel::kPortable>
#if defined(BRIVEL_HAS_X86_KERNELS)
                               ,
                               KernelOf<camera::Sse2Window, camera::Kernel::kSse2>,
                               KernelOf<camera::Avx2Window, camera::Kernel::kAvx2>
#endif
#if defined(BRIVEL_HAS_SIMD128_KERNEL)
                               ,
                               KernelOf<camera::Simd128Window, camera::Kernel::kSimd128>
#endif
                               >;

template <typename K>
class ByteLanes : public testing::Test {
 protected:
  void SetUp() override {
    if (!camera::kernel_runs_here(K::kKernel)) {
      GTEST_SKIP() << "this processor cannot run the " << camera::kernel_name(K::kKernel)
                   << " kernel";
    }
  }
};
struct KernelNames {
  template <typename K>
  static std::string GetName(int) {
    return camera::kernel_name(K::kKernel);
  }
};
TYPED_TEST_SUITE(ByteLanes, Kernels, KernelNames);

constexpr std::size_t kSize = 64;

// The first byte from `from` on for which `holds` is true, or kSize.
template <typename Holds>
std::size_t first_that_holds(const char* bytes, std::size_t from, Holds holds) {
  std::size_t i = from;
  while (i < kSize && !holds(static_cast<unsigned char>(bytes[i]))) ++i;
  return i;
}

// Every question the window answers about `bytes` (64 of them, and 64 more
// after, which a search may read but must not count), against its definition.
// Searches start from each of `froms`, or from every byte when there are none.
template <typename Window>
void expect_answers(const char* bytes, const std::string& where,
                    std::initializer_list<std::size_t> froms = {}) {
  const Window window(bytes);
  std::uint64_t digits = 0;
  for (std::size_t i = 0; i < kSize; ++i) {
    if (bytes[i] >= '0' && bytes[i] <= '9') digits |= std::uint64_t{1} << i;
  }
  ASSERT_EQ(window.digits(), digits) << where;
  if constexpr (Window::kWholeMasks) {
    for (const char c : {'-', '0', '\0', '\xFF'}) {
      std::uint64_t equal = 0;
      for (std::size_t i = 0; i < kSize; ++i) equal |= std::uint64_t{bytes[i] == c} << i;
      ASSERT_EQ(window.bytes_equal_to(c), equal) << where << ", byte " << int{c};
    }
  }
  for (std::size_t from = 0; from < kSize; ++from) {
    if (froms.size() != 0 && std::find(froms.begin(), froms.end(), from) == froms.end()) continue;
    const std::string at = where + ", from " + std::to_string(from);
    ASSERT_EQ(window.first_byte_equal_to('\n', from),
              first_that_holds(bytes, from, [](unsigned char b) { return b == '\n'; }))
        << at;
    ASSERT_EQ(window.first_byte_equal_to('\xA2', from),
              first_that_holds(bytes, from, [](unsigned char b) { return b == 0xA2; }))
        << at;
    ASSERT_EQ(window.first_byte_equal_to_any('"', '\0', from),
              first_that_holds(bytes, from, [](unsigned char b) { return b == '"' || b == 0; }))
        << at;
    ASSERT_EQ(window.first_byte_equal_to_any('=', '\xFF', from),
              first_that_holds(bytes, from, [](unsigned char b) { return b == '=' || b == 0xFF; }))
        << at;
  }
}

TYPED_TEST(ByteLanes, WindowAnswersForEveryByteAtEveryPosition) {
  // Byte i of the window is (i * 37 + shift) % 256: every value at every
  // position; the bytes after it are line feeds, quotes and digits, which no
  // answer may count.
  for (int shift = 0; shift < 256; ++shift) {
    char bytes[2 * kSize];
    for (std::size_t i = 0; i < kSize; ++i) bytes[i] = static_cast<char>((i * 37 + shift) % 256);
    for (std::size_t i = kSize; i < 2 * kSize; ++i) bytes[i] = "\n\"5"[i % 3];
    expect_answers<typename TypeParam::Window>(bytes, "shift " + std::to_string(shift));
  }
}

TYPED_TEST(ByteLanes, FirstByteAmongAnyOtherBytes) {
  // A window of one byte value, with or without one other value at the
  // edges of words and registers, for every pair of values.
  for (int fill = 0; fill < 256; ++fill) {
    for (int other = 0; other < 256; other += fill % 16 == 0 ? 1 : 17) {
      for (std::size_t at : {0, 1, 7, 8, 9, 15, 16, 31, 32, 56, 63, 64}) {
        char bytes[2 * kSize];
        std::memset(bytes, fill, sizeof bytes);
        if (at < kSize) bytes[at] = static_cast<char>(other);
        expect_answers<typename TypeParam::Window>(bytes,
                                                   "byte " + std::to_string(other) + " at " +
                                                       std::to_string(at) + " among " +
                                                       std::to_string(fill),
                                                   {0, 1, at == 0 ? 0 : at - 1, at, at + 1, 63});
      }
    }
  }
}

TYPED_TEST(ByteLanes, CopiesTheBytesAskedForAndNoneAfterTheWindow) {
  // A name is copied as the start of its window, as long as it asks for.
  char bytes[2 * kSize];
  for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<char>(i * 37 + 1);
  const typename TypeParam::Window window(bytes);
  for (std::size_t length = 0; length <= kSize; ++length) {
    char out[2 * kSize];
    std::memset(out, '#', sizeof out);
    window.copy_to(out, length);
    ASSERT_EQ(std::string(out, length), std::string(bytes, length)) << "length " << length;
    ASSERT_EQ(std::string(out + kSize, kSize), std::string(kSize, '#')) << "length " << length;
  }
}

TEST(ByteLanes, LowestAddressInLowestLane) {
  const char bytes[] = "\x01\x02\x03\x04\x05\x06\x07\x88";
  EXPECT_EQ(camera::load_eight_lanes(bytes), 0x8807060504030201u);
  char stored[8];
  camera::store_eight_lanes(0x8807060504030201u, stored);
  EXPECT_EQ(std::string(stored, 8), std::string(bytes, 8));
}

TEST(Kernels, TheBestRunsHereAndThePortableOneEverywhere) {
  EXPECT_TRUE(camera::kernel_runs_here(camera::Kernel::kPortable));
  EXPECT_TRUE(camera::kernel_runs_here(camera::best_kernel()));
  std::string ran;
  for (const camera::Kernel kernel : camera::kBuiltKernels) {
    if (camera::kernel_runs_here(kernel)) ran += std::string(" ") + camera::kernel_name(kernel);
  }
  std::printf("kernels this processor runs:%s; the best: %s\n", ran.c_str(),
              camera::kernel_name(camera::best_kernel()));
}

}  // namespace
