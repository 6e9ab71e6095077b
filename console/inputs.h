// The inputs of one session, opened before anything is written.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct Input {
  int fd;
  bool is_standard_input;
  std::string name;  // as given on the command line; "-" for standard input
};

// Opens every named input, in order ("-" is standard input). If any cannot
// be read, reports each such name as `calculator: NAME: reason` on standard
// error, closes what was opened and returns nothing.
std::optional<std::vector<Input>> OpenInputs(const std::vector<std::string>& names);

void CloseInput(const Input& input);
