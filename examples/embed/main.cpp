// Evaluates the expression given as the only argument and prints its value
// with all 17 significant digits. Exits with status 1 on an evaluation error.
//
//   $ evaluate '2*sigma(i,1,3,i)+1'
//   13
//   $ evaluate '1/0'
//   Error : Can't divide by 0.

#include <calculator/calculator.hpp>
#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s EXPRESSION\n", argv[0]);
    return 2;
  }
  // One session keeps its variables from one evaluation to the next.
  calculator::Session session;
  // Errors inside set, integral and sigma are reported, not thrown.
  session.on_report([](std::string_view line) {
    std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
  });
  try {
    double value = session.evaluate(argv[1]);
    std::printf("%.17g\n", value);
  } catch (const calculator::Error& error) {
    std::printf("Error : %s\n", error.what());
    return 1;
  }
  return 0;
}
