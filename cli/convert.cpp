#include "cli/convert.h"

#include <cstring>

#include "camera/acceptance_rule.h"
#include "camera/block_writer.h"
#include "camera/byte_lanes.h"
#include "camera/camera_record.h"
#include "camera/line_matcher.h"

namespace cli {
namespace {

constexpr std::size_t kInputCapacity = ConversionBuffers::kInputCapacity;
constexpr std::size_t kOutputCapacity = ConversionBuffers::kOutputCapacity;
static_assert(kInputCapacity > camera::kPieceCapacity, "a whole piece must fit the input buffer");
constexpr std::size_t kReadAhead = ConversionBuffers::kReadAhead;
static_assert(kReadAhead >= camera::Window64::kSize, "a window must fit the room");
static_assert(kOutputCapacity >= camera::kMaxBlockLength,
              "a whole block must fit the output buffer");

}  // namespace

std::size_t next_piece_length(const char* bytes, std::size_t available, bool input_ended) {
  const std::size_t limit = available < camera::kPieceCapacity ? available : camera::kPieceCapacity;
  // Sixty-four bytes at a time: most lines end in the first window, with no
  // call and no loop per byte.
  for (std::size_t at = 0; at < limit; at += camera::Window64::kSize) {
    const std::size_t found = camera::Window64(bytes + at).first_byte_equal_to('\n');
    // (Two tests: as one, `found < kSize && at + found < limit`, the SSE2
    // build read lines of 2-3 KB a sixth slower, for no fewer instructions.)
    if (found < camera::Window64::kSize) {
      if (at + found < limit) return at + found + 1;
      break;
    }
  }
  if (available >= camera::kPieceCapacity) return camera::kPieceCapacity;
  return input_ended ? available : 0;
}

namespace {

class OutputBuffer {
 public:
  OutputBuffer(ByteSink& sink, char* bytes) : sink_(sink), bytes_(bytes) {}

  // Returns 0, or the error number of the write that failed.
  int append_block(const camera::CameraRecord& record) {
    if (kOutputCapacity - used_ < camera::kMaxBlockLength) {
      if (const int error = drain()) return error;
    }
    used_ = static_cast<std::size_t>(camera::append_block(record, bytes_ + used_) - bytes_);
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

}  // namespace

ConversionResult convert(ByteSource& input, ByteSink& output, Flush flush,
                         ConversionBuffers& buffers, PieceObserver* observer) {
  char* const buffer = buffers.input;
  std::size_t start = 0;   // the first byte not yet cut into a piece
  std::size_t filled = 0;  // the end of what has been read
  bool input_ended = false;
  int read_error = 0;
  OutputBuffer out(output, buffers.output);
  camera::CameraRecord record;

  for (;;) {
    while (const std::size_t length =
               next_piece_length(buffer + start, filled - start, input_ended)) {
      const char* const piece = buffer + start;
      start += length;
      const int items = camera::match_camera_line_in_place(piece, length, record);
      const bool accepted = camera::accept_camera_line(items, record);
      if (observer != nullptr) observer->piece(piece, length, items, record);
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

}  // namespace cli
