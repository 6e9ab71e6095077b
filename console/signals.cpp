#include "console/signals.h"

#include <poll.h>

#include <cerrno>
#include <csignal>

namespace {

volatile std::sig_atomic_t pending_signal = 0;
calculator::Session* interruptible_session = nullptr;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RecordStopSignal(int signal) {
  pending_signal = signal;
  if (interruptible_session != nullptr) {
    interruptible_session->interrupt();
  }
}

bool AnyStopSignal(void*) {
  return PendingStopSignal() != 0;
}

}  // namespace

bool WaitUnlessStopped(int fd, short events, std::initializer_list<int> also_blocked,
                       bool (*must_stop)(void*), void* context) {
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  for (int signal : kStopSignals) {
    sigaddset(&stop_signals, signal);
  }
  for (int signal : also_blocked) {
    sigaddset(&stop_signals, signal);
  }
  for (;;) {
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &stop_signals, &previous);
    int ready = -1;
    int wait_error = 0;
    const bool stopped = must_stop(context);
    if (!stopped) {
      pollfd wanted = {fd, events, 0};
      ready = ppoll(&wanted, 1, nullptr, &previous);
      wait_error = errno;
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (stopped || must_stop(context)) {
      return false;
    }
    // Ready, or an error that the read or write itself will report.
    if (ready > 0 || wait_error != EINTR) {
      return true;
    }
  }
}

void InstallStopSignals(calculator::Session& session) {
  interruptible_session = &session;
  struct sigaction action = {};
  action.sa_handler = RecordStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (int signal : kStopSignals) {
    struct sigaction previous = {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      sigaction(signal, &action, nullptr);
    }
  }
}

int PendingStopSignal() {
  return pending_signal;
}

void ClearPendingStopSignal() {
  pending_signal = 0;
}

bool WaitForInput(int fd) {
  return WaitUnlessStopped(fd, POLLIN, {}, AnyStopSignal, nullptr);
}

void InputWaitOver() {}

bool WaitForOutput(int fd, bool (*must_stop)(void*), void* context) {
  return WaitUnlessStopped(fd, POLLOUT, {}, must_stop, context);
}

bool TakesOutputNow(int fd) {
  pollfd output = {fd, POLLOUT, 0};
  return poll(&output, 1, 0) == 1 && (output.revents & POLLOUT) != 0;
}

void EndBySignal(int signal) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  std::raise(signal);
}
