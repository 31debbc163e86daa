// What the page shows besides the blocks: the cameras, for the map, and for
// each skipped line that was meant as a camera line (it starts with a double
// quote), where the matcher stopped reading it and why.
#pragma once

#include <cstddef>

#include "camera/camera_record.h"
#include "camera/line_matcher.h"
#include "camera/padded_text.h"

namespace web {

struct NearMiss {
  std::size_t line_number;  // of the input line, from 1
  // The piece that was skipped: a line longer than a piece is read in pieces.
  const char* piece;
  std::size_t piece_length;
  std::size_t column;      // of the piece's first byte in its line, from 0
  int items;               // how many items were read before the stop
  camera::StopPoint stop;  // in the piece
};

class LineObserver {
 public:
  virtual ~LineObserver() = default;
  virtual void camera_line(const camera::CameraRecord& record) = 0;
  virtual void skipped_line() = 0;
  virtual void near_miss(const NearMiss& miss) = 0;
  // `done` of the text's bytes have been looked at.
  virtual void progress(std::size_t done) = 0;
};

// Cuts `text` into pieces with the read loop's own cutter and matches each one: calls
// camera_line for each camera line, skipped_line for each other piece and
// near_miss too for those meant as camera lines.
void report_lines(camera::PaddedText text, LineObserver& observer);

}  // namespace web
