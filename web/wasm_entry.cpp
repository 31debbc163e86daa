// The converter as a WebAssembly module for the page (web/worker.js runs it).
// The page puts the whole input into the module's memory (brivel_input), then
// brivel_run converts it with the command line's read loop, matcher and
// writer, handing the blocks to the page as they are written, and reports the
// cameras and the near misses. The page's functions are the module's imports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "camera/padded_text.h"
#include "cli/convert.h"
#include "web/line_report.h"
#include "web/windows_text.h"

#define PAGE_FUNCTION(name) __attribute__((import_module("page"), import_name(name)))
#define EXPORTED(name) extern "C" __attribute__((export_name(name)))

extern "C" {
PAGE_FUNCTION("output") void page_output(const char* bytes, std::size_t length);
PAGE_FUNCTION("progress") void page_progress(double done);
PAGE_FUNCTION("camera")
void page_camera(const char* name, std::size_t name_length, std::int32_t x, std::int32_t y,
                 std::int32_t yaw, std::int32_t fov);
PAGE_FUNCTION("near_miss")
void page_near_miss(double line_number, const char* piece, std::size_t piece_length,
                    std::size_t column, int items, std::size_t stop_offset, int expected);
PAGE_FUNCTION("done") void page_done(double camera_lines, double skipped_lines);
}

namespace {

// The module's buffers: static, since they are far too large for its stack
// (64 KiB, with no guard page below it).
cli::ConversionBuffers conversion_buffers;
camera::PaddedCopy* input = nullptr;

// Reading is the first half of the work, the report the second.
class PageInput : public cli::ByteSource {
 public:
  PageInput(const char* bytes, std::size_t length) : bytes_(bytes), length_(length) {}
  cli::ReadResult read(char* into, std::size_t capacity) override {
    const std::size_t take = capacity < length_ - at_ ? capacity : length_ - at_;
    std::memcpy(into, bytes_ + at_, take);
    at_ += take;
    page_progress(static_cast<double>(at_) / 2);
    return {take, 0};
  }

 private:
  const char* bytes_;
  std::size_t length_;
  std::size_t at_ = 0;
};

class PageOutput : public cli::ByteSink {
 public:
  int write(const char* bytes, std::size_t length) override {
    page_output(bytes, length);
    return 0;
  }
};

class PageReport : public web::LineObserver {
 public:
  explicit PageReport(std::size_t length) : length_(length) {}
  void camera_line(const camera::CameraRecord& r) override {
    ++camera_lines_;
    page_camera(r.name, r.name_length, r.x, r.y, r.yaw, r.fov);
  }
  void skipped_line() override { ++skipped_lines_; }
  void near_miss(const web::NearMiss& m) override {
    page_near_miss(static_cast<double>(m.line_number), m.piece, m.piece_length, m.column, m.items,
                   m.stop.offset, static_cast<int>(m.stop.expected));
  }
  void progress(std::size_t done) override {
    page_progress(static_cast<double>(length_) / 2 + static_cast<double>(done) / 2);
  }
  void finish() const {
    page_done(static_cast<double>(camera_lines_), static_cast<double>(skipped_lines_));
  }

 private:
  std::size_t length_;
  std::size_t camera_lines_ = 0;
  std::size_t skipped_lines_ = 0;
};

}  // namespace

// Room for an input of `length` bytes; the page copies the input there. Null
// when the memory cannot be had.
EXPORTED("brivel_input") char* brivel_input(std::size_t length) {
  delete input;
  input = new (std::nothrow) camera::PaddedCopy(length);
  return input != nullptr ? input->data() : nullptr;
}

// Converts the input of `length` bytes, as the Linux program does or, with
// `windows_text`, as the Windows program does. Returns 0, or 1 when the read
// loop did not come to the end of the input (which memory never causes).
EXPORTED("brivel_run") int brivel_run(std::size_t length, int windows_text) {
  char* const bytes = input->data();
  if (windows_text) {
    const std::size_t text_length = web::read_as_windows_text(bytes, length);
    std::memset(bytes + text_length, 0, length - text_length);
    length = text_length;
  }
  PageInput source(bytes, length);
  PageOutput page;
  web::WindowsTextSink windows(page);
  cli::ByteSink& sink = windows_text ? static_cast<cli::ByteSink&>(windows) : page;
  const cli::ConversionResult result =
      cli::convert(source, sink, cli::Flush::kWhenFullOrWaiting, conversion_buffers);

  PageReport report(length);
  web::report_lines(input->text().first(length), report);
  report.finish();
  return result.outcome == cli::Outcome::kEndOfInput ? 0 : 1;
}
