// What the diagnosis tells: findings, each with its reason, where it is and
// the words for it, and the counts of the whole input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "camera/camera_record.h"

namespace diagnosis {

// Lines, bytes and findings of a whole input: 64 bits in every program, the
// 32-bit ones too (Windows, the page's WebAssembly), which read lists past
// 4 GiB as well.
using Count = std::uint64_t;

enum class Reason {
  // A line meant as a camera line (it starts with a quote, or holds at least
  // two of the keys with '='), skipped because...
  kNoName,             // the line ends after the opening quote
  kEmptyName,          // ""
  kNoClosingQuote,     // the name runs to the end of the line
  kCurlyClosingQuote,  // "gate” x=...
  kNulInName,          // a NUL byte ends the line inside the name
  kQuoteInName,        // "gate \"north\"" x=...
  kNul,                // a NUL byte ends the line's text after the name, or before it
  kMissingKey,         // z is missing after y=200
  kKeysOutOfOrder,     // y= where x= belongs, and x= comes later
  kKeyTypo,            // ptich=
  kUpperCaseKey,       // X=
  kSpaceBeforeEquals,  // x =1
  kKeyWithoutEquals,   // x: 10
  kUnexpected,         // anything else where a key belongs
  kDecimalPoint,       // x=1.5, or x=1,5
  kHexNumber,          // x=0x10
  kExponent,           // x=1e3
  kDigitGrouping,      // x=1'024
  kNoNumber,           // x= y=2
  kQuotedNumber,       // x="10"
  kSignWithoutDigits,  // x=- y=2
  kSpaceAfterSign,     // x=- 5
  kTwoSigns,           // x=--5
  kLookalike,          // x=−5 (U+2212), x=１０, x=<no-break space>5
  kCurlyQuotes,        // “gate” x=...
  kSingleQuotes,       // 'gate' x=...
  kNoQuotes,           // gate x=1 y=2 ...
  kUtf8ByteOrderMark,  // before the first line's quote
  // A camera, but...
  kDefaultFov,        // its line goes on after roll with something that is no fov
  kFovFraction,       // fov=1.5 or fov=1,5: the fraction is dropped
  kFovHex,            // fov=0x5A reads as 0
  kJoinedCamera,      // another camera line follows on its line, and is lost
  kNumberOutOfRange,  // x=3000000000 reads as -1294967296, modulo 2^32
  // A line longer than a piece.
  kCutLosesItems,    // the camera from the piece before the cut lacks what lies beyond it
  kCutLosesCamera,   // the piece before the cut is no camera line, the whole line would be
  kNameBeyondPiece,  // the name goes on past the piece
  kCameraFromLaterPiece,
  // The input as a whole.
  kUtf16,
  kBinary,
  kCtrlZ,  // Windows text: a Ctrl-Z ended the input before the end
};

// A short name for each reason, for programs that read the findings.
std::string_view reason_code(Reason reason);

// What became of a line.
enum class LineOutcome {
  kCamera,
  kCameraWithDefaultFov,  // its (first) camera got the default fov
  kSkipped,
};

struct Finding {
  Reason reason;
  Count line;              // from 1
  Count column;            // in characters, from 1: a UTF-8 sequence counts as one
  Count byte_column;       // in bytes, from 1
  std::string_view words;  // why, in plain words
  // The line's text around the column, without its line end: a window of at
  // most kExcerptLength bytes that holds, where the line has them, at least
  // kExcerptBefore bytes before the column and kExcerptAfter from it on, and
  // cuts no UTF-8 sequence. `mark` is where the column is in it (its size when
  // the column is past the end of the text).
  std::string_view excerpt;
  std::size_t mark;
  bool excerpt_starts_line;
  bool excerpt_ends_line;
  // Where the camera would stand, for a line that gives none although the
  // rules read its x and y before they stopped: a near miss can be shown on
  // a map.
  bool has_position;
  std::int32_t x;
  std::int32_t y;
};

constexpr std::size_t kExcerptBefore = 48;
constexpr std::size_t kExcerptAfter = 32;
constexpr std::size_t kExcerptLength = 96;

struct Counts {
  Count lines = 0;
  Count cameras = 0;  // as many as brivel writes blocks
  Count cameras_with_default_fov = 0;
  Count skipped_lines = 0;  // lines that gave no camera
  Count findings = 0;
};

// What the input is as a whole, where that is the first thing to know of it:
// a file that brivel gives nothing (or less than it should) for as a whole.
enum class Verdict {
  kCameraList,         // a camera list: its findings, if any, say the rest
  kEmpty,              // not one byte
  kUtf16,              // no camera line can be read in it
  kUtf8ByteOrderMark,  // the mark stands before the first line's quote
  kBinary,
  kOnlyNearMisses,  // no camera, and each line meant as one has a finding
  kNoCameraLines,   // no camera, and no line meant as one
};

// Told of what the diagnosis finds, as it finds it. The views are valid
// during the call only.
class Listener {
 public:
  virtual ~Listener() = default;
  virtual void finding(const Finding& finding) = 0;
  // Each camera, in input order: the record brivel writes a block for.
  virtual void camera(const camera::CameraRecord&, Count /*line*/) {}
  virtual void line_ended(Count /*line*/, LineOutcome) {}
};

}  // namespace diagnosis
