// The converter as a WebAssembly module for the page (web/worker.js runs it).
// The page puts the whole input into the module's memory (brivel_input), then
// brivel_run converts it with the command line's read loop, matcher and
// writer, handing the blocks to the page as they are written; the diagnosis
// of brivel-check watches the same loop and tells the page of each camera and
// each finding as it is made. The page's functions are the module's imports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cli/convert.h"
#include "diagnosis/diagnosis.h"
#include "diagnosis/windows_text.h"
#include "web/windows_text.h"

#define PAGE_FUNCTION(name) __attribute__((import_module("page"), import_name(name)))
#define EXPORTED(name) extern "C" __attribute__((export_name(name)))

extern "C" {
PAGE_FUNCTION("output") void page_output(const char* bytes, std::size_t length);
PAGE_FUNCTION("progress") void page_progress(double done);
// Every camera, with every field and the number of its line (from 1).
PAGE_FUNCTION("camera")
void page_camera(double line, const char* name, std::size_t name_length, std::int32_t x,
                 std::int32_t y, std::int32_t z, std::int32_t pitch, std::int32_t yaw,
                 std::int32_t roll, std::int32_t fov);
// `whole`: bit 0, the excerpt starts its line; bit 1, it ends it.
PAGE_FUNCTION("finding")
void page_finding(double line, double column, const char* code, std::size_t code_length,
                  const char* words, std::size_t words_length, const char* excerpt,
                  std::size_t excerpt_length, std::size_t mark, int whole);
PAGE_FUNCTION("done")
void page_done(double lines, double cameras, double cameras_with_default_fov, double skipped_lines,
               double findings);
}

namespace {

// The module's buffers: static, since they are far too large for its stack
// (64 KiB, with no guard page below it).
cli::ConversionBuffers conversion_buffers;
char* input = nullptr;

class PageInput : public cli::ByteSource {
 public:
  PageInput(const char* bytes, std::size_t length) : bytes_(bytes), length_(length) {}
  cli::ReadResult read(char* into, std::size_t capacity) override {
    const std::size_t take = capacity < length_ - at_ ? capacity : length_ - at_;
    std::memcpy(into, bytes_ + at_, take);
    at_ += take;
    page_progress(static_cast<double>(at_));
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

class PageReport : public diagnosis::Listener {
 public:
  void camera(const camera::CameraRecord& r, std::size_t line) override {
    page_camera(static_cast<double>(line), r.name, r.name_length, r.x, r.y, r.z, r.pitch, r.yaw,
                r.roll, r.fov);
  }
  void finding(const diagnosis::Finding& f) override {
    const std::string_view code = diagnosis::reason_code(f.reason);
    page_finding(static_cast<double>(f.line), static_cast<double>(f.column), code.data(),
                 code.size(), f.words.data(), f.words.size(), f.excerpt.data(), f.excerpt.size(),
                 f.mark, (f.excerpt_starts_line ? 1 : 0) | (f.excerpt_ends_line ? 2 : 0));
  }
};

}  // namespace

// Room for an input of `length` bytes; the page copies the input there. Null
// when the memory cannot be had.
EXPORTED("brivel_input") char* brivel_input(std::size_t length) {
  std::free(input);
  input = static_cast<char*>(std::malloc(length > 0 ? length : 1));
  return input;
}

// Converts the input of `length` bytes, as the Linux program does or, with
// `windows_text`, as the Windows program does. Returns 0, or 1 when the read
// loop did not come to the end of the input (which memory never causes).
EXPORTED("brivel_run") int brivel_run(std::size_t length, int windows_text) {
  PageInput source(input, length);
  diagnosis::WindowsTextSource windows_source(source);
  cli::ByteSource& text = windows_text ? static_cast<cli::ByteSource&>(windows_source) : source;
  PageOutput page;
  web::WindowsTextSink windows_sink(page);
  cli::ByteSink& sink = windows_text ? static_cast<cli::ByteSink&>(windows_sink) : page;
  PageReport report;
  diagnosis::Diagnosis diagnosis(report);
  const cli::ConversionResult result =
      cli::convert(text, sink, cli::Flush::kWhenFullOrWaiting, conversion_buffers, &diagnosis);
  if (windows_text) windows_source.read_past_ctrl_z();
  diagnosis.finish(windows_source.ctrl_z());
  const diagnosis::Counts& c = diagnosis.counts();
  page_done(static_cast<double>(c.lines), static_cast<double>(c.cameras),
            static_cast<double>(c.cameras_with_default_fov), static_cast<double>(c.skipped_lines),
            static_cast<double>(c.findings));
  return result.outcome == cli::Outcome::kEndOfInput ? 0 : 1;
}
