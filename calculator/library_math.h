// The C library's sine, cosine and tangent, which math/trigonometric.cpp
// still forwards to for now. On Windows they come from the C run-time DLL
// (library_math_windows.cpp): MinGW-w64's static libm computes them with
// x87 code that loses digits (sin(pi) wrong in the fifth digit).
#pragma once

#include <cmath>

namespace calculator_core {
namespace library_math {

#ifdef _WIN32
double Sin(double x);
double Cos(double x);
double Tan(double x);
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
#endif

}  // namespace library_math
}  // namespace calculator_core
