#include "cli/exit_status.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/standard_streams.h"

namespace cli {

int finish(const ConversionResult& result) {
  switch (result.outcome) {
    case Outcome::kEndOfInput:
      return kExitSuccess;
    case Outcome::kReadFailed:
      write_standard_error(std::string("brivel: read error: ") + std::strerror(result.error) +
                           "\n");
      return kExitFailure;
    case Outcome::kWriteFailed:
      // The reader went away: the run ends quietly, as other filters' do.
      if (result.error != EPIPE) {
        write_standard_error(std::string("brivel: write error: ") + std::strerror(result.error) +
                             "\n");
      }
      return kExitFailure;
  }
  return kExitFailure;
}

}  // namespace cli
