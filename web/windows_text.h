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

// Whether `length` bytes hold a Ctrl-Z.
bool holds_ctrl_z(const char* bytes, std::size_t length);

// `length` bytes with no Ctrl-Z, as the text rules read them when they end the
// input: each carriage return right before a line feed dropped, every other
// byte kept. Into `out`, which has room for `length` bytes and
// kReadingSlack more; returns the length written.
constexpr std::size_t kReadingSlack = 16;
std::size_t drop_carriage_returns(const char* in, std::size_t length, char* out);

}  // namespace web
