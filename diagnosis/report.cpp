#include "diagnosis/report.h"

#include "diagnosis/utf8.h"

namespace diagnosis {
namespace {

void append_plural(std::string& out, Count n, std::string_view one, std::string_view many) {
  out += std::to_string(n);
  out += ' ';
  out.append(n == 1 ? one : many);
}

// Calls `each(bytes, length, well_formed)` for each character of `text`
// (diagnosis/utf8.h): so the terminal, the JSON and the mark agree on them.
template <typename Each>
void for_each_character(std::string_view text, Each each) {
  const char* const end = text.data() + text.size();
  for (const char* p = text.data(); p != end;) {
    const std::size_t length = utf8::character_length(p, end);
    each(p, length, utf8::well_formed(p, length));
    p += length;
  }
}

void append_hex(std::string& out, char byte, const char* digits) {
  const auto b = static_cast<unsigned char>(byte);
  out += digits[b >> 4];
  out += digits[b & 15];
}

// Appends the text as a terminal can show it, one column a character: a tab
// as a space, other control bytes as ^X, a byte that is no UTF-8 as <XX>.
// Returns the columns it takes.
std::size_t append_shown(std::string& out, std::string_view text) {
  // Printable ASCII, nearly all of a camera list, is shown as it stands: a run
  // of it is appended at once rather than a character at a time.
  std::size_t printable = 0;
  while (printable < text.size() && text[printable] >= 0x20 && text[printable] < 0x7F) ++printable;
  out.append(text.data(), printable);
  if (printable == text.size()) return printable;
  std::size_t columns = printable;
  for_each_character(text.substr(printable),
                     [&](const char* p, std::size_t length, bool well_formed) {
                       const auto b = static_cast<unsigned char>(*p);
                       if (well_formed) {
                         out.append(p, length);
                         columns += 1;
                       } else if (b == '\t') {
                         out += ' ';
                         columns += 1;
                       } else if (b < 0x20 || b == 0x7F) {
                         out += '^';
                         out += static_cast<char>(b ^ 0x40);
                         columns += 2;
                       } else if (b < 0x80) {
                         out += static_cast<char>(b);
                         columns += 1;
                       } else {
                         for (std::size_t i = 0; i < length; ++i) {
                           out += '<';
                           append_hex(out, p[i], "0123456789ABCDEF");
                           out += '>';
                           columns += 4;
                         }
                       }
                     });
  return columns;
}

void append_field(std::string& out, std::string_view name, Count value) {
  out += ",\"";
  out.append(name);
  out += "\":";
  out += std::to_string(value);
}

}  // namespace

void append_gnu(std::string& out, std::string_view file, const Finding& finding) {
  out.append(file);
  out += ':';
  out += std::to_string(finding.line);
  out += ':';
  out += std::to_string(finding.column);
  out += ": warning: ";
  out.append(finding.words);
  out += '\n';

  // As GCC shows a line: its number in a gutter, then the caret line.
  const std::string number = std::to_string(finding.line);
  const std::size_t width = number.size() < 5 ? 5 : number.size();
  out.append(width - number.size(), ' ');
  out += number;
  out += " | ";
  std::size_t caret = 0;
  if (!finding.excerpt_starts_line) {
    out += "...";
    caret += 3;
  }
  caret += append_shown(out, finding.excerpt.substr(0, finding.mark));
  append_shown(out, finding.excerpt.substr(finding.mark));
  if (!finding.excerpt_ends_line) out += "...";
  out += '\n';
  out.append(width, ' ');
  out += " | ";
  out.append(caret, ' ');
  out += "^\n";
}

void append_gnu_summary(std::string& out, const Totals& totals) {
  const Counts& c = totals.counts;
  out += "brivel-check: ";
  append_plural(out, c.lines, "line", "lines");
  out += " in ";
  append_plural(out, totals.files, "file", "files");
  out += ": ";
  append_plural(out, c.cameras, "camera", "cameras");
  out += " (";
  out += std::to_string(c.cameras_with_default_fov);
  out += " with the default fov), ";
  append_plural(out, c.skipped_lines, "line", "lines");
  out += " skipped, ";
  append_plural(out, c.findings, "finding", "findings");
  if (totals.unreadable_files > 0) {
    out += "; ";
    append_plural(out, totals.unreadable_files, "file", "files");
    out += " could not be read";
  }
  out += '\n';
}

void append_verdict(std::string& out, Verdict verdict) {
  switch (verdict) {
    case Verdict::kCameraList:
      return;
    case Verdict::kEmpty:
      out +=
          "The list is empty (not one byte): brivel writes nothing for it. Is it the file "
          "you meant, and was it saved?";
      return;
    case Verdict::kUtf16:
      out +=
          "The list is saved as UTF-16, and brivel reads bytes: it finds no camera line in "
          "UTF-16 text and writes nothing. Save the list as UTF-8 (without a byte-order mark) "
          "or ANSI.";
      return;
    case Verdict::kUtf8ByteOrderMark:
      out +=
          "The list starts with a UTF-8 byte-order mark (BOM), three bytes that brivel reads "
          "before the first line's quote, so that line is no camera line. Save the list as "
          "UTF-8 without a BOM.";
      return;
    case Verdict::kBinary:
      out +=
          "This is binary data, not a camera list: it holds NUL or other control bytes, "
          "which no text holds. A camera list is a text file: is this the file you meant?";
      return;
    case Verdict::kOnlyNearMisses:
      out +=
          "No camera line: brivel skips every line meant as a camera, and writes nothing. "
          "Mend the lines as the findings say.";
      return;
    case Verdict::kNoCameraLines:
      out +=
          "No camera line, and no line that looks meant as one: brivel writes nothing for "
          "this list. A camera line is a name in double quotes and seven items, such as "
          "\"gate\" x=10 y=-4 z=96 pitch=0 yaw=180 roll=0 fov=75.";
      return;
  }
}

std::string_view verdict_code(Verdict verdict) {
  switch (verdict) {
    case Verdict::kCameraList:
      return "camera-list";
    case Verdict::kEmpty:
      return "empty";
    case Verdict::kUtf16:
      return "utf16";
    case Verdict::kUtf8ByteOrderMark:
      return "utf8-byte-order-mark";
    case Verdict::kBinary:
      return "binary";
    case Verdict::kOnlyNearMisses:
      return "only-near-misses";
    case Verdict::kNoCameraLines:
      return "no-camera-lines";
  }
  return "unknown";
}

namespace {

// `text` as the contents of a JSON string: control bytes escaped, and any
// byte that is not part of well-formed UTF-8 as U+FFFD.
void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  for_each_character(text, [&](const char* p, std::size_t length, bool well_formed) {
    const auto b = static_cast<unsigned char>(*p);
    if (well_formed) {
      out.append(p, length);
    } else if (b >= 0x80) {
      out += "\\ufffd";
    } else if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b == '\n') {
      out += "\\n";
    } else if (b == '\t') {
      out += "\\t";
    } else if (b == '\r') {
      out += "\\r";
    } else if (b < 0x20 || b == 0x7F) {
      out += "\\u00";
      append_hex(out, *p, "0123456789abcdef");
    } else {
      out += static_cast<char>(b);
    }
  });
  out += '"';
}

}  // namespace

