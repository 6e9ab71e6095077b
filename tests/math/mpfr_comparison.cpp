// Our elementary functions against GNU MPFR's correctly rounded values:
// zero differences is the only pass.
//
//   mpfr_comparison hard FUNCTION FILE       every argument of a hard-case file
//   mpfr_comparison random FUNCTION COUNT [SEED]
//                                            COUNT arguments over the function's
//                                            rows of the range table
//   mpfr_comparison bounds FUNCTION COUNT FILE
//                                            the fast path's error against its
//                                            own bound, before the rounding
//                                            test, on the cases of FILE and
//                                            COUNT random arguments: the worst
//                                            ratio must stay below 1, and the
//                                            bound above the least that its
//                                            derivation allows
//   mpfr_comparison exponents                pow at every exponent of x, for
//                                            each dyadic y that its exact path
//                                            decides and x next to perfect
//                                            powers (exact results, midpoints)
//   mpfr_comparison expected OUTPUT COUNT CASE_DIR...
//                                            writes the expected results of the
//                                            functions checked on every target:
//                                            the cases of CASE_DIR/FUNCTION.txt
//                                            (and FUNCTION_own.txt), pow's x^(3/4)
//                                            traps at every exponent, and COUNT
//                                            random arguments each
//                                            (math_functions.h)
//
// A difference prints the function, the arguments and both results in
// hexadecimal; the status is 1 when there is any.

#include <mpfr.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "calculator/math/error_bounds.h"
#include "calculator/math/logarithm.h"
#include "calculator/math/power.h"
#include "calculator/math/trigonometric.h"
#include "math_functions.h"

namespace math_test {
namespace {

constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 51;
constexpr int kDifferencesShown = 20;

// ---------------------------------------------------------------------------
// The reference: MPFR at 53 bits, round to nearest, with binary64's exponent
// range and subnormals.

struct Reference {
  const char* name;
  int (*unary)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
  int (*binary)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);
  // Whether the WebAssembly and Windows builds check it too: ours on every
  // target, not yet a forwarding to the platform's function.
  bool checked_on_every_target;
};

const Reference kReferences[] = {
    {"sin", mpfr_sin, nullptr, true},     {"cos", mpfr_cos, nullptr, true},
    {"tan", mpfr_tan, nullptr, true},     {"log", mpfr_log, nullptr, true},
    {"log10", mpfr_log10, nullptr, true}, {"pow", nullptr, mpfr_pow, true},
};

const Reference* FindReference(const char* name) {
  for (const Reference& reference : kReferences) {
    if (std::strcmp(reference.name, name) == 0) {
      return &reference;
    }
  }
  return nullptr;
}

class Mpfr {
 public:
  Mpfr() {
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    mpfr_inits2(53, x_, y_, result_, static_cast<mpfr_ptr>(nullptr));
  }
  ~Mpfr() { mpfr_clears(x_, y_, result_, static_cast<mpfr_ptr>(nullptr)); }
  Mpfr(const Mpfr&) = delete;
  Mpfr& operator=(const Mpfr&) = delete;

  double Evaluate(const Reference& reference, double x, double y) {
    mpfr_set_d(x_, x, MPFR_RNDN);
    mpfr_set_d(y_, y, MPFR_RNDN);
    int inexact = reference.unary ? reference.unary(result_, x_, MPFR_RNDN)
                                  : reference.binary(result_, x_, y_, MPFR_RNDN);
    inexact = mpfr_subnormalize(result_, inexact, MPFR_RNDN);
    if (mpfr_nan_p(result_)) {
      return ExpectedNaN(reference, x, y);
    }
    return mpfr_get_d(result_, MPFR_RNDN);
  }

 private:
  // A NaN argument comes back made quiet (the first one, for pow); an
  // invalid operation gives the default NaN.
  static double ExpectedNaN(const Reference& reference, double x, double y) {
    if (std::isnan(x)) {
      return FromBits(BitsOf(x) | kQuietBit);
    }
    if (reference.binary && std::isnan(y)) {
      return FromBits(BitsOf(y) | kQuietBit);
    }
    return calculator_core::math::DefaultNaN();
  }

