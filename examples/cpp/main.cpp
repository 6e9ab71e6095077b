// Evaluates each argument in one session and prints its value with all 17
// significant digits, or the error. Exits with status 1 if any argument
// failed.
//
//   $ evaluate 'set(r, 2)' 'pi*r^2'
//   2
//   12.566370614359172
//   $ evaluate '1/0'
//   Error : Can't divide by 0.
//
// The program has a `Calculator` type of its own: the C++ interface declares
// everything inside namespace calculator, and the C interface, included
// here too for its version number, names everything calculator_*.

#include <calculator/calculator.h>

#include <calculator/calculator.hpp>
#include <cstdio>
#include <string_view>

namespace {

// Counts what the program did, under a name that the library leaves free.
struct Calculator {
  int evaluated = 0;
  int failed = 0;
};

void PrintLine(std::string_view line) {
  std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s EXPRESSION...\n", argv[0]);
    return 2;
  }
  if (calculator_version_number() / 10000 != CALCULATOR_VERSION_MAJOR) {
    std::fprintf(stderr, "%s: built for calculator %s, found %s\n", argv[0],
                 CALCULATOR_VERSION_STRING, calculator::version());
    return 2;
  }
  Calculator counts;
  // One session keeps its variables from one evaluation to the next.
  calculator::Session session;
  // Errors inside set, integral and sigma are reported, not thrown.
  session.on_report(PrintLine);
  for (int i = 1; i < argc; ++i) {
    ++counts.evaluated;
    try {
      std::printf("%.17g\n", session.evaluate(argv[i]));
    } catch (const calculator::Error& error) {
      std::printf("Error : %s\n", error.what());
      ++counts.failed;
    }
  }
  return counts.failed == 0 ? 0 : 1;
}