void append_json(std::string& out, std::string_view file, const Finding& finding) {
  out += "{\"kind\":\"finding\",\"file\":";
  append_json_string(out, file);
  append_field(out, "line", finding.line);
  append_field(out, "column", finding.column);
  append_field(out, "byte_column", finding.byte_column);
  out += ",\"severity\":\"warning\",\"code\":";
  append_json_string(out, reason_code(finding.reason));
  out += ",\"message\":";
  append_json_string(out, finding.words);
  out += ",\"excerpt\":";
  append_json_string(out, finding.excerpt);
  // The mark in characters of the excerpt, as it is decoded.
  std::size_t mark = 0;
  for_each_character(finding.excerpt.substr(0, finding.mark),
                     [&](const char*, std::size_t, bool) { ++mark; });
  append_field(out, "excerpt_mark", mark);
  out += ",\"excerpt_starts_line\":";
  out += finding.excerpt_starts_line ? "true" : "false";
  out += ",\"excerpt_ends_line\":";
  out += finding.excerpt_ends_line ? "true" : "false";
  out += "}\n";
}

void append_json_summary(std::string& out, const Totals& totals) {
  const Counts& c = totals.counts;
  out += "{\"kind\":\"summary\"";
  append_field(out, "files", totals.files);
  append_field(out, "unreadable_files", totals.unreadable_files);
  append_field(out, "lines", c.lines);
  append_field(out, "cameras", c.cameras);
  append_field(out, "cameras_with_default_fov", c.cameras_with_default_fov);
  append_field(out, "skipped_lines", c.skipped_lines);
  append_field(out, "findings", c.findings);
  out += "}\n";
}

}  // namespace diagnosis
