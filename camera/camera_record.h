// The camera record: what one accepted camera line yields, and the limits that
// every part of the converter shares.
#pragma once

#include <cstddef>
#include <cstdint>

namespace camera {

// A line is read in pieces of at most this many bytes; a longer line is cut.
constexpr std::size_t kPieceCapacity = 1023;

// The longest name a piece can carry: all of it but the two quotes. Names are
// kept whole, so the record has room for this many bytes.
constexpr std::size_t kNameCapacity = kPieceCapacity - 2;

// The field of view of a camera line that has none.
constexpr std::int32_t kDefaultFov = 90;

struct CameraRecord {
  // The name, byte for byte as it stood between the quotes: at least one byte,
  // never a double quote, a line feed or a NUL. Not NUL-terminated.
  char name[kNameCapacity];
  std::size_t name_length;
  std::int32_t x;
  std::int32_t y;
  std::int32_t z;
  std::int32_t pitch;
  std::int32_t yaw;
  std::int32_t roll;
  std::int32_t fov;
};

}  // namespace camera
