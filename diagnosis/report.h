// How brivel-check, and the page's export, write what the diagnosis finds:
// pure functions that append the text for one finding, or for the summary, to
// a string.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "diagnosis/finding.h"

namespace diagnosis {

struct Totals {
  std::size_t files = 0;  // read to their end
  std::size_t unreadable_files = 0;
  Counts counts;  // over every file read
};

// FILE:LINE:COLUMN: warning: REASON, the column in characters as editors
// count it; then, as compilers show it, the line (a window of it, if long)
// and a caret under the column.
void append_gnu(std::string& out, std::string_view file, const Finding& finding);
void append_gnu_summary(std::string& out, const Totals& totals);

// What the input is as a whole, in a few words, and what to do about it: a
// paragraph of its own, with no line end. Nothing for a camera list.
void append_verdict(std::string& out, Verdict verdict);
// A short name for each verdict, for programs that read it.
std::string_view verdict_code(Verdict verdict);

// One JSON object on a line of its own.
void append_json(std::string& out, std::string_view file, const Finding& finding);
void append_json_summary(std::string& out, const Totals& totals);

}  // namespace diagnosis
