// Fuzz target: arbitrary bytes turned into a sequence of calls on the
// public C interface, the one every embedder uses.
//
// The input is cut into lines by the console's own LineReader. A line is an
// expression, evaluated on one session that lives for the whole input (so
// variables carry over), alternately through calculator_evaluate and
// calculator_answer. A line that starts with '#' is a command instead:
//
//   #set NAME VALUE   calculator_set_variable (NAME may be anything)
//   #get NAME         calculator_get_variable
//   #every N          progress handler every N steps (0 counts as 1; at
//                     most a quarter of the work budget)
//   #stop N           the progress handler asks to stop after N calls
//   #interrupt N      the progress handler calls calculator_interrupt
//   #reenter          the next report or progress call re-enters the session
//   #free             the next report or progress call frees the session;
//                     a new one takes its place
//
// After every call the target checks what the interface promises: status
// codes and messages, answer lines that match the values and the messages,
// variables that are found again under their names, names that the reader
// rule accepts, report lines in headline and detail pairs, handlers refused
// as BUSY, and the sanitizers see every byte.
//
// Work budget. A short line can legitimately ask for billions of loop steps
// (sigma(i,1,10^9,i)); that is slow, not hung. The progress handler counts
// the steps and stops an input that has spent its budget, as Ctrl-C does
// at the console. The library itself is never limited.

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "calculator/calculator.h"
#include "console/input/line_reader.h"
#include "fuzz/fuzz_target.h"

namespace {

// Loop steps one input may spend, as in the console's slowest bodies some
// hundreds of microseconds each in the instrumented build.
constexpr long kWorkBudget = 4000;
constexpr char kReportHeadline[] = "Function Error : Wrong define in \"function\".";
constexpr std::size_t kLongestLine = 512;

enum class HandlerAction { kNone, kReenter, kFree };

struct Harness {
  calculator_session* session = nullptr;
  long work_left = 0;
  bool over_budget = false;
  bool expecting_report_detail = false;
  unsigned every_steps = 1;
  long stop_after_calls = -1;       // -1: never
  long interrupt_after_calls = -1;  // -1: never
  HandlerAction action = HandlerAction::kNone;
  bool freed_by_handler = false;
};

Harness harness;
int input_fd = -1;
LineReader reader;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "calculator_fuzzer: %s\n", what);
  std::abort();
}

void Expect(bool holds, const char* what) {
  if (!holds) {
    Fail(what);
  }
}

bool IsTerminated(const char* text, std::size_t limit) {
  return text != nullptr && strnlen(text, limit) < limit;
}

// What a handler does when the input asked for it: each attempt to change
// the evaluating session must be refused, or, for a free, must wait.
void ActInHandler() {
  HandlerAction action = harness.action;
  harness.action = HandlerAction::kNone;
  if (action == HandlerAction::kFree) {
    calculator_free(harness.session);
    harness.freed_by_handler = true;
    return;
  }
  if (action != HandlerAction::kReenter) {
    return;
  }
  double value = 12345;
  char line[8] = "unset";
  Expect(calculator_evaluate(harness.session, "1", &value) == CALCULATOR_BUSY && value == 12345,
         "evaluate from a handler not refused");
  Expect(calculator_answer(harness.session, "1", line, sizeof line) == -CALCULATOR_BUSY &&
             line[0] == '\0',
         "answer from a handler not refused");
  Expect(calculator_set_variable(harness.session, "x", 1) == CALCULATOR_BUSY,
         "set_variable from a handler not refused");
  Expect(calculator_set_report_handler(harness.session, nullptr, nullptr) == CALCULATOR_BUSY,
         "set_report_handler from a handler not refused");
  Expect(std::strcmp(calculator_error_message(harness.session), "The session is evaluating.") == 0,
         "refusal without its message");
}

void CheckReportLine(void*, const char* line) {
  Expect(IsTerminated(line, kLongestLine), "report line missing or unterminated");
  if (harness.expecting_report_detail) {
    Expect(std::strncmp(line, "> ", 2) == 0, "report headline not followed by a \"> \" line");
  } else {
    Expect(std::strcmp(line, kReportHeadline) == 0, "report line without its headline");
  }
  harness.expecting_report_detail = !harness.expecting_report_detail;
  if (!harness.freed_by_handler) {
    ActInHandler();
  }
}

