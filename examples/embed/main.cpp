// Evaluates the expression given as the only argument and prints its value
// with all 17 significant digits. Exits with status 1 on an evaluation error.
//
//   $ evaluate '2*sigma(i,1,3,i)+1'
//   13
//   $ evaluate '1/0'
//   Error : Can't divide by 0.

#include <calculator/calculator.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s EXPRESSION\n", argv[0]);
    return 2;
  }
  // One Calculator keeps its variables from one Calculate to the next.
  Calculator calculator;
  try {
    double value = Calculate(calculator, argv[1]);
    std::printf("%.17g\n", value);
  } catch (const EvaluationError& error) {
    std::printf("Error : %s\n", error.message);
    return 1;
  }
  return 0;
}
