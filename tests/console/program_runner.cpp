#include "program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

namespace console_test {
namespace {

using Clock = std::chrono::steady_clock;

// A program that keeps writing past this is stuck in a loop.
constexpr std::size_t kOutputLimit = 4 * 1024 * 1024;

// A writer to a program that has already ended must fail with EPIPE instead
// of killing the test process.
void IgnoreSigpipe() {
  static const bool done = [] {
    signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}

void CloseFd(int& fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

// Starts the program with `stdin_fd` as its standard input and two new pipes
// as its standard output and error. Returns the child's id, or -1.
pid_t Spawn(int stdin_fd, int* out_read, int* err_read,
            const std::vector<std::string>& arguments = {}) {
  IgnoreSigpipe();
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) {
    return -1;
  }
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, stdin_fd, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  std::vector<char*> argv = {const_cast<char*>(ProgramPath())};
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, ProgramPath(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (rc != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    return -1;
  }
  *out_read = out_pipe[0];
  *err_read = err_pipe[0];
  return pid;
}

// Appends what can be read from `fd` to `sink`; closes `fd` at end of file.
void Drain(int& fd, std::string& sink) {
  char buffer[65536];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    sink.append(buffer, static_cast<std::size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    CloseFd(fd);
  }
}

// One poll over the open output pipes, up to `wait`. Returns false when both
// are closed.
bool PollOutputs(int& out_fd, int& err_fd, std::string& out, std::string& err,
                 std::chrono::milliseconds wait) {
  if (out_fd < 0 && err_fd < 0) {
    return false;
  }
  pollfd fds[2];
  nfds_t count = 0;
  int out_index = -1;
  int err_index = -1;
  if (out_fd >= 0) {
    out_index = static_cast<int>(count);
    fds[count++] = pollfd{out_fd, POLLIN, 0};
  }
  if (err_fd >= 0) {
    err_index = static_cast<int>(count);
    fds[count++] = pollfd{err_fd, POLLIN, 0};
  }
  const int ready = poll(fds, count, static_cast<int>(wait.count()));
  if (ready > 0) {
    if (out_index >= 0 && fds[out_index].revents != 0) {
      Drain(out_fd, out);
    }
    if (err_index >= 0 && fds[err_index].revents != 0) {
      Drain(err_fd, err);
    }
  }
  return out_fd >= 0 || err_fd >= 0;
}

std::chrono::milliseconds Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

// Waits for the child until `deadline`; kills it if it is still running then.
// Fills the status fields of `result`.
void Reap(pid_t pid, Clock::time_point deadline, RunResult& result) {
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      break;
    }
    if (done < 0 && errno != EINTR) {
      return;
    }
    if (Clock::now() >= deadline) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    usleep(1000);
  }
  if (WIFEXITED(status)) {
    result.exited = true;
    result.exit_status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal_number = WTERMSIG(status);
  }
}

}  // namespace

const char* ProgramPath() {
  return CALCULATOR_PROGRAM;
}

bool InSystemCall(pid_t pid, long number, long first_argument) {
  // The number, then the arguments in hexadecimal; "running" on a CPU.
  std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
  long call = -1;
  unsigned long argument = 0;
  file >> call >> std::hex >> argument;
  return file && call == number &&
         (first_argument < 0 || argument == static_cast<unsigned long>(first_argument));
}

RunResult RunWithInput(const std::string& input, std::chrono::milliseconds timeout) {
  return RunWithArguments({}, input, timeout);
}

RunResult RunWithArguments(const std::vector<std::string>& arguments, const std::string& input,
                           std::chrono::milliseconds timeout) {
  RunResult result;
  char path[] = "/tmp/calculator-stdin-XXXXXX";
  const int input_fd = mkostemp(path, O_CLOEXEC);
  if (input_fd < 0) {
    result.err = "test error: cannot create the input file";
    return result;
  }
  unlink(path);
  std::size_t written = 0;
  while (written < input.size()) {
    const ssize_t n = write(input_fd, input.data() + written, input.size() - written);
    if (n <= 0) {
      close(input_fd);
      result.err = "test error: cannot write the input file";
      return result;
    }
    written += static_cast<std::size_t>(n);
  }
  lseek(input_fd, 0, SEEK_SET);

  int out_fd = -1;
  int err_fd = -1;
  const pid_t pid = Spawn(input_fd, &out_fd, &err_fd, arguments);
  close(input_fd);
  if (pid < 0) {
    result.err = std::string("test error: cannot start ") + ProgramPath();
    return result;
  }
  const Clock::time_point deadline = Clock::now() + timeout;
  while (PollOutputs(out_fd, err_fd, result.out, result.err, Remaining(deadline))) {
    if (result.out.size() + result.err.size() > kOutputLimit) {
      result.too_much_output = true;
      kill(pid, SIGKILL);
      break;
    }
    if (Clock::now() >= deadline) {
      break;
    }
  }
  CloseFd(out_fd);
  CloseFd(err_fd);
  Reap(pid, deadline, result);
  return result;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

std::string Escape(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      escaped += "\\n\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (c == '\\') {
      escaped += "\\\\";
    } else if (byte < 0x20 || byte >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      escaped += hex;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string DescribeRun(const RunResult& run) {
  std::string text;
  if (run.timed_out) {
    text += "killed: did not end in time; ";
  }
  if (run.too_much_output) {
    text += "killed: kept writing output; ";
  }
  if (run.exited) {
    text += "exit status " + std::to_string(run.exit_status);
  } else {
    text += "ended by signal " + std::to_string(run.signal_number);
  }
  text += "; stderr: \"" + Escape(run.err) + "\"";
  return text;
}

InteractiveProgram::InteractiveProgram() {
  int in_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0) {
    return;
  }
  pid_ = Spawn(in_pipe[0], &out_fd_, &err_fd_);
  close(in_pipe[0]);
  if (pid_ < 0) {
    close(in_pipe[1]);
    return;
  }
  in_fd_ = in_pipe[1];
}

InteractiveProgram::~InteractiveProgram() {
  CloseFd(in_fd_);
  CloseFd(out_fd_);
  CloseFd(err_fd_);
  KillAndReap();
}

void InteractiveProgram::KillAndReap() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
}

bool InteractiveProgram::Write(const std::string& bytes) {
  return WriteAll(in_fd_, bytes);
}

bool InteractiveProgram::SendSignal(int signal) {
  return pid_ > 0 && kill(pid_, signal) == 0;
}

bool InteractiveProgram::Pump(std::chrono::milliseconds wait) {
  return PollOutputs(out_fd_, err_fd_, out_, err_, wait);
}

std::string InteractiveProgram::ReadLines(int count, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  std::size_t end = 0;
  int found = 0;
  for (;;) {
    while (found < count) {
      const std::size_t feed = out_.find('\n', end);
      if (feed == std::string::npos) {
        break;
      }
      end = feed + 1;
      ++found;
    }
    if (found == count || Clock::now() >= deadline || out_fd_ < 0) {
      break;
    }
    Pump(Remaining(deadline));
  }
  std::string lines = out_.substr(0, end);
  out_.erase(0, end);
  return lines;
}

std::string InteractiveProgram::ReadAvailable(std::chrono::milliseconds wait) {
  const Clock::time_point deadline = Clock::now() + wait;
  while (Clock::now() < deadline && Pump(Remaining(deadline))) {
  }
  std::string text;
  text.swap(out_);
  return text;
}

RunResult InteractiveProgram::Finish(std::chrono::milliseconds timeout) {
  RunResult result;
  CloseFd(in_fd_);
  const Clock::time_point deadline = Clock::now() + timeout;
  while (Clock::now() < deadline && Pump(Remaining(deadline))) {
    if (out_.size() + err_.size() > kOutputLimit) {
      result.too_much_output = true;
      kill(pid_, SIGKILL);
      break;
    }
  }
  CloseFd(out_fd_);
  CloseFd(err_fd_);
  if (pid_ > 0) {
    Reap(pid_, deadline, result);
    pid_ = -1;
  }
  result.out.swap(out_);
  result.err = err_;
  return result;
}

}  // namespace console_test
