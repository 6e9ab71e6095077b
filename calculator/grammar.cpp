// The expression grammar: a recursive descent that computes while it reads,
// one character at a time, straight from the Calculator's expression buffer.
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

char CurrentChar(const Calculator& calculator) {
  return calculator.expression[calculator.cursor];
}

void SkipBlanks(Calculator& calculator) {
  while (IsBlank(CurrentChar(calculator))) {
    ++calculator.cursor;
  }
}

[[noreturn]] void RaiseParseError() {
  throw EvaluationError{messages::kParseError};
}

double ReadOperand(Calculator& calculator);

// Consumes the whole run of digits and dots and converts its longest prefix
// of the form digits[.digits], however long the run is. Numbers and
// parentheses are read out of line: ReadOperand then saves no registers on its
// way to a variable, the common operand of a loop body.
[[gnu::noinline]] double ReadNumber(Calculator& calculator) {
  const char* start = calculator.expression + calculator.cursor;
  double value = 0.0;
  const char* end = ReadDecimal(start, calculator.expression + calculator.length, value);
  while (IsDigit(*end) || *end == '.') {
    ++end;
  }
  calculator.cursor += static_cast<std::int32_t>(end - start);
  return value;
}

// Consumes the whole run of letters and digits and names it where it
// stands in the text, hashed on the way for the variable lookup. The text
// is terminated within its buffer, so the run holds at most kMaxTextLength
// characters.
NameKey ReadName(Calculator& calculator) {
  NameKey key{calculator.expression + calculator.cursor, 0, kNameHashSeed};
  while (ContinuesName(key.chars[key.length])) {
    key.hash = HashNameByte(key.hash, key.chars[key.length]);
    ++key.length;
  }
  calculator.cursor += key.length;
  return key;
}

// A built-in name, constant or function, or else a name nothing knows.
[[gnu::noinline]] double ResolveBuiltin(Calculator& calculator, NameKey key) {
  const Builtin* builtin = FindBuiltin(key);
  if (builtin == nullptr) {
    throw EvaluationError{messages::kWrongCharacter};
  }
  if (builtin->kind == BuiltinKind::kConstant) {
    return builtin->value;
  }
  SkipBlanks(calculator);
  if (builtin->kind == BuiltinKind::kNestedEvaluationFunction) {
    return builtin->call(calculator);
  }
  return builtin->apply(ParseSum(calculator));
}

// What ResolveName leaves: a name to look up from `scope` outward (the
// scopes inside it do not hold it), through the hash indexes of large
// scopes, unless it is a constant.
[[gnu::noinline]] double ResolveNameFrom(Calculator& calculator, NameKey key,
                                         const VariableScope* scope) {
  if (!IsConstantName(key)) {
    if (const Variable* variable = LookUpInScopes(scope, key)) {
      return variable->value;
    }
  }
  return ResolveBuiltin(calculator, key);
}

// Constants first, then variables, then functions. The common case in a
// loop body, a variable of a scope small enough to scan (a loop child's),
// is settled here without a call, so ReadOperand needs few registers saved. A
// variable found here that is named like a constant is left to
// ResolveNameFrom, where the constant wins.
double ResolveName(Calculator& calculator, NameKey key) {
  const VariableScope* scope = &calculator.variables;
  for (; scope != nullptr && scope->index == nullptr; scope = scope->outer) {
    if (const Variable* variable = ScanScope(*scope, key)) {
      if (variable->hidden_by_constant) {
        break;
      }
      return variable->value;
    }
  }
  return ResolveNameFrom(calculator, key, scope);
}

[[gnu::noinline]] double ParseParenthesisedSum(Calculator& calculator) {
  ++calculator.cursor;
  double value = ParseSum(calculator);
  SkipBlanks(calculator);
  if (CurrentChar(calculator) != ')') {
    throw EvaluationError{messages::kNotClosed};
  }
  ++calculator.cursor;
  return value;
}

// Reads an operand that may carry one leading minus: the base of a power or
// an exponent.
double ReadSignedPrimary(Calculator& calculator) {
  if (CurrentChar(calculator) == '-') {
    ++calculator.cursor;
    return -ReadOperand(calculator);
  }
  return ReadOperand(calculator);
}

}  // namespace

double Calculate(Calculator& calculator, const char* text) {
  calculator.expression = calculator.text;
  const void* end = std::memchr(text, '\0', kMaxTextLength);
  const std::int32_t length = end != nullptr
                                  ? static_cast<std::int32_t>(static_cast<const char*>(end) - text)
                                  : kMaxTextLength;
  std::memcpy(calculator.expression, text, static_cast<std::size_t>(length));
  calculator.expression[length] = '\0';
  calculator.length = length;
  calculator.cursor = 0;
  return ParseSum(calculator);
}

// The power and product levels are written inline, so that a sum reaches
// its operands without a call per level.
namespace {

[[gnu::always_inline]] inline double PowerLevel(Calculator& calculator) {
  SkipBlanks(calculator);
  double value = ReadSignedPrimary(calculator);
  for (;;) {
    char c = CurrentChar(calculator);
    if (c == '^') {
      ++calculator.cursor;
      SkipBlanks(calculator);
      double exponent = ReadSignedPrimary(calculator);
      value = LeftNaNFirst(math::Pow(value, exponent), value);
    } else if (IsBlank(c)) {
      ++calculator.cursor;
    } else {
      return value;
    }
  }
}

[[gnu::always_inline]] inline double ProductLevel(Calculator& calculator) {
  double value = PowerLevel(calculator);
  for (;;) {
    char c = CurrentChar(calculator);
    if (c == '*') {
      ++calculator.cursor;
      value = LeftNaNFirst(value * PowerLevel(calculator), value);
    } else if (c == '/') {
      ++calculator.cursor;
      double divisor = PowerLevel(calculator);
      if (divisor == 0.0) {
        throw EvaluationError{messages::kDivideByZero};
      }
      value = LeftNaNFirst(value / divisor, value);
    } else if (IsBlank(c)) {
      ++calculator.cursor;
    } else {
      return value;
    }
  }
}

}  // namespace

double ParseSum(Calculator& calculator) {
  double value = ProductLevel(calculator);
  for (;;) {
    char c = CurrentChar(calculator);
    if (c == '+') {
      ++calculator.cursor;
      value = LeftNaNFirst(value + ProductLevel(calculator), value);
    } else if (c == '-') {
      ++calculator.cursor;
      value = LeftNaNFirst(value - ProductLevel(calculator), value);
    } else if (IsBlank(c)) {
      ++calculator.cursor;
    } else {
      return value;
    }
  }
}

namespace {

// Reads one operand: a number, a parenthesised sum, or a name (a constant,
// a variable, or a function call with its argument). Its messages still
// carry the name it once had, "Func6".
double ReadOperand(Calculator& calculator) {
  for (;;) {
    if (calculator.cursor >= calculator.length) {
      RaiseParseError();
    }
    char c = CurrentChar(calculator);
    if (IsDigit(c)) {
      return ReadNumber(calculator);
    }
    if (c == '(') {
      return ParseParenthesisedSum(calculator);
    }
    if (StartsName(c)) {
      return ResolveName(calculator, ReadName(calculator));
    }
    if (!IsBlank(c)) {
      RaiseParseError();
    }
    ++calculator.cursor;
  }
}

}  // namespace

}  // namespace calculator_core
