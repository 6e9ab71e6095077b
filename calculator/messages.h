// Every message text of the library, in one place: what the console prints
// after "Error : ", the report lines of nested evaluations, and the messages
// of the C interface. The tests compare against these same constants.
#pragma once

#include "calculator/calculator.h"

// The text of a number macro, for messages that quote a limit.
#define CALCULATOR_CORE_TEXT_OF(number) CALCULATOR_CORE_TEXT_OF_DIGITS(number)
#define CALCULATOR_CORE_TEXT_OF_DIGITS(number) #number

namespace calculator_core {
namespace messages {

// Reading an operand.
inline constexpr const char kParseError[] = "Func6 Error : Parse Error.";
inline constexpr const char kWrongCharacter[] = "Func6 Error : Wrong character.";
inline constexpr const char kNotClosed[] = "Func6 Error : ) has not been closed.";
// Arithmetic and the one-argument functions.
inline constexpr const char kDivideByZero[] = "Can't divide by 0.";
inline constexpr const char kSqrtDomain[] = "Function Error : sqrt(x) is defined x >= 0.";
// Argument lists of set, integral and sigma.
inline constexpr const char kOpenMissing[] = "SplitArguments Error : ( is missing.";
inline constexpr const char kListNotClosed[] = "SplitArguments Error : ) has not been closed.";
inline constexpr const char kNotEnoughArguments[] =
    "SplitArguments Error : There are not enough arguments.";
// Variables.
inline constexpr const char kTooManyVariables[] = "Variable Error : Too many variables.";
// The first of the two report lines of a failed nested evaluation; the
// second is "> " and the error's message.
inline constexpr const char kReportHeadline[] = "Function Error : Wrong define in \"function\".";
inline constexpr const char kReportDetailPrefix[] = "> ";
// An evaluation that stopped before its end.
inline constexpr const char kInterrupted[] = "Interrupted.";
// Failures of the C interface's calls.
inline constexpr const char kOutOfMemory[] = "Out of memory.";
inline constexpr const char kBusy[] = "The session is evaluating.";
inline constexpr const char kInvalidName[] = "Not a name that an expression can read.";
// clang-format off
inline constexpr const char kInvalidDigits[] =
    "Digits must be from 1 to " CALCULATOR_CORE_TEXT_OF(CALCULATOR_MAX_DIGITS)
    ", or " CALCULATOR_CORE_TEXT_OF(CALCULATOR_SHORTEST_DIGITS) " for the shortest.";
// clang-format on

}  // namespace messages
}  // namespace calculator_core
