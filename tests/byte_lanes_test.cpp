// The window's answers for every byte value at every position, against their
// definitions: the program asks only a few questions of a few bytes, so a lane
// that answers wrongly for others could hide from the other tests. Built with
// BRIVEL_PORTABLE_LANES, this checks the plain 64-bit words.
#include "camera/byte_lanes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// The questions for the first byte of a kind.
struct FirstByteQuestion {
  const char* label;
  std::size_t (*ask)(const camera::Window64&);
  bool (*holds)(unsigned char);
};
const FirstByteQuestion kFirstByteQuestions[] = {
    {"line feed", [](const camera::Window64& w) { return w.first_byte_equal_to('\n'); },
     [](unsigned char b) { return b == '\n'; }},
    {"byte 0xA2", [](const camera::Window64& w) { return w.first_byte_equal_to('\xA2'); },
     [](unsigned char b) { return b == 0xA2; }},
    {"quote or NUL", [](const camera::Window64& w) { return w.first_byte_equal_to_any('"', '\0'); },
     [](unsigned char b) { return b == '"' || b == 0; }},
    {"= or 0xFF", [](const camera::Window64& w) { return w.first_byte_equal_to_any('=', '\xFF'); },
     [](unsigned char b) { return b == '=' || b == 0xFF; }},
};

std::size_t first_that_holds(const char* bytes, bool (*holds)(unsigned char)) {
  std::size_t i = 0;
  while (i < camera::Window64::kSize && !holds(static_cast<unsigned char>(bytes[i]))) ++i;
  return i;
}

TEST(ByteLanes, WindowAnswersForEveryByteAtEveryPosition) {
  // Byte i of the window is (i * 37 + shift) % 256: every value at every position.
  for (int shift = 0; shift < 256; ++shift) {
    char bytes[camera::Window64::kSize];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<char>((i * 37 + shift) % 256);
    const camera::Window64 window(bytes);
    std::uint64_t digits = 0;
    for (int i = 0; i < 64; ++i) {
      if (bytes[i] >= '0' && bytes[i] <= '9') digits |= std::uint64_t{1} << i;
    }
    EXPECT_EQ(window.digits(), digits) << "shift " << shift;
    for (const FirstByteQuestion& question : kFirstByteQuestions) {
      EXPECT_EQ(question.ask(window), first_that_holds(bytes, question.holds))
          << question.label << ", shift " << shift;
    }
  }
}

TEST(ByteLanes, FirstByteAmongAnyOtherBytes) {
  // A window of one byte value, with or without one other value at the
  // edges of words, for every pair of values.
  for (int fill = 0; fill < 256; ++fill) {
    for (int other = 0; other < 256; ++other) {
      for (int at : {0, 1, 7, 8, 9, 15, 56, 63, 64}) {
        char bytes[camera::Window64::kSize];
        std::memset(bytes, fill, sizeof bytes);
        if (at < 64) bytes[at] = static_cast<char>(other);
        const camera::Window64 window(bytes);
        for (const FirstByteQuestion& question : kFirstByteQuestions) {
          ASSERT_EQ(question.ask(window), first_that_holds(bytes, question.holds))
              << question.label << ", byte " << other << " at " << at << " among " << fill;
        }
      }
    }
  }
}

TEST(ByteLanes, LowestAddressInLowestLane) {
  const char bytes[] = "\x01\x02\x03\x04\x05\x06\x07\x88";
  EXPECT_EQ(camera::load_eight_lanes(bytes), 0x8807060504030201u);
  EXPECT_EQ(camera::load_four_lanes(bytes), 0x04030201u);
  char stored[8];
  camera::store_eight_lanes(0x8807060504030201u, stored);
  EXPECT_EQ(std::string(stored, 8), std::string(bytes, 8));
}

}  // namespace
