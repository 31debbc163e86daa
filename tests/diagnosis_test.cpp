// The diagnosis through the read loop: for each kind of line worth a word,
// the finding it must give (line, column in characters and in bytes, reason,
// words), read in one read and a byte at a time, as Linux reads text and as
// Windows does; and the Windows text rules on their own.
#include "diagnosis/diagnosis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cli/convert.h"
#include "diagnosis/windows_text.h"
#include "fuzz/diagnosis_agreement.h"

namespace {

using diagnosis::Reason;

class Discard : public cli::ByteSink {
 public:
  int write(const char*, std::size_t) override { return 0; }
};

struct Got {
  diagnosis::Count line;
  diagnosis::Count column;
  diagnosis::Count byte_column;
  Reason reason;
  std::string words;
  std::string excerpt;
  std::size_t mark;
  bool has_position = false;
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool excerpt_ends_line = false;
  bool operator==(const Got& o) const {
    return line == o.line && column == o.column && byte_column == o.byte_column &&
           reason == o.reason && words == o.words;
  }
};

std::ostream& operator<<(std::ostream& out, const Got& g) {
  return out << g.line << ":" << g.column << " (byte " << g.byte_column << ") "
             << diagnosis::reason_code(g.reason) << ": " << g.words;
}

class Collector : public diagnosis::Listener {
 public:
  void finding(const diagnosis::Finding& f) override {
    findings.push_back({f.line, f.column, f.byte_column, f.reason, std::string(f.words),
                        std::string(f.excerpt), f.mark, f.has_position, f.x, f.y,
                        f.excerpt_ends_line});
  }
  std::vector<Got> findings;
};

struct Diagnosed {
  std::vector<Got> findings;
  diagnosis::Counts counts;
  diagnosis::Verdict verdict;
};

cli::ConversionBuffers& buffers() {
  static const auto shared = std::make_unique<cli::ConversionBuffers>();
  return *shared;
}

Diagnosed diagnose(const std::string& input, bool windows_text, std::size_t read_size) {
  const std::vector<std::size_t> sizes{read_size};
  agreement::PiecewiseSource source(input, sizes);
  diagnosis::WindowsTextSource windows(source);
  cli::ByteSource& text =
      windows_text ? static_cast<cli::ByteSource&>(windows) : static_cast<cli::ByteSource&>(source);
  Collector collector;
  diagnosis::Diagnosis diagnosis(collector);
  Discard blocks;
  cli::convert(text, blocks, cli::Flush::kWhenFullOrWaiting, buffers(), &diagnosis);
  if (windows_text) windows.read_past_ctrl_z();
  diagnosis.finish(windows.ctrl_z());
  return {collector.findings, diagnosis.counts(), diagnosis.verdict()};
}

enum Modes { kLinux = 1, kWindows = 2, kBoth = 3 };

struct Row {
  const char* label;
  std::string input;
  Modes modes;
  std::vector<Got> findings;  // excerpt and mark are not compared here
};

// A literal's bytes, NULs included.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string with_nul(std::string text, std::size_t at) {
  text[at] = '\0';
  return text;
}

const std::string kCamera = "\"a\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6";
const char* const kBinaryWords =
    "binary data, not a camera list: this line holds NUL or other control bytes, which no text "
    "holds; no more lines are explained";
const std::string kHead = "\"cut\" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6 fov=";

const char* const kCarriageReturnWords =
    "a carriage return with no line feed after it ends the line before this camera line, as in "
    "lists saved with the line ends of old Macs: brivel ends lines at line feeds only, so this "
    "camera and any after it are read as part of that line, and lost";

Got at(std::size_t line, std::size_t column, Reason reason, std::string words) {
  return {line, column, column, reason, std::move(words), "", 0};
}

