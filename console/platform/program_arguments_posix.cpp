// The POSIX side of program_arguments.h: the arguments are already bytes.
#include "console/platform/program_arguments.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}
