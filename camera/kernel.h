// The byte-lane kernels: the same 64-byte window questions answered with the
// instructions of one processor family. A build has every kernel its machine
// can have (the portable one everywhere; SSE2 and AVX2 on x86; SIMD128 in the
// page's module built with it), and the program picks one at start-up for
// its whole read loop, so that nothing is chosen per line.
#pragma once

#include <cstddef>

#include "camera/lanes_avx2.h"
#include "camera/lanes_portable.h"
#include "camera/lanes_simd128.h"
#include "camera/lanes_sse2.h"

namespace camera {

enum class Kernel {
  kPortable,  // PortableWindow
  kSse2,      // Sse2Window
  kAvx2,      // Avx2Window
  kSimd128,   // Simd128Window
};

// Every kernel of this build, from the least to the most capable.
constexpr Kernel kBuiltKernels[] = {
    Kernel::kPortable,
#if defined(BRIVEL_HAS_X86_KERNELS)
    Kernel::kSse2,
    Kernel::kAvx2,
#endif
#if defined(BRIVEL_HAS_SIMD128_KERNEL)
    Kernel::kSimd128,
#endif
};

// "portable", "sse2", "avx2", "simd128".
const char* kernel_name(Kernel kernel);

// Whether this build has `kernel` and this processor (and its system, which
// must save the wider registers) can run it.
bool kernel_runs_here(Kernel kernel);

// The most capable kernel that runs here.
Kernel best_kernel();

}  // namespace camera
