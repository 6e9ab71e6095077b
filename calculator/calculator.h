// The evaluator core: the Calculator record, its three name tables and every
// operation that reads expression text.
//
// Everything is plain records and free functions over fixed-size buffers.
// A Calculator is single-threaded: use one per thread.
#pragma once

#include <cstddef>
#include <cstdint>

// A text buffer holds at most 249 characters and its terminator.
constexpr int kTextBufferSize = 250;
constexpr int kMaxTextLength = kTextBufferSize - 1;
// Every name table has room for this many entries.
constexpr int kTableCapacity = 250;

// The only error the calculator raises. The message is a constant text that
// lives for the whole process.
struct EvaluationError {
  const char* message;
};

// A name table: entries 0..count-1 are in use, each a 250-byte buffer of its
// own holding a NUL-terminated name.
struct NameTable {
  std::int32_t count;
  char* names[kTableCapacity];
};

struct Calculator {
  Calculator();
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

// Writes `line` (cut to 257 characters) and a newline to standard
// output with one system call where it can. Output failures are ignored.
void WriteStandardOutputLine(const char* line);

// Where the two lines of an error report go; `line` has no newline. The
// default is WriteStandardOutputLine.
using ReportLineWriter = void (*)(const char* line);
void SetReportLineWriter(ReportLineWriter writer);
// Writes the two-line report for a failed nested evaluation.
void WriteErrorReport(const char* message);
