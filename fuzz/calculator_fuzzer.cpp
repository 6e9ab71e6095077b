// Fuzz target: arbitrary bytes fed to the calculator as if they had been
// piped into the console program.
//
// The input is cut into lines by the console's own LineReader, reading from
// an in-memory file, and every line is evaluated on one Calculator that lives
// for the whole input, so variables carry over from line to line as they do
// in a console session. Values go through the console's number format; error
// reports go to a sink that checks them instead of to standard output.
//
// Besides the sanitizers, the target checks what must hold after every line:
// the variables are intact, the cursor stayed inside the text, the number format
// produced a terminated text of the length it reported, and error reports
// come as whole two-line pairs.
//
// Work budget. A short line can legitimately ask for billions of loop steps
// (sigma(i,1,10^9,i)); that is slow, not hung. The session's progress hook,
// called at every loop step here, counts the steps, and once an input has
// spent its budget the hook asks the evaluation to stop, as Ctrl-C does at
// the console. The product itself is never limited; the interruption also
// checks that every child is released on a path that no evaluation error
// takes.

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "calculator/core.h"
#include "console/line_reader.h"
#include "fuzz/fuzz_target.h"

using namespace calculator_core;

namespace {

// Loop steps one input may spend. In the instrumented build a step takes
// from some 10 microseconds (sigma(i,1,N,i)) to some 200 (a body of twenty
// sets, each evaluating its value in a child of its own), however many
// variables the session has, as measured. The budget keeps the slowest
// input around a second, far below libFuzzer's timeout, and keeps the
// typical one fast enough for hundreds of runs a second.
constexpr std::int64_t kWorkBudget = 4000;

std::int64_t work_left = 0;
bool last_input_over_budget = false;
EvaluationContext context;

constexpr char kReportHeadline[] = "Function Error : Wrong define in \"function\".";
// The longest line the report writer can be handed: a 249-character text
// behind "> ", with room to spare.
constexpr std::size_t kLongestReportLine = kTextBufferSize + 8;

bool expecting_report_detail = false;
int input_fd = -1;
LineReader reader;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "calculator_fuzzer: %s\n", what);
  std::abort();
}

void CheckReportLine(void*, const char* line) {
  if (line == nullptr || strnlen(line, kLongestReportLine) == kLongestReportLine) {
    Fail("error report line is missing or unterminated");
  }
  if (expecting_report_detail) {
    if (std::strncmp(line, "> ", 2) != 0) {
      Fail("error report headline not followed by a \"> \" line");
    }
  } else if (std::strcmp(line, kReportHeadline) != 0) {
    Fail("error report line without its headline");
  }
  expecting_report_detail = !expecting_report_detail;
}

// The session's variables: every entry a terminated name of the length
// and hash it records, found again by a lookup (so the hash index agrees
// with the entries), and a root's count equal to its entries.
void CheckVariables(const Calculator& calculator) {
  const VariableScope& scope = calculator.variables;
  if (scope.outer != nullptr || scope.own_count != scope.visible_count) {
    Fail("a session calculator counts variables it does not hold");
  }
  if (scope.own_count < 0 || scope.own_count > kTableCapacity) {
    Fail("variable count out of range");
  }
  for (std::int32_t i = 0; i < scope.own_count; ++i) {
    const Variable& variable = scope.entries[i];
    if (strnlen(variable.name, kTextBufferSize) != static_cast<std::size_t>(variable.length)) {
      Fail("variable name of another length than recorded, or unterminated");
    }
    NameKey key = MakeNameKey(variable.name);
    if (key.hash != variable.hash || LookUpVariable(calculator, key) != &variable) {
      Fail("variable not found again under its own name");
    }
  }
}

void CheckSession(const Calculator& calculator) {
  CheckVariables(calculator);
  if (calculator.length < 0 || calculator.length > kMaxTextLength ||
      calculator.expression[calculator.length] != '\0') {
    Fail("expression length does not match its text");
  }
  if (calculator.cursor < 0 || calculator.cursor > calculator.length) {
    Fail("cursor left the expression text");
  }
  if (expecting_report_detail) {
    Fail("error report cut after its headline");
  }
}

// One pass of the console loop, with the answer line built but not written.
void AnswerLine(Calculator& calculator, const char* line) {
  double value = 0.0;
  try {
    value = Calculate(calculator, line);
  } catch (const Interruption&) {
    // The input asked for more work than a fuzz run affords: drop the rest.
    last_input_over_budget = true;
    return;
  } catch (const EvaluationError& error) {
    if (error.message == nullptr || strnlen(error.message, kTextBufferSize) == kTextBufferSize) {
      Fail("evaluation error without a terminated message");
    }
    return;
  }
  char number[kNumberTextSize];
  std::memset(number, 'x', sizeof number);
  int length = FormatNumber(value, number);
  if (length <= 0 || length >= kNumberTextSize ||
      std::strlen(number) != static_cast<std::size_t>(length)) {
    Fail("number format wrote a text of another length than it reported");
  }
}

// Puts the input into an in-memory file and rewinds it for the line reader.
void LoadInput(const std::uint8_t* data, std::size_t size) {
  if (input_fd < 0) {
    input_fd = memfd_create("calculator-fuzz-input", 0);
    if (input_fd < 0) {
      Fail("cannot create the in-memory input file");
    }
  }
  if (ftruncate(input_fd, 0) != 0) {
    Fail("cannot empty the in-memory input file");
  }
  std::size_t written = 0;
  while (written < size) {
    ssize_t count = pwrite(input_fd, data + written, size - written, static_cast<off_t>(written));
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      Fail("cannot write the in-memory input file");
    }
    written += static_cast<std::size_t>(count);
  }
  if (lseek(input_fd, 0, SEEK_SET) != 0) {
    Fail("cannot rewind the in-memory input file");
  }
}

}  // namespace

// Called before every loop step.
int CountStep(void*) {
  if (--work_left < 0) {
    context.interrupt_requested.store(true, std::memory_order_relaxed);
  }
  return 0;
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  context.report = CheckReportLine;
  context.progress = CountStep;
  context.steps_between_progress = 1;
  context.steps_until_progress = 1;

  // Without the step count the budget would not see loop steps, and long
  // loops would be reported as hangs: refuse to run at all.
  std::unique_ptr<Calculator> probe(new Calculator(&context));
  work_left = kWorkBudget;
  double value = Calculate(*probe, "sigma(i,1,3,i)");
  if (value != 6.0 || kWorkBudget - work_left != 3) {
    Fail("loop steps are not counted by the progress hook");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LoadInput(data, size);
  OpenLineReader(reader, input_fd);
  std::unique_ptr<Calculator> session(new Calculator(&context));
  work_left = kWorkBudget;
  context.interrupt_requested.store(false, std::memory_order_relaxed);
  last_input_over_budget = false;
  expecting_report_detail = false;

  // Once over budget, every later loop step is interrupted at once; the
  // lines go on, so the rest of the input is still checked.
  char line[kLineBufferSize];
  while (ReadLine(reader, line)) {
    if (line[kMaxLineLength] != '\0') {
      Fail("line reader filled the whole line buffer");
    }
    AnswerLine(*session, line);
    CheckSession(*session);
  }
  return 0;
}

bool LastInputOverBudget() {
  return last_input_over_budget;
}
