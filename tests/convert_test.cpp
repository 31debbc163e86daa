// The read loop in memory: how input is cut into pieces, however it arrives,
// and when output is handed on.
#include "cli/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "camera/block_writer.h"
#include "camera/kernel.h"
#include "tests/kernels_here.h"

namespace {

// Serves `text` in reads of the given sizes (the last size repeats), then
// either the end of the input or `error`.
class ScriptedSource : public cli::ByteSource {
 public:
  ScriptedSource(std::string text, std::vector<std::size_t> sizes, int error = 0)
      : text_(std::move(text)), sizes_(std::move(sizes)), error_(error) {}

  cli::ReadResult read(char* into, std::size_t capacity) override {
    ++reads;
    if (offset_ == text_.size()) return {0, error_};
    std::size_t n = sizes_[std::min(next_, sizes_.size() - 1)];
    ++next_;
    n = std::min({n, capacity, text_.size() - offset_});
    text_.copy(into, n, offset_);
    offset_ += n;
    return {n, 0};
  }

  int reads = 0;

 private:
  std::string text_;
  std::vector<std::size_t> sizes_;
  int error_;
  std::size_t offset_ = 0;
  std::size_t next_ = 0;
};

class StringSink : public cli::ByteSink {
 public:
  explicit StringSink(int fail_after_writes = -1) : fail_after_(fail_after_writes) {}
  int write(const char* bytes, std::size_t length) override {
    if (fail_after_ >= 0 && static_cast<int>(writes.size()) == fail_after_) return ENOSPC;
    writes.emplace_back(bytes, length);
    text.append(bytes, length);
    return 0;
  }
  std::string text;
  std::vector<std::string> writes;

 private:
  int fail_after_;
};

// One set of buffers for every run, as the program has: a run must not depend
// on what an earlier one left in them.
cli::ConversionBuffers& buffers() {
  static const auto shared = std::make_unique<cli::ConversionBuffers>();
  return *shared;
}

std::string line(const std::string& name, int fov = -1) {
  std::string s = "\"" + name + "\" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6";
  if (fov >= 0) s += " fov=" + std::to_string(fov);
  return s + "\n";
}

std::string block(const std::string& name, int fov = 90) {
  return "{\n\"classname\" \"info_camera\"\n\"name\" \"" + name +
         "\"\n\"origin\" \"1 -2 3\"\n\"angles\" \"4 5 6\"\n\"fov\" \"" + std::to_string(fov) +
         "\"\n}\n";
}

// Where two long outputs part, rather than both of them whole.
std::string first_difference(const std::string& got, const std::string& want) {
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  const std::size_t from = i < 40 ? 0 : i - 40;
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) +
         ", first difference at " + std::to_string(i) + ":\n got: " + got.substr(from, 80) +
         "\nwant: " + want.substr(from, 80);
}

#define EXPECT_SAME_TEXT(got, want)                \
  do {                                             \
    const std::string g = (got);                   \
    const std::string w = (want);                  \
    EXPECT_TRUE(g == w) << first_difference(g, w); \
  } while (0)

std::string convert_in_reads(const std::string& input, std::vector<std::size_t> sizes,
                             camera::Kernel kernel = camera::best_kernel()) {
  ScriptedSource source(input, std::move(sizes));
  StringSink sink;
  const auto result = cli::convert(source, sink, cli::Flush::kWhenFullOrWaiting, buffers(), kernel);
  EXPECT_EQ(result.outcome, cli::Outcome::kEndOfInput);
  return sink.text;
}

const std::string kLetters = "abcdefghijklmnopqrstuvwxyz";

