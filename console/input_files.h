// The FILE arguments, the inputs of one session ("-" is standard input).
// Every FILE is checked before anything is written, and opened only when
// its turn comes, so that any number of them can be given whatever the
// limit on open descriptors.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct InputFile {
  int fd;  // -1 until OpenInputFile
  bool is_standard_input;
  std::string name;  // as given on the command line; "-" for standard input
};

// Checks every named input, in order ("-" is standard input), without
// opening it. If any cannot be read, reports each such name as
// `calculator: NAME: reason` on standard error and returns nothing.
std::optional<std::vector<InputFile>> CheckInputFiles(const std::vector<std::string>& names);

// Opens `input` when its turn comes. Returns 0, or the errno of a FILE that
// cannot be opened after all: it went away since, or no descriptor is free.
int OpenInputFile(InputFile& input);

void CloseInputFile(const InputFile& input);