  mpfr_t x_, y_, result_;
};

// ---------------------------------------------------------------------------
// Comparison and report.

struct Tally {
  std::uint64_t calls = 0;
  std::uint64_t differences = 0;
};

void Compare(const MathFunction& function, const Reference& reference, Mpfr& mpfr, double x,
             double y, Tally& tally) {
  double ours = Call(function, x, y);
  double expected = mpfr.Evaluate(reference, x, y);
  ++tally.calls;
  if (BitsOf(ours) == BitsOf(expected)) {
    return;
  }
  if (++tally.differences <= kDifferencesShown) {
    if (function.arity == 1) {
      std::printf("%s(%a) [%016" PRIx64 "]", function.name, x, BitsOf(x));
    } else {
      std::printf("%s(%a, %a) [%016" PRIx64 ", %016" PRIx64 "]", function.name, x, y, BitsOf(x),
                  BitsOf(y));
    }
    std::printf(": ours %a [%016" PRIx64 "], MPFR %a [%016" PRIx64 "]\n", ours, BitsOf(ours),
                expected, BitsOf(expected));
  }
}

int Summary(const char* function, const char* what, const Tally& tally) {
  std::printf("%s: %" PRIu64 " %s, %" PRIu64 " differences from MPFR\n", function, tally.calls,
              what, tally.differences);
  return tally.differences == 0 && tally.calls > 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Hard-case files: '#' lines are comments; every other line is one argument
// (or "x,y" for pow) as a C99 hexadecimal float or a special value, maybe
// followed by "# comment".

bool ParseDouble(const char* text, double& value) {
  struct Special {
    const char* text;
    std::uint64_t bits;
  };
  static const Special kSpecials[] = {
      {"+snan", 0x7FF4000000000000u}, {"-snan", 0xFFF4000000000000u}, {"snan", 0x7FF4000000000000u},
      {"+nan", 0x7FF8000000000000u},  {"-nan", 0xFFF8000000000000u},  {"nan", 0x7FF8000000000000u},
  };
  for (const Special& special : kSpecials) {
    if (std::strcmp(text, special.text) == 0) {
      value = FromBits(special.bits);
      return true;
    }
  }
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

// Splits a hard-case line into its arguments; false for a comment or blank.
bool ParseHardCase(std::string line, int arity, double& x, double& y, bool& valid) {
  valid = true;
  std::size_t comment = line.find('#');
  if (comment != std::string::npos) {
    line.erase(comment);
  }
  std::string fields[2];
  int count = 0;
  std::string current;
  for (char c : line + ",") {
    if (c == ',') {
      if (count < 2) {
        fields[count] = current;
      }
      ++count;
      current.clear();
    } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      current += c;
    }
  }
  if (count == 1 && fields[0].empty()) {
    return false;
  }
  y = 0.0;
  valid = count == arity && ParseDouble(fields[0].c_str(), x) &&
          (arity == 1 || ParseDouble(fields[1].c_str(), y));
  return true;
}

// Calls `each(x, y)` for every argument of the file; false when the file
// cannot be read or has a line that does not parse.
template <typename Each>
bool ForEachHardCase(const char* path, int arity, Each each) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    std::printf("cannot read %s\n", path);
    return false;
  }
  char buffer[512];
  bool ok = true;
  int line_number = 0;
  while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
    ++line_number;
    double x = 0.0;
    double y = 0.0;
    bool valid = true;
    if (!ParseHardCase(buffer, arity, x, y, valid)) {
      continue;
    }
    if (!valid) {
      std::printf("%s:%d: not an argument: %s", path, line_number, buffer);
      ok = false;
      continue;
    }
    each(x, y);
  }
  std::fclose(file);
  return ok;
}

// ---------------------------------------------------------------------------
// Random arguments: each function's rows of the table below share its
// count by their weights. The generator is seeded, so a run repeats.

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  std::uint64_t Bits() { return engine_(); }
  // Uniform in [low, high].
  std::uint64_t Integer(std::uint64_t low, std::uint64_t high) {
    std::uint64_t span = high - low;
    return span == ~std::uint64_t{0} ? Bits() : low + Bits() % (span + 1);
  }
  std::int64_t SignedInteger(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(Integer(0, static_cast<std::uint64_t>(high - low)));
  }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Bits() >> 11) * 0x1p-53; }
  double Uniform(double low, double high) { return low + (high - low) * Unit(); }
  double LogUniform(double low, double high) {
    return std::exp(Uniform(std::log(low), std::log(high)));
  }
  bool Coin() { return (Bits() & 1) != 0; }
  // A double within 2^k units in the last place of `center`, k uniform in
  // [0, max_k]: dense next to it, thinning out with the distance.
  double Near(double center, int max_k) {
    std::uint64_t offset = Integer(0, std::uint64_t{1} << Integer(0, max_k));
    std::uint64_t bits = BitsOf(center);
    return FromBits(Coin() ? bits + offset : bits - offset);
  }

 private:
  std::mt19937_64 engine_;
};

