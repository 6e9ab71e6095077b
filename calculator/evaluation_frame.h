// The evaluator's record: the EvaluationFrame with its text and cursor, the
// variables it holds, the context its session shares, the errors it
// raises, and the limits of its fixed-size buffers. Internal to the
// library, as every header of this directory: programs use
// <calculator/calculator.h> or <calculator/calculator.hpp>.
//
// Everything is plain records and free functions over fixed-size buffers.
// An EvaluationFrame is single-threaded; frames of different sessions share
// nothing and may run on different threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "calculator/calculator.h"

namespace calculator_core {

// The evaluator reads at most this many characters of a text, as the C
// interface documents; a text buffer holds them and a terminator.
constexpr int kMaxTextLength = CALCULATOR_MAX_TEXT_LENGTH;
constexpr int kTextBufferSize = kMaxTextLength + 1;
// An EvaluationFrame sees at most this many variables, its ancestors' included.
constexpr int kTableCapacity = 250;

// The only error the evaluator raises. The message is a constant text that
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
// the request to stop, and the progress hook. Every EvaluationFrame of the
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

// A variable name as the tables compare it: cut to its first
// kMaxTextLength characters, with its length and hash worked out once.
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

// True when `named` (a built-in or a variable: anything with a name, its
// length and its hash) is spelled as `key`, whole and case-sensitive. Names
// are short and the hash rejects nearly every other name at once: a byte
// loop beats a library call.
template <typename Named>
inline bool SpelledAs(const Named& named, NameKey key) {
  if (named.hash != key.hash || named.length != key.length) {
    return false;
  }
  for (std::int32_t i = 0; i < key.length; ++i) {
    if (named.name[i] != key.chars[i]) {
      return false;
    }
  }
  return true;
}
constexpr std::uint32_t HashOfName(const char* name) {
  std::uint32_t hash = kNameHashSeed;
  for (; *name != '\0'; ++name) {
    hash = HashNameByte(hash, *name);
  }
  return hash;
}

struct Variable {
  double value;
  const char* name;  // NUL-terminated, at most kMaxTextLength characters
  std::int32_t length;
  std::uint32_t hash;
  bool owns_name;  // false for a loop variable, whose name the loop lends
  // Named like a constant, which hides it: worked out once when the name
  // is stored rather than at every lookup.
  bool hidden_by_constant;
};

// The variables one EvaluationFrame holds itself. A root holds all of its own.
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

struct EvaluationFrame;
// Names the parent of a child frame.
struct ChildOf {
  const EvaluationFrame& parent;
};

struct EvaluationFrame {
  // An EvaluationFrame without a context discards its error reports and is never
  // interrupted.
  explicit EvaluationFrame(EvaluationContext* context = nullptr);
  // A child shares its parent's context and sees its parent's variables.
  explicit EvaluationFrame(ChildOf child_of);
  ~EvaluationFrame();
  EvaluationFrame(const EvaluationFrame&) = delete;
  EvaluationFrame& operator=(const EvaluationFrame&) = delete;

  // The text being evaluated, NUL-terminated: `text`, or a loop body that
  // the loop lends to each of its steps.
  char* expression;
  std::int32_t length;  // characters of the text, terminator excluded
  std::int32_t cursor;  // index of the next character to read
  VariableScope variables;
  EvaluationContext* context;  // shared with every child
  char text[kTextBufferSize];
};

// Called before every loop step: throws Interruption when the session was
// asked to stop, and calls the progress hook every so many steps (which may
// ask to stop too). Inline: it runs as often as the loop body.
inline void CountLoopStep(const EvaluationFrame& frame) {
  EvaluationContext* context = frame.context;
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

}  // namespace calculator_core
