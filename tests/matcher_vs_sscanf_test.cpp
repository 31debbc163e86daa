// Our matcher against the C library's formatted input with the same pattern,
// on random lines that are nearly camera lines, and on lines in the usual
// layout (which the matcher reads by a faster road) with a few bytes changed.
// The two agree wherever numbers stay within 64 bits (beyond that, C libraries
// differ among themselves).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "camera/line_matcher.h"
#include "camera/padded_text.h"
#include "tests/kernels_here.h"

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
      // The bytes on either side of the digits.
      if (chance(2)) line += pick({"/", ":"});
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
    if (chance(3)) s += pick({"-", "+", " ", "/", ":"});
    if (chance(10)) s += std::string(static_cast<std::size_t>(below(4)), '0');
    const int digits = chance(5) ? 0 : 1 + below(chance(20) ? 14 : 4);
    for (int i = 0; i < digits; ++i) s += static_cast<char>('0' + below(10));
    return s;
  }

  std::mt19937 random_;
};

// The usual layout, "<name>" x=<n> ... roll=<n> fov=<n>, with names and
// numbers of many lengths around the 64-byte windows the faster road reads, then
// often a byte or two replaced, removed or added.
class MutatedUsualLines {
 public:
  explicit MutatedUsualLines(std::uint32_t seed) : random_(seed) {}

  std::string next() {
    std::string line = "\"";
    const int name_length = 1 + below(below(3) == 0 ? 70 : 30);
    for (int i = 0; i < name_length; ++i) line += pick("abz09 =-");
    line += '"';
    for (const char* key : {"x", "y", "z", "pitch", "yaw", "roll", "fov"}) {
      if (key[0] == 'f' && below(4) == 0) break;  // no fov
      line += std::string(" ") + key + "=" + number();
    }
    if (below(5) == 0) line += " junk";
    if (below(10) != 0) line += '\n';
    for (int changes = below(3); changes > 0 && !line.empty(); --changes) {
      const auto at = static_cast<std::size_t>(below(static_cast<int>(line.size())));
      switch (below(3)) {
        case 0:
          line[at] = pick(" \t\n\r=-+0123456789/:\"xyzfov\0");
          break;
        case 1:
          line.erase(at, 1);
          break;
        default:
          line.insert(at, 1, pick(" =-+07/:\"\0"));
      }
    }
    return line;
  }

 private:
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  template <std::size_t N>
  char pick(const char (&bytes)[N]) {
    return bytes[below(static_cast<int>(N - 1))];
  }

  // Up to nine digits: never beyond 32 bits.
  std::string number() {
    std::string s = below(3) == 0 ? "-" : "";
    const int digits = 1 + below(below(4) == 0 ? 9 : 4);
    for (int i = 0; i < digits; ++i) s += static_cast<char>('0' + below(10));
    return s;
  }

  std::mt19937 random_;
};

// Checks the matcher, and each of its roads on its own (the rules for any
// line, the usual layout where it answers), against sscanf on `line`; returns
// the number of items the matcher read.
int expect_same_as_sscanf(const std::string& line) {
  char name[1024] = {};
  int v[7] = {};
  int expected =
      std::sscanf(line.c_str(), " \"%[^\"]\" x=%d y=%d z=%d pitch=%d yaw=%d roll=%d fov=%d ", name,
                  &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
  if (expected == EOF) expected = 0;
  const auto expect_same = [&](const char* road, int items, const camera::CameraRecord& record) {
    EXPECT_EQ(items, expected) << road << ", line: " << line;
    if (items >= 2) {
      EXPECT_EQ(std::string(record.name, record.name_length), name) << road << ": " << line;
    }
    const std::int32_t got[7] = {record.x,   record.y,    record.z,  record.pitch,
                                 record.yaw, record.roll, record.fov};
    for (int k = 0; k + 1 < items && k + 1 < expected; ++k) {
      EXPECT_EQ(got[k], v[k]) << road << ", item " << k + 2 << ": " << line;
    }
  };
  camera::CameraRecord record{};
  const int items = camera::match_camera_line(line, record);
  expect_same("matcher", items, record);
  const camera::PaddedCopy piece(line.substr(0, camera::kPieceCapacity));
  camera::CameraRecord by_rules{};
  expect_same("rules",
              camera::match_by_the_rules(piece.text().data(), piece.text().size(), by_rules),
              by_rules);
  for (const camera::Kernel kernel : kernels_here()) {
    const std::string road = camera::kernel_name(kernel);
    camera::CameraRecord in_place{};
    expect_same((road + ", in place").c_str(),
                camera::match_camera_line_in_place(piece.text(), in_place, kernel), in_place);
    camera::CameraRecord usual{};
    const int usual_items = camera::match_usual_layout(piece.text(), usual, kernel);
    if (usual_items != camera::kUnusual)
      expect_same((road + ", usual").c_str(), usual_items, usual);
  }
  return items;
}

TEST(MatcherVsSscanf, AgreesOnMutatedUsualLines) {
  MutatedUsualLines lines(20261209);
  int records = 0;
  for (int i = 0; i < 100000 && !::testing::Test::HasFailure(); ++i) {
    records += expect_same_as_sscanf(lines.next()) >= 7;
  }
  EXPECT_GT(records, 30000);
}

TEST(MatcherInPlace, BytesAfterTheTextDoNotCount) {
  // In a read loop's buffer the text is followed by the next line, or by what
  // an earlier read left: digits, signs, quotes and keys must not be read.
  MutatedUsualLines lines(7);
  const std::string followers[] = {std::string(80, '7'), std::string(80, '\0'),
                                   " fov=12 y=3 \"q\" x=-5" + std::string(60, '=')};
  for (int i = 0; i < 20000; ++i) {
    const std::string line = lines.next();
    camera::CameraRecord alone{};
    const int items = camera::match_camera_line(line, alone);
    for (const std::string& follower : followers) {
      for (const camera::Kernel kernel : kernels_here()) {
        const camera::PaddedCopy buffer(line + follower);
        camera::CameraRecord in_place{};
        ASSERT_EQ(
            camera::match_camera_line_in_place(buffer.text().first(line.size()), in_place, kernel),
            items)
            << camera::kernel_name(kernel) << ", line: " << line << " followed by: " << follower;
        if (items < 7) continue;
        ASSERT_EQ(std::string(in_place.name, in_place.name_length),
                  std::string(alone.name, alone.name_length));
        ASSERT_EQ(std::memcmp(&in_place.x, &alone.x, 6 * sizeof alone.x), 0) << line;
        if (items == 8) {
          ASSERT_EQ(in_place.fov, alone.fov) << line;
        }
      }
    }
  }
}

TEST(MatcherVsSscanf, AgreesOnNearMissLines) {
  NearMissLines lines(20261208);
  int records = 0;
  for (int i = 0; i < 200000 && !::testing::Test::HasFailure(); ++i) {
    records += expect_same_as_sscanf(lines.next()) >= 7;
  }
  // The generator must produce plenty of records as well as near misses.
  EXPECT_GT(records, 20000);
}

}  // namespace
