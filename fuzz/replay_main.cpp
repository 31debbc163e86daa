// Runs a fuzz target once over each input it is given (files, or directories
// of files), without libFuzzer: this is how builds with other compilers, and
// the sanitizer build, replay the seed corpora and the committed findings.
// Arguments that start with "-" are libFuzzer options and are passed over.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void run_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path argument = argv[i];
    if (argv[i][0] == '-') continue;
    if (!std::filesystem::is_directory(argument)) {
      inputs.push_back(argument);
      continue;
    }
    for (const auto& entry : std::filesystem::directory_iterator(argument)) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const auto& path : inputs) run_file(path);
  std::cout << "replayed " << inputs.size() << " inputs\n";
  // An empty or misspelt corpus path must not pass for a clean run.
  return inputs.empty() ? 1 : 0;
}
