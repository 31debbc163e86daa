#include "camera/block_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

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

}  // namespace
