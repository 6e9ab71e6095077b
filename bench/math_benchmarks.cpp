// Our elementary functions side by side with this machine's C library, on
// the ranges where the common case counts: sin, cos, tan on [-10, 10]; log
// and log10 on (0, 1e6); x^y with x in [0.1, 100], y in [-50, 50]. The
// goal is at most 1.5 times the C library's time per call ("per_call").

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "calculator/math/elementary.h"
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

void PerCall(benchmark::State& state) {
  state.counters["per_call"] = benchmark::Counter(
      kArguments, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Independent calls over a table of arguments: the time of a call when
// many are in flight, as in a loop.
void BM_Unary(benchmark::State& state, double (*function)(double), Range range) {
  std::vector<double> arguments = Uniform(range, 1);
  for (auto _ : state) {
    double sum = 0.0;
    for (double x : arguments) {
      sum += function(x);
    }
    benchmark::DoNotOptimize(sum);
  }
  PerCall(state);
}

void BM_Binary(benchmark::State& state, double (*function)(double, double), Range x_range,
               Range y_range) {
  std::vector<double> xs = Uniform(x_range, 1);
  std::vector<double> ys = Uniform(y_range, 2);
  for (auto _ : state) {
    double sum = 0.0;
    for (int i = 0; i < kArguments; ++i) {
      sum += function(xs[i], ys[i]);
    }
    benchmark::DoNotOptimize(sum);
  }
  PerCall(state);
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

// How often the fast path cannot decide: the share of a million arguments
// left to the slow path ("slow_path_share"; the goal is at most 1/1000),
// counted here rather than in the library.
std::vector<double> TrigSamples(bool log_uniform) {
  std::mt19937_64 random(3);
  std::vector<double> values(1 << 20);
  for (double& value : values) {
    double unit = static_cast<double>(random() >> 11) * 0x1p-53;
    // |x| from 1e-8 to 1e308, either sign; or uniform in [-10, 10].
    value = log_uniform ? std::exp(std::log(1e-8) + unit * (std::log(1e308) - std::log(1e-8)))
                        : kTrigRange.low + (kTrigRange.high - kTrigRange.low) * unit;
    if (log_uniform && (random() & 1) != 0) {
      value = -value;
    }
  }
  return values;
}

void BM_SlowPathShare(benchmark::State& state, bool (*fast_path)(double, double&),
                      bool log_uniform) {
  std::vector<double> arguments = TrigSamples(log_uniform);
  std::int64_t undecided = 0;
  for (auto _ : state) {
    undecided = 0;
    for (double x : arguments) {
      double result;
      undecided += fast_path(x, result) ? 0 : 1;
    }
    benchmark::DoNotOptimize(undecided);
  }
  state.counters["slow_path_share"] =
      static_cast<double>(undecided) / static_cast<double>(arguments.size());
}

// The slow path's time on the arguments that cost it most: the largest
// doubles, whose reduction takes the most of 2/pi, and reduced arguments
// near pi/4, where the series are longest.
constexpr double kCostlyTrigArguments[] = {
    0x1.fffffffffffffp+1023, 0x1.94586c93ea0fcp+1023, 0x1.921fb54442d18p-1, 1.0,
    0x1.2d7dbc4f94ba6p+3,
};

// One of them per run, by its index: the slowest is what counts (goal:
// under 50 microseconds).
void BM_SlowPath(benchmark::State& state, double (*slow_path)(double)) {
  double x = kCostlyTrigArguments[state.range(0)];
  for (auto _ : state) {
    benchmark::DoNotOptimize(slow_path(x));
  }
}
constexpr int kLastCostly = sizeof kCostlyTrigArguments / sizeof kCostlyTrigArguments[0] - 1;

using namespace calculator_core;

BENCHMARK_CAPTURE(BM_SlowPathShare, sin_uniform, math::SinFastPath, false)->Iterations(3);
BENCHMARK_CAPTURE(BM_SlowPathShare, sin_log_uniform, math::SinFastPath, true)->Iterations(3);
BENCHMARK_CAPTURE(BM_SlowPathShare, cos_uniform, math::CosFastPath, false)->Iterations(3);
BENCHMARK_CAPTURE(BM_SlowPathShare, cos_log_uniform, math::CosFastPath, true)->Iterations(3);
BENCHMARK_CAPTURE(BM_SlowPathShare, tan_uniform, math::TanFastPath, false)->Iterations(3);
BENCHMARK_CAPTURE(BM_SlowPathShare, tan_log_uniform, math::TanFastPath, true)->Iterations(3);
BENCHMARK_CAPTURE(BM_SlowPath, sin_slow_path, math::SinSlowPath)->DenseRange(0, kLastCostly);
BENCHMARK_CAPTURE(BM_SlowPath, cos_slow_path, math::CosSlowPath)->DenseRange(0, kLastCostly);
BENCHMARK_CAPTURE(BM_SlowPath, tan_slow_path, math::TanSlowPath)->DenseRange(0, kLastCostly);

BENCHMARK_CAPTURE(BM_Unary, sin_ours, math::Sin, kTrigRange);
BENCHMARK_CAPTURE(BM_Unary, sin_library, LibrarySin, kTrigRange);
BENCHMARK_CAPTURE(BM_Unary, cos_ours, math::Cos, kTrigRange);
BENCHMARK_CAPTURE(BM_Unary, cos_library, LibraryCos, kTrigRange);
BENCHMARK_CAPTURE(BM_Unary, tan_ours, math::Tan, kTrigRange);
BENCHMARK_CAPTURE(BM_Unary, tan_library, LibraryTan, kTrigRange);
BENCHMARK_CAPTURE(BM_Unary, log_ours, math::Log, kLogRange);
BENCHMARK_CAPTURE(BM_Unary, log_library, LibraryLog, kLogRange);
BENCHMARK_CAPTURE(BM_Unary, log10_ours, math::Log10, kLogRange);
BENCHMARK_CAPTURE(BM_Unary, log10_library, LibraryLog10, kLogRange);
BENCHMARK_CAPTURE(BM_Binary, pow_ours, math::Pow, kBaseRange, kExponentRange);
BENCHMARK_CAPTURE(BM_Binary, pow_library, LibraryPow, kBaseRange, kExponentRange);

}  // namespace

BENCHMARK_MAIN();
