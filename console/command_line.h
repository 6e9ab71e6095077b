// The command line: `calculator [OPTION]... [FILE]...`. An option is read
// here into CommandLine, described in UsageText, and acts in the answer
// loop.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
  enum class Action { kRun, kShowHelp, kShowVersion, kBadUsage };
  Action action = Action::kRun;
  bool quiet = false;  // no prompt line
  // Significant digits of the answers, 1 to CALCULATOR_MAX_DIGITS or
  // CALCULATOR_SHORTEST_DIGITS; none given: the library's default.
  std::optional<int> digits;
  std::vector<std::string> inputs;  // in reading order; "-" is standard input
};

// Reads the options of `arguments` (the program's name first) with
// getopt_long. An unknown option has already been reported on standard
// error (getopt's own message, or ours for a wrong --digits) when kBadUsage
// comes back. No FILE at all means standard input.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();
std::string VersionText(const char* version);
// The hint that follows a usage error on standard error.
std::string TryHelpText();

// True for the name that stands for standard input, "-".
bool IsStandardInputName(const std::string& name);
