// Reading a camera list as the Windows program reads its standard input: the
// C runtime's text mode reads a carriage return right before a line feed as
// nothing and ends the input at a Ctrl-Z byte. brivel-check (with
// --windows-text, and always on Windows, where it reads files as bytes) and
// the page read through this, so that they see exactly the bytes the Windows
// program would.
#pragma once

#include <cstddef>

#include "cli/byte_streams.h"
#include "diagnosis/finding.h"

namespace diagnosis {

constexpr char kCtrlZ = '\x1a';

// What a Ctrl-Z cut off, counted as it is read past and not kept.
struct CtrlZStop {
  bool stopped = false;       // a Ctrl-Z ended the input
  bool text_after = false;    // something other than whitespace follows it
  bool rest_of_line = false;  // ... on its own line
  Count lines_after = 0;      // lines that start after its own
};

// Serves the bytes of `inner` as a text stream reads them. A carriage return
// that ends one read is held back until the next byte is known, so that CR LF
// pairs across reads.
class WindowsTextSource : public cli::ByteSource {
 public:
  explicit WindowsTextSource(cli::ByteSource& inner) : inner_(inner) {}
  cli::ReadResult read(char* into, std::size_t capacity) override;

  // Once the reads have ended at a Ctrl-Z: reads what is left of `inner` to
  // its end, counting what the Ctrl-Z cut off. Returns 0, or the error number
  // of a failed read.
  int read_past_ctrl_z();
  // For input that comes in parts: once read_past_ctrl_z has read what was
  // left of `inner`, counts what the Ctrl-Z cut off in the parts after it.
  void count_past_ctrl_z(const char* bytes, std::size_t length) {
    count_after_ctrl_z(bytes, length);
  }
  const CtrlZStop& ctrl_z() const { return ctrl_z_; }

 private:
  // The reads' bytes, [0, length) of `bytes`, as text; returns their new length.
  std::size_t translate(char* bytes, std::size_t length, bool last);
  cli::ReadResult read_after_carriage_return(char* into);
  void count_after_ctrl_z(const char* bytes, std::size_t length);

  cli::ByteSource& inner_;
  bool held_carriage_return_ = false;
  // A byte read to decide about a held carriage return, not served yet.
  char pushed_back_ = 0;
  bool has_pushed_back_ = false;
  bool inner_ended_ = false;
  int inner_error_ = 0;
  bool ended_ = false;
  CtrlZStop ctrl_z_;
  bool after_line_feed_ = false;  // after the Ctrl-Z: the last byte was a line feed
  bool past_first_line_ = false;  // ... and one has been seen
};

}  // namespace diagnosis
