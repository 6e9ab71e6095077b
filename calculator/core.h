// The evaluator core: the Calculator record, its variable scopes, the
// built-in names and every operation that reads expression text. Internal
// to the library: programs use calculator.hpp (C++) or calculator.h (C).
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
// A Calculator sees at most this many variables, its ancestors' included.
constexpr int kTableCapacity = 250;

// The built-in names, constant and shared by every Calculator.
constexpr int kConstantCount = 2;
constexpr int kFunctionCount = 12;
inline constexpr const char* kConstantNames[kConstantCount] = {"pi", "e"};
inline constexpr const char* kFunctionNames[kFunctionCount] = {
    "sin",  "cos",     "tan",     "log",      "log10", "abs",
    "sqrt", "rad2deg", "deg2rad", "integral", "set",   "sigma"};

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
// Called every `steps_between_progress` loop steps; a non-zero return stops
// the evaluation as an interruption does.
using ProgressHook = int (*)(void* context);

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

// A variable name as the tables compare it: cut to its first 249
// characters, with its length and hash worked out once.
struct NameKey {
  const char* chars;
  std::int32_t length;
  std::uint32_t hash;
};

// Hashes the bytes of a name; ReadName in the grammar computes the same hash
// byte by byte as it reads.
constexpr std::uint32_t kNameHashSeed = 2166136261u;
constexpr std::uint32_t HashNameByte(std::uint32_t hash, char byte) {
  return (hash ^ static_cast<unsigned char>(byte)) * 16777619u;
}
NameKey MakeNameKey(const char* name);

struct Variable {
  double value;
  const char* name;  // NUL-terminated, at most 249 characters
  std::int32_t length;
  std::uint32_t hash;
  bool owns_name;  // false for a loop variable, whose name the loop lends
  // Named like a constant, which hides it: worked out once when the name
  // is stored rather than at every lookup.
  bool hidden_by_constant;
};

// The variables one Calculator holds itself. A root holds all of its own.
// A child holds only the names it assigns (the loop variable, a set in the
// body) and reads every other name through to its parent, so creating one
// costs the same however many variables its ancestors have.
struct VariableScope {
  // Few variables are scanned in place; past that the entries move to a
  // table of full capacity with a hash index over it.
  static constexpr std::int32_t kInlineCount = 4;
  static constexpr int kIndexBits = 9;
  static constexpr std::int32_t kIndexSize = 1 << kIndexBits;  // over twice the capacity

  // The first slot to probe for a name. FNV's low bits differ little
  // between names that differ only in their last character (v1, v2, ...):
  // the top bits of a multiplicative mix spread such names over the index.
  static std::uint32_t HomeSlot(std::uint32_t hash) {
    return (hash * 2654435769u) >> (32 - kIndexBits);
  }

  const VariableScope* outer;  // the parent's scope; null in a root
  // What the table would count if the child held a copy of every variable
  // it sees: its parent's count plus the names new to it.
  std::int32_t visible_count;
  std::int32_t own_count;  // entries 0..own_count-1, in the order first assigned
  Variable* entries;       // `inline_entries` or a table of kTableCapacity
  std::int16_t* index;     // null while the entries are inline
  Variable inline_entries[kInlineCount];
};

struct Calculator;
// Names the parent of a child Calculator.
struct ChildOf {
  const Calculator& parent;
};

struct Calculator {
  // A Calculator without a context discards its error reports and is never
  // interrupted.
  explicit Calculator(EvaluationContext* context = nullptr);
  // A child shares its parent's context and sees its parent's variables.
  explicit Calculator(ChildOf child_of);
  ~Calculator();
  Calculator(const Calculator&) = delete;
  Calculator& operator=(const Calculator&) = delete;

  // The text being evaluated, NUL-terminated: `text`, or a loop body that
  // the loop lends to each of its steps.
  char* expression;
  std::int32_t length;  // characters of the text, terminator excluded
  std::int32_t cursor;  // index of the next character to read
  VariableScope variables;
  EvaluationContext* context;  // shared with every child
  char text[kTextBufferSize];
};

// ---- Tables ---------------------------------------------------------------

// Whole, case-sensitive comparisons against the fixed built-in names,
// shared by every Calculator (kConstantNames, kFunctionNames).
bool IsFunctionName(const char* name);
// True if `key` spells kConstantNames[constant].
bool SpellsConstantName(NameKey key, std::int32_t constant);

constexpr std::uint32_t HashOfName(const char* name) {
  std::uint32_t hash = kNameHashSeed;
  for (; *name != '\0'; ++name) {
    hash = HashNameByte(hash, *name);
  }
  return hash;
}

inline constexpr std::uint32_t kConstantHashes[kConstantCount] = {HashOfName(kConstantNames[0]),
                                                                  HashOfName(kConstantNames[1])};

