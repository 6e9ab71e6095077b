// The session at a terminal: standard input and standard output are both
// terminals, so lines are typed by a person.
#pragma once

#include "console/console.h"

// Answers the lines typed until Ctrl-D. Ctrl-C abandons the line being
// evaluated or typed and the session goes on; SIGTERM and SIGHUP (the
// terminal closed) save the history and end the process by that signal.
void AnswerTypedLines(Console& console);
