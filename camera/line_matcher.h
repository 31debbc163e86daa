// Reading one line of a camera list as a camera line:
//
//   "<name>" x=<int> y=<int> z=<int> pitch=<int> yaw=<int> roll=<int> fov=<int>
//
// with the rules of formatted input. Whitespace (space, tab, line feed,
// vertical tab, form feed, carriage return) may stand before the opening quote,
// before each key and between a key's "=" and its number, but not between a
// key and its "=". The name is one or more bytes up to the closing quote. Each
// number is an optional sign and one or more decimal digits, taken modulo 2^32
// and then negated for "-". The match stops at the first byte that does not
// fit, and the items read until then count.
#pragma once

#include <cstddef>
#include <string_view>

#include "camera/camera_record.h"
#include "camera/kernel.h"
#include "camera/padded_text.h"

namespace camera {

// Matches the text of one line (its line feed, if any, at the end) and stores
// each item in `record` as it is read: the name once its closing quote is
// found, then x, y, z, pitch, yaw, roll and fov. Returns the number of items
// read, 0 to 8. The text ends at its first NUL byte; only its first
// kPieceCapacity bytes are looked at, so the name always fits the record.
// (The text is copied, with room after it, for match_camera_line_in_place.)
int match_camera_line(std::string_view text, CameraRecord& record);

// The same for text with room after it, such as a piece of a read loop's
// buffer, which saves the copy; with the byte lanes of `kernel`, which must
// run here (kernel.h). Bytes in the room never change the answer.
int match_camera_line_in_place(PaddedText text, CameraRecord& record,
                               Kernel kernel = best_kernel());

// The in-place matcher's two ways of reading a line, apart so that tests can
// hold one against the other. The usual layout is read a whole word at a time
// (usual_layout.h); for any other text it returns kUnusual, having written
// what it likes into the record. The rules read any text, one byte at a time,
// and look at no byte past its end.
constexpr int kUnusual = -1;
int match_usual_layout(PaddedText text, CameraRecord& record, Kernel kernel = best_kernel());
int match_by_the_rules(const char* text, std::size_t length, CameraRecord& record);

// Where the rules stopped reading a line, and what they wanted there: enough
// to tell someone why a line they meant as a camera line was skipped.
struct StopPoint {
  enum class Expected {
    kOpeningQuote,  // after any whitespace at the start
    kName,          // a byte of name: a quote, a NUL or the end came at once
    kClosingQuote,  // the name ran to a NUL or to the end of the text
    kKey,           // the next key and its '=' (which key: the items read so far tell)
    kNumber,        // a digit, after the key's '=', whitespace and a sign
    kNothing,       // all eight items were read; the offset is past the fov number
  };
  std::size_t offset;  // of the first byte that did not fit; `length` if the text ran out
  Expected expected;
};

// match_by_the_rules, telling also where it stopped. The command line never
// asks, so the matcher above does not pay for it.
int match_by_the_rules(const char* text, std::size_t length, CameraRecord& record, StopPoint& stop);

}  // namespace camera
