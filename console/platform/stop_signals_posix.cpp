// The POSIX side of stop_signals.h: the handlers, the signals the parent
// left blocked unblocked, the wake-up timer while a stop is pending, and the
// wait that no stop signal slips past.
#include "console/platform/stop_signals_posix.h"

#include <poll.h>
#include <sys/time.h>

#include <cerrno>
#include <csignal>

#include "console/platform/stop_signals.h"

namespace {

volatile std::sig_atomic_t pending_signal = 0;
volatile std::sig_atomic_t stop_signals_received = 0;
calculator::Session* interruptible_session = nullptr;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
// What the program cannot do without, whatever the parent blocked: the
// stop signals, the wake-ups after one, and the key editor's news of a
// resized window and of a return from Ctrl-Z.
constexpr int kSignalsReliedOn[] = {SIGINT, SIGTERM, SIGHUP, SIGALRM, SIGWINCH, SIGCONT};

// A SIGTERM or SIGHUP ends the program wherever it comes; a SIGINT may only
// drop a typed line. The stronger one is kept.
int Strength(int signal) {
  return signal == 0 ? 0 : signal == SIGINT ? 1 : 2;
}

// While a stop signal is pending, SIGALRM comes this often: a call that
// blocks (a write to a terminal nobody reads, a drain of its output) is cut
// short within this time, however late after the stop it began. Otherwise
// SIGALRM keeps the action it had when the program started.
constexpr suseconds_t kWakeUpMicroseconds = 20000;
struct sigaction wake_up_action = {};
struct sigaction alarm_action_at_start = {};

void SetWakeUps(suseconds_t every) {
  const itimerval timer = {{0, every}, {0, every}};
  setitimer(ITIMER_REAL, &timer, nullptr);
}

extern "C" void WakeUp(int) {}

extern "C" void RecordStopSignal(int signal) {
  const int saved_errno = errno;
  // The stop signals are blocked while this runs: no other one comes
  // between the look and the change.
  stop_signals_received = stop_signals_received + 1;
  if (Strength(signal) > Strength(pending_signal)) {
    pending_signal = signal;
  }
  sigaction(SIGALRM, &wake_up_action, nullptr);
  SetWakeUps(kWakeUpMicroseconds);
  if (interruptible_session != nullptr) {
    interruptible_session->interrupt();
  }
  errno = saved_errno;
}

sigset_t StopSignalSet() {
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  for (int signal : kStopSignals) {
    sigaddset(&stop_signals, signal);
  }
  return stop_signals;
}

bool AnyStopSignal(void*) {
  return PendingStopSignal() != 0;
}

}  // namespace

bool WaitUnlessStopped(int fd, short events, std::initializer_list<int> also_blocked,
                       bool (*must_stop)(void*), void* context) {
  sigset_t stop_signals = StopSignalSet();
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
  // No SA_RESTART: the wake-ups are to cut calls short.
  wake_up_action.sa_handler = WakeUp;
  sigemptyset(&wake_up_action.sa_mask);
  sigaction(SIGALRM, nullptr, &alarm_action_at_start);
  sigset_t relied_on;
  sigemptyset(&relied_on);
  for (int signal : kSignalsReliedOn) {
    sigaddset(&relied_on, signal);
  }
  sigprocmask(SIG_UNBLOCK, &relied_on, nullptr);
  struct sigaction action = {};
  action.sa_handler = RecordStopSignal;
  action.sa_mask = StopSignalSet();
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

unsigned StopSignalsReceived() {
  return static_cast<unsigned>(stop_signals_received);
}

void ForgetPendingInterrupt() {
  const sigset_t stop_signals = StopSignalSet();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &stop_signals, &previous);
  if (pending_signal != SIGINT) {
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return;
  }
  pending_signal = 0;
  // A wake-up that came before the timer stopped has been handled when
  // setitimer returns.
  SetWakeUps(0);
  sigaction(SIGALRM, &alarm_action_at_start, nullptr);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void TreatFileSizeLimitAsWriteError() {
  std::signal(SIGXFSZ, SIG_IGN);
}

bool WaitForInputUnlessStopped(int fd) {
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
