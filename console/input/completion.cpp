// Tab completion: the built-in and variable names that begin with the
// word before the cursor, and their longest common beginning.
#include "console/input/completion.h"

#include <algorithm>

#include "calculator/calculator.hpp"

const char kCompletionWordBreaks[] = " \t\n!\"#$%&'()*+,-./:;<=>?@[\\]^`{|}~";

namespace {

bool StartsWith(const std::string& name, std::string_view prefix) {
  return name.compare(0, prefix.size(), prefix) == 0 && name.size() >= prefix.size();
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

void AddMatches(const std::vector<std::string>& names, std::string_view prefix,
                std::vector<std::string>& matches) {
  for (const std::string& name : names) {
    // A variable may have been given any text by set, but "a b" can never
    // be typed back as a name: only what the expression reader takes as
    // one name is offered.
    if (calculator::is_name(name) && StartsWith(name, prefix)) {
      matches.push_back(name);
    }
  }
}

}  // namespace

Completion CompleteName(std::string_view prefix, const CompletionNames& names) {
  Completion completion;
  AddMatches(names.constants, prefix, completion.matches);
  AddMatches(names.variables, prefix, completion.matches);
  AddMatches(names.functions, prefix, completion.matches);
  std::sort(completion.matches.begin(), completion.matches.end());
  completion.matches.erase(std::unique(completion.matches.begin(), completion.matches.end()),
                           completion.matches.end());
  if (completion.matches.size() == 1) {
    const std::string& only = completion.matches.front();
    completion.opens_call = !Contains(names.constants, only) && !Contains(names.variables, only);
  }
  return completion;
}
