// The process's standard streams, at the level of the operating system's
// descriptors. On Windows they are the C runtime's text-mode descriptors, so a
// carriage return before a line feed reads as nothing, a Ctrl-Z from a file or
// a pipe ends the input, and each line feed written goes out as CR LF.
#pragma once

#include <string_view>

#include "cli/byte_streams.h"

namespace cli {

// Reads a descriptor as the system hands its bytes over, waiting where it is
// non-blocking.
class DescriptorInput : public ByteSource {
 public:
  explicit DescriptorInput(int fd) : fd_(fd) {}
  ReadResult read(char* into, std::size_t capacity) override;

 private:
  int fd_;
};

class StandardInput : public DescriptorInput {
 public:
  StandardInput();
};

class StandardOutput : public ByteSink {
 public:
  StandardOutput();
  int write(const char* bytes, std::size_t length) override;
  // A terminal (the console on Windows) wants each block as soon as it is ready.
  bool is_terminal() const;
};

// Best effort: there is nowhere left to report a failure to write an error.
void write_standard_error(std::string_view text);

}  // namespace cli
