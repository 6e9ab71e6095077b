// Runs the fuzz target over saved inputs without libFuzzer, so the seed
// corpus and the inputs that once failed are checked by every build, the
// sanitized one included.
//
// Usage: calculator_fuzz_replay PATH...
// A PATH that is a directory stands for every regular file in it, in name
// order. Inputs that the target abandoned at its work budget are listed.
// Fails when there is nothing to replay.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "fuzz/fuzz_target.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  LLVMFuzzerInitialize(&argc, &argv);

  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    fs::path path(argv[i]);
    std::error_code error;
    if (fs::is_directory(path, error)) {
      std::vector<fs::path> files;
      for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
        if (entry.is_regular_file()) {
          files.push_back(entry.path());
        }
      }
      std::sort(files.begin(), files.end());
      inputs.insert(inputs.end(), files.begin(), files.end());
    } else if (fs::is_regular_file(path, error)) {
      inputs.push_back(path);
    } else {
      std::fprintf(stderr, "calculator_fuzz_replay: no such file or directory: %s\n", argv[i]);
      return 1;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "calculator_fuzz_replay: nothing to replay\n");
    return 1;
  }

  for (const fs::path& path : inputs) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (!file.eof() && file.fail()) {
      std::fprintf(stderr, "calculator_fuzz_replay: cannot read %s\n", path.c_str());
      return 1;
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (LastInputOverBudget()) {
      std::printf("over the work budget: %s\n", path.c_str());
    }
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
