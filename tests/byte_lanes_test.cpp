// The window's answers byte by byte, for every byte value at every position,
// against their definitions: the program asks only a few questions of a few
// bytes, so a lane that answers wrongly for others could hide from the other
// tests. Built with BRIVEL_PORTABLE_LANES, this checks the plain 64-bit words.
#include "camera/byte_lanes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(ByteLanes, WindowAnswersForEveryByteAtEveryPosition) {
  struct Question {
    const char* label;
    std::uint64_t (*ask)(const camera::Window64&);
    bool (*holds)(unsigned char);
  };
  const Question questions[] = {
      {"line feed", [](const camera::Window64& w) { return w.bytes_equal_to('\n'); },
       [](unsigned char b) { return b == '\n'; }},
      {"byte 0xA2", [](const camera::Window64& w) { return w.bytes_equal_to('\xA2'); },
       [](unsigned char b) { return b == 0xA2; }},
      {"quote, NUL or =",
       [](const camera::Window64& w) { return w.bytes_equal_to_any('"', '\0', '='); },
       [](unsigned char b) { return b == '"' || b == 0 || b == '='; }},
      {"=, 0xBD or 0xFF",
       [](const camera::Window64& w) { return w.bytes_equal_to_any('=', '\xBD', '\xFF'); },
       [](unsigned char b) { return b == '=' || b == 0xBD || b == 0xFF; }},
      {"digit", [](const camera::Window64& w) { return w.digits(); },
       [](unsigned char b) { return b >= '0' && b <= '9'; }},
  };
  // Byte i of the window is (i * 37 + shift) % 256: every value at every position.
  for (int shift = 0; shift < 256; ++shift) {
    char bytes[camera::Window64::kSize];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<char>((i * 37 + shift) % 256);
    const camera::Window64 window(bytes);
    for (const Question& question : questions) {
      std::uint64_t expected = 0;
      for (int i = 0; i < 64; ++i) {
        if (question.holds(static_cast<unsigned char>(bytes[i]))) expected |= std::uint64_t{1} << i;
      }
      EXPECT_EQ(question.ask(window), expected) << question.label << ", shift " << shift;
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
