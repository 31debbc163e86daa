#include "web/line_report.h"

#include "camera/acceptance_rule.h"
#include "cli/convert.h"

namespace web {
namespace {

constexpr std::size_t kProgressStep = 1 << 20;

}  // namespace

void report_lines(camera::PaddedText text, LineObserver& observer) {
  const std::size_t length = text.size();
  std::size_t line_number = 1;
  std::size_t column = 0;
  std::size_t next_progress = kProgressStep;
  camera::CameraRecord record;
  for (std::size_t start = 0; start < length;) {
    // The rest of the text, with the room after it.
    const camera::PaddedText rest = text.after(start);
    const char* const piece = rest.data();
    const std::size_t size = cli::next_piece_length(rest, true);
    const int items = camera::match_camera_line_in_place(rest.first(size), record);
    if (camera::accept_camera_line(items, record)) {
      observer.camera_line(record);
    } else {
      observer.skipped_line();
      camera::StopPoint stop;
      const int read = camera::match_by_the_rules(piece, size, record, stop);
      // Blank lines, comments and other lines that do not start with a quote are not worth a word.
      if (stop.expected != camera::StopPoint::Expected::kOpeningQuote) {
        observer.near_miss({line_number, piece, size, column, read, stop});
      }
    }
    start += size;
    if (piece[size - 1] == '\n') {
      ++line_number;
      column = 0;
    } else {
      column += size;
    }
    if (start >= next_progress) {
      observer.progress(start);
      next_progress = start + kProgressStep;
    }
  }
  observer.progress(length);
}

}  // namespace web
