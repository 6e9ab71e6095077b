// The one console loop: every line of every input, from the moment it is
// read to its answer, and how the program ends.
#pragma once

#include "console/command_line.h"
#include "console/exit_status.h"

// Does what `command_line` asks: writes the help or the version text, or
// answers every line of its inputs, in order, as one session, after the
// prompt line unless quiet. Opens each FILE when its turn comes and closes
// it once it is read. Returns how the program ends, or ends the process by
// the stop signal that arrived.
ExitStatus RunCommandLine(const CommandLine& command_line);
