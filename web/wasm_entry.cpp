// The converter as a WebAssembly module for the page (web/worker.js runs it).
//
// The page streams the list in: it writes each part into the module's memory
// (brivel_room) and hands it over (brivel_feed). The module converts every
// whole piece it holds, with the command line's read loop, matcher and
// writer, and keeps the rest for the next part, so that its memory stays the
// same whatever the size of the list. The blocks go to the page as they are
// written. When asked, the diagnosis of brivel-check watches the same loop:
// the cameras go to the page in columns, many at a time, and each finding
// with its text as brivel-check prints it. The page's functions are the
// module's imports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "camera/byte_lanes.h"
#include "cli/convert.h"
#include "diagnosis/diagnosis.h"
#include "diagnosis/report.h"
#include "diagnosis/windows_text.h"
#include "web/windows_text.h"

#define PAGE_FUNCTION(name) __attribute__((import_module("page"), import_name(name)))
#define EXPORTED(name) extern "C" __attribute__((export_name(name)))

extern "C" {
PAGE_FUNCTION("output") void page_output(const char* bytes, std::size_t length);
// `count` cameras, in columns: the number of each one's line (from 1), its
// fields, and where its name ends in `names`.
PAGE_FUNCTION("cameras")
void page_cameras(std::size_t count, const double* line, const std::int32_t* x,
                  const std::int32_t* y, const std::int32_t* z, const std::int32_t* pitch,
                  const std::int32_t* yaw, const std::int32_t* roll, const std::int32_t* fov,
                  const std::uint32_t* name_end, const char* names);
// `flags`: bit 0, the excerpt starts its line; bit 1, it ends it; bit 2, x and
// y say where the line's camera would stand. The `length` bytes at `texts` are
// the reason's code, its words, the excerpt and the finding as brivel-check
// prints it, one after the other: one copy for the page, not four.
PAGE_FUNCTION("finding")
void page_finding(double line, double column, std::size_t mark, int flags, std::int32_t x,
                  std::int32_t y, const char* texts, std::size_t code_length,
                  std::size_t words_length, std::size_t excerpt_length, std::size_t length);
// The counts; what the list is as a whole (a code, and words for a list that
// is no usable camera list); and brivel-check's summary line.
PAGE_FUNCTION("done")
void page_done(double lines, double cameras, double cameras_with_default_fov, double skipped_lines,
               double findings, const char* verdict, std::size_t verdict_length,
               const char* verdict_words, std::size_t verdict_words_length, const char* summary,
               std::size_t summary_length);
}

namespace {

constexpr std::size_t kPiece = camera::kPieceCapacity;

// Bytes served from memory: a part of the list, or text to convert.
class MemorySource : public cli::ByteSource {
 public:
  void reset(const char* bytes, std::size_t length) {
    bytes_ = bytes;
    length_ = length;
    at_ = 0;
  }
  std::size_t left() const { return length_ - at_; }
  cli::ReadResult read(char* into, std::size_t capacity) override {
    const std::size_t take = capacity < left() ? capacity : left();
    std::memcpy(into, bytes_ + at_, take);
    at_ += take;
    return {take, 0};
  }

 private:
  const char* bytes_ = nullptr;
  std::size_t length_ = 0;
  std::size_t at_ = 0;
};

class PageOutput : public cli::ByteSink {
 public:
  int write(const char* bytes, std::size_t length) override {
    page_output(bytes, length);
    return 0;
  }
};

// Memory that grows; false when it cannot.
bool reserve(char*& bytes, std::size_t& capacity, std::size_t wanted) {
  if (wanted <= capacity && bytes != nullptr) return true;
  const std::size_t doubled = capacity > 2048 ? 2 * capacity : 4096;
  const std::size_t larger = doubled > wanted ? doubled : wanted;
  char* const grown = static_cast<char*>(std::realloc(bytes, larger));
  if (grown == nullptr) return false;
  bytes = grown;
  capacity = larger;
  return true;
}

// The cameras, gathered in columns and handed to the page a batch at a time:
// one call for thousands of cameras rather than one each.
class CameraColumns {
 public:
  static constexpr std::size_t kBatch = 16384;

  void add(const camera::CameraRecord& r, diagnosis::Count line) {
    const std::size_t i = count_;
    line_[i] = static_cast<double>(line);
    x_[i] = r.x;
    y_[i] = r.y;
    z_[i] = r.z;
    pitch_[i] = r.pitch;
    yaw_[i] = r.yaw;
    roll_[i] = r.roll;
    fov_[i] = r.fov;
    // Names are short: a copy of a fixed 64 bytes takes no branch on the length.
    if (r.name_length <= 64) {
      camera::copy_words<64>(names_ + names_length_, r.name);
    } else {
      std::memcpy(names_ + names_length_, r.name, r.name_length);
    }
    names_length_ += r.name_length;
    name_end_[i] = static_cast<std::uint32_t>(names_length_);
    ++count_;
    if (count_ == kBatch || sizeof names_ - names_length_ < camera::kNameCapacity) hand_over();
  }

