#include "diagnosis/windows_text.h"

#include <cstring>

#include "camera/text_bytes.h"

namespace diagnosis {
namespace {

using camera::find_byte;
using camera::is_space;

}  // namespace

cli::ReadResult WindowsTextSource::read(char* into, std::size_t capacity) {
  while (!ended_) {
    std::size_t length = 0;
    if (held_carriage_return_) {
      held_carriage_return_ = false;
      into[length++] = '\r';
      if (length == capacity) return read_after_carriage_return(into);
    } else if (has_pushed_back_) {
      has_pushed_back_ = false;
      into[length++] = pushed_back_;
    }
    if (!inner_ended_ && length < capacity) {
      const cli::ReadResult got = inner_.read(into + length, capacity - length);
      length += got.bytes;
      if (got.error != 0 || got.bytes == 0) {
        inner_ended_ = true;
        inner_error_ = got.error;
      }
    }
    length = translate(into, length, inner_ended_);
    if (inner_ended_) ended_ = true;
    // An error after the Ctrl-Z is no error of the text before it.
    if (ended_) return {length, ctrl_z_.stopped ? 0 : inner_error_};
    if (length > 0) return {length, 0};
    // Only a carriage return came, and it is held: read on.
  }
  return {0, 0};
}

// `into` has room for one byte, the carriage return held from the last read:
// what follows it decides whether it is read.
cli::ReadResult WindowsTextSource::read_after_carriage_return(char* into) {
  char next;
  const cli::ReadResult got = inner_.read(&next, 1);
  if (got.error != 0 || got.bytes == 0) {
    inner_ended_ = true;
    inner_error_ = got.error;
  }
  if (got.bytes == 1 && next == '\n') {
    into[0] = '\n';
  } else if (got.bytes == 1) {
    pushed_back_ = next;
    has_pushed_back_ = true;
  }
  if (inner_ended_ && !has_pushed_back_) {
    ended_ = true;
    return {1, inner_error_};
  }
  return {1, 0};
}

std::size_t WindowsTextSource::translate(char* bytes, std::size_t length, bool last) {
  const char* const ctrl_z = find_byte(bytes, bytes + length, kCtrlZ);
  if (ctrl_z != bytes + length) {
    ctrl_z_.stopped = true;
    count_after_ctrl_z(ctrl_z + 1, static_cast<std::size_t>(bytes + length - (ctrl_z + 1)));
    length = static_cast<std::size_t>(ctrl_z - bytes);
    ended_ = true;
    last = true;
  }
  // Runs of bytes up to each carriage return move down over those dropped.
  std::size_t kept = 0;
  for (std::size_t at = 0; at < length;) {
    const auto carriage_return =
        static_cast<std::size_t>(find_byte(bytes + at, bytes + length, '\r') - bytes);
    std::memmove(bytes + kept, bytes + at, carriage_return - at);
    kept += carriage_return - at;
    at = carriage_return;
    if (at == length) break;
    if (at + 1 == length && !last) {
      held_carriage_return_ = true;
      break;
    }
    if (at + 1 == length || bytes[at + 1] != '\n') bytes[kept++] = '\r';
    ++at;
  }
  return kept;
}

void WindowsTextSource::count_after_ctrl_z(const char* bytes, std::size_t length) {
  const char* const end = bytes + length;
  for (const char* at = bytes; at != end;) {
    if (after_line_feed_) {
      ++ctrl_z_.lines_after;
      after_line_feed_ = false;
    }
    const char* const line_feed = find_byte(at, end, '\n');
    // Once text has been seen, nothing more is to be learnt from a line's bytes.
    for (const char* c = at; c != line_feed && !ctrl_z_.text_after; ++c) {
      if (is_space(*c)) continue;
      ctrl_z_.text_after = true;
      ctrl_z_.rest_of_line = !past_first_line_;
    }
    if (line_feed == end) break;
    after_line_feed_ = true;
    past_first_line_ = true;
    at = line_feed + 1;
  }
}

int WindowsTextSource::read_past_ctrl_z() {
  if (!ctrl_z_.stopped || inner_ended_) return ctrl_z_.stopped ? inner_error_ : 0;
  inner_ended_ = true;
  char buffer[4096];
  for (;;) {
    const cli::ReadResult got = inner_.read(buffer, sizeof buffer);
    count_after_ctrl_z(buffer, got.bytes);
    if (got.error != 0 || got.bytes == 0) {
      inner_error_ = got.error;
      return got.error;
    }
  }
}

}  // namespace diagnosis
