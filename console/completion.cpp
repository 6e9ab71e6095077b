#include "console/completion.h"

#include <algorithm>

const char kCompletionWordBreaks[] = " \t\n!\"#$%&'()*+,-./:;<=>?@[\\]^`{|}~";

namespace {

// Plain ASCII, as the expression reader classes characters: the terminal's
// locale must not make other bytes part of a name.
bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsNameCharacter(char c) {
  return IsLetter(c) || (c >= '0' && c <= '9');
}

// Only what the expression reader can take as one name is offered: a
// variable may have been given any text by set, but "a b" can never be typed
// back as a name.
bool IsTypableName(const std::string& name) {
  return !name.empty() && IsLetter(name[0]) &&
         std::all_of(name.begin(), name.end(), IsNameCharacter);
}

bool StartsWith(const std::string& name, std::string_view prefix) {
  return name.compare(0, prefix.size(), prefix) == 0 && name.size() >= prefix.size();
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

void AddMatches(const std::vector<std::string>& names, std::string_view prefix,
                std::vector<std::string>& matches) {
  for (const std::string& name : names) {
    if (IsTypableName(name) && StartsWith(name, prefix)) {
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
