#include "web/windows_text.h"

#include <cstdint>
#include <cstring>

#include "camera/kernel.h"

namespace web {
namespace {

#if defined(BRIVEL_HAS_SIMD128_KERNEL)
using Window = camera::Simd128Window;
#else
using Window = camera::PortableWindow;
#endif
constexpr std::size_t kWindow = Window::kSize;

// The mask of the bytes of a window equal to `c`.
template <typename Lanes>
std::uint64_t bytes_equal_to(const Lanes& window, char c) {
  if constexpr (Lanes::kWholeMasks) {
    return window.bytes_equal_to(c);
  } else {
    std::uint64_t found = 0;
    for (std::size_t at = 0; (at = window.first_byte_equal_to(c, at)) < Lanes::kSize; ++at) {
      found |= std::uint64_t{1} << at;
    }
    return found;
  }
}

// A copy of runs of bytes 16 at a time: it reads up to 15 bytes past a run
// (which the caller has) and writes as many past its copy (which is
// overwritten by what follows). Most runs, the lines of a block, take one.
constexpr std::size_t kStep = 16;
char* copy_run(char* out, const char* in, std::size_t at, std::size_t end) {
  for (std::size_t i = at; i < end; i += kStep) std::memcpy(out + (i - at), in + i, kStep);
  return out + (end - at);
}

// The line feeds of `length` bytes, each as a carriage return and a line
// feed, into `out`, which has room for twice as many and kStep more. A block's
// lines are short, so the line feeds are found a window at a time and the
// runs between them copied in words, with no call per line.
std::size_t translate(const char* in, std::size_t length, char* out) {
  char* o = out;
  std::size_t at = 0;  // the first byte not copied yet
  for (std::size_t window = 0; window + kWindow + kStep <= length; window += kWindow) {
    for (std::uint64_t feeds = bytes_equal_to(Window(in + window), '\n'); feeds != 0;
         feeds &= feeds - 1) {
      const std::size_t line_feed = window + camera::lowest_bit(feeds);
      o = copy_run(o, in, at, line_feed);
      o[0] = '\r';
      o[1] = '\n';
      o += 2;
      at = line_feed + 1;
    }
  }
  for (; at < length; ++at) {
    if (in[at] == '\n') *o++ = '\r';
    *o++ = in[at];
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace

std::size_t drop_carriage_returns(const char* in, std::size_t length, char* out) {
  char* o = out;
  std::size_t at = 0;  // the first byte not copied yet
  std::size_t window = 0;
  for (; window + kWindow + kStep <= length; window += kWindow) {
    const Window lanes(in + window);
    // A carriage return in the window's last byte pairs with a line feed in the next one's first.
    const std::uint64_t before_line_feeds =
        (bytes_equal_to(lanes, '\n') >> 1) | (std::uint64_t{in[window + kWindow] == '\n'} << 63);
    for (std::uint64_t dropped = bytes_equal_to(lanes, '\r') & before_line_feeds; dropped != 0;
         dropped &= dropped - 1) {
      const std::size_t carriage_return = window + camera::lowest_bit(dropped);
      o = copy_run(o, in, at, carriage_return);
      at = carriage_return + 1;
    }
  }
  // The windows end at least kStep bytes before the input does.
  if (at < window) {
    o = copy_run(o, in, at, window);
    at = window;
  }
  for (; at < length; ++at) {
    if (in[at] != '\r' || at + 1 == length || in[at + 1] != '\n') *o++ = in[at];
  }
  return static_cast<std::size_t>(o - out);
}

static_assert(kReadingSlack >= kStep, "a run's copy writes up to kStep - 1 bytes past it");

int WindowsTextSink::write(const char* bytes, std::size_t length) {
  // A slice at a time, so that the doubled text fits a buffer on the stack
  // (the WebAssembly stack is small) and the inner sink gets few calls.
  constexpr std::size_t kSlice = 8 * 1024;
  char translated[2 * kSlice + kStep];
  while (length > 0) {
    const std::size_t take = length < kSlice ? length : kSlice;
    if (const int error = inner_.write(translated, translate(bytes, take, translated))) {
      return error;
    }
    bytes += take;
    length -= take;
  }
  return 0;
}

bool holds_ctrl_z(const char* bytes, std::size_t length) {
  return std::memchr(bytes, '\x1a', length) != nullptr;
}

bool holds_text_controls(const char* bytes, std::size_t length) {
  std::size_t at = 0;
  for (; at + kWindow <= length; at += kWindow) {
    const Window window(bytes + at);
    if (window.first_byte_equal_to_any('\r', '\x1a') < kWindow) return true;
  }
  for (; at < length; ++at) {
    if (bytes[at] == '\r' || bytes[at] == '\x1a') return true;
  }
  return false;
}

}  // namespace web
