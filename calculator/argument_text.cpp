// Argument text: taking a parenthesised, comma-separated argument list apart
// as plain text. Nothing here evaluates anything, and no scan ever passes the
// terminator of the text it is given.

#include "calculator/argument_text.h"

#include <cstring>

#include "calculator/characters.h"
#include "calculator/evaluation_frame.h"
#include "calculator/messages.h"

namespace calculator_core {

namespace {

// Copies `length` characters to the start of `out`; the caller's zero fill
// terminates them.
void WriteResult(char* out, const char* start, std::int32_t length) {
  if (length > kMaxTextLength) {
    length = kMaxTextLength;
  }
  std::memcpy(out, start, static_cast<std::size_t>(length));
}

// Index of the ")" that closes the list opened at `open`, or -1 when the text
// ends first.
std::int32_t FindListEnd(const char* text, std::int32_t open) {
  std::int32_t depth = 1;
  for (std::int32_t i = open + 1; text[i] != '\0'; ++i) {
    if (text[i] == '(') {
      ++depth;
    } else if (text[i] == ')') {
      if (depth == 1) {
        return i;
      }
      --depth;
    }
  }
  return -1;
}

}  // namespace

void SplitArguments(const char* text, char* out, std::int32_t index) {
  const char* open = std::strchr(text, '(');
  if (open == nullptr) {
    throw EvaluationError{messages::kOpenMissing};
  }
  std::int32_t open_index = static_cast<std::int32_t>(open - text);
  std::int32_t close_index = FindListEnd(text, open_index);
  if (close_index < 0) {
    throw EvaluationError{messages::kListNotClosed};
  }

  char list[kTextBufferSize] = {};
  std::int32_t list_length = close_index - open_index - 1;
  if (list_length > kMaxTextLength) {
    list_length = kMaxTextLength;
  }
  std::memcpy(list, open + 1, static_cast<std::size_t>(list_length));

  std::int32_t argument = 0;
  std::int32_t start = 0;
  std::int32_t depth = 0;
  for (std::int32_t i = 0;; ++i) {
    char c = list[i];
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if ((c == ',' && depth == 0) || c == '\0') {
      if (argument == index) {
        WriteResult(out, list + start, i - start);
        return;
      }
      if (c == '\0') {
        throw EvaluationError{messages::kNotEnoughArguments};
      }
      ++argument;
      start = i + 1;
    }
  }
}

void TrimWord(const char* text, char* out) {
  std::int32_t start = 0;
  while (IsBlank(text[start])) {
    ++start;
  }
  std::int32_t end = start;
  while (text[end] != '\0' && !IsBlank(text[end])) {
    ++end;
  }
  WriteResult(out, text + start, end - start);
}

std::int32_t FindClosingParen(const char* text) {
  std::int32_t depth = 0;
  std::int32_t i = 0;
  for (; text[i] != '\0'; ++i) {
    if (text[i] == '(') {
      ++depth;
    } else if (text[i] == ')') {
      --depth;
      if (depth == 0) {
        return i;
      }
    }
  }
  return i - 1;
}

}  // namespace calculator_core
