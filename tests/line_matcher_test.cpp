#include "camera/line_matcher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <regex>
#include <string>

#include "camera/acceptance_rule.h"
#include "camera/padded_text.h"
#include "tests/kernels_here.h"

namespace {

struct Case {
  const char* label;
  std::string text;
  int items;
  // Checked when items >= 7 (the fields of a record); name when items >= 2.
  std::string name;
  std::int32_t x = 0, y = 0, z = 0, pitch = 0, yaw = 0, roll = 0;
  std::int32_t fov = 90;  // what a line without one gets
};

std::string with_nul(std::string text, std::size_t at) {
  text[at] = '\0';
  return text;
}

const Case kCases[] = {
    {"plain line with fov", "\"gate\" x=10 y=-4 z=96 pitch=0 yaw=180 roll=0 fov=75\n", 8, "gate",
     10, -4, 96, 0, 180, 0, 75},
    {"no fov", "\"gate\" x=10 y=-4 z=96 pitch=0 yaw=180 roll=0\n", 7, "gate", 10, -4, 96, 0, 180,
     0},
    {"no line feed", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=7", 8, "a", 1, 2, 3, 4, 5, 6, 7},
    {"carriage return before the line feed", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r\n", 7, "a",
     1, 2, 3, 4, 5, 6},
    {"items touching", "\"a\"x=1y=2z=3pitch=4yaw=5roll=6fov=7", 8, "a", 1, 2, 3, 4, 5, 6, 7},
    {"whitespace of every kind",
     " \t\v\f\r\"a\" \tx=\v1\fy=\r2 z= 3 pitch=4 yaw=5 roll=6 fov=\t7 \n", 8, "a", 1, 2, 3, 4, 5, 6,
     7},
    {"name kept byte for byte", "\" {a}\\b\t\xff \" x=0 y=0 z=0 pitch=0 yaw=0 roll=0\n", 7,
     " {a}\\b\t\xff ", 0, 0, 0, 0, 0, 0},
    {"name of keys and numbers", "\"x=1 y=-2\" x=-1 y=2 z=3 pitch=4 yaw=5 roll=6\n", 7, "x=1 y=-2",
     -1, 2, 3, 4, 5, 6},
    {"signs and zeros", "\"a\" x=-0 y=+0 z=+12 pitch=010 yaw=-007 roll=0 fov=+90\n", 8, "a", 0, 0,
     12, 10, -7, 0, 90},
    {"hexadecimal fov reads as 0", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=0x5A\n", 8, "a", 1,
     2, 3, 4, 5, 6, 0},
    {"text after fov ignored", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=7 junk \"b\" x=9\n", 8,
     "a", 1, 2, 3, 4, 5, 6, 7},
    {"text after roll ignored", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6; fov=7\n", 7, "a", 1, 2, 3,
     4, 5, 6},
    {"fov in capitals", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 FOV=7\n", 7, "a", 1, 2, 3, 4, 5, 6},
    {"space before fov's =", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov =7\n", 7, "a", 1, 2, 3, 4,
     5, 6},
    {"fov without digits", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=\n", 7, "a", 1, 2, 3, 4, 5,
     6},
    {"fov with a lone sign", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=-\n", 7, "a", 1, 2, 3, 4,
     5, 6},
    {"fov with a space after the sign", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=- 7\n", 7, "a",
     1, 2, 3, 4, 5, 6},
    {"2^31 wraps to the most negative",
     "\"a\" x=2147483648 y=-2147483649 z=4294967296 pitch=-0 "
     "yaw=4294967297 roll=-4294967295 fov=99999999999999999999\n",
     8, "a", INT32_MIN, INT32_MAX, 0, 0, 1, 1, 1661992959},
    {"minus 2^31 plus 1", "\"a\" x=-2147483649 y=2147483647 z=-2147483648 pitch=0 yaw=0 roll=0\n",
     7, "a", INT32_MAX, INT32_MAX, INT32_MIN, 0, 0, 0},
    // Fewer than seven items: no record.
    {"blank line", "\n", 0, ""},
    {"empty text", "", 0, ""},
    {"only whitespace", " \t\r\n", 0, ""},
    {"no quote first", "gate x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n", 0, ""},
    {"empty name", "\"\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n", 0, ""},
    {"lone quote", "\"", 0, ""},
    {"no closing quote", "\"gate x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n", 1, ""},
    {"name only", "\"gate\"\n", 1, ""},
    {"x missing", "\"a\" y=2 z=3 pitch=4 yaw=5 roll=6 fov=7\n", 1, "a"},
    {"x in capitals", "\"a\" X=1 y=2 z=3 pitch=4 yaw=5 roll=6\n", 1, "a"},
    {"space before x's =", "\"a\" x =1 y=2 z=3 pitch=4 yaw=5 roll=6\n", 1, "a"},
    {"keys reordered", "\"a\" x=1 z=3 y=2 pitch=4 yaw=5 roll=6\n", 2, "a"},
    {"decimal point", "\"a\" x=1.5 y=2 z=3 pitch=4 yaw=5 roll=6\n", 2, "a"},
    {"two signs", "\"a\" x=1 y=2 z=--3 pitch=4 yaw=5 roll=6\n", 3, "a"},
    {"pitch without digits", "\"a\" x=1 y=2 z=3 pitch= yaw=5 roll=6\n", 4, "a"},
    {"yaw misspelt", "\"a\" x=1 y=2 z=3 pitch=4 yew=5 roll=6\n", 5, "a"},
    {"roll missing", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5\n", 6, "a"},
    {"NUL ends the text", with_nul("\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n", 35), 6, "a"},
    {"NUL inside the name", with_nul("\"ab\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n", 2), 1, ""},
    {"NUL after roll", with_nul("\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=7\n", 37), 7, "a", 1, 2,
     3, 4, 5, 6},
    // The bytes on either side of the digits, '/' and ':', and digits with a bit flipped, end a
    // number or stand where one must start.
    {"colon after roll", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6:\n", 7, "a", 1, 2, 3, 4, 5, 6},
    {"slash after roll", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6/ fov=7\n", 7, "a", 1, 2, 3, 4, 5,
     6},
    {"flipped digits after roll", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\xb6\x16 fov=7\n", 7, "a",
     1, 2, 3, 4, 5, 6},
    {"colon after fov", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=75:\n", 8, "a", 1, 2, 3, 4, 5,
     6, 75},
    {"slash after fov", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=75/\n", 8, "a", 1, 2, 3, 4, 5,
     6, 75},
    {"colon after x", "\"b\" x=1: y=2 z=3 pitch=4 yaw=5 roll=6\n", 2, "b"},
    {"slash after z", "\"b\" x=1 y=2 z=3/ pitch=4 yaw=5 roll=6\n", 4, "b"},
    {"colon for a digit", "\"b\" x=1 y=2 z=3 pitch=:4 yaw=5 roll=6\n", 4, "b"},
    {"slash for a digit", "\"b\" x=1 y=-/2 z=3 pitch=4 yaw=5 roll=6\n", 2, "b"},
};

class LineMatcherTest : public testing::TestWithParam<Case> {};

void expect_items_of(const Case& c, const char* road, int items, camera::CameraRecord record) {
  SCOPED_TRACE(road);
  ASSERT_EQ(items, c.items);
  if (items >= 2) {
    EXPECT_EQ(std::string(record.name, record.name_length), c.name);
  }
  if (items < 7) {
    EXPECT_FALSE(camera::accept_camera_line(items, record));
    return;
  }
  ASSERT_TRUE(camera::accept_camera_line(items, record));
  EXPECT_EQ(record.x, c.x);
  EXPECT_EQ(record.y, c.y);
  EXPECT_EQ(record.z, c.z);
  EXPECT_EQ(record.pitch, c.pitch);
  EXPECT_EQ(record.yaw, c.yaw);
  EXPECT_EQ(record.roll, c.roll);
  EXPECT_EQ(record.fov, c.fov);
}

TEST_P(LineMatcherTest, ReadsItemsAndFields) {
  const Case& c = GetParam();
  camera::CameraRecord record{};
  expect_items_of(c, "matcher", camera::match_camera_line(c.text, record), record);
  // Each of its roads on its own, with each kernel: the rules read any line;
  // the usual layout answers for some, and must then agree.
  const camera::PaddedCopy padded(c.text);
  camera::CameraRecord by_rules{};
  expect_items_of(c, "rules", camera::match_by_the_rules(c.text.data(), c.text.size(), by_rules),
                  by_rules);
  for (const camera::Kernel kernel : kernels_here()) {
    SCOPED_TRACE(camera::kernel_name(kernel));
    camera::CameraRecord in_place{};
    expect_items_of(c, "in place",
                    camera::match_camera_line_in_place(padded.text(), in_place, kernel), in_place);
    camera::CameraRecord usual{};
    const int usual_items = camera::match_usual_layout(padded.text(), usual, kernel);
    if (usual_items != camera::kUnusual) expect_items_of(c, "usual layout", usual_items, usual);
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, LineMatcherTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           std::string name;
                           for (const char ch : std::string(info.param.label)) {
                             name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           }
                           return name;
                         });

// Where the rules stop, for telling why a line was skipped: the text before
// the stop, and what was wanted there.
struct StopCase {
  std::string text;
  std::string before_stop;
  camera::StopPoint::Expected expected;
};

using Expected = camera::StopPoint::Expected;
const StopCase kStops[] = {
    {"  gate x=1\n", "  ", Expected::kOpeningQuote},
    {"\"\" x=1\n", "\"", Expected::kName},
    {"\"gate x=1\n", "\"gate x=1\n", Expected::kClosingQuote},
    {"\"a\" x=10 \n", "\"a\" x=10 \n", Expected::kKey},
    {"\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov =7\n", "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 ",
     Expected::kKey},
    {"\"a\" x=1 y=2 z= --3\n", "\"a\" x=1 y=2 z= -", Expected::kNumber},
    {"\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=7 junk\n",
     "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=7", Expected::kNothing},
};

TEST(LineMatcher, TellsWhereTheRulesStopped) {
  for (const StopCase& c : kStops) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.text.compare(0, c.before_stop.size(), c.before_stop), 0);
    camera::CameraRecord record{};
    camera::StopPoint stop{};
    const int items = camera::match_by_the_rules(c.text.data(), c.text.size(), record, stop);
    EXPECT_EQ(items, camera::match_camera_line(c.text, record));
    EXPECT_EQ(stop.offset, c.before_stop.size());
    EXPECT_EQ(stop.expected, c.expected);
  }
}

TEST(LineMatcher, KeepsLongNamesWhole) {
  // 994 bytes is the longest name that leaves room in a piece for the six required items.
  for (const std::size_t length : {std::size_t{63}, std::size_t{64}, std::size_t{994}}) {
    const std::string name(length, 'n');
    const std::string line = "\"" + name + "\"x=1y=2z=3pitch=4yaw=5roll=6";
    ASSERT_EQ(line.size(), length == 994 ? camera::kPieceCapacity : line.size());
    camera::CameraRecord record{};
    ASSERT_EQ(camera::match_camera_line(line, record), 7);
    EXPECT_EQ(std::string(record.name, record.name_length), name);
  }
  // The longest name a piece can carry fills it, quotes included, and is still stored whole.
  const std::string name(camera::kNameCapacity, 'n');
  camera::CameraRecord record{};
  ASSERT_EQ(camera::match_camera_line("\"" + name + "\"", record), 1);
  EXPECT_EQ(std::string(record.name, record.name_length), name);
}

TEST(LineMatcher, LooksNoFurtherThanOnePiece) {
  // A name that would not fit the record is never stored: the text is cut at a piece's length.
  const std::string line = "\"" + std::string(camera::kPieceCapacity, 'n') + "\" x=1";
  camera::CameraRecord record{};
  EXPECT_EQ(camera::match_camera_line(line, record), 1);
}

TEST(LineMatcher, UsualLinesOfTheExampleTakeTheWordAtATimePath) {
  // Were that path to stop answering, every output would stay the same, only
  // slower: the rules would read these lines too. Usual: a name of at most 62
  // bytes, single spaces, numbers as the block writer writes them ('-' as the
  // only sign, no leading zero, no "-0") of at most 7 digits.
  const std::string number = "=(0|-?[1-9][0-9]{0,6})";
  std::string usual = "\"[^\"]{1,62}\"";
  for (const char* key : {"x", "y", "z", "pitch", "yaw", "roll"}) {
    usual += std::string(" ") + key + number;
  }
  const std::regex usual_line(usual + "( fov" + number + ")?");

  std::ifstream list(BRIVEL_EXAMPLE_LIST);
  ASSERT_TRUE(list) << BRIVEL_EXAMPLE_LIST;
  int usual_lines = 0;
  for (std::string line; std::getline(list, line);) {
    if (!std::regex_match(line, usual_line)) continue;
    ++usual_lines;
    const camera::PaddedCopy text(line + "\n");
    for (const camera::Kernel kernel : kernels_here()) {
      camera::CameraRecord usual_record{};
      camera::CameraRecord rules_record{};
      EXPECT_EQ(camera::match_usual_layout(text.text(), usual_record, kernel),
                camera::match_by_the_rules(text.text().data(), text.text().size(), rules_record))
          << camera::kernel_name(kernel) << ": " << line;
    }
  }
  // gate, lighthouse top, dock 3 and the three flyover lines
  EXPECT_EQ(usual_lines, 6);
}

}  // namespace
