#include "cli/kernel_choice.h"

#include <string>

namespace cli {
namespace {

// The names of the kernels for which `wanted` holds, as "a, b, c".
template <typename Wanted>
std::string names(Wanted wanted) {
  std::string list;
  for (const camera::Kernel kernel : camera::kBuiltKernels) {
    if (!wanted(kernel)) continue;
    if (!list.empty()) list += ", ";
    list += camera::kernel_name(kernel);
  }
  return list;
}

}  // namespace

KernelChoice choose_kernel(const char* name) {
  if (name == nullptr || *name == '\0') return {camera::best_kernel(), ""};
  const std::string wanted = name;
  // A kernel of another build (the page's, on x86) is no kernel of this program.
  for (const camera::Kernel kernel : camera::kBuiltKernels) {
    if (wanted != camera::kernel_name(kernel)) continue;
    if (camera::kernel_runs_here(kernel)) return {kernel, ""};
    return {camera::Kernel::kPortable, "brivel: BRIVEL_KERNEL=" + wanted +
                                           ": this processor cannot run that kernel (it runs " +
                                           names(camera::kernel_runs_here) + ")\n"};
  }
  return {camera::Kernel::kPortable, "brivel: BRIVEL_KERNEL=" + wanted +
                                         ": no such kernel (this program has " +
                                         names([](camera::Kernel) { return true; }) + ")\n"};
}

}  // namespace cli
