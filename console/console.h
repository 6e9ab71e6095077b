// What every way of reading lines shares: the one session, the output, and
// the answering of one line.
#pragma once

#include <unistd.h>

#include <chrono>
#include <string_view>

#include "calculator/calculator.hpp"
#include "console/line_reader.h"
#include "console/output.h"

struct Console {
  Output output{STDOUT_FILENO};
  // The one session: it lives until the process ends, so variables carry
  // over from one line to the next, and from one input to the next.
  calculator::Session session;
  LineReader input;
  // Set at the first progress call of an evaluation with output pending.
  bool timing_evaluation = false;
  std::chrono::steady_clock::time_point evaluation_seen;
};

// Routes the session's report lines to the output, flushes during long
// evaluations and installs the stop signals.
void PrepareConsole(Console& console);

// Answers one line. Returns false when the evaluation was interrupted: the
// line then has no answer.
bool AnswerLine(Console& console, std::string_view line);

// On a pending stop signal: writes every answer already computed, then ends
// the process by that signal.
void EndOnStopSignal(Console& console);

// Answers every line of `fd` until it ends. A stop signal ends the process.
void AnswerInput(Console& console, int fd);
