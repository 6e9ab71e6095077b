// The evaluator core: the Calculator record, its three name tables and every
// operation that reads expression text. Internal to the library: programs
// use calculator.hpp (C++) or calculator.h (C).
//
// Everything is plain records and free functions over fixed-size buffers.
// A Calculator is single-threaded; Calculators of different sessions share
// nothing and may run on different threads.
//
// The namespace is not `calculator`: the C interface's handle type is called
// `calculator`, and its implementation includes this header.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace calculator_core {

// A text buffer holds at most 249 characters and its terminator.
constexpr int kTextBufferSize = 250;
constexpr int kMaxTextLength = kTextBufferSize - 1;
// Every name table has room for this many entries.
constexpr int kTableCapacity = 250;

// The built-in names, in table order: "pi", "e", then "sin" to "sigma".
constexpr int kConstantCount = 2;
constexpr int kFunctionCount = 12;
extern const char* const kConstantNames[kConstantCount];
extern const char* const kFunctionNames[kFunctionCount];

// The only error the calculator raises. The message is a constant text that
// lives for the whole process.
struct EvaluationError {
  const char* message;
};

// Thrown at a loop step once the session was asked to stop. It is not an
// EvaluationError, so no nested evaluation catches it: it abandons the whole
// evaluation.
struct Interruption {};

// Receives one line of an error report, without its newline.
using ReportSink = void (*)(void* context, const char* line);
// Called every `steps_between_progress` loop steps.
using ProgressHook = void (*)(void* context);

// What the evaluations of one session share: where its error reports go,
// the request to stop, and the progress hook. Every Calculator of the
// session, children included, points at it.
struct EvaluationContext {
  ReportSink report = nullptr;
  void* report_context = nullptr;
  ProgressHook progress = nullptr;
  void* progress_context = nullptr;
  std::uint32_t steps_between_progress = 4096;
  std::uint32_t steps_until_progress = 4096;
  // Set from another thread or a signal handler.
  std::atomic<bool> interrupt_requested{false};
};

// A name table: entries 0..count-1 are in use, each a 250-byte buffer of its
// own holding a NUL-terminated name.
struct NameTable {
  std::int32_t count;
  char* names[kTableCapacity];
};

struct Calculator {
  // A Calculator without a context discards its error reports and is never
  // interrupted.
  explicit Calculator(EvaluationContext* context = nullptr);
  ~Calculator();
  Calculator(const Calculator&) = delete;
  Calculator& operator=(const Calculator&) = delete;
  // Records come from a per-thread free list: loops create one per step.
  static void* operator new(std::size_t size);
  static void operator delete(void* memory, std::size_t size) noexcept;

  char* expression;     // the text being evaluated, 250 bytes, NUL-terminated
  std::int32_t length;  // characters of the text, terminator excluded
  std::int32_t cursor;  // index of the next character to read
  NameTable ConstTable;
  NameTable VariableTable;
  double VariableValues[kTableCapacity];  // parallel to VariableTable.names
  NameTable FunctionTable;
  EvaluationContext* context;  // shared with every child
};

// ---- Tables ---------------------------------------------------------------

// True if an entry of `table` equals `name` byte for byte.
bool IsRegistered(const char* name, const NameTable& table);
// Assigns `value` to the variable `name`, appending it when it is new.
// Raises "Variable Error : Too many variables." when the table is full; a
// name longer than 249 characters is stored cut to its first 249.
void SetVariable(Calculator& calculator, const char* name, double value);
// Raises "Variable Error : Variable not found." for an unknown name.
double VariableValue(const Calculator& calculator, const char* name);
// The value of a constant other than "e" (only "pi" has one).
double ConstValue(const char* name);
// Assigns every variable of `source` in `destination`, in table order.
void CopyVariables(Calculator& destination, const Calculator& source);

// ---- Grammar --------------------------------------------------------------

// Evaluates the longest sum at the start of `text`. Texts longer than 249
// characters are cut to their first 249.
double Calculate(Calculator& calculator, const char* text);
double ParseSum(Calculator& calculator);
double ParseProduct(Calculator& calculator);
double ParsePower(Calculator& calculator);
double Func6(Calculator& calculator);

// ---- Function calls -------------------------------------------------------

// Applies the registered function `name`, reading its argument at the cursor.
double CallFunction(const char* name, Calculator& calculator);

// ---- Argument text --------------------------------------------------------

// Writes argument `index` of the first parenthesised list in `text` into the
// zero-filled 250-byte buffer `out`, without a terminator.
void SplitArguments(const char* text, char* out, std::int32_t index);
// Writes the first blank-delimited word of `text` into the zero-filled
// 250-byte buffer `out`, without a terminator.
void TrimWord(const char* text, char* out);
// Position of the first ")" at which the parentheses from the start of
// `text` balance; the position of the last character if there is none.
std::int32_t FindClosingParen(const char* text);

// ---- Nested evaluations ---------------------------------------------------

// Evaluates `text` in a child of `parent`; on an evaluation error writes the
// error report and yields 0.
double EvaluateIsolated(const Calculator& parent, const char* text);
double SetFunction(Calculator& calculator);
double IntegralFunction(Calculator& calculator);
double SigmaFunction(Calculator& calculator);

// Reads a step count the way the C library's atoi does, but saturating at
// the 32-bit limits instead of overflowing.
std::int32_t ParseStepCount(const char* text);
// Truncates toward zero into the 32-bit range; saturates outside it and
// maps NaN to 0.
std::int32_t TruncateToInt32(double value);

// Hands the two-line report for a failed nested evaluation to the
// calculator's report sink.
void WriteErrorReport(const Calculator& calculator, const char* message);
// Called before every loop step: throws Interruption when the session was
// asked to stop, and calls the progress hook every so many steps.
void CountLoopStep(const Calculator& calculator);

// ---- Sessions --------------------------------------------------------------

// One long-lived evaluator with its variables, as the C++ and the C
// interfaces present it: the root Calculator and the context its children
// share.
struct SessionCore {
  SessionCore() : root(&context) {}
  SessionCore(const SessionCore&) = delete;
  SessionCore& operator=(const SessionCore&) = delete;

  EvaluationContext context;
  Calculator root;
};

enum class Outcome { kValue, kError, kInterrupted };

// Evaluates at most the first 249 characters of `text`, up to a NUL. On
// kError, `message` is the error's constant text.
Outcome EvaluateText(SessionCore& session, const char* text, std::size_t length, double& value,
                     const char*& message);
// Assigns a variable of the root, as a top-level set does; on kError,
// `message` says why.
Outcome AssignVariable(SessionCore& session, const char* name, std::size_t length, double value,
                       const char*& message);
// The value of the root's variable `name`, if it has one.
bool FindVariable(const SessionCore& session, const char* name, std::size_t length, double& value);
// The root's variables, in the order first assigned.
std::int32_t VariableCount(const SessionCore& session);
const char* VariableName(const SessionCore& session, std::int32_t index);

// ---- Number format --------------------------------------------------------

// Room for the longest number text, "-1.23457e-308", and its terminator.
constexpr int kNumberTextSize = 32;

// The answer format of a value: general notation with 6 significant digits,
// rounded half away from zero from the 17-digit decimal form, exponents with
// at least three digits, and 1.#INF / 1.#IND / 1.#QNAN / 1.#SNAN for values
// that are not finite. Writes `value` into `out` (at least kNumberTextSize
// bytes), NUL-terminated, and returns the number of characters written.
int FormatNumber(double value, char* out);

}  // namespace calculator_core
