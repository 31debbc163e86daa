// Fuzzes the camera line matcher alone. For any text: 0 to 8 items, and a
// well-formed name whenever one was read. Where the C library's sscanf with
// the record pattern is a sound reference (numbers within 64 bits, no carriage
// return), the same items as sscanf; everywhere, the same items as a plain
// model of the rules, which also covers numbers that wrap beyond 64 bits.
// Whenever the usual layout's word-at-a-time path answers, the same items as
// the rules give for the same text. All of this with each byte-lane kernel
// that this processor runs. The matcher reads a buffer of exactly the
// room it is promised after the text, so that AddressSanitizer holds it there.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "camera/camera_record.h"
#include "camera/kernel.h"
#include "camera/line_matcher.h"
#include "camera/padded_text.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr std::string_view::size_type kNone = std::string_view::npos;

struct Items {
  int count = 0;
  std::string name;        // meaningful from 2 items on (the closing quote was found)
  std::int32_t values[7];  // x to fov, meaningful up to count - 1
};

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool is_space(char c) {
  return std::memchr(" \t\n\v\f\r", c, 6) != nullptr;
}

// C libraries read %d through a 64-bit conversion that saturates, so beyond
// 64 bits they part from the modulo rule (and from each other).
bool within_sscanf_range(std::string_view text) {
  if (text.find('\r') != kNone) return false;
  for (std::size_t i = 0; i < text.size();) {
    if (!is_digit(text[i])) {
      ++i;
      continue;
    }
    while (i < text.size() && text[i] == '0') ++i;
    const std::size_t first = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    const std::string_view digits = text.substr(first, i - first);
    if (digits.size() > 19 || (digits.size() == 19 && digits > "9223372036854775807")) return false;
  }
  return true;
}

Items with_sscanf(std::string_view text) {
  const std::string line(text);  // sscanf, like the matcher, stops at the first NUL
  std::string name(line.size() + 1, '\0');
  int v[7] = {};
  Items got;
  got.count =
      std::sscanf(line.c_str(), " \"%[^\"]\" x=%d y=%d z=%d pitch=%d yaw=%d roll=%d fov=%d ",
                  &name[0], &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
  if (got.count == EOF) got.count = 0;
  got.name = name.c_str();
  std::copy(v, v + 7, got.values);
  return got;
}

// The rules written out as plainly as possible, indices over a string.
Items with_model(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  Items got;
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return k < text.size() ? text[k] : '\0'; };
  const auto skip_space = [&] {
    while (i < text.size() && is_space(text[i])) ++i;
  };
  skip_space();
  if (at(i) != '"') return got;
  const std::size_t close = text.find('"', i + 1);
  const std::size_t name_end = close == kNone ? text.size() : close;
  if (name_end == i + 1) return got;
  got.count = 1;
  if (close == kNone) return got;
  got.name = text.substr(i + 1, name_end - i - 1);
  i = close + 1;
  for (const std::string_view key : {"x=", "y=", "z=", "pitch=", "yaw=", "roll=", "fov="}) {
    skip_space();
    if (text.substr(i, key.size()) != key) return got;
    i += key.size();
    skip_space();
    const bool negative = at(i) == '-';
    if (at(i) == '-' || at(i) == '+') ++i;
    if (!is_digit(at(i))) return got;
    std::uint32_t magnitude = 0;
    for (; is_digit(at(i)); ++i)
      magnitude = magnitude * 10 + static_cast<std::uint32_t>(at(i) - '0');
    got.values[got.count - 1] = static_cast<std::int32_t>(negative ? 0 - magnitude : magnitude);
    ++got.count;
  }
  return got;
}

Items items_of(int count, const camera::CameraRecord& record) {
  Items items;
  items.count = count;
  if (count >= 2) items.name.assign(record.name, record.name_length);
  const std::int32_t values[7] = {record.x,   record.y,    record.z,  record.pitch,
                                  record.yaw, record.roll, record.fov};
  std::copy(values, values + 7, items.values);
  return items;
}

void check_same(const Items& got, const Items& want) {
  FUZZ_CHECK(got.count == want.count);
  if (got.count >= 2) FUZZ_CHECK(got.name == want.name);
  for (int k = 0; k + 1 < got.count; ++k) FUZZ_CHECK(got.values[k] == want.values[k]);
}

// A record in which no field may pass for read unless it was.
camera::CameraRecord unread_record() {
  camera::CameraRecord record;
  std::memset(&record, 0xA5, sizeof record);
  return record;
}

// `text` starts `input`. The in-place matcher is promised that it may read
// camera::kReadAhead bytes past the end of the text: it gets exactly that, the
// text followed by the rest of the input, over and over, so that
// AddressSanitizer stops any read further on. Every kernel this processor runs
// must give the same answer.
void check_match(std::string_view text, std::string_view input) {
  camera::PaddedCopy padded(text.size());
  for (std::size_t i = 0; i < text.size() + camera::kReadAhead; ++i) {
    padded.data()[i] = input.empty() ? '\0' : input[i % input.size()];
  }
  // The matcher looks at no more than a piece.
  const std::string_view seen = text.substr(0, camera::kPieceCapacity);

  for (const camera::Kernel kernel : camera::kBuiltKernels) {
    if (!camera::kernel_runs_here(kernel)) continue;
    camera::CameraRecord record = unread_record();
    const int count = camera::match_camera_line_in_place(padded.text(), record, kernel);
    FUZZ_CHECK(count >= 0 && count <= 8);
    if (count >= 2) {
      FUZZ_CHECK(record.name_length >= 1 && record.name_length <= camera::kNameCapacity);
      const std::string_view name(record.name, record.name_length);
      FUZZ_CHECK(name.find('"') == kNone && name.find('\0') == kNone);
      // The driver hands the matcher one line at a time, so a name that comes
      // from a line never holds a line feed; a text with a line feed inside is
      // not one line, and there a name may span it, as sscanf's does.
      const std::size_t line_feed = text.find('\n');
      if (line_feed == kNone || line_feed + 1 == text.size()) FUZZ_CHECK(name.find('\n') == kNone);
    }
    const Items got = items_of(count, record);
    if (within_sscanf_range(seen)) check_same(got, with_sscanf(seen));
    check_same(got, with_model(seen));

    // The word-at-a-time path may leave any text to the rules, but what it
    // answers must be theirs.
    camera::CameraRecord usual = unread_record();
    const int usual_count =
        camera::match_usual_layout(padded.text().first(seen.size()), usual, kernel);
    if (usual_count != camera::kUnusual) {
      camera::CameraRecord rules = unread_record();
      const int rules_count = camera::match_by_the_rules(seen.data(), seen.size(), rules);
      check_same(items_of(usual_count, usual), items_of(rules_count, rules));
    }
  }

  // Telling where the rules stopped changes nothing of what they read.
  camera::CameraRecord any;
  const int count = camera::match_camera_line(text, any);
  camera::CameraRecord again;
  camera::StopPoint stop;
  FUZZ_CHECK(camera::match_by_the_rules(seen.data(), seen.size(), again, stop) == count);
  FUZZ_CHECK(stop.offset <= seen.size());
  FUZZ_CHECK((stop.expected == camera::StopPoint::Expected::kNothing) == (count == 8));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_match(text, text);
  // The input's first line, as the driver would hand it over.
  const std::size_t line_feed = text.find('\n');
  if (line_feed != kNone && line_feed + 1 < text.size()) {
    check_match(text.substr(0, line_feed + 1), text);
  }
  return 0;
}
