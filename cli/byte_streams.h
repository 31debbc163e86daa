// The two ends the converter talks to. The program connects them to its
// standard streams; tests connect them to memory.
#pragma once

#include <cstddef>

namespace cli {

// The read loop reads up to this much at a time: large reads take fewer system
// calls, and from a pipe that holds as much (see StandardInput), fewer turns
// between the writer and the reader.
constexpr std::size_t kReadSize = 256 * 1024;

struct ReadResult {
  std::size_t bytes;  // 0 with error 0 at the end of the input
  int error;          // the error number of a failed read, else 0
};

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads at most `capacity` (> 0) bytes into `into`, waiting for them if need be.
  virtual ReadResult read(char* into, std::size_t capacity) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `length` bytes. Returns 0, or the error number of the failed write.
  virtual int write(const char* bytes, std::size_t length) = 0;
};

}  // namespace cli
