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

using namespace calculator_core;

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
