// The lines a person types at a terminal, as a line source.
// typed_lines_posix.cpp reads them with libedit's editing keys, history
// and Tab completion (or the terminal's own line input without libedit or
// on TERM=dumb); typed_lines_windows.cpp with the console's cooked mode.
#pragma once

#include <memory>

#include "calculator/calculator.hpp"
#include "console/input/line_source.h"
#include "console/output.h"

// Lines typed at the terminal that is standard input and output; the
// output is flushed before every wait for a key. `session` is asked for
// the names to complete and must outlive the source.
std::unique_ptr<LineSource> OpenTypedLines(Output& output, const calculator::Session& session);
