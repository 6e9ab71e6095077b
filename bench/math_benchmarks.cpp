// Our elementary functions side by side with this machine's C library, on
// the ranges where the common case counts: sin, cos, tan on [-10, 10]; log
// and log10 on (0, 1e6); x^y with x in [0.1, 100], y in [-50, 50]. Each
// pair is timed in alternating passes ("ours_ns", "library_ns" per call);
// the goal is a "ratio" of at most 1.5.
//
// The slow paths: how often the fast path cannot decide ("one_in", goal at
// least 1000), counted over random arguments through the paths' own entry
// points (logarithm.h, power.h, trigonometric.h), and the time of the slow path itself on
// arguments that need it ("worst_us", goal below 50).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "calculator/math/elementary.h"
#include "calculator/math/logarithm.h"
#include "calculator/math/power.h"
#include "calculator/math/trigonometric.h"

namespace {

constexpr int kArguments = 4096;

struct Range {
  double low;
  double high;
};
constexpr Range kTrigRange = {-10.0, 10.0};
constexpr Range kLogRange = {0.0, 1e6};
constexpr Range kBaseRange = {0.1, 100.0};
constexpr Range kExponentRange = {-50.0, 50.0};

std::vector<double> Uniform(Range range, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<double> values(kArguments);
  for (double& value : values) {
    double unit = static_cast<double>(random() >> 11) * 0x1p-53;
    value = range.low + (range.high - range.low) * unit;
    if (value == 0.0) {
      value = range.high / 2;
    }
  }
  return values;
}

// A pass over a table of arguments: independent calls, the time of a
// call when many are in flight, as in a loop.
template <typename Function>
double PassNanoseconds(Function function) {
  auto start = std::chrono::steady_clock::now();
  double sum = 0.0;
  for (int i = 0; i < kArguments; ++i) {
    sum += function(i);
  }
  benchmark::DoNotOptimize(sum);
  std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
  return took.count() / kArguments;
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// Ours and the library's passes alternate, in turns of who goes first, so
// that both see the same load and the same caches; each side's time per
// call is the median of its passes, and `ratio` ours over the library's.
template <typename Ours, typename Library>
void TimeSideBySide(benchmark::State& state, Ours ours, Library library) {
  std::vector<double> ours_times;
  std::vector<double> library_times;
  bool ours_first = true;
  for (auto _ : state) {
    if (ours_first) {
      ours_times.push_back(PassNanoseconds(ours));
    }
    library_times.push_back(PassNanoseconds(library));
    if (!ours_first) {
      ours_times.push_back(PassNanoseconds(ours));
    }
    ours_first = !ours_first;
  }
  double ours_ns = Median(ours_times);
  double library_ns = Median(library_times);
  state.counters["ours_ns"] = ours_ns;
  state.counters["library_ns"] = library_ns;
  state.counters["ratio"] = ours_ns / library_ns;
}

void BM_Unary(benchmark::State& state, double (*ours)(double), double (*library)(double),
              Range range) {
  std::vector<double> xs = Uniform(range, 1);
  TimeSideBySide(
      state, [&](int i) { return ours(xs[i]); }, [&](int i) { return library(xs[i]); });
}

void BM_Binary(benchmark::State& state, double (*ours)(double, double),
               double (*library)(double, double), Range x_range, Range y_range) {
  std::vector<double> xs = Uniform(x_range, 1);
  std::vector<double> ys = Uniform(y_range, 2);
  TimeSideBySide(
      state, [&](int i) { return ours(xs[i], ys[i]); },
      [&](int i) { return library(xs[i], ys[i]); });
}

double LibrarySin(double x) {
  return std::sin(x);
}
double LibraryCos(double x) {
  return std::cos(x);
}
double LibraryTan(double x) {
  return std::tan(x);
}
double LibraryLog(double x) {
  return std::log(x);
}
double LibraryLog10(double x) {
  return std::log10(x);
}
double LibraryPow(double x, double y) {
  return std::pow(x, y);
}

using namespace calculator_core;

BENCHMARK_CAPTURE(BM_Unary, sin, math::Sin, LibrarySin, kTrigRange);
BENCHMARK_CAPTURE(BM_Unary, cos, math::Cos, LibraryCos, kTrigRange);
BENCHMARK_CAPTURE(BM_Unary, tan, math::Tan, LibraryTan, kTrigRange);
BENCHMARK_CAPTURE(BM_Unary, log, math::Log, LibraryLog, kLogRange);
BENCHMARK_CAPTURE(BM_Unary, log10, math::Log10, LibraryLog10, kLogRange);
BENCHMARK_CAPTURE(BM_Binary, pow, math::Pow, LibraryPow, kBaseRange, kExponentRange);

// ---------------------------------------------------------------------------
// The slow paths.

struct Paths {
  bool (*fast)(double, double, double&);
  double (*slow)(double, double);
};

// A function of one argument's paths in the shape of pow's.
template <bool (*Fast)(double, double&)>
bool UnaryFast(double x, double, double& result) {
  return Fast(x, result);
}
template <double (*Slow)(double)>
double UnarySlow(double x, double) {
  return Slow(x);
}

constexpr Paths kSinPaths = {UnaryFast<math::SinFastPath>, UnarySlow<math::SinSlowPath>};
constexpr Paths kCosPaths = {UnaryFast<math::CosFastPath>, UnarySlow<math::CosSlowPath>};
constexpr Paths kTanPaths = {UnaryFast<math::TanFastPath>, UnarySlow<math::TanSlowPath>};
constexpr Paths kLogPaths = {UnaryFast<math::LogFastPath>, UnarySlow<math::LogSlowPath>};
constexpr Paths kLog10Paths = {UnaryFast<math::Log10FastPath>, UnarySlow<math::Log10SlowPath>};
constexpr Paths kPowPaths = {math::PowFastPath, math::PowSlowPath};
constexpr Range kNearOne = {0.7, 1.42};
// |y z| up to 0.7, where pow's fast path carries much of y log x in its
// low parts (power.cpp), and |y log x| below 700.
constexpr Range kModerateBase = {0.5, 4.0};
constexpr Range kLargeExponent = {-500.0, 500.0};
// Arguments whose reduction takes the most bits of 2/pi.
constexpr Range kHugeTrigRange = {1e300, 1.7e308};
constexpr Range kUnused = {1.0, 1.0};
// x just above 1 and |y| large: |y z| mostly beyond 16, where pow takes
// log x further (power.cpp).
constexpr Range kJustAboveOne = {1.0001, 1.001};
constexpr Range kHugeExponent = {20000.0, 600000.0};
constexpr int kRateArguments = 1 << 22;
// Results beyond e^708 and below e^-708 down to the subnormals, where a
// fast path limited to normal results would hand every call to the slow
// one.
constexpr Range kNearThree = {2.9, 3.0};
constexpr Range kTopExponent = {645.0, 646.0};
constexpr Range kBottomExponent = {-678.0, -645.0};

BENCHMARK_CAPTURE(BM_Binary, pow_large_y, math::Pow, LibraryPow, kModerateBase, kLargeExponent);
BENCHMARK_CAPTURE(BM_Unary, log_near_1, math::Log, LibraryLog, kNearOne);
BENCHMARK_CAPTURE(BM_Binary, pow_near_1_huge_y, math::Pow, LibraryPow, kJustAboveOne,
                  kHugeExponent);
BENCHMARK_CAPTURE(BM_Binary, pow_top, math::Pow, LibraryPow, kNearThree, kTopExponent);
BENCHMARK_CAPTURE(BM_Binary, pow_bottom, math::Pow, LibraryPow, kNearThree, kBottomExponent);

// The share of the fast path's failures over kRateArguments random
// arguments; the time is of no interest.
void BM_SlowPathRate(benchmark::State& state, Paths paths, Range x_range, Range y_range) {
  std::mt19937_64 random(3);
  auto uniform = [&random](Range range) {
    return range.low + (range.high - range.low) * (static_cast<double>(random() >> 11) * 0x1p-53);
  };
  std::int64_t failures = 0;
  for (auto _ : state) {
    for (int i = 0; i < kRateArguments; ++i) {
      double x = uniform(x_range);
      double result;
      failures += paths.fast(x == 0.0 ? x_range.high : x, uniform(y_range), result) ? 0 : 1;
    }
  }
  state.counters["failures"] = static_cast<double>(failures);
  state.counters["one_in"] =
      failures == 0 ? 0.0 : static_cast<double>(kRateArguments) * state.iterations() / failures;
}

// The slow path alone on 64 arguments that need it, each call timed; an
// argument's time is its fastest call (a slower one was interrupted), and
// "worst_us" the slowest argument's.
void BM_SlowPath(benchmark::State& state, Paths paths, Range x_range, Range y_range) {
  std::mt19937_64 random(4);
  auto uniform = [&random](Range range) {
    return range.low + (range.high - range.low) * (static_cast<double>(random() >> 11) * 0x1p-53);
  };
  std::vector<std::pair<double, double>> hard;
  while (hard.size() < 64) {
    double x = uniform(x_range);
    double y = uniform(y_range);
    double result;
    if (x != 0.0 && !paths.fast(x, y, result)) {
      hard.emplace_back(x, y);
    }
  }
  std::vector<double> fastest(hard.size(), 1e9);
  for (auto _ : state) {
    for (std::size_t i = 0; i < hard.size(); ++i) {
      auto start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(paths.slow(hard[i].first, hard[i].second));
      std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
      fastest[i] = took.count() < fastest[i] ? took.count() : fastest[i];
    }
  }
  double worst = 0.0;
  for (double time : fastest) {
    worst = time > worst ? time : worst;
  }
  state.counters["per_call"] = benchmark::Counter(
      static_cast<double>(hard.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["worst_us"] = worst;
}

BENCHMARK_CAPTURE(BM_SlowPathRate, sin, kSinPaths, kTrigRange, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, sin_huge, kSinPaths, kHugeTrigRange, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, cos, kCosPaths, kTrigRange, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, cos_huge, kCosPaths, kHugeTrigRange, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, tan, kTanPaths, kTrigRange, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, tan_huge, kTanPaths, kHugeTrigRange, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, log, kLogPaths, kLogRange, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, log_near_1, kLogPaths, kNearOne, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, log10, kLog10Paths, kLogRange, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, log10_near_1, kLog10Paths, kNearOne, kUnused)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, pow, kPowPaths, kBaseRange, kExponentRange)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, pow_near_1, kPowPaths, kNearOne, kExponentRange)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, pow_large_y, kPowPaths, kModerateBase, kLargeExponent)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, pow_near_1_huge_y, kPowPaths, kJustAboveOne, kHugeExponent)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, pow_top, kPowPaths, kNearThree, kTopExponent)->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPathRate, pow_bottom, kPowPaths, kNearThree, kBottomExponent)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_SlowPath, sin, kSinPaths, kTrigRange, kUnused);
BENCHMARK_CAPTURE(BM_SlowPath, sin_huge, kSinPaths, kHugeTrigRange, kUnused);
BENCHMARK_CAPTURE(BM_SlowPath, cos, kCosPaths, kTrigRange, kUnused);
BENCHMARK_CAPTURE(BM_SlowPath, cos_huge, kCosPaths, kHugeTrigRange, kUnused);
BENCHMARK_CAPTURE(BM_SlowPath, tan, kTanPaths, kTrigRange, kUnused);
BENCHMARK_CAPTURE(BM_SlowPath, tan_huge, kTanPaths, kHugeTrigRange, kUnused);
BENCHMARK_CAPTURE(BM_SlowPath, log, kLogPaths, kNearOne, kUnused);
BENCHMARK_CAPTURE(BM_SlowPath, log10, kLog10Paths, kNearOne, kUnused);
BENCHMARK_CAPTURE(BM_SlowPath, pow, kPowPaths, kBaseRange, kExponentRange);

}  // namespace

BENCHMARK_MAIN();
