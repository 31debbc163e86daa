// The Windows program's standard streams are the C runtime's text streams.
// The page offers the same conversion as the Windows program gives, so it
// reads and writes its bytes the same way.
#pragma once

#include <cstddef>

#include "cli/byte_streams.h"

namespace web {

// Reads `length` bytes as a text stream from a file: a carriage return right
// before a line feed is read as nothing, other carriage returns as they are,
// and a Ctrl-Z byte ends the input. In place, since the text only shrinks;
// returns its new length.
std::size_t read_as_windows_text(char* bytes, std::size_t length);

// Writes each line feed as a carriage return and a line feed.
class WindowsTextSink : public cli::ByteSink {
 public:
  explicit WindowsTextSink(cli::ByteSink& inner) : inner_(inner) {}
  int write(const char* bytes, std::size_t length) override;

 private:
  cli::ByteSink& inner_;
};

}  // namespace web