struct Arguments {
  double x;
  double y;
};

struct RandomRange {
  const char* function;  // or several, separated by spaces
  const char* description;
  int weight;
  Arguments (*generate)(Random&);
};

constexpr std::uint64_t kLargestFinite = 0x7FEFFFFFFFFFFFFFu;
constexpr std::uint64_t kSmallestNormalBits = 0x0010000000000000u;

Arguments TrigBenchmarkRange(Random& random) {
  return {random.Uniform(-10.0, 10.0), 0.0};
}
// |x| log-uniform from 1e-8 to 1e308, either sign: every size of argument
// reduction.
Arguments TrigLogUniform(Random& random) {
  double x = random.LogUniform(1e-8, 1e308);
  return {random.Coin() ? x : -x, 0.0};
}
// Next to n pi/2, n up to 10^6: results next to zero (and tan's poles),
// where the reduction's error weighs most.
Arguments NearQuarterTurns(Random& random) {
  constexpr double kHalfPi = 1.5707963267948966;
  double center = static_cast<double>(random.SignedInteger(-1000000, 1000000)) * kHalfPi;
  return {random.Near(center == 0.0 ? kHalfPi : center, 30), 0.0};
}

Arguments AnyPositive(Random& random) {
  return {FromBits(random.Integer(1, kLargestFinite)), 0.0};
}
Arguments AnyBits(Random& random) {
  return {FromBits(random.Bits()), FromBits(random.Bits())};
}
Arguments NearOne(Random& random) {
  return {random.Near(1.0, 52), 0.0};
}
Arguments UpToMillion(Random& random) {
  return {random.Uniform(0.0, 1e6), 0.0};
}
Arguments NearPowerOfTen(Random& random) {
  char text[16];
  std::snprintf(text, sizeof text, "1e%d", static_cast<int>(random.SignedInteger(-320, 308)));
  return {random.Near(std::strtod(text, nullptr), 3), 0.0};
}

Arguments PowerBenchmarkRange(Random& random) {
  return {random.Uniform(0.1, 100.0), random.Uniform(-50.0, 50.0)};
}
Arguments IntegerExponent(Random& random) {
  return {random.Uniform(-20.0, 20.0), static_cast<double>(random.SignedInteger(-80, 80))};
}
// Small integers to integer powers: exact results, midpoints between two
// doubles, and the first inexact ones past them.
Arguments IntegerToInteger(Random& random) {
  return {static_cast<double>(random.SignedInteger(-1000, 1000)),
          static_cast<double>(random.SignedInteger(-40, 80))};
}
// y = n / 2^k with n odd; x often a perfect 2^k-th power times a power of 2.
Arguments DyadicExponent(Random& random) {
  int k = static_cast<int>(random.Integer(1, 6));
  double n = static_cast<double>(2 * random.SignedInteger(-200, 200) + 1);
  double y = std::ldexp(n, -k);
  double x = random.LogUniform(1e-10, 1e10);
  if (random.Coin()) {
    double root = static_cast<double>(random.Integer(1, std::uint64_t{1} << (53 >> k)));
    int scale = static_cast<int>(random.SignedInteger(-60, 60)) * (1 << k);
    x = std::ldexp(std::pow(root, std::ldexp(1.0, k)), scale);
  }
  return {x, y};
}
// |y| from 1 to 2000 with x in [0.5, 4]: the logarithm's reduced argument
// z times y up to 3, where pow's fast path carries the most of y z^3 Q(z)
// in its low parts, and results up to the overflow limit.
Arguments ModerateBaseToLarge(Random& random) {
  double y = random.LogUniform(1.0, 2000.0);
  return {random.Uniform(0.5, 4.0), random.Coin() ? y : -y};
}
// A subnormal x, whose logarithm is reduced from x 2^52.
Arguments SubnormalBase(Random& random) {
  return {FromBits(random.Integer(1, kSmallestNormalBits - 1)), random.Uniform(-1.5, 1.5)};
}
// x next to 1, |y| large enough that x^y is anything from tiny to huge.
Arguments NearOneToLarge(Random& random) {
  double x = random.Near(1.0, 40);
  double distance = std::fabs(std::log(x));
  double limit = distance > 0.0 ? 700.0 / distance : 1e300;
  double y = random.LogUniform(1e-3, limit);
  return {x, random.Coin() ? y : -y};
}
// |y log x| from 16 up to near the limits with x within the logarithm's
// groups of k = 0: where |y z| passes 16 and log x is taken further.
Arguments NearOneToLargeProduct(Random& random) {
  double x = random.Uniform(0.71, 1.41);
  double y = random.Uniform(16.0, 740.0) / std::log(x);
  return {x, random.Coin() ? y : -y};
}
// Results around the overflow threshold, the least normal number and the
// subnormal range.
Arguments NearRangeLimits(Random& random) {
  static const double kTargets[] = {1024.0, -1022.0, -1050.0, -1074.0, -1075.0};
  double target = kTargets[random.Integer(0, 4)] + random.Uniform(-2.0, 2.0);
  double x = random.LogUniform(1e-30, 1e30);
  if (std::fabs(std::log2(x)) < 1e-3) {
    x = 3.0;
  }
  double y = target / std::log2(x);
  if (random.Coin()) {
    y = std::nearbyint(y);
  }
  return {x, y};
}
Arguments NegativeBase(Random& random) {
  double y = static_cast<double>(random.SignedInteger(-300, 300));
  if (random.Coin()) {
    y /= 2;
  }
  return {-random.LogUniform(1e-5, 1e5), y};
}

