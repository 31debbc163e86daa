// Our matcher against the C library's formatted input with the same pattern,
// on random lines that are nearly camera lines. The two agree wherever numbers
// stay within 64 bits (beyond that, C libraries differ among themselves).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "camera/line_matcher.h"

namespace {

class NearMissLines {
 public:
  explicit NearMissLines(std::uint32_t seed) : random_(seed) {}

  std::string next() {
    std::string line = space();
    if (chance(97)) line += '"';
    line += name();
    if (chance(95)) line += '"';
    for (const char* key : {"x", "y", "z", "pitch", "yaw", "roll", "fov"}) {
      line += space();
      if (chance(3)) continue;  // key missing
      line += chance(3) ? misspelt(key) : std::string(key);
      if (chance(3)) line += ' ';
      if (chance(97)) line += '=';
      line += space();
      line += number();
    }
    if (chance(20)) line += pick({" junk", ".5", "x1", " \"b\" x=1", "="});
    if (chance(80)) line += '\n';
    return line;
  }

 private:
  bool chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(random_) < percent; }

  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::string pick(std::initializer_list<const char*> options) {
    return *(options.begin() + below(static_cast<int>(options.size())));
  }

  // No carriage return: a line's text never ends in one before its line feed here.
  std::string space() {
    static const char kSpace[] = " \t\v\f\n";
    std::string s;
    while (chance(30)) s += kSpace[below(5)];
    return s;
  }

  std::string name() {
    static const char kBytes[] = "abcXYZ09 \t{}\\=\"-\xe9\xff";
    std::string s;
    const int length = below(8);
    for (int i = 0; i < length; ++i) s += kBytes[below(sizeof kBytes - 1)];
    return s;
  }

  std::string misspelt(const char* key) {
    std::string s = key;
    s[static_cast<std::size_t>(below(static_cast<int>(s.size())))] ^= 0x20;
    return s;
  }

  // At most 18 digits: always within 64 bits, however many are leading zeros.
  std::string number() {
    std::string s;
    if (chance(40)) s += chance(50) ? '-' : '+';
    if (chance(3)) s += pick({"-", "+", " "});
    if (chance(10)) s += std::string(static_cast<std::size_t>(below(4)), '0');
    const int digits = chance(5) ? 0 : 1 + below(chance(20) ? 14 : 4);
    for (int i = 0; i < digits; ++i) s += static_cast<char>('0' + below(10));
    return s;
  }

  std::mt19937 random_;
};

TEST(MatcherVsSscanf, AgreesOnNearMissLines) {
  NearMissLines lines(20261208);
  int records = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::string line = lines.next();
    char name[1024] = {};
    int v[7] = {};
    int expected =
        std::sscanf(line.c_str(), " \"%[^\"]\" x=%d y=%d z=%d pitch=%d yaw=%d roll=%d fov=%d ",
                    name, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
    if (expected == EOF) expected = 0;

    camera::CameraRecord record{};
    const int items = camera::match_camera_line(line, record);
    ASSERT_EQ(items, expected) << "line: " << line;
    if (items >= 2) {
      ASSERT_EQ(std::string(record.name, record.name_length), name) << line;
    }
    const std::int32_t got[7] = {record.x,   record.y,    record.z,  record.pitch,
                                 record.yaw, record.roll, record.fov};
    for (int k = 0; k + 1 < items; ++k) ASSERT_EQ(got[k], v[k]) << "item " << k + 2 << ": " << line;
    records += items >= 7;
  }
  // The generator must produce plenty of records as well as near misses.
  EXPECT_GT(records, 20000);
}

}  // namespace
