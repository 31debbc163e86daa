// The byte-lane kernels of this build that this processor runs: tests that
// drive the matcher or the read loop run each of them.
#pragma once

#include <vector>

#include "camera/kernel.h"

inline std::vector<camera::Kernel> kernels_here() {
  std::vector<camera::Kernel> kernels;
  for (const camera::Kernel kernel : camera::kBuiltKernels) {
    if (camera::kernel_runs_here(kernel)) kernels.push_back(kernel);
  }
  return kernels;
}
