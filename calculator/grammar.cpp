// The expression grammar: a recursive descent that computes while it reads,
// one character at a time, straight from the EvaluationFrame's expression buffer.
//
//   sum     = product { ("+" | "-") product }
//   product = power { ("*" | "/") power }
//   power   = ["-"] primary { "^" ["-"] primary }
//   primary = number | "(" sum ")" | name
//
// Blanks (spaces only) are skipped between the pieces. Nothing checks that
// the whole text was consumed.
//
// A name may call a built-in function. A one-argument function's argument is
// the whole sum that follows its name, so sin(0)+1 is the sine of 1; only
// parentheses around the whole call end the argument earlier. A function of
// nested evaluations (set, integral, sigma) reads its own argument list.

#include "calculator/grammar.h"

#include <cstring>

#include "calculator/builtins.h"
#include "calculator/characters.h"
#include "calculator/math/elementary.h"
#include "calculator/messages.h"
#include "calculator/nan_operands.h"
#include "calculator/number_reading.h"
#include "calculator/variable_scopes.h"

namespace calculator_core {

namespace {

char CurrentChar(const EvaluationFrame& frame) {
  return frame.expression[frame.cursor];
}

void SkipBlanks(EvaluationFrame& frame) {
  while (IsBlank(CurrentChar(frame))) {
    ++frame.cursor;
  }
}

[[noreturn]] void RaiseParseError() {
  throw EvaluationError{messages::kParseError};
}

double ReadOperand(EvaluationFrame& frame);

// Consumes the whole run of digits and dots and converts its longest prefix
// of the form digits[.digits], however long the run is. Numbers and
// parentheses are read out of line: ReadOperand then saves no registers on its
// way to a variable, the common operand of a loop body.
[[gnu::noinline]] double ReadNumber(EvaluationFrame& frame) {
  const char* start = frame.expression + frame.cursor;
  const DecimalPrefix number = ReadDecimal(start, frame.expression + frame.length);
  const char* end = number.end;
  while (IsDigit(*end) || *end == '.') {
    ++end;
  }
  frame.cursor += static_cast<std::int32_t>(end - start);
  return number.value;
}

// Consumes the whole run of letters and digits and names it where it
// stands in the text, hashed on the way for the variable lookup. The text
// is terminated within its buffer, so the run holds at most kMaxTextLength
// characters.
NameKey ReadName(EvaluationFrame& frame) {
  NameKey key{frame.expression + frame.cursor, 0, kNameHashSeed};
  while (ContinuesName(key.chars[key.length])) {
    key.hash = HashNameByte(key.hash, key.chars[key.length]);
    ++key.length;
  }
  frame.cursor += key.length;
  return key;
}

// A built-in name, constant or function, or else a name nothing knows.
[[gnu::noinline]] double ResolveBuiltin(EvaluationFrame& frame, NameKey key) {
  const Builtin* builtin = FindBuiltin(key);
  if (builtin == nullptr) {
    throw EvaluationError{messages::kWrongCharacter};
  }
  if (builtin->kind == BuiltinKind::kConstant) {
    return builtin->value;
  }
  SkipBlanks(frame);
  if (builtin->kind == BuiltinKind::kNestedEvaluationFunction) {
    return builtin->call(frame);
  }
  return builtin->apply(ParseSum(frame));
}

// What ResolveName leaves: a name to look up from `scope` outward (the
// scopes inside it do not hold it), through the hash indexes of large
// scopes, unless it is a constant.
[[gnu::noinline]] double ResolveNameFrom(EvaluationFrame& frame, NameKey key,
                                         const VariableScope* scope) {
  if (!IsConstantName(key)) {
    if (const Variable* variable = LookUpInScopes(scope, key)) {
      return variable->value;
    }
  }
  return ResolveBuiltin(frame, key);
}

// Constants first, then variables, then functions. The common case in a
// loop body, a variable of a scope small enough to scan (a loop child's),
// is settled here without a call, so ReadOperand needs few registers saved. A
// variable found here that is named like a constant is left to
// ResolveNameFrom, where the constant wins.
double ResolveName(EvaluationFrame& frame, NameKey key) {
  const VariableScope* scope = &frame.variables;
  for (; scope != nullptr && scope->index == nullptr; scope = scope->outer) {
    if (const Variable* variable = ScanScope(*scope, key)) {
      if (variable->hidden_by_constant) {
        break;
      }
      return variable->value;
    }
  }
  return ResolveNameFrom(frame, key, scope);
}

[[gnu::noinline]] double ParseParenthesisedSum(EvaluationFrame& frame) {
  ++frame.cursor;
  double value = ParseSum(frame);
  SkipBlanks(frame);
  if (CurrentChar(frame) != ')') {
    throw EvaluationError{messages::kNotClosed};
  }
  ++frame.cursor;
  return value;
}

// Reads an operand that may carry one leading minus: the base of a power or
// an exponent.
double ReadSignedPrimary(EvaluationFrame& frame) {
  if (CurrentChar(frame) == '-') {
    ++frame.cursor;
    return -ReadOperand(frame);
  }
  return ReadOperand(frame);
}

}  // namespace

double Calculate(EvaluationFrame& frame, const char* text) {
  frame.expression = frame.text;
  const void* end = std::memchr(text, '\0', kMaxTextLength);
  const std::int32_t length = end != nullptr
                                  ? static_cast<std::int32_t>(static_cast<const char*>(end) - text)
                                  : kMaxTextLength;
  std::memcpy(frame.expression, text, static_cast<std::size_t>(length));
  frame.expression[length] = '\0';
  frame.length = length;
  frame.cursor = 0;
  return ParseSum(frame);
}

// The power and product levels are written inline, so that a sum reaches
// its operands without a call per level.
namespace {

[[gnu::always_inline]] inline double PowerLevel(EvaluationFrame& frame) {
  SkipBlanks(frame);
  double value = ReadSignedPrimary(frame);
  for (;;) {
    char c = CurrentChar(frame);
    if (c == '^') {
      ++frame.cursor;
      SkipBlanks(frame);
      double exponent = ReadSignedPrimary(frame);
      value = LeftNaNFirst(math::Pow(value, exponent), value);
    } else if (IsBlank(c)) {
      ++frame.cursor;
    } else {
      return value;
    }
  }
}

[[gnu::always_inline]] inline double ProductLevel(EvaluationFrame& frame) {
  double value = PowerLevel(frame);
  for (;;) {
    char c = CurrentChar(frame);
    if (c == '*') {
      ++frame.cursor;
      value = LeftNaNFirst(value * PowerLevel(frame), value);
    } else if (c == '/') {
      ++frame.cursor;
      double divisor = PowerLevel(frame);
      if (divisor == 0.0) {
        throw EvaluationError{messages::kDivideByZero};
      }
      value = LeftNaNFirst(value / divisor, value);
    } else if (IsBlank(c)) {
      ++frame.cursor;
    } else {
      return value;
    }
  }
}

}  // namespace

double ParseSum(EvaluationFrame& frame) {
  double value = ProductLevel(frame);
  for (;;) {
    char c = CurrentChar(frame);
    if (c == '+') {
      ++frame.cursor;
      value = LeftNaNFirst(value + ProductLevel(frame), value);
    } else if (c == '-') {
      ++frame.cursor;
      value = LeftNaNFirst(value - ProductLevel(frame), value);
    } else if (IsBlank(c)) {
      ++frame.cursor;
    } else {
      return value;
    }
  }
}

namespace {

// Reads one operand: a number, a parenthesised sum, or a name (a constant,
// a variable, or a function call with its argument). Its messages still
// carry the name it once had, "Func6".
double ReadOperand(EvaluationFrame& frame) {
  for (;;) {
    if (frame.cursor >= frame.length) {
      RaiseParseError();
    }
    char c = CurrentChar(frame);
    if (IsDigit(c)) {
      return ReadNumber(frame);
    }
    if (c == '(') {
      return ParseParenthesisedSum(frame);
    }
    if (StartsName(c)) {
      return ResolveName(frame, ReadName(frame));
    }
    if (!IsBlank(c)) {
      RaiseParseError();
    }
    ++frame.cursor;
  }
}

}  // namespace

}  // namespace calculator_core
