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

// The bytes [at, end) of `in` to `out`, a word at a time: it reads up to 7
// bytes past `end` (which the caller has) and writes as many past the copy
// (which is overwritten by what follows).
char* copy_run(char* out, const char* in, std::size_t at, std::size_t end) {
  for (std::size_t i = at; i < end; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, in + i, 8);
    std::memcpy(out + (i - at), &word, 8);
  }
  return out + (end - at);
}

// The line feeds of `length` bytes, each as a carriage return and a line
// feed, into `out`, which has room for twice as many and 8 more. A block's
// lines are short, so the line feeds are found a window at a time and the
// runs between them copied in words, with no call per line.
std::size_t translate(const char* in, std::size_t length, char* out) {
  char* o = out;
  std::size_t at = 0;  // the first byte not copied yet
  for (std::size_t window = 0; window + kWindow + 8 <= length; window += kWindow) {
    const Window w(in + window);
    for (std::size_t from = 0, line_feed; (line_feed = w.first_byte_equal_to('\n', from)) < kWindow;
         from = line_feed + 1) {
      o = copy_run(o, in, at, window + line_feed);
      o[0] = '\r';
      o[1] = '\n';
      o += 2;
      at = window + line_feed + 1;
    }
  }
  for (; at < length; ++at) {
    if (in[at] == '\n') *o++ = '\r';
    *o++ = in[at];
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace

int WindowsTextSink::write(const char* bytes, std::size_t length) {
  // A slice at a time, so that the doubled text fits a buffer on the stack
  // (the WebAssembly stack is small) and the inner sink gets few calls.
  constexpr std::size_t kSlice = 8 * 1024;
  char translated[2 * kSlice + 8];
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

}  // namespace web