// An input with every piece boundary case: long lines, a line of exactly one
// piece, NULs, carriage returns and a last line without a line feed.
std::string tricky_input() {
  std::string s = line("a", 1);
  s += std::string(1022, ' ') + "\n";  // a line feed as the 1023rd byte
  s += std::string(1023, '#') + "\n";  // a piece, then a piece of only a line feed
  s += std::string(1023, '#') + line("later piece", 2);  // the second piece is a camera line
  s += std::string(3000, 'x') + "\n";
  const char nul_line[] = "\"nul\" x=1 y=-2 z=3\0 pitch=4 yaw=5 roll=6\n";
  s += std::string(nul_line, sizeof nul_line - 1);
  s += "\"crlf\" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6 fov=3\r\n";
  // Numbers the usual layout leaves to the rules, since the block does not
  // show them as written: leading zeros, "-0", eight digits and more.
  s += "\"zeros\" x=007 y=-0 z=-00 pitch=0 yaw=10 roll=-10 fov=00\n";
  s += "\"wide\" x=12345678 y=-1234567 z=-12345678 pitch=4 yaw=5 roll=6 fov=1234567\n";
  // Each alone in a line short enough for the usual layout, named as its fov is written.
  for (const char* fov : {"-0", "007", "-12345678"}) {
    s += "\"" + std::string(fov) + "\" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6 fov=" + fov + "\n";
  }
  // A line of the usual layout longer than a window.
  s += "\"" + std::string(40, 'w') + "\" x=-1000 y=2000 z=-3000 pitch=-40 yaw=350 roll=-6\n";
  // Names about as long as the start of a window that a name is copied with.
  for (std::size_t n = 13; n <= 18; ++n) s += line(kLetters.substr(0, n), static_cast<int>(n));
  for (int i = 0; i < 2000; ++i) s += line("n" + std::to_string(i), i % 3 ? i : -1);
  return s + "\"last\" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6";
}

TEST(Convert, SameOutputHoweverTheInputArrivesWithEveryKernel) {
  const std::string input = tricky_input();
  std::string expected = block("a", 1) + block("later piece", 2) + block("crlf", 3);
  expected +=
      "{\n\"classname\" \"info_camera\"\n\"name\" \"zeros\"\n\"origin\" \"7 0 0\"\n"
      "\"angles\" \"0 10 -10\"\n\"fov\" \"0\"\n}\n"
      "{\n\"classname\" \"info_camera\"\n\"name\" \"wide\"\n"
      "\"origin\" \"12345678 -1234567 -12345678\"\n\"angles\" \"4 5 6\"\n\"fov\" \"1234567\"\n}\n" +
      block("-0", 0) + block("007", 7) + block("-12345678", -12345678) +
      "{\n\"classname\" \"info_camera\"\n\"name\" \"" + std::string(40, 'w') +
      "\"\n\"origin\" \"-1000 2000 -3000\"\n\"angles\" \"-40 350 -6\"\n\"fov\" \"90\"\n}\n";
  for (std::size_t n = 13; n <= 18; ++n) {
    expected += block(kLetters.substr(0, n), static_cast<int>(n));
  }
  for (int i = 0; i < 2000; ++i) expected += block("n" + std::to_string(i), i % 3 ? i : 90);
  expected += block("last");

  for (const camera::Kernel kernel : kernels_here()) {
    SCOPED_TRACE(camera::kernel_name(kernel));
    EXPECT_SAME_TEXT(convert_in_reads(input, {input.size()}, kernel), expected);
    EXPECT_SAME_TEXT(convert_in_reads(input, {1}, kernel), expected);
    EXPECT_SAME_TEXT(convert_in_reads(input, {1022, 1, 1023, 1024, 7}, kernel), expected);
    std::mt19937 random(7);
    for (int run = 0; run < 10; ++run) {
      std::vector<std::size_t> sizes;
      for (int i = 0; i < 200; ++i) sizes.push_back(1 + random() % 3000);
      SCOPED_TRACE(run);
      EXPECT_SAME_TEXT(convert_in_reads(input, sizes, kernel), expected);
    }
  }
}

// Rebuilds the input from the pieces it is told of, and the output from their records.
class RebuildingObserver : public cli::PieceObserver {
 public:
  void piece(const char* text, std::size_t length, int items, const camera::CameraRecord& record,
             bool) override {
    pieces.emplace_back(text, length);
    if (items < 7) return;
    char out[camera::kMaxBlockLength];
    blocks.append(out, camera::append_block(record, out));
  }
  std::vector<std::string> pieces;
  std::string blocks;
};

