// The command line: the program takes no arguments; input and output come by
// redirection, as the usage message shows.
#pragma once

namespace cli {

// True only for the program's own name alone; even an empty argument is refused.
bool arguments_accepted(int argument_count);

// Writes the usage message; returns the status to exit with.
int refuse_arguments();

}  // namespace cli
