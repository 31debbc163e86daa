#include "camera/line_matcher.h"

#include <cstdint>
#include <cstring>

namespace camera {
namespace {

bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c) {
  return static_cast<unsigned char>(c - '0') < 10;
}

const char* skip_space(const char* p, const char* end) {
  while (p != end && is_space(*p)) ++p;
  return p;
}

// Reads `key` (its letters and "=") and the number after it into `value`.
// The key is a literal, so the comparison is a single fixed-size compare.
template <std::size_t N>
bool read_item(const char*& cursor, const char* end, const char (&key)[N], std::int32_t& value) {
  constexpr std::size_t key_length = N - 1;
  const char* p = skip_space(cursor, end);
  if (static_cast<std::size_t>(end - p) < key_length || std::memcmp(p, key, key_length) != 0) {
    return false;
  }
  p = skip_space(p + key_length, end);
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end || !is_digit(*p)) return false;
  // Unsigned arithmetic wraps, which is exactly "modulo 2^32" for any number of digits.
  std::uint32_t magnitude = 0;
  do {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(*p - '0');
    ++p;
  } while (p != end && is_digit(*p));
  value = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
  cursor = p;
  return true;
}

}  // namespace

int match_camera_line(std::string_view text, CameraRecord& record) {
  const char* p = text.data();
  const char* const end = p + (text.size() < kPieceCapacity ? text.size() : kPieceCapacity);

  p = skip_space(p, end);
  if (p == end || *p != '"') return 0;
  const char* const name = ++p;
  while (p != end && *p != '"' && *p != '\0') ++p;
  const std::size_t name_length = static_cast<std::size_t>(p - name);
  if (name_length == 0) return 0;
  // Without its closing quote the name has taken the rest of the text.
  if (p == end || *p != '"') return 1;
  std::memcpy(record.name, name, name_length);
  record.name_length = name_length;
  ++p;

  if (!read_item(p, end, "x=", record.x)) return 1;
  if (!read_item(p, end, "y=", record.y)) return 2;
  if (!read_item(p, end, "z=", record.z)) return 3;
  if (!read_item(p, end, "pitch=", record.pitch)) return 4;
  if (!read_item(p, end, "yaw=", record.yaw)) return 5;
  if (!read_item(p, end, "roll=", record.roll)) return 6;
  if (!read_item(p, end, "fov=", record.fov)) return 7;
  return 8;
}

}  // namespace camera
