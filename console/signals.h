// SIGINT and SIGTERM. The handler only records the signal and asks the
// session to stop; the console loop decides what happens next in normal
// code.
#pragma once

#include "calculator/calculator.hpp"

// Installs the handler for both signals, without SA_RESTART, so that a
// read that waits for input returns early. `session` is asked to stop at
// every signal.
void InstallStopSignals(calculator::Session& session);
// The stop signal that arrived, or 0.
int PendingStopSignal();
void ClearPendingStopSignal();
// Restores the default action of `signal` and raises it, so that the parent
// sees the usual status. Returns only if the signal is ignored or blocked.
void EndBySignal(int signal);