int CountProgress(void*) {
  if (!harness.freed_by_handler) {
    ActInHandler();
  }
  harness.work_left -= harness.every_steps;
  if (harness.work_left < 0) {
    harness.over_budget = true;
    return 1;
  }
  if (harness.interrupt_after_calls >= 0 && harness.interrupt_after_calls-- == 0) {
    calculator_interrupt(harness.session);
  }
  if (harness.stop_after_calls >= 0 && harness.stop_after_calls-- == 0) {
    return 1;
  }
  return 0;
}

void InstallHandlers() {
  Expect(calculator_set_report_handler(harness.session, CheckReportLine, nullptr) == CALCULATOR_OK,
         "report handler refused");
  Expect(calculator_set_progress_handler(harness.session, harness.every_steps, CountProgress,
                                         nullptr) == CALCULATOR_OK,
         "progress handler refused");
}

void NewSession() {
  harness.session = calculator_new();
  Expect(harness.session != nullptr, "no session");
  harness.freed_by_handler = false;
  InstallHandlers();
}

// A status the evaluation may end with; a freed session is replaced.
void CheckEvaluationStatus(int status) {
  Expect(!harness.expecting_report_detail, "report cut after its headline");
  if (harness.freed_by_handler) {
    Expect(status == CALCULATOR_INTERRUPTED, "evaluation of a freed session not interrupted");
    NewSession();
    return;
  }
  Expect(status == CALCULATOR_OK || status == CALCULATOR_ERROR || status == CALCULATOR_INTERRUPTED,
         "evaluation ended with an unexpected status");
  if (status != CALCULATOR_OK) {
    const char* message = calculator_error_message(harness.session);
    Expect(IsTerminated(message, kLongestLine) && message[0] != '\0',
           "failed evaluation without a message");
  }
}

void Evaluate(const char* line) {
  const double kUnset = -1234.5;
  double value = kUnset;
  int status = calculator_evaluate(harness.session, line, &value);
  CheckEvaluationStatus(status);
  if (status != CALCULATOR_OK) {
    Expect(value == kUnset, "failed evaluation stored a value");
    return;
  }
  char number[CALCULATOR_NUMBER_TEXT_SIZE + 4];
  std::memset(number, 'x', sizeof number);
  std::size_t length = calculator_format_number(value, number, CALCULATOR_NUMBER_TEXT_SIZE);
  Expect(length > 0 && length < CALCULATOR_NUMBER_TEXT_SIZE && std::strlen(number) == length &&
             number[CALCULATOR_NUMBER_TEXT_SIZE] == 'x',
         "number text of another length than reported");
}

// The answer line, whole and cut short: both must agree with the message.
void Answer(const char* line) {
  char answer[300];
  std::memset(answer, 'x', sizeof answer);
  int length = calculator_answer(harness.session, line, answer, 200);
  CheckEvaluationStatus(length < 0 ? -length : CALCULATOR_OK);
  Expect(answer[200] == 'x', "answer written past its buffer");
  if (length < 0) {
    Expect(answer[0] == '\0', "answer line written for an evaluation without one");
    return;
  }
  Expect(static_cast<std::size_t>(length) == std::strlen(answer), "answer length wrong");
  bool result = std::strncmp(answer, "Result is ", 10) == 0;
  if (!result) {
    Expect(std::strncmp(answer, "Error : ", 8) == 0 &&
               std::strcmp(answer + 8, calculator_error_message(harness.session)) == 0,
           "answer line neither a result nor the error message");
  }
}

void CheckVariables() {
  std::size_t count = calculator_variable_count(harness.session);
  Expect(count <= 250, "more than 250 variables");
  for (std::size_t i = 0; i < count; ++i) {
    const char* name = calculator_variable_name(harness.session, i);
    Expect(IsTerminated(name, 250), "variable name missing or unterminated");
    double value = 0;
    Expect(calculator_get_variable(harness.session, name, &value) == CALCULATOR_OK,
           "variable not found under its own name");
  }
  Expect(calculator_variable_name(harness.session, count) == nullptr, "a name past the count");
}

