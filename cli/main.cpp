// brivel: converts a camera list on standard input into info_camera entity
// blocks on standard output.
#include "cli/arguments.h"
#include "cli/convert.h"
#include "cli/exit_status.h"
#include "cli/standard_streams.h"

int main(int argc, char**) {
  if (!cli::arguments_accepted(argc)) return cli::refuse_arguments();
  cli::StandardInput input;
  cli::StandardOutput output;
  const cli::Flush flush = cli::flush_for(output.is_terminal());
  // Static storage: zeroed before the program starts, and off the stack.
  static cli::ConversionBuffers buffers;
  return cli::finish(cli::convert(input, output, flush, buffers));
}
