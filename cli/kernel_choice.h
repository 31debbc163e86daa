// Which byte-lane kernel the program runs: the best this processor has, or
// the one the environment variable BRIVEL_KERNEL names, for tests and
// benchmarks. It is the only thing the environment changes.
#pragma once

#include <string>

#include "camera/kernel.h"

namespace cli {

struct KernelChoice {
  camera::Kernel kernel;
  std::string error;  // a line for standard error when `name` cannot be had; else empty
};

// `name` is BRIVEL_KERNEL's value, or null where it is not set (an empty value
// counts as not set).
KernelChoice choose_kernel(const char* name);

}  // namespace cli
