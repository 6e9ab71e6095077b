// The stop signals: SIGINT, SIGTERM and SIGHUP (the terminal went away) on
// POSIX, Ctrl-C, Ctrl-Break and closing the window at the Windows console.
// The handler only records the signal and asks the session to stop; the
// console loop decides what happens next in normal code.
// stop_signals_posix.cpp and stop_signals_windows.cpp each define all of
// it; what only POSIX has is in stop_signals_posix.h.
#pragma once

#include "calculator/calculator.hpp"

// Installs the handler, without SA_RESTART, so that a wait for input
// returns early. `session` is asked to stop at every signal. A signal that
// was ignored when the program started (nohup, a background job) stays
// ignored; the signals the program relies on (the stop signals, the
// wake-ups, a resized window, a return from Ctrl-Z) are unblocked, whatever
// mask the parent left. From a stop signal until it is cleared, any call that blocks
// (a write to an output nobody reads, say) is cut short within 20 ms, so
// that the program never hangs on its way out.
void InstallStopSignals(calculator::Session& session);
// The stop signal that arrived, or 0. A SIGTERM or SIGHUP outranks a
// SIGINT: once one of them is pending, a SIGINT never takes its place.
int PendingStopSignal();
// Forgets a pending SIGINT (a Ctrl-C that has done its part); a pending
// SIGTERM or SIGHUP stays, even one that arrives during this call.
void ForgetPendingInterrupt();
// How many stop signals have arrived since the start, so that a wait begun
// because of one can tell a further one.
unsigned StopSignalsReceived();
// A write past the file-size limit (ulimit -f) fails with EFBIG instead of
// killing the program, which can then take back a partial line and say why
// it stopped.
void TreatFileSizeLimitAsWriteError();
// Waits until `fd` has input to read, or has reached its end. False when a
// stop signal came first, even one that arrived just before the wait: the
// stop signals stay blocked from the check until the wait begins. Other
// signals (a resized window, Ctrl-Z and back) only interrupt the wait.
bool WaitForInputUnlessStopped(int fd);
// The read that WaitForInputUnlessStopped let begin has returned. Where a
// stop request cannot cut a read short (the Windows console), one that
// arrives from now on waits for the loop to see it; elsewhere there is
// nothing to do.
void InputWaitOver();
// Waits until `fd` takes output again, the same way, but only a stop signal
// for which `must_stop(context)` holds ends the wait early (false).
bool WaitForOutput(int fd, bool (*must_stop)(void* context), void* context);
// True when `fd` takes output right now, without waiting.
bool TakesOutputNow(int fd);
// Restores the default action of `signal` and raises it, so that the parent
// sees the usual status. Returns only if the signal is ignored or blocked.
void EndBySignal(int signal);