const RandomRange kRandomRanges[] = {
    {"sin cos tan", "uniform in [-10, 10]", 4, TrigBenchmarkRange},
    {"sin cos tan", "|x| log-uniform in [1e-8, 1e308], either sign", 4, TrigLogUniform},
    {"sin cos tan", "within 2^k ulps of n pi/2, |n| <= 10^6, k uniform in [0, 30]", 1,
     NearQuarterTurns},
    {"sin cos tan", "any bits (subnormal, infinite, NaN too)", 1, AnyBits},
    {"log log10", "every positive double, uniform in its bits (log-uniform, subnormals too)", 4,
     AnyPositive},
    {"log", "within 2^k ulps of 1, k uniform in [0, 52]", 3, NearOne},
    {"log10", "within 2^k ulps of 1, k uniform in [0, 52]", 2, NearOne},
    {"log10", "within 8 ulps of a power of ten", 1, NearPowerOfTen},
    {"log log10", "uniform in (0, 1e6)", 2, UpToMillion},
    {"log log10", "any bits (negative, infinite, NaN too)", 1, AnyBits},
    {"pow", "x uniform in [0.1, 100], y in [-50, 50]", 3, PowerBenchmarkRange},
    {"pow", "x in [-20, 20], integer y in [-80, 80]", 2, IntegerExponent},
    {"pow", "integer x in [-1000, 1000], integer y in [-40, 80]", 2, IntegerToInteger},
    {"pow", "y = odd / 2^k, k in [1, 6]; x often a perfect 2^k-th power", 2, DyadicExponent},
    {"pow", "x in [0.5, 4], |y| log-uniform in [1, 2000]", 2, ModerateBaseToLarge},
    {"pow", "x within 2^40 ulps of 1, |y| up to the overflow limit", 2, NearOneToLarge},
    {"pow", "x in [0.71, 1.41], |y log x| in [16, 740]", 1, NearOneToLargeProduct},
    {"pow", "results near overflow, the least normal and in the subnormal range", 2,
     NearRangeLimits},
    {"pow", "negative x, integer or half-integer y", 1, NegativeBase},
    {"pow", "subnormal x, y in [-1.5, 1.5]", 1, SubnormalBase},
    {"pow", "any bits for both (infinities, zeros, NaN too)", 1, AnyBits},
};

// Whether the function is one of the row's, a list separated by spaces.
bool Covers(const RandomRange& range, const char* function) {
  std::size_t length = std::strlen(function);
  for (const char* name = range.function; *name != '\0';) {
    std::size_t name_length = std::strcspn(name, " ");
    if (name_length == length && std::strncmp(name, function, length) == 0) {
      return true;
    }
    name += name_length;
    name += std::strspn(name, " ");
  }
  return false;
}

