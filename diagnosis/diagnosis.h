// Why a camera went missing: what became of each line of a camera list, read
// exactly as brivel reads it, and a word for each line worth one.
//
// The diagnosis watches the read loop itself (cli::convert) as a
// PieceObserver: the same cutter, matcher and acceptance rule, and, through
// WindowsTextSource, the same text rules as the Windows program. It counts
// lines, not pieces, and keeps a fixed amount of memory, whatever the length
// of the input or of its lines: findings go to a listener as they are made.
#pragma once

#include <cstddef>

#include "camera/camera_record.h"
#include "cli/convert.h"
#include "diagnosis/finding.h"
#include "diagnosis/reasons.h"
#include "diagnosis/windows_text.h"

namespace diagnosis {

class Diagnosis : public cli::PieceObserver {
 public:
  explicit Diagnosis(Listener& listener) : listener_(listener) {}
  Diagnosis(const Diagnosis&) = delete;
  Diagnosis& operator=(const Diagnosis&) = delete;

  // Not inlined into the read loop, whose entry points inline all they call:
  // the diagnosis in each of them would make the program's link a minute
  // longer each, and the loop no faster.
  [[gnu::noinline]] void piece(const char* text, std::size_t length, int items,
                               const camera::CameraRecord& record, bool line_ends) override;

  // Once the read loop has ended: ends the last line and, for Windows text,
  // says what a Ctrl-Z cut off. Call once.
  void finish(const CtrlZStop& ctrl_z = {});

  const Counts& counts() const { return counts_; }
  // Once finished.
  Verdict verdict() const;

 private:
  void camera_piece(const char* text, std::size_t length, int items,
                    const camera::CameraRecord& record, bool line_ends);
  void skipped_piece(const char* text, std::size_t length);
  // UTF-16 text or binary data: says so (once) and gives no more words per line.
  bool input_is_no_text(const char* text, std::size_t length, bool look_for_binary);
  // A piece cut where the rules still wanted more: kept until the next piece
  // (or the end) tells what the cut lost.
  void hold_cut(const char* text, std::size_t length);
  void settle_cut(const char* text, std::size_t length);
  // Reports as report() does, at `offset` of the line read whole across the
  // cut (in joined_, the next piece being `text`): where that falls in the cut
  // piece, it is marked there.
  void report_read_whole(Reason reason, const char* text, std::size_t length, std::size_t offset,
                         const Reading* near_miss = nullptr);
  void keep_tail(const char* text, std::size_t length);
  void end_line();
  // Reports `reason`, with the words in words_, at `offset` of the current
  // piece (`text`, `length`: it may be empty at the end of the input); on a
  // line that gives no camera, with what the rules read of it in `near_miss`.
  void report(Reason reason, const char* text, std::size_t length, std::size_t offset,
              const Reading* near_miss = nullptr);

  Listener& listener_;
  Counts counts_;
  Count input_offset_ = 0;                // of the current piece
  bool quiet_ = false;                    // the input is no text list: no more words per line
  Verdict whole_ = Verdict::kCameraList;  // UTF-16, binary or a byte-order mark, once found
  Count line_findings_ = 0;               // all but a Ctrl-Z's
  bool stopped_at_ctrl_z_ = false;        // so the input held bytes, though maybe no text
  bool input_ended_ = false;              // finish() was called: the current line ends here

  // The current line.
  Count line_ = 1;
  Count line_offset_ = 0;          // of the current piece, in bytes
  Count line_characters_ = 0;      // before the current piece
  utf8::Unfinished utf8_pending_;  // what its last character still awaits
  bool continued_ = false;         // the current piece goes on with a line cut before it
  bool blank_so_far_ = true;       // the pieces before the current one held only whitespace
  bool line_has_camera_ = false;
  bool line_default_fov_ = false;  // its first camera got the default fov

  // The end of the line before the current piece, for excerpts.
  char tail_[kExcerptLength];
  std::size_t tail_length_ = 0;

  // Where a piece stands in its line, for report().
  struct Place {
    Count line_offset;
    Count line_characters;
    utf8::Unfinished utf8_pending;
    bool continued;
    char tail[kExcerptLength];
    std::size_t tail_length;
  };
  Place place() const;
  void move_to(const Place& place);

  bool cut_pending_ = false;
  Place cut_place_;                          // where the cut piece stands
  Reading cut_reading_;                      // what the rules made of the cut piece
  char joined_[2 * camera::kPieceCapacity];  // the cut piece, then the next

  Reading reading_;
  Words words_;
  char excerpt_[kExcerptLength];
};

}  // namespace diagnosis
