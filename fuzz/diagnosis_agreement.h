// The diagnosis must agree with brivel exactly, whatever the input: the
// cameras it reports are brivel's blocks, in order, with the same fields; it
// counts the lines of the text brivel reads (after the Windows text rules,
// for Windows text), each once; and its findings are well-formed. Shared by
// the convert fuzzer and the unit tests' generated lists.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "camera/block_writer.h"
#include "cli/convert.h"
#include "diagnosis/diagnosis.h"
#include "diagnosis/windows_text.h"

namespace agreement {

// What the Windows program reads of `input`: up to the first Ctrl-Z, with
// each CR LF read as LF.
inline std::string as_windows_text(std::string_view input) {
  const std::string_view before = input.substr(0, input.find('\x1a'));
  std::string text;
  for (std::size_t at = 0; at < before.size(); ++at) {
    if (!(before[at] == '\r' && at + 1 < before.size() && before[at + 1] == '\n')) {
      text += before[at];
    }
  }
  return text;
}

// Lines that start after the line of the first Ctrl-Z.
inline std::size_t lines_after_ctrl_z(std::string_view input) {
  const std::size_t ctrl_z = input.find('\x1a');
  std::size_t lines = 0;
  for (std::size_t at = ctrl_z + 1; ctrl_z != std::string_view::npos && at < input.size(); ++at) {
    lines += input[at] == '\n' && at + 1 < input.size();
  }
  return lines;
}

class StringSink : public cli::ByteSink {
 public:
  int write(const char* bytes, std::size_t length) override {
    text.append(bytes, length);
    return 0;
  }
  std::string text;
};

// Serves the input in reads of the given sizes, repeated (all at once if none).
class PiecewiseSource : public cli::ByteSource {
 public:
  PiecewiseSource(std::string_view input, const std::vector<std::size_t>& sizes)
      : input_(input), sizes_(sizes) {}
  cli::ReadResult read(char* into, std::size_t capacity) override {
    std::size_t n = sizes_.empty() ? capacity : sizes_[reads_++ % sizes_.size()];
    n = std::min({n, capacity, input_.size() - offset_});
    input_.copy(into, n, offset_);
    offset_ += n;
    return {n, 0};
  }
  std::size_t offset() const { return offset_; }
  bool at_end() const { return offset_ == input_.size(); }

 private:
  std::string_view input_;
  const std::vector<std::size_t>& sizes_;
  std::size_t offset_ = 0;
  std::size_t reads_ = 0;
};

// Whether a number of a camera line of `items` items lies beyond 32 bits, so
// that the rules read it modulo 2^32: read here on its own, a byte at a time.
inline bool beyond_32_bits(std::string_view line, int items) {
  std::size_t at = line.find('"', line.find('"') + 1);  // the name's closing quote
  for (int item = 2; item <= items; ++item) {
    at = line.find('=', at + 1);
    std::size_t p = at + 1;
    while (p < line.size() && (line[p] == ' ' || (line[p] >= '\t' && line[p] <= '\r'))) ++p;
    const bool negative = p < line.size() && line[p] == '-';
    if (p < line.size() && (line[p] == '-' || line[p] == '+')) ++p;
    std::uint64_t value = 0;
    for (; p < line.size() && line[p] >= '0' && line[p] <= '9'; ++p) {
      value =
          std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(line[p] - '0'), 1ull << 40);
    }
    if (value > 2147483647u + (negative ? 1u : 0u)) return true;
  }
  return false;
}

// Hands each piece to the diagnosis, counts those that give a camera with
// the default fov, and checks the matcher's word that a line ends with its
// last item.
class Tee : public cli::PieceObserver {
 public:
  explicit Tee(cli::PieceObserver& inner) : inner_(inner) {}
  void piece(const char* text, std::size_t length, int items, const camera::CameraRecord& record,
             bool line_ends) override {
    default_fov += items == 7;
    if (items >= 7) out_of_range.push_back(beyond_32_bits(std::string_view(text, length), items));
    if (line_ends && !(items >= 7 && diagnosis::plain_camera_line(text, length, items))) {
      wrong_ending = true;
    }
    inner_.piece(text, length, items, record, line_ends);
  }
  std::size_t default_fov = 0;
  bool wrong_ending = false;
  std::vector<bool> out_of_range;  // of each camera, in order

