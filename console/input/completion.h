// What Tab offers for the word before the cursor: the constants, the
// functions and the session's variables whose names begin with it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct CompletionNames {
  std::vector<std::string> constants;
  std::vector<std::string> variables;
  std::vector<std::string> functions;
};

struct Completion {
  std::vector<std::string> matches;  // sorted, each name once
  // The only match names a function (as the evaluator resolves it: a
  // constant or a variable of that name hides the function), so an opening
  // parenthesis belongs after it.
  bool opens_call = false;
};

Completion CompleteName(std::string_view prefix, const CompletionNames& names);

// The characters that end a word for completion: everything but the
// letters and digits that make up names.
extern const char kCompletionWordBreaks[];
