// brivel-check's command line:
//
//   brivel-check [--windows-text] [--format=gnu|json] [FILE...]
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace check {

enum class Format { kGnu, kJson };

struct Options {
  bool windows_text = false;
  Format format = Format::kGnu;
  bool help = false;
  bool version = false;
  // Standard input is "-", and stands alone when no file is named.
  std::vector<std::string_view> files;
  // Why the arguments are wrong, naming the argument; empty when they are not.
  std::string error;
};

// The Windows program reads files as bytes and applies the text rules of
// brivel.exe itself; elsewhere that takes --windows-text.
Options parse_options(const std::vector<std::string_view>& arguments, bool windows_text_by_default);

extern const char kUsage[];
extern const char kHelp[];

}  // namespace check
