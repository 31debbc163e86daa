// The read loop: camera list in, entity blocks out.
#pragma once

#include "cli/byte_streams.h"

namespace cli {

enum class Outcome {
  kEndOfInput,   // everything was read and written
  kReadFailed,   // what was read before the failure was converted and written
  kWriteFailed,  // the run stopped at the failed write
};

struct ConversionResult {
  Outcome outcome;
  int error;  // the error number of the failed read or write
};

enum class Flush {
  kWhenFullOrWaiting,  // files and pipes: large writes, but nothing held back while input is
                       // awaited
  kEveryBlock,         // a terminal: each block appears as soon as it is formatted
};

// Reads `input` to its end, in pieces of one line each (a line longer than a
// piece is read in several pieces, each matched on its own), and writes one
// entity block for each camera line, in input order. Memory is fixed: nothing
// grows with the input or with the length of a line.
ConversionResult convert(ByteSource& input, ByteSink& output, Flush flush);

}  // namespace cli