 private:
  cli::PieceObserver& inner_;
};

// Rebuilds the blocks from the cameras reported, and notes the first thing
// about the reports that is wrong in itself.
class Recorder : public diagnosis::Listener {
 public:
  void finding(const diagnosis::Finding& f) override {
    ++findings;
    if (f.line < last_finding_line || f.column < 1 || f.column > f.byte_column ||
        f.mark > f.excerpt.size() || f.excerpt.size() > diagnosis::kExcerptLength ||
        f.words.empty()) {
      note("a malformed finding at line " + std::to_string(f.line));
    }
    last_finding_line = f.line;
    lines_of_findings = std::max(lines_of_findings, f.line);
    lines_with_findings.push_back(f.line);
    if (f.reason == diagnosis::Reason::kNumberOutOfRange) out_of_range_lines.push_back(f.line);
    if (quiet_from == 0 &&
        (f.reason == diagnosis::Reason::kUtf16 || f.reason == diagnosis::Reason::kBinary)) {
      quiet_from = f.line;
    }
  }
  void camera(const camera::CameraRecord& record, diagnosis::Count line) override {
    camera_lines.push_back(line);
    char block[camera::kMaxBlockLength];
    blocks.append(block, camera::append_block(record, block));
    if (line < last_camera_line || line != lines_ended + 1) note("a camera on the wrong line");
    last_camera_line = line;
  }
  void line_ended(diagnosis::Count line, diagnosis::LineOutcome outcome) override {
    if (line != ++lines_ended) note("lines ended out of order");
    if (outcome == diagnosis::LineOutcome::kSkipped) skipped_lines.push_back(line);
  }
  void note(const std::string& what) {
    if (wrong.empty()) wrong = what;
  }

  std::string blocks;
  diagnosis::Count findings = 0;
  diagnosis::Count last_finding_line = 0;
  diagnosis::Count lines_of_findings = 0;
  diagnosis::Count last_camera_line = 0;
  diagnosis::Count lines_ended = 0;
  std::vector<diagnosis::Count> skipped_lines;
  std::vector<diagnosis::Count> camera_lines;         // of each camera, in order
  std::vector<diagnosis::Count> out_of_range_lines;   // of the findings of numbers beyond 32 bits
  std::vector<diagnosis::Count> lines_with_findings;  // in order
  diagnosis::Count quiet_from = 0;  // the line found to be UTF-16 or binary data, if any
  std::string wrong;
};

// The line of the first camera with a number beyond 32 bits, which gets no
// word of it; 0 if none. (Once the list is found to be UTF-16 or binary
// data, no more lines get one.)
inline diagnosis::Count unsaid_out_of_range(const Tee& tee, const Recorder& recorder) {
  for (std::size_t i = 0; i < tee.out_of_range.size() && i < recorder.camera_lines.size(); ++i) {
    const diagnosis::Count line = recorder.camera_lines[i];
    const bool quiet = recorder.quiet_from != 0 && recorder.quiet_from <= line;
    if (tee.out_of_range[i] && !quiet &&
        std::find(recorder.out_of_range_lines.begin(), recorder.out_of_range_lines.end(), line) ==
            recorder.out_of_range_lines.end()) {
      return line;
    }
  }
  return 0;
}

