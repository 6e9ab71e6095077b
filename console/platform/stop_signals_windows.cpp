// Stop requests on Windows come from the console, not from signals: Ctrl-C
// and Ctrl-Break count as SIGINT, closing the console window as SIGTERM.
// The console calls the handler on a thread of its own; it records the
// request and stops the evaluation. A read from the console ends at Ctrl-C
// by itself; a read from a pipe cannot be woken reliably (under wine,
// CancelSynchronousIo does not end it), so a stop that finds the program
// waiting on one ends it there: everything computed went out before the
// wait began.

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "console/exit_status.h"
#include "console/platform/stop_signals.h"

namespace {

std::atomic<int> pending_signal{0};
std::atomic<unsigned> stop_signals_received{0};
calculator::Session* interruptible_session = nullptr;
HANDLE main_thread = nullptr;
// Reads come from a pipe or a file, not from the console: every stop
// ends the program then.
bool input_not_console = false;
std::atomic<bool> waiting_for_input{false};

// Windows ends the process this long after a close event anyway.
constexpr DWORD kCloseGraceMilliseconds = 4500;

void RequestStop(int signal) {
  ++stop_signals_received;
  // A close of the window (SIGTERM) is never replaced by a Ctrl-C.
  int pending = pending_signal;
  while ((pending == 0 || (pending == SIGINT && signal != SIGINT)) &&
         !pending_signal.compare_exchange_weak(pending, signal)) {
  }
  if (interruptible_session != nullptr) {
    interruptible_session->interrupt();
  }
  // Paired with WaitForInputUnlessStopped: either it sees the stop, or
  // this sees it waiting.
  if (input_not_console && waiting_for_input) {
    EndBySignal(signal);
  }
}

BOOL WINAPI RecordConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      RequestStop(SIGINT);
      return TRUE;
    case CTRL_CLOSE_EVENT:
      RequestStop(SIGTERM);
      // Returning lets Windows end the process at once: the main thread
      // writes out what it computed first and ends it itself.
      if (main_thread != nullptr) {
        WaitForSingleObject(main_thread, kCloseGraceMilliseconds);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void InstallStopSignals(calculator::Session& session) {
  interruptible_session = &session;
  if (main_thread == nullptr &&
      !DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &main_thread,
                       0, FALSE, DUPLICATE_SAME_ACCESS)) {
    main_thread = nullptr;  // stops then take effect at the next line
  }
  DWORD mode = 0;
  input_not_console = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) == 0;
  SetConsoleCtrlHandler(RecordConsoleEvent, TRUE);
}

int PendingStopSignal() {
  return pending_signal;
}

unsigned StopSignalsReceived() {
  return stop_signals_received;
}

void ForgetPendingInterrupt() {
  int interrupt = SIGINT;
  pending_signal.compare_exchange_strong(interrupt, 0);
}

// Windows has no file-size limit signal.
void TreatFileSizeLimitAsWriteError() {}

bool WaitForInputUnlessStopped(int) {
  waiting_for_input = true;
  return PendingStopSignal() == 0;
}

void InputWaitOver() {
  waiting_for_input = false;
}

bool WaitForOutput(int, bool (*must_stop)(void* context), void* context) {
  return !must_stop(context);
}

bool TakesOutputNow(int) {
  return true;
}

void EndBySignal(int) {
  std::fflush(nullptr);
  ExitProcess(kWindowsControlCStatus);
}