const Row kRows[] = {
    {"blank lines, comments and other lines give nothing",
     "\n   \n\t\r\n# x=1 y=2 z=3\n; yaw=5 roll=6\n// \"a\" x=1\nnotes: a list\n" + kCamera + "\n" +
         kCamera + " fov=7\n",
     kBoth,
     {}},
    {"the line ends after the opening quote",
     "  \"",
     kBoth,
     {at(1, 4, Reason::kNoName,
         "the line ends after the opening quote: the name and its closing quote are missing")}},
    {"an empty name",
     "\"\" x=1 y=2\n",
     kBoth,
     {at(1, 2, Reason::kEmptyName,
         "the name is empty: a camera line's name has at least one character")}},
    {"no closing quote",
     "\"gate x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 39, Reason::kNoClosingQuote, "the closing quote of the name is missing")}},
    {"a curly closing quote",
     "\"gate\xE2\x80\x9D x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {{1, 6, 6, Reason::kCurlyClosingQuote,
       "the name ends with a curly quote (\xE2\x80\x9D), but it must end with a straight double "
       "quote (\")",
       "", 0}}},
    {"a NUL in the name: marked at the NUL, not at the end",
     with_nul("\"ga?e\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n", 3),
     kBoth,
     {at(1, 4, Reason::kNulInName, "a NUL byte ends the line inside the name")}},
    {"a NUL after the name",
     with_nul("\"a\" x=1 ? y=2 z=3 pitch=4 yaw=5 roll=6\n", 8),
     kBoth,
     {at(1, 9, Reason::kNul, "a NUL byte ends the line's text here, where y= should follow x=1")}},
    {"a NUL before the name, or before the keys of a line without quotes; not before a word",
     with_nul("?\"gate\" x=10 y=-4 z=96 pitch=0 yaw=180 roll=0 fov=75\n", 0) +
         with_nul("  gate ? x=1 y=2\n", 7) + with_nul("  ? x=1 notes\n", 2),
     kBoth,
     {at(1, 1, Reason::kNul,
         "a NUL byte ends the line's text here: brivel reads nothing after it, and what follows "
         "looks like a camera line"),
      at(2, 8, Reason::kNul,
         "a NUL byte ends the line's text here: brivel reads nothing after it, and what follows "
         "looks like a camera line")}},
    {"a missing key",
     "\"market\" x=100 y=200\n",
     kBoth,
     {at(1, 21, Reason::kMissingKey, "z is missing after y=200")}},
    {"a missing key, a later one present",
     "\"a\" x=1 y=2 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 13, Reason::kMissingKey, "z is missing after y=2")}},
    {"keys out of order",
     "\"a\" x=1 z=3 y=2 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 9, Reason::kKeysOutOfOrder,
         "z= stands where y= belongs: the keys come in the order x, y, z, pitch, yaw, roll, fov")}},
    {"a key typo",
     "\"a\" x=1 y=2 z=3 ptich=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 17, Reason::kKeyTypo, "\"ptich\" is not a key: pitch= was expected after z=3")}},
    {"an upper-case key",
     "\"a\" x=1 Y=2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 9, Reason::kUpperCaseKey, "Y= must be written in lower case: y=")}},
    {"a space before =",
     "\"dock\" x=1 y =2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 12, Reason::kSpaceBeforeEquals,
         "a space between y and =: the = must follow the key directly")}},
    {"a key without =",
     "\"gate\" x: 10 y=2\n",
     kBoth,
     {at(1, 9, Reason::kKeyWithoutEquals, "x must be followed directly by =, not \":\"")}},
    {"something else where a key belongs",
     "\"a\" x=1 y=2 z=3 pitch=4 yaw=9O roll=6\n",
     kBoth,
     {at(1, 30, Reason::kUnexpected, "roll= was expected after yaw=9, not \"O\"")}},
    {"a decimal point or comma, but not a comma between items",
     "\"a\" x=1.5 y=2 z=3 pitch=4 yaw=5 roll=6\n\"a\" x=1,5 y=2 z=3 pitch=4 yaw=5 roll=6\n"
     "\"a\" x=1, y=2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 8, Reason::kDecimalPoint,
         "a decimal point after x=1: numbers are whole, and the line is read no further"),
      at(2, 8, Reason::kDecimalPoint,
         "a decimal comma after x=1: numbers are whole, and the line is read no further"),
      at(3, 8, Reason::kUnexpected, "y= was expected after x=1, not \",\"")}},
    {"a hexadecimal number, quoted with its sign",
     "\"a\" x=1 y=0x1F z=3 pitch=4 yaw=5 roll=6\n\"a\" x=1 y=-0x1F z=3\n",
     kBoth,
     {at(1, 12, Reason::kHexNumber,
         "y=0x1F is a hexadecimal number, but numbers are decimal: y reads as 0, and the line is "
         "read no further"),
      at(2, 13, Reason::kHexNumber,
         "y=-0x1F is a hexadecimal number, but numbers are decimal: y reads as 0, and the line is "
         "read no further")}},
    {"no number",
     "\"a\" x=1 y= z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 12, Reason::kNoNumber, "y= has no number")}},
    {"a sign without digits",
     "\"a\" x=- y=2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 8, Reason::kSignWithoutDigits, "the sign of x has no digits after it")}},
    {"a space after the sign",
     "\"a\" x=1 y=2 z=- 3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 16, Reason::kSpaceAfterSign, "a space between the sign and the digits of z")}},
    {"two signs",
     "\"a\" x=1 y=2 z=3 pitch=+-4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 24, Reason::kTwoSigns, "two signs before the number of pitch")}},
    {"curly quotes",
     "\xE2\x80\x9Cgate\xE2\x80\x9D x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 1, Reason::kCurlyQuotes,
         "the name is in curly quotes, but a camera line's name is in straight double quotes "
         "(\"name\")")}},
    {"single quotes",
     "  'gate' x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 3, Reason::kSingleQuotes,
         "the name is in single quotes, but a camera line's name is in straight double quotes "
         "(\"name\")")}},
    {"no quotes",
     "gate x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 1, Reason::kNoQuotes,
         "no name in double quotes: a camera line starts with one (\"name\" x=...)")}},
    {"a quoted name, but not first",
     "light \"sun\" x=0 y=0 z=9000\n",
     kBoth,
     {at(1, 1, Reason::kNoQuotes,
         "a camera line starts with its name in double quotes, but this one starts with "
         "\"light\"")}},
    {"a UTF-8 byte-order mark before the first camera",
     "\xEF\xBB\xBF" + kCamera + "\n" + kCamera + "\n",
     kBoth,
     {at(1, 1, Reason::kUtf8ByteOrderMark,
         "a UTF-8 byte-order mark (BOM) at the start of the list stands before the quote, so the "
         "camera on this line is lost: save the list as UTF-8 without a BOM")}},
    {"a byte-order mark after the first line, as in lists joined",
     kCamera + "\n\xEF\xBB\xBF" + kCamera + "\n",
     kBoth,
     {at(2, 1, Reason::kNoQuotes,
         "a camera line starts with its name in double quotes, but this one starts with a UTF-8 "
         "byte-order mark (BOM, the bytes EF BB BF), as where lists saved with one are joined: "
         "save each as UTF-8 without a BOM")}},
    {"a misspelt fov",
     kCamera + " FOV=70\n",
     kBoth,
     {at(1, 38, Reason::kDefaultFov,
         "FOV= must be written in lower case: fov=, so the camera gets fov 90")}},
    {"a spaced fov",
     kCamera + " fov =70\n",
     kBoth,
     {at(1, 38, Reason::kDefaultFov,
         "a space between fov and =: the = must follow the key directly, so the camera gets fov "
         "90")}},
    {"a fov without digits",
     kCamera + " fov=-\n",
     kBoth,
     {at(1, 43, Reason::kDefaultFov,
         "the sign of fov has no digits after it, so the camera gets fov 90")}},
    {"text after roll",
     kCamera + " # north gate\n",
     kBoth,
     {at(1, 38, Reason::kDefaultFov,
         "fov= was expected after roll=6, not \"#\", so the camera gets fov 90")}},
    {"text right after roll at the end of the input",
     kCamera + "X",
     kBoth,
     {at(1, 37, Reason::kDefaultFov, "fov is missing after roll=6, so the camera gets fov 90")}},
    {"a key at the end of the input",
     "\"a\" x=1 y=",
     kBoth,
     {at(1, 11, Reason::kNoNumber, "y= has no number")}},
    {"numbers at the ends of 32 bits, with leading zeros, give nothing",
     "\"a\" x=-2147483648 y=2147483647 z=+00000000002147483647 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {}},
    {"numbers beyond 32 bits, which read modulo 2^32",
     "\"a\" x=3000000000 y=2 z=3 pitch=4 yaw=5 roll=6 \n\"b\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 "
     "fov=-2147483649\n",
     kBoth,
     {at(1, 7, Reason::kNumberOutOfRange,
         "the number of x lies outside -2147483648 to 2147483647, the range of brivel's numbers, "
         "and reads as -1294967296"),
      at(2, 42, Reason::kNumberOutOfRange,
         "the number of fov lies outside -2147483648 to 2147483647, the range of brivel's numbers, "
         "and reads as 2147483647")}},
    {"a fov with a fraction",
     kCamera + " fov=1.5\n" + kCamera + " fov=67,5\n" + kCamera + " fov=60, 90\n",
     kBoth,
     {at(1, 43, Reason::kFovFraction,
         "numbers are whole: fov=1.5 reads as 1, and the camera gets fov 1"),
      at(2, 44, Reason::kFovFraction,
         "numbers are whole: fov=67,5 reads as 67, and the camera gets fov 67")}},
    {"a hexadecimal fov",
     kCamera + " fov=0x5A\n" + kCamera + " fov=+0x5A\n" + kCamera + " fov=00x5A\n",
     kBoth,
     {at(1, 43, Reason::kFovHex,
         "fov=0x5A is a hexadecimal number, but numbers are decimal: the camera gets fov 0"),
      at(2, 44, Reason::kFovHex,
         "fov=+0x5A is a hexadecimal number, but numbers are decimal: the camera gets fov 0"),
      at(3, 44, Reason::kFovHex,
         "fov=00x5A is a hexadecimal number, but numbers are decimal: the camera gets fov 0")}},
    {"camera lines joined on one line, or ended by a carriage return alone",
     kCamera + " fov=7 " + kCamera + "\n" + kCamera + "\r" + kCamera + " fov=7\r\n" + kCamera +
         " fov=7 // \"b\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n# list 3\r" + kCamera +
         "\r\n\"b\" x=1 // \"c\" x=1\r" + kCamera + "\r\n",
     kBoth,
     {at(1, 44, Reason::kJoinedCamera,
         "a second camera line starts here, on the line of the camera before it: brivel reads one "
         "camera a line and ignores the rest of the line, so this camera is lost"),
      at(2, 38, Reason::kDefaultFov,
         "fov= was expected after roll=6, not a double quote, so the camera gets fov 90"),
      at(2, 38, Reason::kJoinedCamera, kCarriageReturnWords),
      at(4, 10, Reason::kJoinedCamera, kCarriageReturnWords),
      at(5, 20, Reason::kJoinedCamera, kCarriageReturnWords)}},
    {"a camera commented out after a carriage return alone is none lost",
     "# list 3\r# " + kCamera + "\r\n" + kCamera + " fov=7\r// " + kCamera + "\r\n",
     kBoth,
     {}},
    {"spaces, signs and digits of other kinds, which brivel reads as none",
     "\"a\" x=1 y=\xE2\x88\x92"
     "2\n\"a\" x=\xEF\xBC\x91\n\"a\" x=\xC2\xA0"
     "1\n\"a\" "
     "x=1\xE2\x80\xAFy=2\n" +
         kCamera +
         " fov=\xE2\x80\x93"
         "75\n\"a\" x=\xE2\x80\x8B"
         "1\n\"a\" x=\x96"
         "1\n",
     kBoth,
     {at(1, 11, Reason::kLookalike,
         "y= has no number that brivel reads: it starts with a minus sign \"\xE2\x88\x92\" "
         "(U+2212), and a number's sign is - or +"),
      at(2, 7, Reason::kLookalike,
         "x= has no number that brivel reads: it starts with a full-width digit "
         "\"\xEF\xBC\x91\" (U+FF11), and numbers are written in the digits 0 to 9"),
      at(3, 7, Reason::kLookalike,
         "x= has no number that brivel reads: it starts with a no-break space (U+00A0), and only "
         "spaces, tabs and line ends may stand between = and the number"),
      at(4, 8, Reason::kUnexpected,
         "y= was expected after x=1, not a narrow no-break space (U+202F)"),
      at(5, 42, Reason::kDefaultFov,
         "fov= has no number that brivel reads: it starts with an en dash \"\xE2\x80\x93\" "
         "(U+2013), and a number's sign is - or +, so the camera gets fov 90"),
      at(6, 7, Reason::kLookalike,
         "x= has no number that brivel reads: it starts with a zero-width space (U+200B), and "
         "only spaces, tabs and line ends may stand between = and the number"),
      at(7, 7, Reason::kLookalike,
         "x= has no number that brivel reads: it starts with an en dash (the byte 0x96 of "
         "Windows-1252 text), and a number's sign is - or +")}},
    {"angle quotes, and a dash that is no curly quote",
     "\xC2\xAB"
     "gate\xC2\xBB x=1 y=2\n\"gate\xC2\xBB x=1 y=2\n\"gate\xBB x=1 y=2\n\"gate "
     "\xE2\x80\x94 x=1 y=2\n",
     kBoth,
     {at(1, 1, Reason::kCurlyQuotes,
         "the name is in angle quotes, but a camera line's name is in straight double quotes "
         "(\"name\")"),
      at(2, 6, Reason::kCurlyClosingQuote,
         "the name ends with an angle quote (\xC2\xBB), but it must end with a straight double "
         "quote (\")"),
      at(3, 6, Reason::kCurlyClosingQuote,
         "the name ends with an angle quote (the byte 0xBB), but it must end with a straight "
         "double quote (\")"),
      {4, 16, 18, Reason::kNoClosingQuote, "the closing quote of the name is missing", "", 0}}},
    {"an exponent, or digits grouped by thousands, which cut the number short",
     kCamera + " fov=1e2\n" + kCamera +
         " fov=1'024\n\"a\" x=1\xC2\xA0"
         "024 y=2\n\"a\" x=-2E+3\n" +
         kCamera + " fov=75.0\n",
     kBoth,
     {at(1, 43, Reason::kExponent,
         "fov=1e2 has an exponent, but numbers are whole and written without one: the camera "
         "gets fov 1"),
      at(2, 43, Reason::kDigitGrouping,
         "fov=1'024 groups its digits, but numbers are written without separators: the camera "
         "gets fov 1"),
      at(3, 8, Reason::kDigitGrouping,
         "x=1\xC2\xA0"
         "024 groups its digits, but numbers are written without separators: x "
         "reads as 1, and the line is read no further"),
      at(4, 9, Reason::kExponent,
         "x=-2E+3 has an exponent, but numbers are whole and written without one: x reads as -2, "
         "and the line is read no further")}},
    {"a camera written as JSON or YAML write one, and a legend that is none",
     "{\"name\": \"gate\", \"x\": 10, \"y\": -4, \"z\": 96, \"fov\": 75}\n"
     "gate: {x: 10, y: -4, z: 96}\nAxes: x: east, y: north, z: up\nOrigin at x: 0, y: 0, z: "
     "0\n",
     kBoth,
     {at(1, 19, Reason::kKeyWithoutEquals,
         "this line holds a camera with ':' after its keys, as JSON or YAML write one, but brivel "
         "reads only lines such as \"name\" x=10 y=-4 z=96 pitch=0 yaw=180 roll=0 fov=75"),
      at(2, 8, Reason::kKeyWithoutEquals,
         "this line holds a camera with ':' after its keys, as JSON or YAML write one, but brivel "
         "reads only lines such as \"name\" x=10 y=-4 z=96 pitch=0 yaw=180 roll=0 fov=75")}},
    {"a double quote inside a name, or around a number",
     "\"gate \\\"north\\\"\" x=1\n\"gate \"\"north\"\"\" x=1\n\"gate\\\" y=1\n\"a\" x=\"10\" "
     "y=\"2\"\n\"gate\" \"north\" x=1\n\"a\" x=\xE2\x80\x9C"
     "10\xE2\x80\x9D y=2\n",
     kBoth,
     {at(1, 8, Reason::kQuoteInName,
         "the name ends at this double quote, but the line goes on as if it did not: a name holds "
         "no double quote, escaped (\\\") or doubled (\"\")"),
      at(2, 7, Reason::kQuoteInName,
         "the name ends at this double quote, but the line goes on as if it did not: a name holds "
         "no double quote, escaped (\\\") or doubled (\"\")"),
      at(3, 9, Reason::kMissingKey, "x is missing after the name"),
      at(4, 7, Reason::kQuotedNumber,
         "the number of x stands in quotes, but numbers are written without them"),
      at(5, 8, Reason::kUnexpected, "x= was expected after the name, not a double quote"),
      at(6, 7, Reason::kQuotedNumber,
         "the number of x stands in quotes, but numbers are written without them")}},
    {"a key with a letter of another script that looks like the Latin one",
     "\"a\" \xD1\x85=1\n\"a\" x=1 y=2 z=3 pitch=4 y\xD0\xB0w=5\n" + kCamera + " f\xCE\xBFv=7\n",
     kBoth,
     {at(1, 5, Reason::kLookalike,
         "x is written with the Cyrillic letter \"\xD1\x85\" where the Latin x belongs"),
      at(2, 26, Reason::kLookalike,
         "yaw is written with the Cyrillic letter \"\xD0\xB0\" where the Latin a belongs"),
      at(3, 39, Reason::kDefaultFov,
         "fov is written with the Greek letter \"\xCE\xBF\" where the Latin o belongs, so the "
         "camera gets fov 90")}},
    {"columns count characters: a UTF-8 sequence is one",
     "\"caf\xC3\xA9\" x=1 y=2 pitch=3\n",
     kBoth,
     {{1, 16, 17, Reason::kMissingKey, "z is missing after y=2", "", 0}}},
    {"columns count characters: bytes that no well-formed character starts are one each",
     "\"caf\xE0\x80\x80\xED\xA0\x80\" x=1 y=2 pitch=3\n",
     kBoth,
     {{1, 21, 21, Reason::kMissingKey, "z is missing after y=2", "", 0}}},
    {"a fov number cut at the piece boundary",
     kHead + std::string(1023 - kHead.size() - 1, ' ') + "12\n",
     kBoth,
     {at(1, 1024, Reason::kCutLosesItems,
         "this line is longer than a piece (1023 bytes), and the camera comes from its piece "
         "before the cut here: the cut falls inside the number of fov, which reads as 1, not "
         "12")}},
    {"fov without a number at the piece boundary",
     kHead + std::string(1023 - kHead.size(), ' ') + "\n",
     kBoth,
     {at(1, 1024, Reason::kDefaultFov, "fov= has no number, so the camera gets fov 90")}},
    {"fov beyond the piece boundary",
     kHead + std::string(1023 - kHead.size(), ' ') + "45\n",
     kBoth,
     {at(1, 1024, Reason::kCutLosesItems,
         "this line is longer than a piece (1023 bytes), and the camera comes from its piece "
         "before the cut here: fov=45 lies beyond the cut, so the camera gets fov 90")}},
    {"a misfit that starts before the piece boundary is marked where it starts",
     std::string(994, ' ') + "\"gate\" x=1 y=2 z=3 pitch=4 yax=5 roll=6\n" +
         std::string(1023 - kCamera.size() - 2, ' ') + kCamera + " f\n",
     kBoth,
     {at(1, 1022, Reason::kKeyTypo, "\"yax\" is not a key: yaw= was expected after pitch=4"),
      at(2, 1023, Reason::kDefaultFov,
         "fov= was expected after roll=6, not \"f\", so the camera gets fov 90")}},
    {"a camera cut after pitch",
     "\"" + std::string(1000, 'n') + "\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n",
     kBoth,
     {at(1, 1024, Reason::kCutLosesCamera,
         "this line is longer than a piece (1023 bytes), and brivel reads each piece as a line "
         "of its own: the first piece ends here, after pitch=4, so yaw and roll lie beyond the "
         "cut, and the line gives no camera")}},
    {"a name longer than a piece",
     "\"" + std::string(1100, 'n') + "\" x=1\n",
     kBoth,
     {at(1, 1024, Reason::kNameBeyondPiece,
         "this line is longer than a piece (1023 bytes), and its name goes on past the first "
         "piece, which brivel reads as a line of its own: a name of more than 994 bytes never "
         "makes a camera")}},
    {"a long name with control bytes, past the input's first 4096 bytes, is no binary data",
     std::string(4100, '#') + "\n\"\x01\x02\x03\x04" + std::string(1100, 'n') + "\" x=1\n",
     kBoth,
     {at(2, 1024, Reason::kNameBeyondPiece,
         "this line is longer than a piece (1023 bytes), and its name goes on past the first "
         "piece, which brivel reads as a line of its own: a name of more than 994 bytes never "
         "makes a camera")}},
    {"a near miss beyond the first piece",
     "\"a\" x=1" + std::string(1100, ' ') + "yz=2\n",
     kBoth,
     {at(1, 1108, Reason::kKeyTypo, "\"yz\" is not a key: y= was expected after x=1")}},
    {"a camera from the third piece, and a word on the line after",
     std::string(2046, '#') + kCamera + " fov=\n\"next\" x=1 y=2 z=3 pitch=4 yaw=5 rol=6\n",
     kBoth,
     {at(1, 2047, Reason::kCameraFromLaterPiece,
         "a camera from the middle of a long line: brivel reads a line of more than 1023 bytes in "
         "pieces, each as a line of its own, and the piece that starts here is a camera line"),
      at(2, 34, Reason::kKeyTypo, "\"rol\" is not a key: roll= was expected after yaw=5")}},
    {"a near miss after a piece of only whitespace: its piece is read as a line",
     std::string(1023, ' ') + "\"a\" x=1 y=2\n",
     kBoth,
     {at(1, 1035, Reason::kMissingKey, "z is missing after y=2")}},
    {"a byte-order mark and a piece of only whitespace before a near miss",
     "\xEF\xBB\xBF" + std::string(1030, ' ') + "\"a\" x=1 y=2\n",
     kBoth,
     {{1, 1043, 1045, Reason::kMissingKey, "z is missing after y=2", "", 0}}},
    {"a number beyond 32 bits in a camera cut at the piece's end",
     "\"a\" x=3000000000 y=2 z=3 pitch=4 yaw=5 roll=6 fov=7" + std::string(972, ' ') + "\n",
     kBoth,
     {at(1, 7, Reason::kNumberOutOfRange,
         "the number of x lies outside -2147483648 to 2147483647, the range of brivel's numbers, "
         "and reads as -1294967296")}},
    {"a number beyond 32 bits in a camera from a later piece",
     std::string(1023, ' ') + kCamera + " fov=99999999999\n",
     kBoth,
     {at(1, 1024, Reason::kCameraFromLaterPiece,
         "a camera from the middle of a long line: brivel reads a line of more than 1023 bytes in "
         "pieces, each as a line of its own, and the piece that starts here is a camera line"),
      at(1, 1065, Reason::kNumberOutOfRange,
         "the number of fov lies outside -2147483648 to 2147483647, the range of brivel's numbers, "
         "and reads as 1215752191")}},
    {"a camera after whitespace, marked where its text starts",
     std::string(2000, ' ') + kCamera + "\n",
     kBoth,
     {at(1, 2001, Reason::kCameraFromLaterPiece,
         "a camera from the middle of a long line: brivel reads a line of more than 1023 bytes in "
         "pieces, each as a line of its own, and the piece that starts here is a camera line")}},
    {"1022 bytes and CR LF: one piece in Windows text",
     "\"a\" x=1 y=2" + std::string(1022 - 11, ' ') + "\r\n",
     kWindows,
     {at(1, 1023, Reason::kMissingKey, "z is missing after y=2")}},
    {"1022 bytes and CR LF: two pieces, the CR in the first",
     "\"a\" x=1 y=2" + std::string(1022 - 11, ' ') + "\r\n",
     kLinux,
     {at(1, 1024, Reason::kMissingKey, "z is missing after y=2")}},
    {"UTF-16 with a byte-order mark",
     bytes("\xFF\xFE\"\0a\0\"\0\n\0"),
     kBoth,
     {at(1, 1, Reason::kUtf16,
         "the list is saved as UTF-16 (it starts with a UTF-16 byte-order mark): brivel reads "
         "bytes and finds no camera line in UTF-16 text; save the list as UTF-8 or ANSI")}},
    {"UTF-16 without one",
     bytes("#\0\n\0\"\0a\0\"\0 \0x\0=\0\n\0"),
     kBoth,
     {at(2, 1, Reason::kUtf16,
         "the list is saved as UTF-16 (a NUL byte stands beside each character): brivel reads "
         "bytes and finds no camera line in UTF-16 text; save the list as UTF-8 or ANSI")}},
    {"binary data",
     bytes("PK\x03\x04\x14\0\0\0\x08\0\"a\" x=1\n") + "\"b\" x=1\n",
     kBoth,
     {at(1, 3, Reason::kBinary, kBinaryWords)}},
    {"binary data: the control bytes beside the whitespace ones, and DEL",
     bytes("\"b\" x=1\x08\x0e\x1f\x7f\n"),
     kBoth,
     {at(1, 8, Reason::kBinary, kBinaryWords)}},
    {"a comment is no binary data, whatever control bytes it holds (colours)",
     "# \x1b[1mtitle\x1b[0m \x1b[31mred\x1b[0m\n\"b\" x=1\n# \x1b[1mtitle\x1b[0m "
     "\x1b[31mred\x1b[0m\r" +
         kCamera + "\n",
     kBoth,
     {at(2, 8, Reason::kMissingKey, "y is missing after x=1"),
      at(3, 30, Reason::kJoinedCamera, kCarriageReturnWords)}},
    {"the whitespace control bytes are no binary data, four of each",
     "\"b\" x=1\t\t\t\t\v\v\v\v\f\f\f\f\r\r\r\r \n",
     kLinux,
     {at(1, 25, Reason::kMissingKey, "y is missing after x=1")}},
    {"a Ctrl-Z in Windows text",
     kCamera + " fov=7\x1a junk\r\n" + kCamera + "\r\n\r\n\"b\" x=1\r\n",
     kWindows,
     {at(1, 43, Reason::kCtrlZ,
         "a Ctrl-Z (byte 0x1A) ends the input here, as the Windows program reads text: the rest "
         "of this line and 3 lines after it are not read")}},
    {"a Ctrl-Z is an ordinary byte elsewhere",
     kCamera + " fov=7\x1a junk\r\n" + kCamera + "\r\n\r\n\"b\" x=1\r\n",
     kLinux,
     {at(4, 8, Reason::kMissingKey, "y is missing after x=1")}},
    {"a Ctrl-Z with nothing after it is no news", kCamera + "\r\n\x1a\r\n", kBoth, {}},
};

