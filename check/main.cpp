// brivel-check: reads camera lists as brivel reads them and says what became
// of their lines, in the GNU diagnostic format or as JSON.
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "check/console_text.h"
#include "check/options.h"
#include "check/wide_text.h"
#include "cli/convert.h"
#include "cli/standard_streams.h"
#include "diagnosis/diagnosis.h"
#include "diagnosis/report.h"
#include "diagnosis/windows_text.h"

namespace {

constexpr int kNoFinding = 0;
constexpr int kFindings = 1;
constexpr int kTrouble = 2;  // an unreadable file, wrong arguments, a failed write

#ifdef _WIN32
// Files are read as bytes: the text rules of brivel.exe are applied here, so
// that a Ctrl-Z can be reported rather than silently end the input.
constexpr bool kWindowsTextByDefault = true;
int open_file(const std::string& path) {
  const std::wstring name = check::utf16(path);
  const int fd = _wopen(name.c_str(), _O_RDONLY | _O_BINARY);
  // A wildcard that matches no file is left as it stands, and the runtime
  // calls it an "Invalid argument".
  if (fd < 0 && errno == EINVAL && name.find_first_of(L"*?") != std::wstring::npos) errno = ENOENT;
  // The runtime calls a folder "Permission denied", which sends the user
  // looking at its permissions.
  if (fd < 0 && errno == EACCES) {
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      errno = EISDIR;
    }
  }
  return fd;
}
void close_file(int fd) {
  _close(fd);
}
void read_standard_input_as_bytes() {
  _setmode(0, _O_BINARY);
}
bool is_terminal(int fd) {
  return _isatty(fd) != 0;
}
#else
constexpr bool kWindowsTextByDefault = false;
int open_file(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}
void close_file(int fd) {
  close(fd);
}
void read_standard_input_as_bytes() {}
bool is_terminal(int fd) {
  return isatty(fd) != 0;
}
#endif

// Standard error, as standard output below, goes to a console as UTF-16.
void write_error(const std::string& text) {
  int error;
  if (!check::write_to_console(2, text, error)) cli::write_standard_error(text);
}

void complain(std::string_view file, std::string_view what, int error) {
  write_error("brivel-check: " + std::string(file) + ": " + std::string(what) +
              std::strerror(error) + "\n");
}

// What brivel-check writes, collected and handed on before each read of
// the input, so that findings show as the input comes.
class Output {
 public:
  std::string text;
  void flush() {
    if (error_ == 0 && !text.empty() && !check::write_to_console(1, text, error_)) {
      error_ = out_.write(text.data(), text.size());
    }
    text.clear();
  }
  int error() const { return error_; }

 private:
  cli::StandardOutput out_;
  int error_ = 0;
};

class FlushingInput : public cli::ByteSource {
 public:
  FlushingInput(cli::ByteSource& inner, Output& output) : inner_(inner), output_(output) {}
  cli::ReadResult read(char* into, std::size_t capacity) override {
    output_.flush();
    // Nobody reads the findings any more: read no further.
    if (output_.error() != 0) return {0, 0};
    return inner_.read(into, capacity);
  }

 private:
  cli::ByteSource& inner_;
  Output& output_;
};

// The blocks are not what brivel-check is run for.
class Discard : public cli::ByteSink {
 public:
  int write(const char*, std::size_t) override { return 0; }
};

class Printer : public diagnosis::Listener {
 public:
  Printer(Output& output, check::Format format, std::string_view file)
      : output_(output), format_(format), file_(file) {}
  void finding(const diagnosis::Finding& finding) override {
    if (format_ == check::Format::kGnu) {
      diagnosis::append_gnu(output_.text, file_, finding);
    } else {
      diagnosis::append_json(output_.text, file_, finding);
    }
    if (output_.text.size() >= 64 * 1024) output_.flush();
  }

 private:
  Output& output_;
  check::Format format_;
  std::string_view file_;
};

