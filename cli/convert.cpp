#include "cli/convert.h"

#include <cstring>

#include "camera/acceptance_rule.h"
#include "camera/block_writer.h"
#include "camera/camera_record.h"
#include "camera/kernel.h"
#include "camera/line_matcher.h"
#include "camera/padded_text.h"
#include "camera/usual_layout.h"

namespace cli {
namespace {

constexpr std::size_t kInputCapacity = ConversionBuffers::kInputCapacity;
constexpr std::size_t kOutputCapacity = ConversionBuffers::kOutputCapacity;
constexpr std::size_t kWindow = camera::usual_layout::kWindow;
static_assert(kInputCapacity > camera::kPieceCapacity, "a whole piece must fit the input buffer");
static_assert(camera::kReadAhead >= kWindow, "a window must fit the room");
static_assert(kOutputCapacity >= camera::kMaxBlockLength,
              "a whole block must fit the output buffer");

// The length of the piece at the front of `text`: up to and including the
// first line feed, or camera::kPieceCapacity bytes of a longer line, or what
// is left at the end of the input; 0 while the piece is not complete yet.
template <typename Window>
std::size_t cut_piece(camera::PaddedText text, bool input_ended) {
  const std::size_t available = text.size();
  const std::size_t limit = available < camera::kPieceCapacity ? available : camera::kPieceCapacity;
  // Sixty-four bytes at a time: most lines end in the first window, with no
  // call and no loop per byte.
  for (std::size_t at = 0; at < limit; at += kWindow) {
    const std::size_t found = Window(text.data() + at).first_byte_equal_to('\n');
    // (Two tests: as one, `found < kSize && at + found < limit`, the SSE2
    // build read lines of 2-3 KB a sixth slower, for no fewer instructions.)
    if (found < kWindow) {
      if (at + found < limit) return at + found + 1;
      break;
    }
  }
  if (available >= camera::kPieceCapacity) return camera::kPieceCapacity;
  return input_ended ? available : 0;
}

class OutputBuffer {
 public:
  OutputBuffer(ByteSink& sink, char* bytes) : sink_(sink), bytes_(bytes) {}

  // Makes room for a block at the end of the output: returns 0, or the error
  // number of the write that failed.
  int make_room() { return kOutputCapacity - used_ < camera::kMaxBlockLength ? drain() : 0; }

  // Where the next block goes, once there is room, and where it ends.
  char* room() const { return bytes_ + used_; }
  void add(const char* block_end) { used_ = static_cast<std::size_t>(block_end - bytes_); }

  // Returns 0, or the error number of the write that failed.
  int append_block(const camera::CameraRecord& record) {
    if (const int error = make_room()) return error;
    add(camera::append_block(record, room()));
    return 0;
  }

  int drain() {
    const std::size_t length = used_;
    used_ = 0;
    return length == 0 ? 0 : sink_.write(bytes_, length);
  }

