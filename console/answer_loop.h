// The one console loop: every line of every input, from the moment it is
// read to its answer, and how the program ends.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "console/inputs.h"

// Answers every line of `inputs`, in order, as one session, after the
// prompt line unless `quiet`, with numbers of `digits` significant digits
// when given. Opens each FILE when its turn comes and closes it once it is
// read. Returns the exit status, or ends the process by the stop signal that
// arrived.
int AnswerInputs(std::vector<Input> inputs, bool quiet, std::optional<int> digits);

// Writes `text` on standard output and closes it. Returns the exit status.
int WriteAndClose(std::string_view text);
