#include "camera/kernel.h"

namespace camera {

const char* kernel_name(Kernel kernel) {
  switch (kernel) {
    case Kernel::kPortable:
      return "portable";
    case Kernel::kSse2:
      return "sse2";
    case Kernel::kAvx2:
      return "avx2";
    case Kernel::kSimd128:
      return "simd128";
  }
  return "?";
}

bool kernel_runs_here(Kernel kernel) {
  switch (kernel) {
    case Kernel::kPortable:
      return true;
#if defined(BRIVEL_HAS_X86_KERNELS)
    case Kernel::kSse2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("sse2");
    case Kernel::kAvx2:
      // The library checks that the system saves the 32-byte registers too.
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
             __builtin_cpu_supports("bmi2");
#endif
#if defined(BRIVEL_HAS_SIMD128_KERNEL)
    case Kernel::kSimd128:
      return true;
#endif
    default:
      return false;
  }
}

Kernel best_kernel() {
  Kernel best = Kernel::kPortable;
  for (const Kernel kernel : kBuiltKernels) {
    if (kernel_runs_here(kernel)) best = kernel;
  }
  return best;
}

}  // namespace camera