  void hand_over() {
    if (count_ == 0) return;
    page_cameras(count_, line_, x_, y_, z_, pitch_, yaw_, roll_, fov_, name_end_, names_);
    count_ = 0;
    names_length_ = 0;
  }

 private:
  std::size_t count_ = 0;
  std::size_t names_length_ = 0;
  double line_[kBatch];
  std::int32_t x_[kBatch], y_[kBatch], z_[kBatch], pitch_[kBatch], yaw_[kBatch], roll_[kBatch],
      fov_[kBatch];
  std::uint32_t name_end_[kBatch];
  // Names are short: a batch of long ones is handed over early instead.
  char names_[kBatch * 16];
};

class PageReport : public diagnosis::Listener {
 public:
  explicit PageReport(const std::string& file) : file_(file) {}
  void camera(const camera::CameraRecord& r, diagnosis::Count line) override {
    cameras_.add(r, line);
  }
  void finding(const diagnosis::Finding& f) override {
    const std::string_view code = diagnosis::reason_code(f.reason);
    texts_.assign(code);
    texts_.append(f.words);
    texts_.append(f.excerpt);
    diagnosis::append_gnu(texts_, file_, f);
    const int flags =
        (f.excerpt_starts_line ? 1 : 0) | (f.excerpt_ends_line ? 2 : 0) | (f.has_position ? 4 : 0);
    page_finding(static_cast<double>(f.line), static_cast<double>(f.column), f.mark, flags, f.x,
                 f.y, texts_.data(), code.size(), f.words.size(), f.excerpt.size(), texts_.size());
  }
  void hand_over() { cameras_.hand_over(); }

 private:
  const std::string& file_;
  std::string texts_;  // kept, so that its room is kept
  CameraColumns cameras_;
};

// One conversion of one list, fed a part at a time.
class Run {
 public:
  Run(bool windows_text, bool observe)
      : windows_text_(windows_text),
        observe_(observe),
        windows_input_(raw_source_),
        windows_output_(output_),
        report_(file_),
        diagnosis_(report_),
        buffers_() {}  // zeroed, as the read loop's buffers start
  ~Run() {
    std::free(text_);
    std::free(raw_);
  }

  std::string file_;  // the list's name, for the findings' text

  // Where the page may write `wanted` bytes of the list next.
  char* room(std::size_t wanted) {
    if (windows_text_) {
      return reserve(raw_, raw_capacity_, raw_length_ + wanted) ? raw_ + raw_length_ : nullptr;
    }
    return reserve(text_, text_capacity_, text_length_ + wanted) ? text_ + text_length_ : nullptr;
  }

  // Takes the `length` bytes written at room(); `last`: the list ends there.
  bool feed(std::size_t length, bool last) {
    if (windows_text_) {
      raw_length_ += length;
      if (!read_as_windows_text(last)) return false;
    } else {
      text_length_ += length;
    }
    convert(last ? text_length_ : whole_pieces());
    if (last) finish();
    return true;
  }

 private:
  // The raw bytes, through the Windows program's text rules, to the text. A
  // carriage return at the end of a part waits for the byte after it, so
  // that the rules never see a part end where the list does not.
  bool read_as_windows_text(bool last) {
    std::size_t usable = raw_length_;
    if (!last && usable > 0 && raw_[usable - 1] == '\r') --usable;
    raw_source_.reset(raw_, usable);
    if (ctrl_z_) {
      windows_input_.count_past_ctrl_z(raw_, usable);
    } else if (!web::holds_text_controls(raw_, usable)) {
      // Nearly every part of a list with LF line ends: the rules would read
      // it as it is. (A part never ends in a carriage return they hold.)
      if (!reserve(text_, text_capacity_, text_length_ + usable)) return false;
      std::memcpy(text_ + text_length_, raw_, usable);
      text_length_ += usable;
    } else if (!web::holds_ctrl_z(raw_, usable)) {
      // Nearly every part of a list with CR LF line ends: no byte for the rules to stop at, and
      // no carriage return for them to hold (see above), so their text is the bytes without the
      // carriage return of each CR LF, dropped a window at a time.
      if (!reserve(text_, text_capacity_, text_length_ + usable + web::kReadingSlack)) return false;
      text_length_ += web::drop_carriage_returns(raw_, usable, text_ + text_length_);
    } else {
      // The text is never longer than the bytes it is read from.
      if (!reserve(text_, text_capacity_, text_length_ + usable + 2)) return false;
      // Read only while this part has bytes, or at the end: the rules take a
      // read of nothing for the end of the list.
      while (last || raw_source_.left() > 0) {
        const cli::ReadResult got =
            windows_input_.read(text_ + text_length_, text_capacity_ - text_length_);
        text_length_ += got.bytes;
        if (got.bytes == 0) break;
      }
      if (windows_input_.ctrl_z().stopped) {
        windows_input_.read_past_ctrl_z();  // the rest of this part
        ctrl_z_ = true;
      }
    }
    std::memmove(raw_, raw_ + usable, raw_length_ - usable);
    raw_length_ -= usable;
    return true;
  }

