// Writing a camera record as an info_camera entity block of seven lines:
//
//   {
//   "classname" "info_camera"
//   "name" "<name>"
//   "origin" "<x> <y> <z>"
//   "angles" "<pitch> <yaw> <roll>"
//   "fov" "<fov>"
//   }
#pragma once

#include <cstddef>

#include "camera/camera_record.h"

namespace camera {

// The longest block: the fixed text, the longest name and seven integers of
// eleven characters each (a minus sign and ten digits).
constexpr std::size_t kMaxBlockLength = 77 + kNameCapacity + 7 * 11;

// Appends the block for `record` at `out`, which must have room for
// kMaxBlockLength bytes. Returns the end of the block. The bytes after it, up
// to kMaxBlockLength from `out`, may be overwritten: names and numbers are
// copied in whole words.
char* append_block(const CameraRecord& record, char* out);

}  // namespace camera
