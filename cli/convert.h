// The read loop: camera list in, entity blocks out.
#pragma once

#include <cstddef>

#include "camera/camera_record.h"
#include "camera/kernel.h"
#include "camera/line_matcher.h"
#include "camera/padded_text.h"
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

// Someone may be watching a terminal; anything else is read by a program, for
// which fewer, larger writes are cheaper.
constexpr Flush flush_for(bool output_is_terminal) {
  return output_is_terminal ? Flush::kEveryBlock : Flush::kWhenFullOrWaiting;
}

// The read loop's whole working storage, a few hundred KiB: too much for the
// stack of a thread or of a shell with a small stack limit, so the caller
// keeps it elsewhere (static storage, or one allocation at start-up). It
// starts zeroed, so that reading ahead never reads bytes that were never
// written; between runs it needs no clearing.
struct ConversionBuffers {
  static constexpr std::size_t kInputCapacity = kReadSize;
  static constexpr std::size_t kOutputCapacity = 256 * 1024;

  // With room after it for the matcher and the cutter to read ahead.
  camera::PaddedStorage<kInputCapacity> input;
  char output[kOutputCapacity];
};

// Told of every piece the read loop cuts, in input order, once it has been
// matched: whoever wants to know what became of each line (the page, the
// checker) watches the very loop that converts, rather than reading the input
// again with a loop of its own.
class PieceObserver {
 public:
  virtual ~PieceObserver() = default;
  // `items` is what the matcher read (0 to 8); from 7 items on, `record` is the
  // camera whose block follows, its fov set as the acceptance rule sets it.
  // `line_ends`: the matcher knows that nothing but the line feed follows the
  // last item it read (it knows it for the usual layout only: false says
  // nothing). `text` is valid only during the call.
  virtual void piece(const char* text, std::size_t length, int items,
                     const camera::CameraRecord& record, bool line_ends) = 0;
};

// Reads `input` to its end, in pieces of one line each (a line longer than a
// piece is read in several pieces, each matched on its own), and writes one
// entity block for each camera line, in input order. Memory is fixed: nothing
// grows with the input or with the length of a line. `observer`, if any, is
// told of each piece.
ConversionResult convert(ByteSource& input, ByteSink& output, Flush flush,
                         ConversionBuffers& buffers, PieceObserver* observer = nullptr);

// The same with the byte lanes of `kernel`, which must run here (see
// camera/kernel.h); the one above takes the best this processor has. The
// kernel is chosen once for the whole loop: nothing is dispatched per line.
ConversionResult convert(ByteSource& input, ByteSink& output, Flush flush,
                         ConversionBuffers& buffers, camera::Kernel kernel,
                         PieceObserver* observer = nullptr);

}  // namespace cli