class DiagnosisTable : public testing::TestWithParam<Row> {};

TEST_P(DiagnosisTable, GivesTheFinding) {
  const Row& row = GetParam();
  for (const bool windows_text : {false, true}) {
    if (!(row.modes & (windows_text ? kWindows : kLinux))) continue;
    for (const std::size_t read_size : {row.input.size() + 1, std::size_t{1}, std::size_t{7}}) {
      SCOPED_TRACE(std::string(windows_text ? "Windows text" : "Linux text") + ", reads of " +
                   std::to_string(read_size));
      const Diagnosed got = diagnose(row.input, windows_text, read_size);
      EXPECT_EQ(got.findings, row.findings);
      EXPECT_EQ(got.counts.findings, got.findings.size());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, DiagnosisTable, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                           std::string name;
                           for (const char c : std::string(info.param.label)) {
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

// The number beyond 32 bits is found wherever it stands in the line's words
// of eight bytes, and one of 32 bits beside it is not taken for one.
TEST(Diagnosis, FindsEachNumberBeyond32BitsWhereverItStands) {
  const char* const keys[] = {"x", "y", "z", "pitch", "yaw", "roll", "fov"};
  for (std::size_t name = 1; name <= 9; ++name) {
    for (int wrapped = 0; wrapped < 7; ++wrapped) {
      std::string line = "\"" + std::string(name, 'n') + "\"";
      std::size_t column = 0;
      for (int item = 0; item < 7; ++item) {
        line += std::string(" ") + keys[item] + "=";
        if (item == wrapped) column = line.size() + 1;
        line += item == wrapped ? "-2147483649" : item % 2 ? "2147483647" : "-2147483648";
      }
      const std::string words = std::string("the number of ") + keys[wrapped] +
                                " lies outside -2147483648 to 2147483647, the range of brivel's "
                                "numbers, and reads as 2147483647";
      EXPECT_EQ(diagnose(line + " \n", false, 4096).findings,
                std::vector<Got>{at(1, column, Reason::kNumberOutOfRange, words)})
          << line;
    }
  }
}

TEST(Diagnosis, CountsLinesNotPieces) {
  struct Case {
    std::string input;
    diagnosis::Counts counts;  // lines, cameras, with the default fov, skipped lines, findings
  };
  const Case cases[] = {
      {"", {0, 0, 0, 0, 0}},
      {"\n", {1, 0, 0, 1, 0}},
      {kCamera, {1, 1, 1, 0, 0}},
      {kCamera + "\n# c\n" + kCamera + " fov=7\n\"b\" x=1\n", {4, 2, 1, 2, 1}},
      // Two pieces, one line: the first a camera, the second not.
      {kCamera + " fov=7" + std::string(1500, ' ') + "x\n" + kCamera + "\n", {2, 2, 1, 0, 0}},
      // One line, a camera from its first piece and one from its third.
      {kCamera + " fov=7" + std::string(2046 - kCamera.size() - 6, ' ') + kCamera + "\n",
       {1, 2, 1, 0, 1}},
      {std::string(3000, 'x'), {1, 0, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 80));
    const diagnosis::Counts got = diagnose(c.input, false, c.input.size() + 1).counts;
    EXPECT_EQ(got.lines, c.counts.lines);
    EXPECT_EQ(got.cameras, c.counts.cameras);
    EXPECT_EQ(got.cameras_with_default_fov, c.counts.cameras_with_default_fov);
    EXPECT_EQ(got.skipped_lines, c.counts.skipped_lines);
    EXPECT_EQ(got.findings, c.counts.findings);
  }
}

// What the list is as a whole, for whoever must first know that; and where
// each near miss would stand, where the rules read its x and y.
TEST(Diagnosis, TellsWhatTheListIsAndWhereNearMissesStand) {
  using diagnosis::Verdict;
  struct Case {
    std::string input;
    Verdict verdict;
    std::vector<std::vector<std::int32_t>>
        positions;  // {x, y} of each finding, {} where it has none
  };
  const Case cases[] = {
      {"", Verdict::kEmpty, {}},
      {"# only a comment\n\n", Verdict::kNoCameraLines, {}},
      {kCamera + "\n", Verdict::kCameraList, {}},
      {"\"a\" x=-5 y=7 z=1\n\"b\" x=1\ngate x=1 y=2 z=3\n",
       Verdict::kOnlyNearMisses,
       {{-5, 7}, {}, {}}},
      {kCamera + " FOV=7\n\"c\" x=3 y=4\n", Verdict::kCameraList, {{}, {3, 4}}},
      {"\xEF\xBB\xBF\"d\" x=8 y=9 z=3 pitch=4 yaw=5 roll=6\n" + kCamera + "\n",
       Verdict::kUtf8ByteOrderMark,
       {{8, 9}}},
      {bytes("\xFF\xFE\"\0a\0\"\0\n\0"), Verdict::kUtf16, {{}}},
      {bytes("PK\x03\x04\x14\0\0\0\x08\0\"a\" x=1\n") + kCamera + "\n", Verdict::kBinary, {{}}},
      // The whole line, read across the cut: the camera it would have been.
      {"\"" + std::string(1000, 'n') + "\" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n",
       Verdict::kOnlyNearMisses,
       {{1, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input.substr(0, 60)));
    const Diagnosed got = diagnose(c.input, false, c.input.size() + 1);
    EXPECT_EQ(got.verdict, c.verdict);
    ASSERT_EQ(got.findings.size(), c.positions.size());
    for (std::size_t i = 0; i < c.positions.size(); ++i) {
      const Got& f = got.findings[i];
      EXPECT_EQ(f.has_position, !c.positions[i].empty()) << "finding " << i;
      if (f.has_position && !c.positions[i].empty()) {
        EXPECT_EQ(f.x, c.positions[i][0]);
        EXPECT_EQ(f.y, c.positions[i][1]);
      }
    }
  }
  // A list of one Ctrl-Z is not empty, though the Windows program reads no text in it.
  EXPECT_EQ(diagnose("\x1a", true, 2).verdict, Verdict::kNoCameraLines);
}

TEST(Diagnosis, ExcerptIsAWindowAroundTheColumn) {
  // A long line is shown around its column, not whole, and not cut inside a
  // UTF-8 sequence; a short one whole.
  const std::string long_line =
      "\"" + std::string(300, 'n') + "\xC3\xA9\" x=1 ptich=2" + std::string(200, 'm') + "\n";
  Diagnosed got = diagnose(long_line, false, long_line.size());
  ASSERT_EQ(got.findings.size(), 1u);
  const Got& f = got.findings[0];
  EXPECT_EQ(f.byte_column, 310u);
  EXPECT_EQ(f.column, 309u);
  EXPECT_EQ(f.excerpt.substr(f.mark, 5), "ptich");
  EXPECT_EQ(f.mark, diagnosis::kExcerptBefore);
  EXPECT_EQ(f.excerpt.size(), diagnosis::kExcerptLength);

  got = diagnose("\"market\" x=100 y=200\r\n", false, 100);
  ASSERT_EQ(got.findings.size(), 1u);
  EXPECT_EQ(got.findings[0].excerpt, "\"market\" x=100 y=200");
  EXPECT_EQ(got.findings[0].mark, 20u);

  // A line of one piece and its CR LF, no more, is shown to its end, as a short one is.
  const std::string head = "\"gate\" x=1 y=2 z=3 pitch=4 yax=5 roll=6";
  const std::string piece_long = std::string(1022 - head.size(), ' ') + head + "\r\n";
  got = diagnose(piece_long, false, piece_long.size());
  ASSERT_EQ(got.findings.size(), 1u);
  EXPECT_EQ(got.findings[0].column, 1011u);
  EXPECT_EQ(got.findings[0].excerpt.substr(got.findings[0].excerpt.size() - 7), " roll=6");
  EXPECT_TRUE(got.findings[0].excerpt_ends_line);
  // So is a line of one full piece that the input ends in, with no line feed.
  const std::string piece_last = std::string(1023 - head.size(), ' ') + head;
  got = diagnose(piece_last, false, piece_last.size());
  ASSERT_EQ(got.findings.size(), 1u);
  EXPECT_EQ(got.findings[0].excerpt.substr(got.findings[0].excerpt.size() - 7), " roll=6");
  EXPECT_TRUE(got.findings[0].excerpt_ends_line);
}

// The Windows program's text rules, read however the bytes arrive: a CR LF
// split over two reads still pairs, and a Ctrl-Z ends the text.
TEST(WindowsTextSource, ReadsAsATextStream) {
  struct Case {
    std::string input;
    std::string text;
    diagnosis::CtrlZStop ctrl_z;  // stopped, text after, rest of line, lines after
  };
  const Case cases[] = {
      {"a\r\nb\r\n", "a\nb\n", {}},
      {"a\r\r\nb\rc\r", "a\r\nb\rc\r", {}},
      {"\r\n\r\n\r", "\n\n\r", {}},
      {"a\r\x1a\r\nb", "a\r", {true, true, false, 1}},
      {"a\x1a b\nc\n\nd", "a", {true, true, true, 3}},
      {"a\x1a\r\n \n", "a", {true, false, false, 1}},
      {"\x1a", "", {true, false, false, 0}},
  };
  for (const Case& c : cases) {
    for (const std::size_t read_size :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, c.input.size()}) {
      for (const std::size_t capacity : {std::size_t{1}, std::size_t{2}, std::size_t{100}}) {
        SCOPED_TRACE(testing::PrintToString(c.input) + ", reads of " + std::to_string(read_size) +
                     " into " + std::to_string(capacity));
        const std::vector<std::size_t> sizes{read_size};
        agreement::PiecewiseSource source(c.input, sizes);
        diagnosis::WindowsTextSource windows(source);
        std::string text;
        char buffer[100];
        for (cli::ReadResult got; (got = windows.read(buffer, capacity)).bytes > 0;) {
          text.append(buffer, got.bytes);
        }
        EXPECT_EQ(windows.read_past_ctrl_z(), 0);
        EXPECT_EQ(text, c.text);
        const diagnosis::CtrlZStop& z = windows.ctrl_z();
        EXPECT_EQ(z.stopped, c.ctrl_z.stopped);
        EXPECT_EQ(z.text_after, c.ctrl_z.text_after);
        EXPECT_EQ(z.rest_of_line, c.ctrl_z.rest_of_line);
        EXPECT_EQ(z.lines_after, c.ctrl_z.lines_after);
      }
    }
  }
}

// The agreement with brivel on generated lists: the table's inputs, joined in
// random order and with random bytes changed, read in random reads.
TEST(Diagnosis, AgreesWithBrivelOnGeneratedLists) {
  std::mt19937 random(20261210);
  const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  const std::string changed = bytes("\n\r\x1a\"= \0x0.-") + "\xE2\x80\x9D";
  for (int list = 0; list < 2000 && !HasFailure(); ++list) {
    std::string input;
    for (std::size_t rows = 1 + below(6); rows > 0; --rows) {
      input += kRows[below(std::size(kRows))].input;
    }
    for (std::size_t changes = below(8); changes > 0 && !input.empty(); --changes) {
      input[below(input.size())] = changed[below(changed.size())];
    }
    std::vector<std::size_t> sizes;
    for (std::size_t reads = below(4); reads > 0; --reads) sizes.push_back(1 + below(2000));
    for (const bool windows_text : {false, true}) {
      EXPECT_EQ(agreement::disagreement(input, sizes, windows_text), "")
          << (windows_text ? "Windows" : "Linux") << " text: " << testing::PrintToString(input);
    }
  }
}

}  // namespace
