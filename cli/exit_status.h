// How a run ends: the message on standard error, if any, and the exit status.
#pragma once

#include "cli/convert.h"

namespace cli {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// Writes the message for a failed read or write; returns the status to exit with.
int finish(const ConversionResult& result);

}  // namespace cli
