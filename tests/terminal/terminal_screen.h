// What a terminal shows of the program's output, as the terminals of today
// (tmux, VTE) show it: rows wrap at the right edge and join again when the
// window is resized, and a cleared screen goes into the history above.
#pragma once

#include <string>
#include <vector>

#include "program_runner.h"

namespace terminal_test {

// The lines the terminal's window shows after `output` on a window of
// `columns` by `rows` resized by `resizes`: trailing blanks and blank lines
// at the end dropped. Knows the cursor moves and erasures that the
// line editor writes; other sequences are skipped. A character is one cell,
// whatever the bytes of its UTF-8.
std::vector<std::string> ScreenLines(const std::string& output, int columns, int rows = 1000,
                                     const std::vector<console_test::TerminalResize>& resizes = {});

// The same for everything `program` wrote, from its start.
std::vector<std::string> ScreenOf(const console_test::TerminalProgram& program);

}  // namespace terminal_test
