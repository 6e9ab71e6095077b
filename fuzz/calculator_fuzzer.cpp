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
// the tables are intact, the cursor stayed inside the text, the number format
// produced a terminated text of the length it reported, and error reports
// come as whole two-line pairs.
//
// Work budget. A short line can legitimately ask for billions of loop steps
// (sigma(i,1,10^9,i)); that is slow, not hung. Every child Calculator -- one
// per set/sigma/integral argument and one per loop step, whether the step
// gets as far as evaluating its body or not -- is filled by CopyVariables, so
// the link line wraps CopyVariables with a counter (see fuzz/CMakeLists.txt),
// and an input that has spent its budget is abandoned by throwing an
// exception the calculator does not catch. The product itself is never
// limited; unwinding through it also checks that every child is released on
// a path that no evaluation error takes.

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "calculator/calculator.h"
#include "console/line_reader.h"
#include "console/number_format.h"
#include "fuzz/fuzz_target.h"

// With --wrap on the link line, every call of CopyVariables(Calculator&,
// const Calculator&) lands in the first function, and the second one names
// the real CopyVariables.
extern "C" void __wrap__Z13CopyVariablesR10CalculatorRKS_(Calculator& destination,
                                                          const Calculator& source);
extern "C" void __real__Z13CopyVariablesR10CalculatorRKS_(Calculator& destination,
                                                          const Calculator& source);

namespace {

// Work units one input may spend. A child with few variables costs one unit
// (some 10 to 50 microseconds in the instrumented build); one with many
// variables costs more (see ChildCost). The budget lets an input fill the
// whole variable table and still loop a little with it, keeps the slowest
// input around a second, far below libFuzzer's timeout, and keeps the
// typical one fast enough for hundreds of runs a second.
constexpr std::int64_t kWorkBudget = 4000;

struct WorkBudgetExhausted {};

std::int64_t work_left = 0;
bool last_input_over_budget = false;

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

// A child is filled by copying every variable of its parent, so its set-up
// grows with the variable count. The weight below charges a child with a
// full table 32 units, so that the 250 assignments that fill the table (each
// evaluates its value in a child) cost under 4000 units in all; the slowest
// inputs are those that spend the whole budget on such children.
std::int64_t ChildCost(const Calculator& parent) {
  std::int64_t variables = parent.VariableTable.count;
  return 1 + variables / 8;
}

void CheckReportLine(const char* line) {
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

void CheckTable(const NameTable& table, std::int32_t expected_count) {
  if (expected_count >= 0 && table.count != expected_count) {
    Fail("a fixed name table changed its size");
  }
  if (table.count < 0 || table.count > kTableCapacity) {
    Fail("name table count out of range");
  }
  for (std::int32_t i = 0; i < table.count; ++i) {
    if (strnlen(table.names[i], kTextBufferSize) == static_cast<std::size_t>(kTextBufferSize)) {
      Fail("unterminated name in a table");
    }
  }
}

void CheckSession(const Calculator& calculator) {
  CheckTable(calculator.ConstTable, 2);
  CheckTable(calculator.FunctionTable, 12);
  CheckTable(calculator.VariableTable, -1);
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

extern "C" void __wrap__Z13CopyVariablesR10CalculatorRKS_(Calculator& destination,
                                                          const Calculator& source) {
  work_left -= ChildCost(source);
  if (work_left < 0) {
    throw WorkBudgetExhausted{};
  }
  __real__Z13CopyVariablesR10CalculatorRKS_(destination, source);
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SetReportLineWriter(CheckReportLine);

  // Without the wrapped CopyVariables the budget would not see loop steps,
  // and long loops would be reported as hangs: refuse to run at all.
  std::unique_ptr<Calculator> probe(new Calculator);
  work_left = kWorkBudget;
  double value = Calculate(*probe, "sigma(i,1,3,i)");
  // Two bounds and three loop steps.
  if (value != 6.0 || kWorkBudget - work_left != 5) {
    Fail("child Calculators are not counted; the link line must wrap CopyVariables");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LoadInput(data, size);
  OpenLineReader(reader, input_fd);
  std::unique_ptr<Calculator> session(new Calculator);
  work_left = kWorkBudget;
  last_input_over_budget = false;
  expecting_report_detail = false;

  char line[kLineBufferSize];
  try {
    while (ReadLine(reader, line)) {
      if (line[kMaxLineLength] != '\0') {
        Fail("line reader filled the whole line buffer");
      }
      AnswerLine(*session, line);
      CheckSession(*session);
    }
  } catch (const WorkBudgetExhausted&) {
    // The input asked for more work than a fuzz run affords: drop the rest.
    last_input_over_budget = true;
  }
  return 0;
}

bool LastInputOverBudget() {
  return last_input_over_budget;
}
