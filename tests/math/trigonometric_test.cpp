// The parts of sin, cos and tan on their own, against MPFR: the argument
// reductions within the error bounds that the fast path's proof uses, and
// the slow paths on arguments that the fast path decides (the comparison
// of the whole functions sends only one in ten thousand there).

#include "calculator/math/trigonometric.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <random>
#include <vector>

#include "calculator/math/argument_reduction.h"

namespace {

using namespace calculator_core::math;

constexpr int kCalls = 20000;
constexpr int kSlowPathCalls = 2000;
constexpr int kNoBound = 4000;  // an error bound's exponent that adds nothing

// Arguments of every size from 2^-20 to the largest double, either sign,
// and the doubles closest to a multiple of pi/2 (from the published
// worst cases of the reduction) with their neighbours.
double RandomArgument(std::mt19937_64& random, int max_exponent) {
  static const double kNextToQuarterTurns[] = {0x1.6ac5b262ca1ffp+849, 0x1.921fb54442d18p+0,
                                               0x1.921fb54442d18p+1, 0x1.2d97c7f3321d2p+2,
                                               0x1.5fdbbe9bba775p+4};
  if (random() % 8 == 0) {
    double center = kNextToQuarterTurns[random() % 5];
    return std::nextafter(center, random() % 2 == 0 ? 0.0 : INFINITY);
  }
  double mantissa = 1.0 + static_cast<double>(random() >> 12) * 0x1p-52;
  int exponent = static_cast<int>(random() % static_cast<std::uint64_t>(max_exponent + 21)) - 20;
  double value = std::ldexp(mantissa, exponent);
  return (random() & 1) != 0 ? -value : value;
}

class Mpfr {
 public:
  Mpfr() {
    mpfr_inits2(3000, x_, pi_, steps_, exact_, computed_, error_, bound_, term_,
                static_cast<mpfr_ptr>(nullptr));
  }
  ~Mpfr() {
    mpfr_clears(x_, pi_, steps_, exact_, computed_, error_, bound_, term_,
                static_cast<mpfr_ptr>(nullptr));
  }
  Mpfr(const Mpfr&) = delete;
  Mpfr& operator=(const Mpfr&) = delete;

  // x = k pi/2^scale + r exactly, k the nearest integer: returns k mod
  // 2^(scale+1) and keeps r.
  std::uint32_t Reduce(double x, int scale) {
    mpfr_const_pi(pi_, MPFR_RNDN);
    mpfr_div_2ui(pi_, pi_, static_cast<unsigned long>(scale), MPFR_RNDN);
    mpfr_set_d(x_, x, MPFR_RNDN);
    mpfr_div(steps_, x_, pi_, MPFR_RNDN);
    mpfr_rint(steps_, steps_, MPFR_RNDN);
    mpfr_mul(exact_, steps_, pi_, MPFR_RNDN);
    mpfr_sub(exact_, x_, exact_, MPFR_RNDN);
    mpfr_div_2ui(steps_, steps_, static_cast<unsigned long>(scale + 1), MPFR_RNDN);
    mpfr_frac(steps_, steps_, MPFR_RNDN);
    mpfr_mul_2ui(steps_, steps_, static_cast<unsigned long>(scale + 1), MPFR_RNDN);
    long steps = mpfr_get_si(steps_, MPFR_RNDN);
    return static_cast<std::uint32_t>(steps < 0 ? steps + (1l << (scale + 1)) : steps);
  }

  // The exact sin, cos or tan of x as the reference instead of a reduction.
  void SetExact(int (*function)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x) {
    mpfr_set_d(x_, x, MPFR_RNDN);
    function(exact_, x_, MPFR_RNDN);
  }

  // The computed r, as the sum of doubles.
  void SetComputed(std::initializer_list<double> parts) {
    mpfr_set_zero(computed_, 1);
    for (double part : parts) {
      mpfr_add_d(computed_, computed_, part, MPFR_RNDN);
    }
  }
  void SetComputed(const Multiprecision& r) {
    mpfr_set_zero(computed_, 1);
    Multiprecision rest = r;
    for (int i = 0; i < 7 && !rest.IsZero(); ++i) {
      double part = rest.ToDouble();
      mpfr_add_d(computed_, computed_, part, MPFR_RNDN);
      rest = rest - Multiprecision::FromDouble(part);
    }
  }

  // The computed r's error against the last reduction's, in units of
  // 2^-absolute_exponent + 2^-relative_exponent |r|: at most 1 within the
  // bound.
  double ErrorRatio(int absolute_exponent, int relative_exponent) {
    mpfr_sub(error_, exact_, computed_, MPFR_RNDN);
    mpfr_abs(error_, error_, MPFR_RNDN);
    mpfr_abs(bound_, exact_, MPFR_RNDN);
    mpfr_mul_2si(bound_, bound_, -relative_exponent, MPFR_RNDN);
    mpfr_set_ui_2exp(term_, 1, -absolute_exponent, MPFR_RNDN);
    mpfr_add(bound_, bound_, term_, MPFR_RNDN);
    mpfr_div(error_, error_, bound_, MPFR_RNDN);
    return mpfr_get_d(error_, MPFR_RNDN);
  }

