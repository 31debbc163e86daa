#include "cli/standard_streams.h"

#include <cerrno>
#include <climits>

#if defined(__linux__)
#include <fcntl.h>
#endif

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <winerror.h>
#else
#include <poll.h>
#include <time.h>
#include <unistd.h>
#endif

namespace cli {
namespace {

#ifdef _WIN32
using IoCount = int;
constexpr std::size_t kMaxTransfer = INT_MAX;
IoCount read_descriptor(int fd, char* into, std::size_t n) {
  return _read(fd, into, static_cast<unsigned>(n));
}
IoCount write_descriptor(int fd, const char* bytes, std::size_t n) {
  const IoCount written = _write(fd, bytes, static_cast<unsigned>(n));
  // The C runtime reports a pipe whose reader went away as EINVAL; only the
  // system's error code tells it apart, and the program ends quietly on EPIPE.
  if (written < 0) {
    const unsigned long system_error = _doserrno;
    if (system_error == ERROR_NO_DATA || system_error == ERROR_BROKEN_PIPE ||
        system_error == ERROR_PIPE_NOT_CONNECTED) {
      errno = EPIPE;
    }
  }
  return written;
}
void use_text_mode(int fd) {
  _setmode(fd, _O_TEXT);
}
bool descriptor_is_terminal(int fd) {
  return _isatty(fd) != 0;
}
bool wait_until_ready(int, bool) {
  return false;
}
#else
using IoCount = ssize_t;
constexpr std::size_t kMaxTransfer = SSIZE_MAX;
IoCount read_descriptor(int fd, char* into, std::size_t n) {
  return ::read(fd, into, n);
}
IoCount write_descriptor(int fd, const char* bytes, std::size_t n) {
  return ::write(fd, bytes, n);
}
void use_text_mode(int) {}
bool descriptor_is_terminal(int fd) {
  return isatty(fd) != 0;
}
// A descriptor shared with a program that made it non-blocking says "try again"
// rather than wait: wait here, as a blocking read or write would have. Where
// poll cannot wait (no open file allowed, no memory for it), a short sleep
// does; either way the transfer is then tried again. The descriptor's flags
// stay as they are: the other program shares them.
bool wait_until_ready(int fd, bool writing) {
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  pollfd ready = {fd, static_cast<short>(writing ? POLLOUT : POLLIN), 0};
  if (poll(&ready, 1, -1) < 0 && errno != EINTR) {
    static const timespec pause = {0, 2 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return true;
}
#endif

std::size_t clamp(std::size_t n) {
  return n < kMaxTransfer ? n : kMaxTransfer;
}

// Returns 0, or the error number of the write that failed.
int write_all(int fd, const char* bytes, std::size_t length) {
  while (length > 0) {
    const IoCount n = write_descriptor(fd, bytes, clamp(length));
    if (n < 0) {
      if (errno == EINTR || wait_until_ready(fd, true)) continue;
      return errno;
    }
    // A write that takes nothing would be retried forever.
    if (n == 0) return EIO;
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

StandardInput::StandardInput() : DescriptorInput(0) {
  use_text_mode(0);
#if defined(F_SETPIPE_SZ)
  // A pipe holds 64 KiB unless asked for more, and then its writer and the
  // read loop take turns every 64 KiB: the switches cost more than converting
  // the bytes. Best effort: anything but a pipe refuses, and that is fine.
  const int pipe_size = fcntl(0, F_GETPIPE_SZ);
  if (pipe_size >= 0 && static_cast<std::size_t>(pipe_size) < kReadSize) {
    fcntl(0, F_SETPIPE_SZ, static_cast<int>(kReadSize));
  }
#endif
}

ReadResult DescriptorInput::read(char* into, std::size_t capacity) {
  for (;;) {
    const IoCount n = read_descriptor(fd_, into, clamp(capacity));
    if (n >= 0) return {static_cast<std::size_t>(n), 0};
    if (errno != EINTR && !wait_until_ready(fd_, false)) return {0, errno};
  }
}

StandardOutput::StandardOutput() {
  use_text_mode(1);
}

int StandardOutput::write(const char* bytes, std::size_t length) {
  return write_all(1, bytes, length);
}

bool StandardOutput::is_terminal() const {
  return descriptor_is_terminal(1);
}

void write_standard_error(std::string_view text) {
  use_text_mode(2);
  write_all(2, text.data(), text.size());
}

}  // namespace cli
