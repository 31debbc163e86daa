#include "check/options.h"

namespace check {

const char kUsage[] = "Usage: brivel-check [--windows-text] [--format=gnu|json] [FILE...]\n";

const char kHelp[] =
    "Reads camera lists as brivel reads them and says what became of their lines:\n"
    "why a line meant as a camera line was skipped, which cameras got the default\n"
    "fov or lost part of a number, and what in the input as a whole stops brivel.\n"
    "With no FILE, or where FILE is -, reads standard input.\n"
    "\n"
    "  --windows-text  read as brivel.exe does: CR LF is a line end, and a Ctrl-Z\n"
    "                  ends the input (always so in the Windows build)\n"
    "  --format=gnu    each finding as FILE:LINE:COLUMN: warning: REASON, then the\n"
    "                  line and a caret under the column (in characters); the default\n"
    "  --format=json   each finding as a JSON object on a line of its own, then a\n"
    "                  summary object (--format json, as two arguments, likewise)\n"
    "  --              take every argument after it for a FILE\n"
    "  --help          print this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "Exit status: 0 when there is no finding, 1 when there are findings, 2 when a\n"
    "file cannot be read, the output cannot be written or the arguments are wrong.\n";

Options parse_options(const std::vector<std::string_view>& arguments,
                      bool windows_text_by_default) {
  Options options;
  options.windows_text = windows_text_by_default;
  bool only_files = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (only_files || argument == "-" || argument.empty() || argument[0] != '-') {
      options.files.push_back(argument);
    } else if (argument == "--") {
      only_files = true;
    } else if (argument == "--windows-text") {
      options.windows_text = true;
    } else if (argument == "--help") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument.substr(0, 9) == "--format=" || argument == "--format") {
      std::string_view format = argument.substr(argument.size() > 8 ? 9 : 8);
      // Also as two arguments, "--format json".
      if (argument == "--format") {
        if (i + 1 == arguments.size()) {
          options.error = "--format needs a value: gnu or json";
          return options;
        }
        format = arguments[++i];
      }
      if (format == "gnu") {
        options.format = Format::kGnu;
      } else if (format == "json") {
        options.format = Format::kJson;
      } else {
        options.error = "unknown format '" + std::string(format) + "': gnu or json";
        return options;
      }
    } else {
      options.error = "unknown option '" + std::string(argument) + "'";
      return options;
    }
  }
  if (options.files.empty()) options.files.push_back("-");
  return options;
}

}  // namespace check
