#include "console/signals.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t pending_signal = 0;
calculator::Session* interruptible_session = nullptr;

extern "C" void RecordStopSignal(int signal) {
  pending_signal = signal;
  if (interruptible_session != nullptr) {
    interruptible_session->interrupt();
  }
}

}  // namespace

void InstallStopSignals(calculator::Session& session) {
  interruptible_session = &session;
  struct sigaction action = {};
  action.sa_handler = RecordStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int PendingStopSignal() {
  return pending_signal;
}

void ClearPendingStopSignal() {
  pending_signal = 0;
}

void EndBySignal(int signal) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  std::raise(signal);
}
