// Micro-benchmarks of the paths that dominate long runs: one loop step of
// sigma and integral (with many variables, nested, failing), the life of a
// child frame, variable lookup, whole lines, the number format and the
// line reader.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "calculator/evaluation_frame.h"
#include "calculator/grammar.h"
#include "calculator/number_format.h"
#include "calculator/variable_scopes.h"
#include "console/input/line_reader.h"

using namespace calculator_core;

namespace {

constexpr int kStepsPerCall = 1000;

void DiscardReportLine(void*, const char*) {}

void BM_SigmaStep(benchmark::State& state) {
  EvaluationFrame frame;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Calculate(frame, "sigma(i,1,1000,i)"));
  }
  state.SetItemsProcessed(state.iterations() * kStepsPerCall);
}
BENCHMARK(BM_SigmaStep);

void BM_IntegralStep(benchmark::State& state) {
  EvaluationFrame frame;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Calculate(frame, "integral(x,0,1,1000,x*x)"));
  }
  state.SetItemsProcessed(state.iterations() * kStepsPerCall);
}
BENCHMARK(BM_IntegralStep);

// A loop step whose parent carries a handful of variables to copy.
void BM_SigmaStepWithVariables(benchmark::State& state) {
  EvaluationFrame frame;
  const char* names[] = {"a", "b", "c", "radius", "height", "offset", "scale", "count"};
  for (const char* name : names) {
    SetVariable(frame, name, 2.0);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(Calculate(frame, "sigma(i,1,1000,i*scale+offset)"));
  }
  state.SetItemsProcessed(state.iterations() * kStepsPerCall);
}
BENCHMARK(BM_SigmaStepWithVariables);

void BM_SigmaStepWithErrorReport(benchmark::State& state) {
  EvaluationContext context;
  context.report = DiscardReportLine;
  EvaluationFrame frame(&context);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Calculate(frame, "sigma(i,1,1000,1/0)"));
  }
  state.SetItemsProcessed(state.iterations() * kStepsPerCall);
}
BENCHMARK(BM_SigmaStepWithErrorReport);

// A loop step whose parent holds 240 variables: it should cost what the
// step with a handful costs, since a child reads its parent's variables
// instead of copying them.
void BM_SigmaStepWith240Variables(benchmark::State& state) {
  EvaluationFrame frame;
  for (int i = 0; i < 240; ++i) {
    SetVariable(frame, ("v" + std::to_string(i)).c_str(), i);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(Calculate(frame, "sigma(i,1,1000,i+v239)"));
  }
  state.SetItemsProcessed(state.iterations() * kStepsPerCall);
}
BENCHMARK(BM_SigmaStepWith240Variables);

// Inner steps of a nested loop read the outer loop variable one scope out;
// the inner call's argument list is taken apart once per outer step.
void BM_NestedSigmaStep(benchmark::State& state) {
  EvaluationFrame frame;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Calculate(frame, "sigma(i,1,100,sigma(j,1,100,i*j))"));
  }
  state.SetItemsProcessed(state.iterations() * 100 * 100);
}
BENCHMARK(BM_NestedSigmaStep);

// A child's creation and release, with `state.range(0)` variables in its
// parent: flat across the range.
void BM_ChildCalculatorLifecycle(benchmark::State& state) {
  EvaluationFrame parent;
  for (int i = 0; i < state.range(0); ++i) {
    SetVariable(parent, ("v" + std::to_string(i)).c_str(), i);
  }
  for (auto _ : state) {
    EvaluationFrame child(ChildOf{parent});
    benchmark::DoNotOptimize(&child);
  }
}
BENCHMARK(BM_ChildCalculatorLifecycle)->Arg(0)->Arg(2)->Arg(240);

// A name read through from the parent: constant time in the variable count.
void BM_LookUpParentVariable(benchmark::State& state) {
  EvaluationFrame parent;
  for (int i = 0; i < state.range(0); ++i) {
    SetVariable(parent, ("v" + std::to_string(i)).c_str(), i);
  }
  EvaluationFrame child(ChildOf{parent});
  const std::string last = "v" + std::to_string(state.range(0) - 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(LookUpVariable(child, MakeNameKey(last.c_str())));
  }
}
BENCHMARK(BM_LookUpParentVariable)->Arg(1)->Arg(240);

void BM_CalculateLine(benchmark::State& state, const char* line) {
  EvaluationFrame frame;
  SetVariable(frame, "x", 3.0);
  for (auto _ : state) {
    try {
      benchmark::DoNotOptimize(Calculate(frame, line));
    } catch (const EvaluationError& error) {
      benchmark::DoNotOptimize(error.message);
    }
  }
}
BENCHMARK_CAPTURE(BM_CalculateLine, arithmetic, "583/(868+64)/668*444");
BENCHMARK_CAPTURE(BM_CalculateLine, powers, "2^10-(3.5*x)^2/7");
BENCHMARK_CAPTURE(BM_CalculateLine, functions, "sqrt(abs(sin(pi/6))*4)+log10 1000");
BENCHMARK_CAPTURE(BM_CalculateLine, error, "1+(2*y)");

void BM_FormatNumber(benchmark::State& state) {
  const double values[] = {3.0, 0.6666666666666666, 1234567.0, 1e-5, -2.718281828459045, 1e300};
  char text[kNumberTextSize];
  for (auto _ : state) {
    for (double value : values) {
      benchmark::DoNotOptimize(FormatNumberDigits(value, CALCULATOR_DEFAULT_DIGITS, text));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::size(values)));
}
BENCHMARK(BM_FormatNumber);

void BM_ReadLine(benchmark::State& state) {
  constexpr int kLines = 10000;
  std::FILE* file = std::tmpfile();
  for (int i = 0; i < kLines; ++i) {
    std::fputs("583/(868+64)/668*444+12.5^2\n", file);
  }
  std::fflush(file);
  int fd = fileno(file);
  static LineReader reader;
  char line[kLineBufferSize];
  for (auto _ : state) {
    lseek(fd, 0, SEEK_SET);
    OpenLineReader(reader, fd);
    while (ReadLine(reader, line)) {
      benchmark::DoNotOptimize(line);
    }
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  std::fclose(file);
}
BENCHMARK(BM_ReadLine);

}  // namespace

BENCHMARK_MAIN();