// The first line of `text` that brivel skips though it starts with a quote
// after any whitespace, and that gets no word; 0 if none. (Once the list is
// found to be UTF-16 or binary data, no more lines get one.)
inline diagnosis::Count unexplained_quoted_line(std::string_view text, const Recorder& recorder) {
  diagnosis::Count line = 1;
  std::size_t start = 0;
  for (const diagnosis::Count skipped : recorder.skipped_lines) {
    while (line < skipped && start < text.size()) {
      start = std::min(text.find('\n', start), text.size()) + 1;
      ++line;
    }
    // (A UTF-8 byte-order mark at the start of the input stands before it.)
    std::size_t first = start == 0 && text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : start;
    // Whitespace, but not the line feed that ends the line.
    while (first < text.size() && text[first] != '\n' &&
           (text[first] == ' ' || (text[first] >= '\t' && text[first] <= '\r'))) {
      ++first;
    }
    const bool quoted = first < text.size() && text[first] == '"';
    const bool said = std::binary_search(recorder.lines_with_findings.begin(),
                                         recorder.lines_with_findings.end(), skipped);
    const bool quiet = recorder.quiet_from != 0 && recorder.quiet_from <= skipped;
    if (quoted && !said && !quiet) return skipped;
  }
  return 0;
}

// Empty when the diagnosis of `input`, read in reads of `sizes`, agrees with
// brivel; else what disagrees.
inline std::string disagreement(std::string_view input, const std::vector<std::size_t>& sizes,
                                bool windows_text) {
  static const auto buffers = std::make_unique<cli::ConversionBuffers>();
  const std::string text = windows_text ? as_windows_text(input) : std::string(input);
  // brivel's blocks, from the text brivel reads, in one read.
  StringSink expected;
  const std::vector<std::size_t> whole;
  PiecewiseSource text_source(text, whole);
  cli::convert(text_source, expected, cli::Flush::kWhenFullOrWaiting, *buffers);
  const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
                            (!text.empty() && text.back() != '\n');

  PiecewiseSource source(input, sizes);
  diagnosis::WindowsTextSource windows(source);
  cli::ByteSource& read = windows_text ? static_cast<cli::ByteSource&>(windows) : source;
  Recorder recorder;
  diagnosis::Diagnosis diagnosis(recorder);
  Tee tee(diagnosis);
  StringSink written;
  cli::convert(read, written, cli::Flush::kWhenFullOrWaiting, *buffers, &tee);
  if (windows_text && windows.read_past_ctrl_z() != 0) return "reading past the Ctrl-Z failed";
  diagnosis.finish(windows.ctrl_z());
  const diagnosis::Counts& counts = diagnosis.counts();

  if (written.text != expected.text) return "the Windows text read differs from the model";
  if (recorder.blocks != expected.text) return "the cameras reported are not brivel's blocks";
  if (!recorder.wrong.empty()) return recorder.wrong;
  if (counts.cameras != recorder.camera_lines.size()) return "cameras miscounted";
  if (counts.lines != lines) {
    return "lines: " + std::to_string(counts.lines) + ", not " + std::to_string(lines);
  }
  if (recorder.lines_ended != lines) return "not every line was ended once";
  if (counts.skipped_lines != recorder.skipped_lines.size()) return "skipped lines miscounted";
  if (counts.cameras_with_default_fov != tee.default_fov) return "default fov miscounted";
  if (tee.wrong_ending) return "a line said to end with its last item goes on";
  if (counts.findings != recorder.findings) return "findings miscounted";
  if (const diagnosis::Count line = unexplained_quoted_line(text, recorder)) {
    return "line " + std::to_string(line) + " starts with a quote, is skipped and gets no word";
  }
  if (const diagnosis::Count line = unsaid_out_of_range(tee, recorder)) {
    return "line " + std::to_string(line) + " has a camera with a number beyond 32 bits, unsaid";
  }
  if (counts.cameras < lines - counts.skipped_lines) return "fewer cameras than camera lines";
  // A Ctrl-Z's finding may stand on the line after the last one read.
  if (recorder.lines_of_findings > lines + 1) return "a finding beyond the last line";
  if (windows_text) {
    const bool ctrl_z = input.find('\x1a') != std::string_view::npos;
    if (windows.ctrl_z().stopped != ctrl_z) return "the Ctrl-Z went unnoticed";
    if (windows.ctrl_z().lines_after != lines_after_ctrl_z(input)) {
      return "lines after the Ctrl-Z: " + std::to_string(windows.ctrl_z().lines_after) + ", not " +
             std::to_string(lines_after_ctrl_z(input));
    }
  }
  return "";
}

}  // namespace agreement