int check_file(std::string_view name, const check::Options& options, Output& output,
               cli::ConversionBuffers& buffers, diagnosis::Totals& totals) {
  const bool standard_input = name == "-";
  const std::string shown = standard_input ? "<stdin>" : std::string(name);
  int fd = 0;
  if (standard_input) {
    read_standard_input_as_bytes();
  } else if ((fd = open_file(std::string(name))) < 0) {
    const int error = errno;
    output.flush();
    complain(shown, "", error);
    ++totals.unreadable_files;
    return kTrouble;
  }
  cli::DescriptorInput file(fd);
  FlushingInput flushing(file, output);
  diagnosis::WindowsTextSource windows_text(flushing);
  cli::ByteSource& input =
      options.windows_text ? static_cast<cli::ByteSource&>(windows_text) : flushing;
  Printer printer(output, options.format, shown);
  diagnosis::Diagnosis diagnosis(printer);
  Discard blocks;
  const cli::ConversionResult result =
      cli::convert(input, blocks, cli::Flush::kWhenFullOrWaiting, buffers, &diagnosis);
  int read_error = result.outcome == cli::Outcome::kReadFailed ? result.error : 0;
  diagnosis::CtrlZStop ctrl_z;
  if (read_error == 0 && windows_text.ctrl_z().stopped) {
    // At a terminal, a Ctrl-Z is how the input is ended: nothing after it waits to be read.
    if (!(standard_input && is_terminal(0))) read_error = windows_text.read_past_ctrl_z();
    ctrl_z = windows_text.ctrl_z();
  }
  diagnosis.finish(ctrl_z);
  if (!standard_input) close_file(fd);

  const diagnosis::Counts& counts = diagnosis.counts();
  totals.counts.lines += counts.lines;
  totals.counts.cameras += counts.cameras;
  totals.counts.cameras_with_default_fov += counts.cameras_with_default_fov;
  totals.counts.skipped_lines += counts.skipped_lines;
  totals.counts.findings += counts.findings;
  if (read_error != 0) {
    output.flush();
    complain(shown, "read error: ", read_error);
    ++totals.unreadable_files;
    return kTrouble;
  }
  ++totals.files;
  return counts.findings > 0 ? kFindings : kNoFinding;
}

// The status of a run whose output could not be written, said on standard
// error; where the reader went away, quietly, as other filters end.
int write_failed(int error) {
  if (error != EPIPE) {
    write_error(std::string("brivel-check: write error: ") + std::strerror(error) + "\n");
  }
  return kTrouble;
}

int run(const std::vector<std::string_view>& arguments) {
  const check::Options options = check::parse_options(arguments, kWindowsTextByDefault);
  if (!options.error.empty()) {
    write_error("brivel-check: " + options.error + "\n" + check::kUsage +
                "Try 'brivel-check --help' for more.\n");
    return kTrouble;
  }
  Output output;
  if (options.help || options.version) {
    output.text = options.help ? std::string(check::kUsage) + check::kHelp
                               : std::string("brivel-check " BRIVEL_VERSION "\n");
    output.flush();
    return output.error() == 0 ? kNoFinding : write_failed(output.error());
  }

  // Static storage: zeroed before the program starts, and off the stack; one
  // file's run leaves nothing the next one reads.
  static cli::ConversionBuffers buffers;
  diagnosis::Totals totals;
  int status = kNoFinding;
  for (const std::string_view file : options.files) {
    const int file_status = check_file(file, options, output, buffers, totals);
    status = file_status > status ? file_status : status;
    if (output.error() != 0) break;
  }
  if (options.format == check::Format::kGnu) {
    diagnosis::append_gnu_summary(output.text, totals);
  } else {
    diagnosis::append_json_summary(output.text, totals);
  }
  output.flush();
  return output.error() == 0 ? status : write_failed(output.error());
}

}  // namespace

#ifdef _WIN32
// cmd.exe leaves a wildcard to the program: brivel-check *.txt names every
// list that matches (a name that matches nothing stays as it is).
extern "C" {
int _dowildcard = -1;
}

// Windows hands the arguments over in UTF-16 here (from main, in the ANSI code
// page); taken as UTF-8, a name outside that code page still names its file,
// and is written out as the lines of the lists are.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(check::utf8(argv[i]));
  return run(std::vector<std::string_view>(arguments.begin(), arguments.end()));
}
#else
int main(int argc, char** argv) {
  return run(std::vector<std::string_view>(argv + (argc > 0), argv + argc));
}
#endif
