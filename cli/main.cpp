// brivel: converts a camera list on standard input into info_camera entity
// blocks on standard output.
#include <cstdlib>

#include "cli/arguments.h"
#include "cli/convert.h"
#include "cli/exit_status.h"
#include "cli/kernel_choice.h"
#include "cli/standard_streams.h"

int main(int argc, char**) {
  if (!cli::arguments_accepted(argc)) return cli::refuse_arguments();
  // Chosen once, before anything is read: the whole read loop runs with it.
  const cli::KernelChoice choice = cli::choose_kernel(std::getenv("BRIVEL_KERNEL"));
  if (!choice.error.empty()) {
    cli::write_standard_error(choice.error);
    return cli::kExitFailure;
  }
  cli::StandardInput input;
  cli::StandardOutput output;
  const cli::Flush flush = cli::flush_for(output.is_terminal());
  // Static storage: zeroed before the program starts, and off the stack.
  static cli::ConversionBuffers buffers;
  return cli::finish(cli::convert(input, output, flush, buffers, choice.kernel));
}