// The hashes reject nearly every other name at once.
inline bool IsConstantName(NameKey key) {
  for (std::int32_t i = 0; i < kConstantCount; ++i) {
    if (key.hash == kConstantHashes[i] && SpellsConstantName(key, i)) {
      return true;
    }
  }
  return false;
}

// Names are short and the hash rejects nearly every other name: a byte
// loop beats a library call.
inline bool SameName(const Variable& variable, NameKey key) {
  if (variable.hash != key.hash || variable.length != key.length) {
    return false;
  }
  for (std::int32_t i = 0; i < key.length; ++i) {
    if (variable.name[i] != key.chars[i]) {
      return false;
    }
  }
  return true;
}

// The scope's own variable `key`, for a scope without a hash index.
inline const Variable* ScanScope(const VariableScope& scope, NameKey key) {
  const Variable* end = scope.entries + scope.own_count;
  for (const Variable* variable = scope.entries; variable != end; ++variable) {
    if (SameName(*variable, key)) {
      return variable;
    }
  }
  return nullptr;
}

// The scope's own variable `key`, for a scope with a hash index (linear
// probing; an index slot holds an entry number, or -1 when empty).
inline const Variable* FindIndexed(const VariableScope& scope, NameKey key) {
  for (std::uint32_t slot = VariableScope::HomeSlot(key.hash);;
       slot = (slot + 1) & (VariableScope::kIndexSize - 1)) {
    std::int16_t entry = scope.index[slot];
    if (entry < 0) {
      return nullptr;
    }
    if (SameName(scope.entries[entry], key)) {
      return &scope.entries[entry];
    }
  }
}

inline const Variable* FindOwnVariable(const VariableScope& scope, NameKey key) {
  return scope.index == nullptr ? ScanScope(scope, key) : FindIndexed(scope, key);
}

// The variable `key` names, looked up from `scope` outward; null when there
// is none. Inline: loop steps look names up all the time.
inline const Variable* LookUpInScopes(const VariableScope* scope, NameKey key) {
  for (; scope != nullptr; scope = scope->outer) {
    if (const Variable* variable = FindOwnVariable(*scope, key)) {
      return variable;
    }
  }
  return nullptr;
}

inline const Variable* LookUpVariable(const Calculator& calculator, NameKey key) {
  return LookUpInScopes(&calculator.variables, key);
}
bool HasVariable(const Calculator& calculator, const char* name);
// The count of variables the calculator sees, as a copy of them all would
// hold: its limit is kTableCapacity.
std::int32_t VisibleVariableCount(const Calculator& calculator);
// Assigns `value` to the variable `name` in this calculator, adding it when
// the calculator holds no variable of that name itself. Raises "Variable
// Error : Too many variables." when a name new to every ancestor would make
// more than kTableCapacity; a name longer than 249 characters is stored cut
// to its first 249.
void SetVariable(Calculator& calculator, const char* name, double value);
// Makes `child`, which serves every step of one loop, hold what a fresh
// child of its parent would hold after assigning the loop variable: the
// previous step's assignments go. The name is not copied: the loop's name
// buffer outlives the child. `is_new` says that no ancestor has the name.
void RestartLoopChild(Calculator& child, const NameKey& key, bool is_new, double value);
inline void StartLoopStep(Calculator& child, const NameKey& key, bool is_new, double value) {
  VariableScope& scope = child.variables;
  if (scope.own_count == 1 && scope.index == nullptr) {
    // The last step assigned nothing but perhaps the loop variable, its
    // first entry: only the value differs from a fresh child's.
    scope.entries[0].value = value;
    return;
  }
  RestartLoopChild(child, key, is_new, value);
}
// Raises "Variable Error : Variable not found." for an unknown name.
double VariableValue(const Calculator& calculator, const char* name);
// The value of a constant other than "e" (only "pi" has one).
double ConstValue(const char* name);

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
// asked to stop, and calls the progress hook every so many steps (which may
// ask to stop too). Inline:
// it runs as often as the loop body.
inline void CountLoopStep(const Calculator& calculator) {
  EvaluationContext* context = calculator.context;
  if (context == nullptr) {
    return;
  }
  if (context->interrupt_requested.load(std::memory_order_relaxed)) {
    throw Interruption{};
  }
  if (--context->steps_until_progress == 0) {
    context->steps_until_progress = context->steps_between_progress;
    if (context->progress != nullptr && context->progress(context->progress_context) != 0) {
      throw Interruption{};
    }
  }
}

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

// Starts the progress countdown afresh: every evaluation counts its own
// steps.
inline void RestartProgressCount(EvaluationContext& context) {
  context.steps_until_progress = context.steps_between_progress;
}

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
