// The command line: options read with getopt_long, the --help and
// --version texts.
#include "console/command_line.h"

#include <getopt.h>

#include <cstdio>
#include <cstring>

#include "calculator/calculator.h"
#include "console/program_messages.h"

std::string TryHelpText() {
  return std::string("Try '") + kProgramName + " --help' for more information.\n";
}

namespace {

const char kStandardInputName[] = "-";

const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"quiet", no_argument, nullptr, 'q'},
    {"digits", required_argument, nullptr, 'd'},
    {nullptr, 0, nullptr, 0},
};

// 1 to CALCULATOR_MAX_DIGITS, or "shortest"; nothing else, not even "+5"
// or "05".
std::optional<int> ParseDigits(const char* text) {
  if (std::strcmp(text, "shortest") == 0) {
    return CALCULATOR_SHORTEST_DIGITS;
  }
  if (text[0] < '1' || text[0] > '9') {
    return std::nullopt;
  }
  int digits = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || digits > CALCULATOR_MAX_DIGITS) {
      return std::nullopt;
    }
    digits = digits * 10 + (*c - '0');
  }
  if (digits > CALCULATOR_MAX_DIGITS) {
    return std::nullopt;
  }
  return digits;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  // getopt reorders an array of pointers, never the texts they point to,
  // and names the program in its messages by the first: the short name
  // instead of the path the program was started by.
  std::string name = kProgramName;
  std::vector<char*> argv = {name.data()};
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    argv.push_back(const_cast<char*>(arguments[i].c_str()));
  }
  const int argc = static_cast<int>(argv.size());
  argv.push_back(nullptr);

  CommandLine command_line;
  optind = 0;  // a full reset, so that parsing twice behaves the same
  opterr = 1;
  int option_code = 0;
  while ((option_code = getopt_long(argc, argv.data(), "hVqd:", kLongOptions, nullptr)) != -1) {
    switch (option_code) {
      case 'h':
        command_line.action = CommandLine::Action::kShowHelp;
        return command_line;
      case 'V':
        command_line.action = CommandLine::Action::kShowVersion;
        return command_line;
      case 'q':
        command_line.quiet = true;
        break;
      case 'd':
        command_line.digits = ParseDigits(optarg);
        if (!command_line.digits) {
          WriteProgramMessage("invalid number of digits '%s': give 1 to %d, or shortest", optarg,
                              CALCULATOR_MAX_DIGITS);
          command_line.action = CommandLine::Action::kBadUsage;
          return command_line;
        }
        break;
      default:
        command_line.action = CommandLine::Action::kBadUsage;
        return command_line;
    }
  }
  for (int i = optind; i < argc; ++i) {
    command_line.inputs.emplace_back(argv[static_cast<std::size_t>(i)]);
  }
  if (command_line.inputs.empty()) {
    command_line.inputs.emplace_back(kStandardInputName);
  }
  return command_line;
}

bool IsStandardInputName(const std::string& name) {
  return name == kStandardInputName;
}

std::string UsageText() {
  const std::string most_digits = std::to_string(CALCULATOR_MAX_DIGITS);
  const std::string default_digits = std::to_string(CALCULATOR_DEFAULT_DIGITS);
  return std::string("Usage: ") + kProgramName +
         " [OPTION]... [FILE]...\n"
         "Evaluate the expression on every line of the FILEs, in order and as one\n"
         "session, and answer each line with its value or an error message.\n"
         "\n"
         "With no FILE, or when FILE is -, read standard input. When standard input\n"
         "and standard output are both terminals, typed lines can be edited, Tab\n"
         "completes names, and lines are kept in a history file.\n"
         "\n"
         "  -d, --digits=N  write numbers with N significant digits, 1 to " +
         most_digits + " (" + default_digits +
         "\n"
         "                  without this option), or with N=shortest the fewest\n"
         "                  digits that read back as the same number\n"
         "  -q, --quiet     do not write the prompt line\n"
         "  -h, --help      display this help and exit\n"
         "  -V, --version   output version information and exit\n"
         "\n"
         "Exit status: 0 at the end of input, 1 when an input cannot be read, the\n"
         "output cannot be written or memory runs out, 2 for a wrong option or a\n"
         "FILE that cannot be read, 128+N when ended by signal N.\n"
         "\n"
         "The language, the keys and the history file: man calculator\n";
}

std::string VersionText(const char* version) {
  return std::string("calculator ") + version +
         "\n"
         "Released under the MIT License. There is NO WARRANTY, to the extent permitted by law.\n";
}