  // The text up to the end of its last whole piece: pieces end at a line
  // feed, or 1023 bytes on in a longer line, and the text starts a piece.
  std::size_t whole_pieces() const {
    std::size_t line_start = text_length_;
    while (line_start > 0 && text_[line_start - 1] != '\n') --line_start;
    return line_start + (text_length_ - line_start) / kPiece * kPiece;
  }

  // Converts the text up to `end`, and keeps the rest for the next part. The
  // read loop starts each call at the start of a piece, as it would have
  // gone on from the call before.
  void convert(std::size_t end) {
    text_source_.reset(text_, end);
    cli::ByteSink& sink = windows_text_ ? static_cast<cli::ByteSink&>(windows_output_) : output_;
    cli::convert(text_source_, sink, cli::Flush::kWhenFullOrWaiting, buffers_,
                 observe_ ? &diagnosis_ : nullptr);
    std::memmove(text_, text_ + end, text_length_ - end);
    text_length_ -= end;
  }

  void finish() {
    if (!observe_) return;
    diagnosis_.finish(windows_input_.ctrl_z());
    report_.hand_over();
    const diagnosis::Counts& c = diagnosis_.counts();
    const diagnosis::Verdict verdict = diagnosis_.verdict();
    const std::string_view code = diagnosis::verdict_code(verdict);
    std::string words;
    diagnosis::append_verdict(words, verdict);
    std::string summary;
    diagnosis::Totals totals;
    totals.files = 1;
    totals.counts = c;
    diagnosis::append_gnu_summary(summary, totals);
    page_done(static_cast<double>(c.lines), static_cast<double>(c.cameras),
              static_cast<double>(c.cameras_with_default_fov), static_cast<double>(c.skipped_lines),
              static_cast<double>(c.findings), code.data(), code.size(), words.data(), words.size(),
              summary.data(), summary.size());
  }

  const bool windows_text_;
  const bool observe_;
  // Windows text only: the list's bytes as they came, before the text rules.
  char* raw_ = nullptr;
  std::size_t raw_length_ = 0;
  std::size_t raw_capacity_ = 0;
  MemorySource raw_source_;
  diagnosis::WindowsTextSource windows_input_;
  bool ctrl_z_ = false;
  // The text not converted yet: less than a piece, but for a line feed that
  // has not come yet.
  char* text_ = nullptr;
  std::size_t text_length_ = 0;
  std::size_t text_capacity_ = 0;
  MemorySource text_source_;
  PageOutput output_;
  web::WindowsTextSink windows_output_;
  PageReport report_;
  diagnosis::Diagnosis diagnosis_;
  cli::ConversionBuffers buffers_;
};

// The module converts one list at a time; a worker runs one module.
Run* run = nullptr;

}  // namespace

// Begins a conversion, as the Linux program converts or, with `windows_text`,
// as the Windows program does; with `observe`, with the diagnosis watching.
// Returns where the page writes the list's name (`name_length` bytes, for the
// findings' text), or null when the memory cannot be had.
EXPORTED("brivel_begin")
char* brivel_begin(int windows_text, int observe, std::size_t name_length) {
  delete run;
  run = new (std::nothrow) Run(windows_text != 0, observe != 0);
  if (run == nullptr) return nullptr;
  run->file_.resize(name_length);
  return run->file_.data();
}

// Where the page writes the next `wanted` bytes of the list; null when the
// memory cannot be had.
EXPORTED("brivel_room") char* brivel_room(std::size_t wanted) {
  return run->room(wanted);
}

// Converts what the list has brought so far, the `length` bytes written at
// brivel_room included; `last`: that was the end of the list. Returns 0, or
// 1 when the memory for a line that long cannot be had.
EXPORTED("brivel_feed") int brivel_feed(std::size_t length, int last) {
  return run->feed(length, last != 0) ? 0 : 1;
}
