// The command line's arguments as UTF-8 text: on Windows they are read in
// UTF-16, so that any file name can be given, whatever the code page.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> ProgramArguments(int argc, char** argv);
