#include "cli/arguments.h"

#include "cli/exit_status.h"
#include "cli/standard_streams.h"

namespace cli {

bool arguments_accepted(int argument_count) {
  return argument_count == 1;
}

int refuse_arguments() {
  write_standard_error("Usage: brivel [< marnfile] [> camfile]\n");
  return kExitFailure;
}

}  // namespace cli