template <typename Each>
bool ForEachRandom(const char* function, std::uint64_t count, std::uint64_t seed, Each each) {
  int total_weight = 0;
  for (const RandomRange& range : kRandomRanges) {
    total_weight += Covers(range, function) ? range.weight : 0;
  }
  if (total_weight == 0) {
    std::printf("%s: no random ranges\n", function);
    return false;
  }
  std::uint64_t row = 0;
  int weight_so_far = 0;
  std::uint64_t done = 0;
  for (const RandomRange& range : kRandomRanges) {
    if (!Covers(range, function)) {
      continue;
    }
    Random random(seed * 1000003u + row++);
    // Shares rounded so that they add up to the count.
    weight_so_far += range.weight;
    std::uint64_t share = count * static_cast<std::uint64_t>(weight_so_far) / total_weight - done;
    done += share;
    for (std::uint64_t i = 0; i < share; ++i) {
      Arguments arguments = range.generate(random);
      each(arguments.x, arguments.y);
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// pow at every exponent: y = n / 2^k, x = m 2^e for every e from the least
// subnormal to the largest double and its neighbours, m the mantissa of b^(2^k)
// for an odd b where b^n has 53 bits (an exact result where 2^k divides e)
// or 54 (a midpoint), rounded where b^(2^k) is longer than a double, as in
// the cases that broke an exactness test working on doubles.

struct DyadicPower {
  int n;
  int k;
};

const DyadicPower kDyadicPowers[] = {{1, 1}, {3, 1}, {5, 1},  {1, 2}, {3, 2}, {5, 2},
                                     {1, 3}, {3, 3}, {1, 4},  {1, 5}, {3, 5}, {3, 0},
                                     {5, 0}, {2, 0}, {-1, 1}, {-3, 2}};

// b^power as a double in [1, 2), rounded to nearest where it is longer.
double MantissaOfPower(std::uint64_t b, int power) {
  double value = 1.0;
  long double exact = 1.0L;
  for (int i = 0; i < power; ++i) {
    exact *= static_cast<long double>(b);
  }
  value = static_cast<double>(exact);
  int exponent = 0;
  return 2.0 * std::frexp(value, &exponent);
}

// Odd bases whose n-th power has `bits` bits: the least and the greatest.
std::vector<std::uint64_t> OddBasesWithPowerBits(int n, int bits) {
  n = n < 0 ? -n : n;
  auto low = static_cast<std::uint64_t>(std::ceil(std::exp2((bits - 1) / static_cast<double>(n))));
  auto high = static_cast<std::uint64_t>(std::floor(std::exp2(bits / static_cast<double>(n))));
  return {low | 1, (high - 1) | 1};
}

// Calls `each(x, y)` for every case; with `traps_only` for those of x^(3/4)
// next to 0x1.fffe0000bfffe 2^e alone, which the other targets check too.
template <typename Each>
void ForEachAtEveryExponent(bool traps_only, Each each) {
  constexpr double kTrap = 0x1.fffe0000bfffep0;  // 2^-72 (2^18 - 1)^4, rounded down
  for (const DyadicPower& dyadic : kDyadicPowers) {
    double y = std::ldexp(static_cast<double>(dyadic.n), -dyadic.k);
    std::vector<double> mantissas = {kTrap};
    for (int bits : {53, 54}) {
      for (std::uint64_t b : OddBasesWithPowerBits(dyadic.n, bits)) {
        mantissas.push_back(MantissaOfPower(b, 1 << dyadic.k));
      }
    }
    if (traps_only) {
      if (y != 0.75) {
        continue;
      }
      mantissas.resize(1);
    }
    for (double mantissa : mantissas) {
      for (int e = -1074; e <= 1023; ++e) {
        double x = std::ldexp(mantissa, e);
        for (int step = -1; step <= 1 && x != 0.0; ++step) {
          double neighbour = FromBits(BitsOf(x) + static_cast<std::uint64_t>(step));
          if (neighbour > 0.0 && std::isfinite(neighbour)) {
            each(neighbour, y);
          }
        }
      }
    }
  }
}

int CompareAtEveryExponent() {
  const MathFunction& function = *FindMathFunction("pow");
  const Reference& reference = *FindReference("pow");
  Mpfr mpfr;
  Tally tally;
  ForEachAtEveryExponent(
      false, [&](double x, double y) { Compare(function, reference, mpfr, x, y, tally); });
  return Summary("pow", "arguments at every exponent", tally);
}

// ---------------------------------------------------------------------------
// The fast paths' errors against their bounds: |exact - (hi + lo) 2^scale|
// / (error 2^scale), the exact value by MPFR at 300 bits.

using calculator_core::math::BoundedApproximation;

using Approximate = bool (*)(double x, double y, BoundedApproximation& approximation);

struct FastPathBound {
  const char* name;
  int (*unary)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
  // False where the fast path does not apply to the arguments; the second
  // evaluation, where there is one, is the one tried when the first fails.
  Approximate approximate;
  Approximate next;
  // The least bound the derivation allows for a result f: per_result
  // (|f| - offset). A bound shrunk where it is computed stays above the
  // errors seen (they are well inside it) but falls below this.
  double per_result;
  double offset;
};

// sin and cos are A cos r + B sin r with |B| <= 1 and |r| <= pi/1024, so
// |A| >= |f| - pi/1024, and their bound holds kCosineTerm |A|; tan's is
// kTangent times the quotient. Both less the bound's own roundings and
// the tables' low parts (2^-20 of room).
constexpr double kFloorRoom = 1.0 - 0x1p-20;
constexpr double kSineCosineFloor = calculator_core::math::error_bounds::kCosineTerm * kFloorRoom;
constexpr double kQuotientLeeway = 0x1.9c0p-9;  // pi/1000, above pi/1024 and r's rounding
constexpr double kTangentFloor = calculator_core::math::error_bounds::kTangent * kFloorRoom;
// pow's bound is at least kPowRest times the table's hi, and x^y lies
// within e^(2^-10.5) of hi 2^scale (power.cpp): 2^-9 of room.
constexpr double kPowFloor = calculator_core::math::error_bounds::kPowRest * (1.0 - 0x1p-9);

template <BoundedApproximation (*Approximate)(double)>
bool Trigonometric(double x, double, BoundedApproximation& approximation) {
  if (!std::isfinite(x) || std::fabs(x) < 0x1p-26) {
    return false;
  }
  approximation = Approximate(x);
  return true;
}

bool LogarithmDefined(double x) {
  return x > 0.0 && std::isfinite(x) && x != 1.0;
}

template <BoundedApproximation (*Approximate)(double)>
bool LogarithmFar(double x, double, BoundedApproximation& approximation) {
  if (!LogarithmDefined(x)) {
    return false;
  }
  approximation = Approximate(x);
  return true;
}

template <bool (*Approximate)(double, BoundedApproximation&)>
bool LogarithmNear(double x, double, BoundedApproximation& approximation) {
  return LogarithmDefined(x) && Approximate(x, approximation);
}

bool Power(double x, double y, BoundedApproximation& approximation) {
  if (!(x > 0.0) || !std::isfinite(x) || !std::isfinite(y) || y == 0.0 || x == 1.0) {
    return false;
  }
  return calculator_core::math::PowFastApproximation(x, y, approximation);
}

namespace math = calculator_core::math;
const FastPathBound kFastPathBounds[] = {
    {"sin", mpfr_sin, Trigonometric<math::SinFastApproximation>, nullptr, kSineCosineFloor,
     kQuotientLeeway},
    {"cos", mpfr_cos, Trigonometric<math::CosFastApproximation>, nullptr, kSineCosineFloor,
     kQuotientLeeway},
    {"tan", mpfr_tan, Trigonometric<math::TanFastApproximation>, nullptr, kTangentFloor, 0.0},
    // Their bounds are applied where they are computed, and checked there
    // (multiprecision_test.cpp): no floor here.
    {"log", mpfr_log, LogarithmFar<math::LogFarApproximation>,
     LogarithmNear<math::LogNearApproximation>, 0.0, 0.0},
    {"log10", mpfr_log10, LogarithmFar<math::Log10FarApproximation>,
     LogarithmNear<math::Log10NearApproximation>, 0.0, 0.0},
    // Its bound's terms are checked where they are applied, the whole
    // against its floor where ApproximatePow computes it.
    {"pow", nullptr, Power, nullptr, kPowFloor, 0.0},
};

class ErrorRatio {
 public:
  ErrorRatio() {
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
    mpfr_inits2(300, x_, y_, exact_, computed_, static_cast<mpfr_ptr>(nullptr));
  }
  ~ErrorRatio() { mpfr_clears(x_, y_, exact_, computed_, static_cast<mpfr_ptr>(nullptr)); }
  ErrorRatio(const ErrorRatio&) = delete;
  ErrorRatio& operator=(const ErrorRatio&) = delete;

  double Of(const FastPathBound& bound, double x, double y, const BoundedApproximation& a) {
    mpfr_set_d(x_, x, MPFR_RNDN);
    mpfr_set_d(y_, y, MPFR_RNDN);
    if (bound.unary != nullptr) {
      bound.unary(exact_, x_, MPFR_RNDN);
    } else {
      mpfr_pow(exact_, x_, y_, MPFR_RNDN);
    }
    mpfr_set_d(computed_, a.value.hi, MPFR_RNDN);
    mpfr_add_d(computed_, computed_, a.value.lo, MPFR_RNDN);
    mpfr_mul_2si(computed_, computed_, a.scale, MPFR_RNDN);
    mpfr_sub(computed_, computed_, exact_, MPFR_RNDN);
    mpfr_abs(computed_, computed_, MPFR_RNDN);
    mpfr_div_d(computed_, computed_, a.error, MPFR_RNDN);
    mpfr_div_2si(computed_, computed_, a.scale, MPFR_RNDN);
    return mpfr_get_d(computed_, MPFR_RNDU);
  }

  // The bound over the least one the derivation allows, for the exact
  // value that Of has just computed: below 1 where the bound is short.
  double OverFloor(const FastPathBound& bound, const BoundedApproximation& a) {
    mpfr_abs(exact_, exact_, MPFR_RNDN);
    mpfr_sub_d(exact_, exact_, bound.offset, MPFR_RNDU);
    if (bound.per_result == 0.0 || mpfr_sgn(exact_) <= 0) {
      return 1.0;
    }
    mpfr_mul_d(exact_, exact_, bound.per_result, MPFR_RNDU);
    mpfr_set_d(computed_, a.error, MPFR_RNDN);
    mpfr_mul_2si(computed_, computed_, a.scale, MPFR_RNDN);
    mpfr_div(computed_, computed_, exact_, MPFR_RNDD);
    return mpfr_get_d(computed_, MPFR_RNDD);
  }

 private:
  mpfr_t x_, y_, exact_, computed_;
};

int CompareWithBounds(const char* name, std::uint64_t count, const char* path) {
  const FastPathBound* bound = nullptr;
  for (const FastPathBound& candidate : kFastPathBounds) {
    bound = std::strcmp(candidate.name, name) == 0 ? &candidate : bound;
  }
  const MathFunction* function = FindMathFunction(name);
  if (bound == nullptr || function == nullptr) {
    std::fprintf(stderr, "no function %s\n", name);
    return 2;
  }
  ErrorRatio ratio;
  double worst = 0.0;
  double worst_x = 0.0;
  double worst_y = 0.0;
  double tightest = 1.0;
  double tightest_x = 0.0;
  std::uint64_t measured = 0;
  auto measure = [&](double x, double y) {
    for (Approximate approximate : {bound->approximate, bound->next}) {
      BoundedApproximation approximation;
      if (approximate == nullptr || !approximate(x, y, approximation)) {
        continue;
      }
      ++measured;
      double observed = ratio.Of(*bound, x, y, approximation);
      if (!(observed < worst)) {
        worst = observed;
        worst_x = x;
        worst_y = y;
      }
      double over_floor = ratio.OverFloor(*bound, approximation);
      if (over_floor < tightest) {
        tightest = over_floor;
        tightest_x = x;
      }
    }
  };
  bool ok =
      ForEachHardCase(path, function->arity, measure) && ForEachRandom(name, count, 1, measure);
  std::printf("%s: %" PRIu64 " arguments, worst error / bound %.4f at (%a, %a)\n", name, measured,
              worst, worst_x, worst_y);
  if (tightest < 1.0) {
    std::printf("%s: the bound is %.4f of the least the derivation allows at %a\n", name, tightest,
                tightest_x);
  }
  return ok && measured > 0 && worst < 1.0 && tightest >= 1.0 ? 0 : 1;
}

// ---------------------------------------------------------------------------

int Usage() {
  std::fprintf(stderr,
               "usage: mpfr_comparison hard FUNCTION FILE\n"
               "       mpfr_comparison random FUNCTION COUNT [SEED]\n"
               "       mpfr_comparison bounds FUNCTION COUNT FILE\n"
               "       mpfr_comparison exponents\n"
               "       mpfr_comparison expected OUTPUT COUNT CASE_DIR...\n");
  return 2;
}

bool Lookup(const char* name, const MathFunction*& function, const Reference*& reference) {
  function = FindMathFunction(name);
  reference = FindReference(name);
  if (function == nullptr || reference == nullptr) {
    std::fprintf(stderr, "no function %s\n", name);
    return false;
  }
  return true;
}

int CompareHardCases(const char* name, const char* path) {
  const MathFunction* function;
  const Reference* reference;
  if (!Lookup(name, function, reference)) {
    return 2;
  }
  Mpfr mpfr;
  Tally tally;
  bool read = ForEachHardCase(path, function->arity, [&](double x, double y) {
    Compare(*function, *reference, mpfr, x, y, tally);
  });
  return Summary(name, "hard cases", tally) | (read ? 0 : 1);
}

int CompareRandom(const char* name, std::uint64_t count, std::uint64_t seed) {
  const MathFunction* function;
  const Reference* reference;
  if (!Lookup(name, function, reference)) {
    return 2;
  }
  Mpfr mpfr;
  Tally tally;
  bool known = ForEachRandom(name, count, seed, [&](double x, double y) {
    Compare(*function, *reference, mpfr, x, y, tally);
  });
  return Summary(name, "random arguments", tally) | (known ? 0 : 1);
}

int WriteExpected(const char* output, std::uint64_t count,
                  const std::vector<std::string>& case_dirs) {
  std::FILE* file = std::fopen(output, "w");
  if (file == nullptr) {
    std::perror(output);
    return 1;
  }
  Mpfr mpfr;
  bool ok = true;
  for (const Reference& reference : kReferences) {
    if (!reference.checked_on_every_target) {
      continue;
    }
    const MathFunction& function = *FindMathFunction(reference.name);
    auto write = [&](double x, double y) {
      WriteExpectedCall(file, function, x, y, mpfr.Evaluate(reference, x, y));
    };
    for (const std::string& dir : case_dirs) {
      for (const char* suffix : {".txt", "_own.txt"}) {
        std::string path = dir + "/" + reference.name + suffix;
        if (std::FILE* file_of_cases = std::fopen(path.c_str(), "r")) {
          std::fclose(file_of_cases);
          ok = ForEachHardCase(path.c_str(), function.arity, write) && ok;
        }
      }
    }
    if (function.arity == 2) {
      ForEachAtEveryExponent(true, write);
    }
    ok = ForEachRandom(reference.name, count, 1, write) && ok;
  }
  if (std::ferror(file) || std::fclose(file) != 0) {
    std::perror(output);
    return 1;
  }
  return ok ? 0 : 1;
}

bool ParseCount(const char* text, std::uint64_t& count) {
  char* end = nullptr;
  count = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

}  // namespace
}  // namespace math_test

int main(int argc, char** argv) {
  using namespace math_test;
  std::uint64_t count = 0;
  std::uint64_t seed = 1;
  if (argc == 4 && std::strcmp(argv[1], "hard") == 0) {
    return CompareHardCases(argv[2], argv[3]);
  }
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "random") == 0 &&
      ParseCount(argv[3], count) && (argc == 4 || ParseCount(argv[4], seed))) {
    return CompareRandom(argv[2], count, seed);
  }
  if (argc == 5 && std::strcmp(argv[1], "bounds") == 0 && ParseCount(argv[3], count)) {
    return CompareWithBounds(argv[2], count, argv[4]);
  }
  if (argc == 2 && std::strcmp(argv[1], "exponents") == 0) {
    return CompareAtEveryExponent();
  }
  if (argc >= 5 && std::strcmp(argv[1], "expected") == 0 && ParseCount(argv[3], count)) {
    return WriteExpected(argv[2], count, std::vector<std::string>(argv + 4, argv + argc));
  }
  return Usage();
}
