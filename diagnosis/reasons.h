// The words for why a line was skipped, or what became of a camera: pure
// functions over the text of one piece and what the matcher's rules made of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "camera/camera_record.h"
#include "camera/line_matcher.h"
#include "diagnosis/finding.h"
#include "diagnosis/utf8.h"

namespace diagnosis {

// A reason in words, built in fixed storage: a finding's words are short.
class Words {
 public:
  Words& operator<<(std::string_view text);
  Words& operator<<(std::int64_t number);
  // A token of the line in double quotes, cut short if long.
  Words& quoted(std::string_view token);
  // The byte at `at` (or the end of the text) as a reader would name it:
  // "a space", ":", "the end of the line".
  Words& byte_at(const char* at, const char* end);
  std::string_view view() const { return {text_, length_}; }
  void clear() { length_ = 0; }

 private:
  char text_[320];
  std::size_t length_ = 0;
};

// What the rules made of a text, and where they stopped.
struct Reading {
  int items;
  camera::StopPoint stop;
  camera::CameraRecord record;
};

void read_by_the_rules(const char* text, std::size_t length, Reading& reading);

// The key of item `items + 1` (x for 1 item, fov for 7): the one the rules
// wanted when they stopped.
std::string_view wanted_key(int items);
// The value of item 2 to 8 (x to fov) of a record.
std::int32_t item_value(const camera::CameraRecord& record, int item);

// Whether the rules stopped only because the text ran out, inside what they
// wanted: a piece cut there may go on with it.
bool ran_out(const char* text, std::size_t length, const Reading& reading);

// "the name", or the last item read as "y=200".
Words& last_item(Words& words, const Reading& reading);
// The keys of items `first` to `last` (2 to 8) as "z, pitch and yaw".
Words& key_list(Words& words, int first, int last);

// Why the rules stopped reading `text`, which starts with a quote after any
// whitespace, before the seventh item; or, with seven items, why its fov was
// not read. Sets `offset` to the byte to mark.
Reason explain_stop(const char* text, std::size_t length, const Reading& reading, Words& words,
                    std::size_t& offset);

// For a line that does not start with a double quote: whether it was meant
// as a camera line and, if so, why it is none (at `offset`).
bool explain_unquoted(const char* text, std::size_t length, std::size_t first, Reason& reason,
                      Words& words, std::size_t& offset);

// For a line whose text, which a NUL byte at `nul` ends, gives no word:
// whether what follows the NUL was meant as a camera line (a quote and a key,
// or two keys, with their '='), which brivel never reads.
bool explain_text_past_nul(const char* text, std::size_t length, std::size_t nul, Words& words);

// For a camera of eight items: what its fov item hides (a fraction, a
// hexadecimal number), if anything.
bool explain_fov(const char* text, std::size_t length, const Reading& reading, Reason& reason,
                 Words& words, std::size_t& offset);

// The length of the shortest camera line the rules read,
// "a"x=0y=0z=0pitch=0yaw=0roll=0: most comments are shorter, and need no
// search for one.
constexpr std::size_t kShortestCameraLine = 30;

// Whether a whole camera line follows in `text` from `from` on, which
// brivel never reads: on a camera line, past its last item (lines joined, or
// ended by a carriage return alone); on any line, with
// `after_carriage_return`, only after a carriage return that no line feed
// follows (the line ends of old Macs, which make a whole list one line).
// Sets `offset` to its quote.
bool explain_joined_camera(const char* text, std::size_t length, std::size_t from,
                           bool after_carriage_return, Words& words, std::size_t& offset);

// For a camera line that the matcher read `items` (7 or 8) of, into `record`:
// the first of its numbers beyond the range of 32 bits, which the rules
// read modulo 2^32, if any. Sets `offset` to the number's first byte.
bool explain_out_of_range(const char* text, std::size_t length, int items,
                          const camera::CameraRecord& record, Words& words, std::size_t& offset);

// True when nothing but whitespace follows the last item of a camera line
// that the matcher read `items` (7 or 8) of: nearly every camera line, so
// this is quick.
bool plain_camera_line(const char* text, std::size_t length, int items);

// Characters in UTF-8 text (diagnosis/utf8.h). `pending` carries an unfinished
// character over from the bytes before.
std::size_t count_characters(const char* bytes, std::size_t length, utf8::Unfinished& pending);

}  // namespace diagnosis
