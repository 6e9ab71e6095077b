// The elementary functions the evaluator calls, ours on every platform:
// each returns the double nearest to the exact value (ties to even) for
// every double argument, computed with IEEE basic operations only, so that
// every target gives the same bits.
//
// Special values: log(0) = -inf; log, log10 of a negative number and sin,
// cos, tan of an infinity give the default NaN (sign set, quiet, no
// payload); a NaN argument comes back as it is, made quiet. Pow follows the
// C standard's special cases (x^0 = 1 for every x, 1^y = 1 for every y,
// (-1)^+-inf = 1, a negative base with a non-integer exponent gives the
// default NaN, +-0 to a negative odd integer gives +-inf).
#pragma once

namespace calculator_core {
namespace math {

double Sin(double x);
double Cos(double x);
double Tan(double x);
double Log(double x);
double Log10(double x);
double Pow(double base, double exponent);

}  // namespace math
}  // namespace calculator_core