void SetVariable(const char* arguments) {
  const char* space = std::strrchr(arguments, ' ');
  std::size_t name_length =
      space == nullptr ? std::strlen(arguments) : static_cast<std::size_t>(space - arguments);
  char name[256];
  std::size_t kept = name_length < sizeof name - 1 ? name_length : sizeof name - 1;
  std::memcpy(name, arguments, kept);
  name[kept] = '\0';
  double value = space == nullptr ? 0.0 : std::strtod(space + 1, nullptr);
  std::size_t before = calculator_variable_count(harness.session);
  int status = calculator_set_variable(harness.session, name, value);
  bool readable = calculator_is_name(name, std::strlen(name)) != 0;
  if (!readable) {
    Expect(status == CALCULATOR_INVALID_NAME, "a name no expression can read was accepted");
    Expect(calculator_variable_count(harness.session) == before, "a refused name was stored");
    return;
  }
  if (status == CALCULATOR_ERROR) {
    Expect(before == 250, "set_variable failed below the capacity");
    return;
  }
  Expect(status == CALCULATOR_OK, "set_variable of a readable name failed");
  double found = 0;
  Expect(calculator_get_variable(harness.session, name, &found) == CALCULATOR_OK,
         "variable set but not found");
  Expect(std::memcmp(&found, &value, sizeof value) == 0, "variable found with another value");
}

void GetVariable(const char* name) {
  double value = 777;
  int status = calculator_get_variable(harness.session, name, &value);
  Expect(status == CALCULATOR_OK || (status == CALCULATOR_NOT_FOUND && value == 777),
         "get_variable: unexpected status, or a value stored for a missing name");
}

long NumberAfter(const char* text) {
  long number = std::strtol(text, nullptr, 10);
  return number < 0 ? 0 : number % 100000;
}

bool StartsWith(const char* line, const char* prefix) {
  return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

void RunCommand(const char* command) {
  if (StartsWith(command, "set ")) {
    SetVariable(command + 4);
  } else if (StartsWith(command, "get ")) {
    GetVariable(command + 4);
  } else if (StartsWith(command, "every ")) {
    // At most a quarter of the budget between two counts.
    harness.every_steps = static_cast<unsigned>(NumberAfter(command + 6) % (kWorkBudget / 4));
    if (harness.every_steps == 0) {
      harness.every_steps = 1;
    }
    InstallHandlers();
  } else if (StartsWith(command, "stop ")) {
    harness.stop_after_calls = NumberAfter(command + 5);
  } else if (StartsWith(command, "interrupt ")) {
    harness.interrupt_after_calls = NumberAfter(command + 10);
  } else if (StartsWith(command, "reenter")) {
    harness.action = HandlerAction::kReenter;
  } else if (StartsWith(command, "free")) {
    harness.action = HandlerAction::kFree;
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

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Without the step count the budget would not see loop steps, and long
  // loops would be reported as hangs: refuse to run at all.
  harness = Harness{};
  NewSession();
  harness.work_left = kWorkBudget;
  double value = 0;
  if (calculator_evaluate(harness.session, "sigma(i,1,3,i)", &value) != CALCULATOR_OK ||
      value != 6.0 || kWorkBudget - harness.work_left != 3) {
    Fail("loop steps are not counted by the progress handler");
  }
  calculator_free(harness.session);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LoadInput(data, size);
  OpenLineReader(reader, input_fd);
  harness = Harness{};
  NewSession();
  harness.work_left = kWorkBudget;

  // Once over budget, every later loop step is stopped at once; the lines go
  // on, so the rest of the input is still checked.
  char line[kLineBufferSize];
  bool answer = false;
  while (ReadLine(reader, line)) {
    if (line[CALCULATOR_MAX_TEXT_LENGTH] != '\0') {
      Fail("line reader filled the whole line buffer");
    }
    if (line[0] == '#') {
      RunCommand(line + 1);
    } else if ((answer = !answer)) {
      Answer(line);
    } else {
      Evaluate(line);
    }
    CheckVariables();
  }
  calculator_free(harness.session);
  return 0;
}

bool LastInputOverBudget() {
  return harness.over_budget;
}
