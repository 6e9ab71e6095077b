// The C library's elementary functions as the evaluator calls them. On
// Windows they come from the C run-time DLL (library_math_windows.cpp):
// MinGW-w64's static libm computes them with x87 code that loses digits
// (sin(pi) wrong in the fifth digit, pow hundreds of ULP off near overflow).
#pragma once

#include <cmath>

namespace calculator_core {
namespace library_math {

#ifdef _WIN32
double Sin(double x);
double Cos(double x);
double Tan(double x);
double Log(double x);
double Log10(double x);
double Pow(double base, double exponent);
#else
inline double Sin(double x) {
  return std::sin(x);
}
inline double Cos(double x) {
  return std::cos(x);
}
inline double Tan(double x) {
  return std::tan(x);
}
inline double Log(double x) {
  return std::log(x);
}
inline double Log10(double x) {
  return std::log10(x);
}
inline double Pow(double base, double exponent) {
  return std::pow(base, exponent);
}
#endif

}  // namespace library_math
}  // namespace calculator_core