TEST(Convert, ObserverIsToldOfEveryPieceAndRecord) {
  const std::string input = tricky_input();
  for (const camera::Kernel kernel : kernels_here()) {
    SCOPED_TRACE(camera::kernel_name(kernel));
    ScriptedSource source(input, {1, 700, 1023, 5000});
    StringSink sink;
    RebuildingObserver observer;
    cli::convert(source, sink, cli::Flush::kWhenFullOrWaiting, buffers(), kernel, &observer);
    std::string rebuilt;
    for (const std::string& piece : observer.pieces) {
      EXPECT_TRUE(piece.size() <= camera::kPieceCapacity);
      EXPECT_TRUE(piece.back() == '\n' || piece.size() == camera::kPieceCapacity ||
                  &piece == &observer.pieces.back());
      rebuilt += piece;
    }
    EXPECT_SAME_TEXT(rebuilt, input);
    EXPECT_SAME_TEXT(observer.blocks, sink.text);
    // With an observer the blocks are written from records; without, mostly
    // from the lines' text: the same.
    EXPECT_SAME_TEXT(sink.text, convert_in_reads(input, {input.size()}, kernel));
  }
}

TEST(Convert, LongLineIsMatchedInPieces) {
  struct Case {
    const char* label;
    std::string input;
    std::string output;
  };
  const std::string head = "\"cut\" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6 fov=";
  const Case cases[] = {
      {"a number cut at the boundary keeps its digits",
       head + std::string(1023 - head.size() - 2, ' ') + "12345\n", block("cut", 12)},
      {"a boundary before the fov digits leaves fov 90",
       head + std::string(1023 - head.size(), ' ') + "45\n", block("cut")},
      {"1022 bytes and a line feed is one piece", line("a") + std::string(1022, 'x') + "\n",
       block("a")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(convert_in_reads(c.input, {c.input.size()}), c.output) << c.label;
}

TEST(Convert, ReadFailureKeepsWhatWasRead) {
  // The failure cuts the last line short: that piece is matched like any other.
  ScriptedSource source(line("a") + line("b").substr(0, 37), {5}, EIO);
  StringSink sink;
  const auto result = cli::convert(source, sink, cli::Flush::kWhenFullOrWaiting, buffers());
  EXPECT_EQ(result.outcome, cli::Outcome::kReadFailed);
  EXPECT_EQ(result.error, EIO);
  EXPECT_EQ(sink.text, block("a") + block("b"));
}

TEST(Convert, WriteFailureStopsTheRun) {
  std::string input;
  for (int i = 0; i < 10; ++i) input += line("w");
  ScriptedSource source(input, {input.size()});
  StringSink sink(1);
  const auto result = cli::convert(source, sink, cli::Flush::kEveryBlock, buffers());
  EXPECT_EQ(result.outcome, cli::Outcome::kWriteFailed);
  EXPECT_EQ(result.error, ENOSPC);
  EXPECT_EQ(sink.writes.size(), 1u);
  EXPECT_EQ(source.reads, 1);
}

TEST(Convert, HandsOnOutputBeforeWaitingForInput) {
  // Each read brings one line: its block must be written before the next read.
  const std::string input = line("p") + line("q") + line("r");
  ScriptedSource source(input, {line("p").size()});
  StringSink sink;
  cli::convert(source, sink, cli::Flush::kWhenFullOrWaiting, buffers());
  EXPECT_EQ(sink.writes, (std::vector<std::string>{block("p"), block("q"), block("r")}));
}

TEST(Convert, TerminalGetsEveryBlockAtOnce) {
  // q's leading space leaves it to the rules, whose block is written on its own too.
  const std::string input = line("p") + " " + line("q") + line("r");
  ScriptedSource source(input, {input.size()});
  StringSink sink;
  cli::convert(source, sink, cli::flush_for(/*output_is_terminal=*/true), buffers());
  EXPECT_EQ(sink.writes, (std::vector<std::string>{block("p"), block("q"), block("r")}));
}

TEST(Convert, LargeOutputGoesOutInLargeWrites) {
  std::string input;
  for (int i = 0; i < 20000; ++i) input += line("big");
  ScriptedSource source(input, {input.size()});
  StringSink sink;
  cli::convert(source, sink, cli::flush_for(/*output_is_terminal=*/false), buffers());
  EXPECT_EQ(sink.text.size(), 20000 * block("big").size());
  EXPECT_LT(sink.writes.size(), 200u);
}

}  // namespace
