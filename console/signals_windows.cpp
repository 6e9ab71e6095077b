// Stop requests on Windows come from the console, not from signals: Ctrl-C
// and Ctrl-Break count as SIGINT, closing the console window as SIGTERM.
// The console calls the handler on a thread of its own; it records the
// request, stops the evaluation and cancels a read that is waiting, as a
// signal interrupts a read on POSIX systems.

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "console/signals.h"

namespace {

std::atomic<int> pending_signal{0};
calculator::Session* interruptible_session = nullptr;
HANDLE main_thread = nullptr;

// Windows ends the process this long after a close event anyway.
constexpr DWORD kCloseGraceMilliseconds = 4500;
// What a console program killed by Ctrl-C reports on Windows.
constexpr UINT kControlCExitStatus = 0xC000013A;

void RequestStop(int signal) {
  pending_signal = signal;
  if (interruptible_session != nullptr) {
    interruptible_session->interrupt();
  }
  if (main_thread != nullptr) {
    CancelSynchronousIo(main_thread);
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
  SetConsoleCtrlHandler(RecordConsoleEvent, TRUE);
}

int PendingStopSignal() {
  return pending_signal;
}

void ClearPendingStopSignal() {
  pending_signal = 0;
}

bool WaitForInput(int) {
  return PendingStopSignal() == 0;
}

bool WaitForOutput(int, bool (*must_stop)(void* context), void* context) {
  return !must_stop(context);
}

bool TakesOutputNow(int) {
  return true;
}

void EndBySignal(int) {
  std::fflush(nullptr);
  ExitProcess(kControlCExitStatus);
}
