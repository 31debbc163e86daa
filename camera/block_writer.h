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
#include <cstring>

#include "camera/byte_lanes.h"
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

// The fixed text of a block, around its name and numbers, for whoever writes
// a block from other than a record (the usual layout copies a line's numbers
// as they stand: usual_layout.h).
namespace block_text {

// Each followed by its NUL, which does not count.
constexpr char kHead[] = "{\n\"classname\" \"info_camera\"\n\"name\" \"";
constexpr char kOrigin[] = "\"\n\"origin\" \"";
constexpr char kAngles[] = "\"\n\"angles\" \"";
constexpr char kFov[] = "\"\n\"fov\" \"";
constexpr char kTail[] = "\"\n}\n";

// The text of fov when a line has none, with the eight readable bytes that
// put_number asks for.
constexpr char kDefaultFov[8] = "90";

// One of the texts above, without its NUL.
template <std::size_t N>
inline char* put(char* out, const char (&text)[N]) {
  if constexpr (N - 1 >= 8) {
    copy_words<N - 1>(out, text);
  } else {
    std::memcpy(out, text, N - 1);
  }
  return out + N - 1;
}

// A number's text of 1 to 8 bytes, already as append_block writes the number
// (no '+', no leading zero, no "-0"), copied as a whole word, and when
// `spaced`, a space after it. The bytes after it are overwritten by what
// follows in the block.
template <bool spaced>
inline char* put_number(char* out, const char* number, std::size_t length) {
  copy_words<8>(out, number);
  if (spaced) out[length] = ' ';
  return out + length + spaced;
}

}  // namespace block_text

}  // namespace camera
