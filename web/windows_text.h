// The Windows program's standard output is the C runtime's text stream. The
// page offers the same conversion as the Windows program gives, so it writes
// its bytes the same way. (It reads them through diagnosis::WindowsTextSource,
// as brivel-check does.)
#pragma once

#include <cstddef>

#include "cli/byte_streams.h"

namespace web {

// Writes each line feed as a carriage return and a line feed.
class WindowsTextSink : public cli::ByteSink {
 public:
  explicit WindowsTextSink(cli::ByteSink& inner) : inner_(inner) {}
  int write(const char* bytes, std::size_t length) override;

 private:
  cli::ByteSink& inner_;
};

// Whether `length` bytes hold a carriage return or a Ctrl-Z: the text rules
// read bytes without either as they are.
bool holds_text_controls(const char* bytes, std::size_t length);

}  // namespace web
