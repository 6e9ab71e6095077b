// Checks our elementary functions against a file of expected results that
// the native harness wrote from MPFR (math_functions.h gives the format),
// on targets without MPFR: the WebAssembly module under Node, the Windows
// build under wine.
//
//   expected_values_check [FILE]      (standard input without FILE)
//
// Prints each function's count of calls and differences, and the first
// differences in full; the status is 1 when there is any, or no line.

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "math_functions.h"

namespace {

using namespace math_test;

constexpr int kDifferencesShown = 20;
constexpr int kFunctionCount = sizeof kMathFunctions / sizeof kMathFunctions[0];

struct Tally {
  std::uint64_t calls = 0;
  std::uint64_t differences = 0;
};

// Reads one line's fields; false on a line that does not parse.
bool ParseLine(const char* line, const MathFunction*& function, std::uint64_t arguments[2],
               std::uint64_t& expected) {
  char name[16];
  int consumed = 0;
  if (std::sscanf(line, "%15s%n", name, &consumed) != 1) {
    return false;
  }
  function = FindMathFunction(name);
  if (function == nullptr) {
    return false;
  }
  arguments[1] = 0;
  line += consumed;
  if (function->arity == 1) {
    return std::sscanf(line, "%" SCNx64 " %" SCNx64, &arguments[0], &expected) == 2;
  }
  return std::sscanf(line, "%" SCNx64 " %" SCNx64 " %" SCNx64, &arguments[0], &arguments[1],
                     &expected) == 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: expected_values_check [FILE]\n");
    return 2;
  }
  std::FILE* input = argc == 2 ? std::fopen(argv[1], "r") : stdin;
  if (input == nullptr) {
    std::perror(argv[1]);
    return 2;
  }
  Tally tallies[kFunctionCount];
  std::uint64_t shown = 0;
  bool malformed = false;
  char line[256];
  while (std::fgets(line, sizeof line, input) != nullptr) {
    const MathFunction* function = nullptr;
    std::uint64_t arguments[2];
    std::uint64_t expected = 0;
    if (!ParseLine(line, function, arguments, expected)) {
      std::printf("not an expected result: %s", line);
      malformed = true;
      continue;
    }
    Tally& tally = tallies[function - kMathFunctions];
    ++tally.calls;
    double ours = Call(*function, FromBits(arguments[0]), FromBits(arguments[1]));
    if (BitsOf(ours) != expected) {
      ++tally.differences;
      if (++shown <= kDifferencesShown) {
        std::printf("%s(%016" PRIx64, function->name, arguments[0]);
        if (function->arity == 2) {
          std::printf(", %016" PRIx64, arguments[1]);
        }
        std::printf("): ours %016" PRIx64 ", expected %016" PRIx64 "\n", BitsOf(ours), expected);
      }
    }
  }
  if (input != stdin) {
    std::fclose(input);
  }
  std::uint64_t total = 0;
  std::uint64_t differences = 0;
  for (int i = 0; i < kFunctionCount; ++i) {
    if (tallies[i].calls > 0) {
      std::printf("%s: %" PRIu64 " calls, %" PRIu64 " differences\n", kMathFunctions[i].name,
                  tallies[i].calls, tallies[i].differences);
    }
    total += tallies[i].calls;
    differences += tallies[i].differences;
  }
  return total > 0 && differences == 0 && !malformed ? 0 : 1;
}
