#include "camera/block_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

camera::CameraRecord make_record(const std::string& name, std::int32_t x, std::int32_t y,
                                 std::int32_t z, std::int32_t pitch, std::int32_t yaw,
                                 std::int32_t roll, std::int32_t fov) {
  camera::CameraRecord record{};
  std::memcpy(record.name, name.data(), name.size());
  record.name_length = name.size();
  record.x = x;
  record.y = y;
  record.z = z;
  record.pitch = pitch;
  record.yaw = yaw;
  record.roll = roll;
  record.fov = fov;
  return record;
}

std::string block_of(const camera::CameraRecord& record) {
  std::string out(camera::kMaxBlockLength, '\0');
  char* end = camera::append_block(record, out.data());
  out.resize(static_cast<std::size_t>(end - out.data()));
  return out;
}

struct Case {
  const char* label;
  camera::CameraRecord record;
  const char* block;
};

const Case kCases[] = {
    {"plain", make_record("gate", 10, -4, 96, 0, 180, 0, 90),
     "{\n\"classname\" \"info_camera\"\n\"name\" \"gate\"\n\"origin\" \"10 -4 96\"\n"
     "\"angles\" \"0 180 0\"\n\"fov\" \"90\"\n}\n"},
    {"name written unchanged", make_record("  {x}\\y\t ", 1, 2, 3, 4, 5, 6, 7),
     "{\n\"classname\" \"info_camera\"\n\"name\" \"  {x}\\y\t \"\n\"origin\" \"1 2 3\"\n"
     "\"angles\" \"4 5 6\"\n\"fov\" \"7\"\n}\n"},
    {"extremes", make_record("e", INT32_MIN, INT32_MAX, 0, -1, 1000000000, -999, 12),
     "{\n\"classname\" \"info_camera\"\n\"name\" \"e\"\n\"origin\" \"-2147483648 2147483647 0\"\n"
     "\"angles\" \"-1 1000000000 -999\"\n\"fov\" \"12\"\n}\n"},
};

TEST(BlockWriter, WritesTheSevenLines) {
  for (const Case& c : kCases) EXPECT_EQ(block_of(c.record), c.block) << c.label;
}

TEST(BlockWriter, LongestBlockFitsItsBound) {
  const std::string name(camera::kNameCapacity, 'n');
  const auto record = make_record(name, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN,
                                  INT32_MIN, INT32_MIN);
  const std::string block = block_of(record);
  EXPECT_EQ(block.size(), camera::kMaxBlockLength);
  EXPECT_NE(block.find("\"name\" \"" + name + "\"\n"), std::string::npos);
}

TEST(BlockWriter, AppendsAfterWhatIsThere) {
  const auto a = make_record("a", 1, 2, 3, 4, 5, 6, 7);
  const auto b = make_record("b", 8, 9, 10, 11, 12, 13, 14);
  std::string out(2 * camera::kMaxBlockLength, '\0');
  char* end = camera::append_block(b, camera::append_block(a, out.data()));
  out.resize(static_cast<std::size_t>(end - out.data()));
  EXPECT_EQ(out, block_of(a) + block_of(b));
}

std::string expected_block(const std::string& name, const std::int32_t (&v)[7]) {
  auto n = [&v](int i) { return std::to_string(v[i]); };
  return "{\n\"classname\" \"info_camera\"\n\"name\" \"" + name + "\"\n\"origin\" \"" + n(0) + " " +
         n(1) + " " + n(2) + "\"\n\"angles\" \"" + n(3) + " " + n(4) + " " + n(5) +
         "\"\n\"fov\" \"" + n(6) + "\"\n}\n";
}

TEST(BlockWriter, WritesEveryIntegerWithTheFewestDigits) {
  // Each side of every power of ten, both signs, the extremes, and random values.
  std::vector<std::int32_t> values = {0, INT32_MIN, INT32_MIN + 1, INT32_MAX};
  for (std::int64_t power = 1; power <= 1000000000; power *= 10) {
    for (const std::int64_t n : {power - 1, power, power + 1}) {
      values.push_back(static_cast<std::int32_t>(n));
      values.push_back(static_cast<std::int32_t>(-n));
    }
  }
  std::mt19937 random(11);
  for (int i = 0; i < 20000; ++i) {
    const int digits = static_cast<int>(random() % 10);
    values.push_back(static_cast<std::int32_t>(random()) >> (3 * digits));
  }
  for (std::size_t i = 0; i + 7 <= values.size(); ++i) {
    const std::int32_t v[7] = {values[i],     values[i + 1], values[i + 2], values[i + 3],
                               values[i + 4], values[i + 5], values[i + 6]};
    const auto record = make_record("n", v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    ASSERT_EQ(block_of(record), expected_block("n", v)) << "values from index " << i;
  }
}

TEST(BlockWriter, WritesNamesOfEveryLength) {
  // Short names are copied in whole words: around the word sizes, and long ones.
  const std::int32_t v[7] = {1, -2, 3, 4, 5, 6, 90};
  for (const std::size_t length : {1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 128, 500, 1021}) {
    std::string name;
    for (std::size_t i = 0; i < length; ++i) name += static_cast<char>('a' + i % 26);
    const auto record = make_record(name, v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    EXPECT_EQ(block_of(record), expected_block(name, v)) << "name of " << length << " bytes";
  }
}

}  // namespace