 private:
  ByteSink& sink_;
  char* const bytes_;  // kOutputCapacity of them
  std::size_t used_ = 0;
};

// The read loop with `Window`'s lanes; `observed`: with an observer, which the
// loop without one (the command line's) never asks about.
template <typename Window, bool observed>
ConversionResult read_loop(ByteSource& input, ByteSink& output, Flush flush,
                           ConversionBuffers& buffers, PieceObserver* observer) {
  char* const buffer = buffers.input.data();
  std::size_t start = 0;   // the first byte not yet cut into a piece
  std::size_t filled = 0;  // the end of what has been read
  bool input_ended = false;
  int read_error = 0;
  OutputBuffer out(output, buffers.output);
  camera::CameraRecord record;

  for (;;) {
    for (;;) {
      const camera::PaddedText rest = buffers.input.text(start, filled);
      // One look at each line: the window at its start answers the search for
      // its end and the matcher alike.
      const Window window(rest.data());
      std::size_t length = window.first_byte_equal_to('\n') + 1;
      if (length >= kWindow || length > rest.size()) {
        length = cut_piece<Window>(rest, input_ended);
        if (length == 0) break;
      }
      const camera::PaddedText piece = rest.first(length);
      start += length;
      int items;
      if (piece.data()[0] == '"') {
        // A camera line of the usual layout: its block is written as it is
        // read, copying the name and numbers as they stand, with no record
        // unless an observer wants one.
        if (const int error = out.make_room()) return {Outcome::kWriteFailed, error};
        char* block_end = nullptr;
        if constexpr (observed) {
          bool line_ends;
          camera::usual_layout::BlockAndRecordSink sink(out.room(), record, line_ends);
          items = camera::usual_layout::find(window, piece, sink);
          if (items != camera::kUnusual) {
            block_end = sink.end();
            camera::accept_camera_line(items, record);
            observer->piece(piece.data(), length, items, record, line_ends);
          }
        } else {
          camera::usual_layout::BlockSink sink(out.room());
          if (camera::usual_layout::find(window, piece, sink) != camera::kUnusual) {
            block_end = sink.end();
          }
        }
        if (block_end != nullptr) {
          out.add(block_end);
          if (flush == Flush::kEveryBlock) {
            if (const int error = out.drain()) return {Outcome::kWriteFailed, error};
          }
          continue;
        }
        items = camera::usual_layout::match_other(piece, record);
      } else {
        items = camera::usual_layout::match_line(window, piece, record);
      }
      const bool accepted = camera::accept_camera_line(items, record);
      if constexpr (observed) observer->piece(piece.data(), length, items, record, false);
      if (!accepted) continue;
      if (const int error = out.append_block(record)) return {Outcome::kWriteFailed, error};
      if (flush == Flush::kEveryBlock) {
        if (const int error = out.drain()) return {Outcome::kWriteFailed, error};
      }
    }
    if (input_ended) break;

    // What is left is the start of a piece (shorter than kPieceCapacity): keep it.
    std::memmove(buffer, buffer + start, filled - start);
    filled -= start;
    start = 0;
    // A slow producer's records must not wait in the buffer for the next read.
    if (const int error = out.drain()) return {Outcome::kWriteFailed, error};
    const ReadResult got = input.read(buffer + filled, kInputCapacity - filled);
    filled += got.bytes;
    if (got.error != 0) read_error = got.error;
    input_ended = got.error != 0 || got.bytes == 0;
  }

  if (const int error = out.drain()) return {Outcome::kWriteFailed, error};
  if (read_error != 0) return {Outcome::kReadFailed, read_error};
  return {Outcome::kEndOfInput, 0};
}

// The read loop for `Window`, with or without an observer, each compiled on
// its own so that the command line's loop never asks about one.
template <typename Window>
ConversionResult read_loop_for(ByteSource& input, ByteSink& output, Flush flush,
                               ConversionBuffers& buffers, PieceObserver* observer) {
  return observer != nullptr ? read_loop<Window, true>(input, output, flush, buffers, observer)
                             : read_loop<Window, false>(input, output, flush, buffers, observer);
}

}  // namespace

// One entry point per kernel, with its target, into which the whole loop is
// compiled: the cutter, the matcher and the block writer. (Outside the
// anonymous namespace so that their code can be found by name in the program.)
BRIVEL_PORTABLE_ENTRY ConversionResult convert_with_portable_kernel(ByteSource& input,
                                                                    ByteSink& output, Flush flush,
                                                                    ConversionBuffers& buffers,
                                                                    PieceObserver* observer) {
  return read_loop_for<camera::PortableWindow>(input, output, flush, buffers, observer);
}
#if defined(BRIVEL_HAS_X86_KERNELS)
BRIVEL_SSE2_ENTRY ConversionResult convert_with_sse2_kernel(ByteSource& input, ByteSink& output,
                                                            Flush flush, ConversionBuffers& buffers,
                                                            PieceObserver* observer) {
  return read_loop_for<camera::Sse2Window>(input, output, flush, buffers, observer);
}
BRIVEL_AVX2_ENTRY ConversionResult convert_with_avx2_kernel(ByteSource& input, ByteSink& output,
                                                            Flush flush, ConversionBuffers& buffers,
                                                            PieceObserver* observer) {
  return read_loop_for<camera::Avx2Window>(input, output, flush, buffers, observer);
}
#endif
#if defined(BRIVEL_HAS_SIMD128_KERNEL)
BRIVEL_SIMD128_ENTRY ConversionResult convert_with_simd128_kernel(ByteSource& input,
                                                                  ByteSink& output, Flush flush,
                                                                  ConversionBuffers& buffers,
                                                                  PieceObserver* observer) {
  return read_loop_for<camera::Simd128Window>(input, output, flush, buffers, observer);
}
#endif

ConversionResult convert(ByteSource& input, ByteSink& output, Flush flush,
                         ConversionBuffers& buffers, camera::Kernel kernel,
                         PieceObserver* observer) {
  switch (kernel) {
#if defined(BRIVEL_HAS_X86_KERNELS)
    case camera::Kernel::kSse2:
      return convert_with_sse2_kernel(input, output, flush, buffers, observer);
    case camera::Kernel::kAvx2:
      return convert_with_avx2_kernel(input, output, flush, buffers, observer);
#endif
#if defined(BRIVEL_HAS_SIMD128_KERNEL)
    case camera::Kernel::kSimd128:
      return convert_with_simd128_kernel(input, output, flush, buffers, observer);
#endif
    default:
      return convert_with_portable_kernel(input, output, flush, buffers, observer);
  }
}

ConversionResult convert(ByteSource& input, ByteSink& output, Flush flush,
                         ConversionBuffers& buffers, PieceObserver* observer) {
  return convert(input, output, flush, buffers, camera::best_kernel(), observer);
}

}  // namespace cli