 private:
  mpfr_t x_, pi_, steps_, exact_, computed_, error_, bound_, term_;
};

TEST(ArgumentReduction, PayneHanekKeepsItsBound) {
  std::mt19937_64 random(1);
  Mpfr mpfr;
  for (int i = 0; i < kCalls; ++i) {
    double x = RandomArgument(random, 1023);
    ReducedArgument reduced = ReduceByPayneHanek(x);
    ASSERT_EQ(reduced.steps, mpfr.Reduce(x, 9)) << std::hexfloat << x;
    mpfr.SetComputed({reduced.r.hi, reduced.r.lo});
    ASSERT_LE(mpfr.ErrorRatio(160, 100), 1.0) << std::hexfloat << x;
  }
}

TEST(ArgumentReduction, CodyWaiteKeepsItsBound) {
  std::mt19937_64 random(2);
  Mpfr mpfr;
  for (int i = 0; i < kCalls; ++i) {
    double x = RandomArgument(random, 15);
    if (std::fabs(x) >= kCodyWaiteLimit) {
      continue;
    }
    ReducedArgument reduced = ReduceByCodyWaite(x);
    ASSERT_EQ(reduced.steps, mpfr.Reduce(x, 9)) << std::hexfloat << x;
    // Next to a multiple of pi/2 r is the result itself, and its error must
    // be relative; elsewhere absolute.
    bool next_to_quarter_turn = reduced.steps % 256 == 0;
    mpfr.SetComputed({reduced.r.hi, reduced.r.lo});
    ASSERT_LE(
        mpfr.ErrorRatio(next_to_quarter_turn ? kNoBound : 91, next_to_quarter_turn ? 76 : kNoBound),
        1.0)
        << std::hexfloat << x;
  }
}

TEST(ArgumentReduction, QuarterTurnsForTheSlowPathKeep300Bits) {
  std::mt19937_64 random(3);
  Mpfr mpfr;
  for (int i = 0; i < kCalls; ++i) {
    double x = RandomArgument(random, 1023);
    if (std::fabs(x) < 0x1p-26) {
      continue;
    }
    std::uint32_t quarter_turns = 0;
    Multiprecision r = ReduceByQuarterTurns(x, quarter_turns);
    ASSERT_EQ(quarter_turns, mpfr.Reduce(x, 1)) << std::hexfloat << x;
    mpfr.SetComputed(r);
    ASSERT_LE(mpfr.ErrorRatio(kNoBound, 300), 1.0) << std::hexfloat << x;
  }
}

struct SlowPath {
  const char* name;
  double (*function)(double);
  int (*reference)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
  Multiprecision (*value)(double);
  const char* hard_cases;
};

const SlowPath kSlowPaths[] = {
    {"sin", SinSlowPath, mpfr_sin, SinSlowValue, CALCULATOR_HARD_CASE_DIR "/sin.txt"},
    {"cos", CosSlowPath, mpfr_cos, CosSlowValue, CALCULATOR_HARD_CASE_DIR "/cos.txt"},
    {"tan", TanSlowPath, mpfr_tan, TanSlowValue, CALCULATOR_HARD_CASE_DIR "/tan.txt"}};

// Every `stride`-th argument of a hard-case file (hexadecimal floats, one a
// line; comments and special values left out).
std::vector<double> EveryNthHardCase(const char* path, int stride) {
  std::vector<double> arguments;
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    ADD_FAILURE() << "cannot read " << path;
    return arguments;
  }
  char line[256];
  for (int i = 0; std::fgets(line, sizeof line, file) != nullptr;) {
    char* end = nullptr;
    double x = std::strtod(line, &end);
    if (end != line && std::isfinite(x) && std::fabs(x) >= 0x1p-26 && i++ % stride == 0) {
      arguments.push_back(x);
    }
  }
  std::fclose(file);
  return arguments;
}

// The slow paths' own precision, before the rounding that hides most of
// an error: below 2^-300 relative on random arguments and published hard
// cases, so that a short series or a wrong bit of a constant fails.
TEST(TrigonometricSlowPaths, KeepTheirPrecision) {
  std::mt19937_64 random(5);
  Mpfr mpfr;
  for (const SlowPath& slow_path : kSlowPaths) {
    std::vector<double> arguments = EveryNthHardCase(slow_path.hard_cases, 40);
    ASSERT_GT(arguments.size(), 500u) << slow_path.hard_cases;
    while (arguments.size() < 3500) {
      double x = RandomArgument(random, 1023);
      if (std::fabs(x) >= 0x1p-26) {
        arguments.push_back(x);
      }
    }
    for (double x : arguments) {
      mpfr.SetExact(slow_path.reference, x);
      mpfr.SetComputed(slow_path.value(x));
      ASSERT_LE(mpfr.ErrorRatio(kNoBound, 300), 1.0)
          << slow_path.name << "(" << std::hexfloat << x << ")";
    }
  }
}

TEST(TrigonometricSlowPaths, AreCorrectlyRoundedWhereTheFastPathIsSure) {
  std::mt19937_64 random(4);
  mpfr_t x, expected;
  mpfr_inits2(53, x, expected, static_cast<mpfr_ptr>(nullptr));
  for (const SlowPath& slow_path : kSlowPaths) {
    for (int i = 0; i < kSlowPathCalls; ++i) {
      double argument = i % 2 == 0 ? std::ldexp(static_cast<double>(random() >> 11), -49) - 8.0
                                   : RandomArgument(random, 1023);
      if (std::fabs(argument) < 0x1p-26) {
        continue;
      }
      mpfr_set_d(x, argument, MPFR_RNDN);
      slow_path.reference(expected, x, MPFR_RNDN);
      ASSERT_EQ(slow_path.function(argument), mpfr_get_d(expected, MPFR_RNDN))
          << slow_path.name << "(" << std::hexfloat << argument << ")";
    }
  }
  mpfr_clears(x, expected, static_cast<mpfr_ptr>(nullptr));
}

}  // namespace
