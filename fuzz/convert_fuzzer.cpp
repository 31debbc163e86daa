// Fuzzes the whole conversion in memory, with each byte-lane kernel that this
// processor runs. The input is cut into reads at points the fuzzer chooses;
// however it is cut, the output must be byte for byte that of the same input
// in one read, and both must be what matching the input piece by piece with
// the rules, one byte at a time, gives. Before each read, which may wait for input,
// the block of every piece already complete must have been written. And the
// diagnosis, reading the input in the same reads, as Linux and as Windows
// read text, must agree with brivel (fuzz/diagnosis_agreement.h).
//
// A fuzz input is read from its end, so that any text works as a seed:
//
//   text | read sizes | count | options
//
// options: bits 0-4 the number of copies of the text minus one, bit 5 flush
// every block, bit 6 end the input with a read error. count: the number of
// read sizes (0 to 31; none means reads as large as the converter asks for).
// Each read size is two bytes, little endian, plus one; the sizes repeat until
// the input is used up.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "camera/acceptance_rule.h"
#include "camera/block_writer.h"
#include "camera/camera_record.h"
#include "camera/kernel.h"
#include "camera/line_matcher.h"
#include "cli/byte_streams.h"
#include "cli/convert.h"
#include "fuzz/diagnosis_agreement.h"
#include "fuzz/fuzz_check.h"

namespace {

// What the documented rules give: a piece ends after a line feed, after
// kPieceCapacity bytes, or at the end of the input, and each piece is
// matched on its own.
struct Expected {
  std::string output;
  // For each piece that is complete before the end of the input is known
  // (it ends in a line feed or fills a whole piece): where it ends in the
  // input, and the size of the output once its block is written.
  std::vector<std::pair<std::size_t, std::size_t>> settled;
};

Expected convert_piece_by_piece(std::string_view input) {
  Expected expected;
  camera::CameraRecord record;
  char block[camera::kMaxBlockLength];
  for (std::size_t at = 0; at < input.size();) {
    const std::string_view window = input.substr(at, camera::kPieceCapacity);
    const std::size_t line_feed = window.find('\n');
    const std::string_view piece =
        line_feed == std::string_view::npos ? window : window.substr(0, line_feed + 1);
    if (camera::accept_camera_line(camera::match_by_the_rules(piece.data(), piece.size(), record),
                                   record)) {
      expected.output.append(block, camera::append_block(record, block));
    }
    at += piece.size();
    if (piece.back() == '\n' || piece.size() == camera::kPieceCapacity) {
      expected.settled.emplace_back(at, expected.output.size());
    }
  }
  return expected;
}

using agreement::StringSink;

// Serves the input in reads of the given sizes, checking at each read that
// nothing complete is still held back.
class CutSource : public cli::ByteSource {
 public:
  CutSource(std::string_view input, const std::vector<std::size_t>& sizes, int final_error,
            const Expected& expected, const StringSink& written)
      : pieces_(input, sizes), final_error_(final_error), expected_(expected), written_(written) {}

  cli::ReadResult read(char* into, std::size_t capacity) override {
    FUZZ_CHECK(capacity > 0);
    while (settled_ < expected_.settled.size() &&
           expected_.settled[settled_].first <= pieces_.offset()) {
      ++settled_;
    }
    if (settled_ > 0) FUZZ_CHECK(written_.text.size() >= expected_.settled[settled_ - 1].second);

    if (pieces_.at_end()) return {0, final_error_};
    return pieces_.read(into, capacity);
  }

 private:
  agreement::PiecewiseSource pieces_;
  int final_error_;
  const Expected& expected_;
  const StringSink& written_;
  std::size_t settled_ = 0;
};

std::string run_conversion(std::string_view input, const std::vector<std::size_t>& sizes,
                           int final_error, cli::Flush flush, const Expected& expected,
                           camera::Kernel kernel) {
  StringSink sink;
  CutSource source(input, sizes, final_error, expected, sink);
  static const auto buffers = std::make_unique<cli::ConversionBuffers>();
  const cli::ConversionResult result = cli::convert(source, sink, flush, *buffers, kernel);
  FUZZ_CHECK(result.outcome ==
             (final_error ? cli::Outcome::kReadFailed : cli::Outcome::kEndOfInput));
  FUZZ_CHECK(result.error == final_error);
  return std::move(sink.text);
}

// Takes bytes from the end of the fuzz input; 0 once none are left.
class Tail {
 public:
  Tail(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t take() { return size_ == 0 ? 0 : data_[--size_]; }
  std::string_view rest() const { return {reinterpret_cast<const char*>(data_), size_}; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Tail tail(data, size);
  const std::uint8_t options = tail.take();
  const int copies = 1 + (options & 31);
  const cli::Flush flush = options & 32 ? cli::Flush::kEveryBlock : cli::Flush::kWhenFullOrWaiting;
  const int final_error = options & 64 ? EIO : 0;
  std::vector<std::size_t> sizes(tail.take() % 32);
  for (std::size_t& read_size : sizes) {
    const std::size_t low = tail.take();
    read_size = 1 + low + 256 * std::size_t{tail.take()};
  }
  std::string input;
  for (int i = 0; i < copies; ++i) input += tail.rest();

  const Expected expected = convert_piece_by_piece(input);
  for (const camera::Kernel kernel : camera::kBuiltKernels) {
    if (!camera::kernel_runs_here(kernel)) continue;
    const std::string whole =
        run_conversion(input, {}, 0, cli::Flush::kWhenFullOrWaiting, expected, kernel);
    FUZZ_CHECK(whole == expected.output);
    FUZZ_CHECK(run_conversion(input, sizes, final_error, flush, expected, kernel) == whole);
  }
  for (const bool windows_text : {false, true}) {
    const std::string wrong = agreement::disagreement(input, sizes, windows_text);
    if (!wrong.empty())
      std::fprintf(stderr, "diagnosis, %s text: %s\n", windows_text ? "Windows" : "Linux",
                   wrong.c_str());
    FUZZ_CHECK(wrong.empty());
  }
  return 0;
}
