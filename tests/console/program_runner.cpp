// Starting the program as a child process on pipes, files or a
// pseudo-terminal, and collecting what it writes.
#include "program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace console_test {
namespace {

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

// The test's environment with `changes` made.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    entries.emplace_back(*entry);
  }
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('='));
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&name](const std::string& entry) {
                                   return entry.compare(0, name.size() + 1, name + "=") == 0;
                                 }),
                  entries.end());
    if (change.find('=') != std::string::npos) {
      entries.push_back(change);
    }
  }
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

void SetDisposition(int signal, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigaction(signal, &action, nullptr);
}

// glibc names the resources by an enumeration of its own.
template <typename Resource>
void SetLimit(Resource resource, rlim_t limit) {
  const rlimit value = {limit, limit};
  if (limit != RLIM_INFINITY) {
    setrlimit(resource, &value);
  }
}

// Runs in the child: only async-signal-safe calls.
[[noreturn]] void BecomeProgram(const ChildSetup& setup, char* const* argv, char* const* envp) {
  if (setup.terminal >= 0 || setup.new_session) {
    setsid();
  }
  if (setup.terminal >= 0) {
    ioctl(setup.terminal, TIOCSCTTY, 0);
  }
  for (int fd = 0; fd < 3; ++fd) {
    const int from = setup.terminal >= 0 ? setup.terminal : setup.fds[fd];
    if (from < 0) {
      close(fd);
    } else if (from == fd) {
      fcntl(fd, F_SETFD, 0);  // dup2 onto itself keeps close-on-exec
    } else {
      dup2(from, fd);
    }
  }
  for (int stop : {SIGINT, SIGTERM, SIGHUP}) {
    if (setup.default_stop_signals) {
      SetDisposition(stop, SIG_DFL);
    }
  }
  if (setup.ignore_sigpipe) {
    SetDisposition(SIGPIPE, *setup.ignore_sigpipe ? SIG_IGN : SIG_DFL);
  }
  if (setup.ignore_sigxfsz) {
    SetDisposition(SIGXFSZ, *setup.ignore_sigxfsz ? SIG_IGN : SIG_DFL);
  }
  for (int ignored : setup.ignored_signals) {
    SetDisposition(ignored, SIG_IGN);
  }
  sigset_t blocked;
  sigemptyset(&blocked);
  for (int signal : setup.blocked_signals) {
    sigaddset(&blocked, signal);
  }
  sigprocmask(SIG_BLOCK, &blocked, nullptr);
  SetLimit(RLIMIT_FSIZE, setup.file_size);
  SetLimit(RLIMIT_AS, setup.address_space);
  SetLimit(RLIMIT_NOFILE, setup.open_files);
  if (!setup.folder.empty() && chdir(setup.folder.c_str()) != 0) {
    _exit(126);
  }
  execve(argv[0], argv, envp);
  _exit(127);
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

}  // namespace

const char* ProgramPath() {
  return CALCULATOR_PROGRAM;
}

pid_t StartProgram(const ChildSetup& setup) {
  IgnoreSigpipe();
  std::vector<std::string> arguments = {ProgramPath()};
  arguments.insert(arguments.end(), setup.arguments.begin(), setup.arguments.end());
  std::vector<std::string> environment = EnvironmentWith(setup.environment);
  const std::vector<char*> argv = Pointers(arguments);
  const std::vector<char*> envp = Pointers(environment);
  const pid_t pid = fork();
  if (pid == 0) {
    BecomeProgram(setup, argv.data(), envp.data());
  }
  return pid;
}

ProgramEnd WaitForProgram(pid_t pid, Clock::time_point deadline,
                          const std::function<void()>& pump) {
  ProgramEnd end;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      end.ended = true;
      break;
    }
    if (done < 0 && errno != EINTR) {
      return end;
    }
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    if (pump) {
      pump();
    } else {
      usleep(1000);
    }
  }
  end.exited = WIFEXITED(status);
  end.exit_status = end.exited ? WEXITSTATUS(status) : -1;
  end.signal_number = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return end;
}

std::string Describe(const ProgramEnd& end) {
  if (!end.ended) {
    return "still running";
  }
  if (end.exited) {
    return "exit status " + std::to_string(end.exit_status);
  }
  return "ended by signal " + std::to_string(end.signal_number);
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
  ChildSetup setup;
  setup.arguments = arguments;
  return RunWithSetup(setup, input, timeout);
}

RunResult RunWithSetup(ChildSetup setup, const std::string& input,
                       std::chrono::milliseconds timeout) {
  RunResult result;
  char path[] = "/tmp/calculator-stdin-XXXXXX";
  const int input_fd = mkostemp(path, O_CLOEXEC);
  if (input_fd < 0) {
    result.err = "test error: cannot create the input file";
    return result;
  }
  unlink(path);
  if (!WriteAll(input_fd, input)) {
    close(input_fd);
    result.err = "test error: cannot write the input file";
    return result;
  }
  lseek(input_fd, 0, SEEK_SET);
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    close(input_fd);
    result.err = "test error: no pipes";
    return result;
  }
  setup.fds[0] = input_fd;
  setup.fds[1] = out[1];
  setup.fds[2] = err[1];
  const pid_t pid = StartProgram(setup);
  for (int fd : {input_fd, out[1], err[1]}) {
    close(fd);
  }
  if (pid < 0) {
    CloseFd(out[0]);
    CloseFd(err[0]);
    result.err = std::string("test error: cannot start ") + ProgramPath();
    return result;
  }
  const Clock::time_point deadline = Clock::now() + timeout;
  while (PollOutputs(out[0], err[0], result.out, result.err, Remaining(deadline))) {
    if (result.out.size() + result.err.size() > kOutputLimit) {
      result.too_much_output = true;
      kill(pid, SIGKILL);
      break;
    }
    if (Clock::now() >= deadline) {
      break;
    }
  }
  CloseFd(out[0]);
  CloseFd(err[0]);
  static_cast<ProgramEnd&>(result) = WaitForProgram(pid, deadline);
  result.timed_out = !result.ended;
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
  text += Describe(run);
  text += "; stderr: \"" + Escape(run.err) + "\"";
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

InteractiveProgram::InteractiveProgram() {
  int in[2];
  int out[2];
  int err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    return;
  }
  ChildSetup setup;
  setup.fds[0] = in[0];
  setup.fds[1] = out[1];
  setup.fds[2] = err[1];
  pid_ = StartProgram(setup);
  for (int fd : {in[0], out[1], err[1]}) {
    close(fd);
  }
  in_fd_ = in[1];
  out_fd_ = out[0];
  err_fd_ = err[0];
}

InteractiveProgram::~InteractiveProgram() {
  CloseFd(in_fd_);
  CloseFd(out_fd_);
  CloseFd(err_fd_);
  if (pid_ > 0) {
    WaitForProgram(pid_, Clock::now());
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
    static_cast<ProgramEnd&>(result) = WaitForProgram(pid_, deadline);
    result.timed_out = !result.ended;
    pid_ = -1;
  }
  result.out.swap(out_);
  result.err = err_;
  return result;
}

TemporaryFolder::TemporaryFolder() {
  char pattern[] = "/tmp/calculator-terminal-XXXXXX";
  if (mkdtemp(pattern) != nullptr) {
    path_ = pattern;
  }
}

TemporaryFolder::~TemporaryFolder() {
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

TerminalProgram::TerminalProgram(const TemporaryFolder& home, std::vector<std::string> environment,
                                 std::vector<std::string> arguments)
    : TerminalProgram(home, [&] {
        ChildSetup setup;
        setup.environment = std::move(environment);
        setup.arguments = std::move(arguments);
        return setup;
      }()) {}

TerminalProgram::TerminalProgram(const TemporaryFolder& home, const ChildSetup& parent) {
  winsize size = {};
  size.ws_col = kColumns;
  size.ws_row = kRows;
  int far_end = -1;
  if (openpty(&terminal_fd_, &far_end, nullptr, nullptr, &size) != 0) {
    terminal_fd_ = -1;
    return;
  }
  fcntl(terminal_fd_, F_SETFD, FD_CLOEXEC);
  fcntl(far_end, F_SETFD, FD_CLOEXEC);
  ChildSetup setup = parent;
  setup.environment = {"CALCULATOR_HISTORY", "LC_ALL", "HOME=" + home.path(),
                       "XDG_STATE_HOME=" + home.path() + "/state", "TERM=xterm"};
  setup.environment.insert(setup.environment.end(), parent.environment.begin(),
                           parent.environment.end());
  setup.folder = home.path();
  setup.terminal = far_end;
  pid_ = StartProgram(setup);
  close(far_end);
}

TerminalProgram::~TerminalProgram() {
  if (pid_ > 0) {
    WaitForProgram(pid_, Clock::now());
  }
  if (terminal_fd_ >= 0) {
    close(terminal_fd_);
  }
}

bool TerminalProgram::Type(const std::string& keys) {
  return console_test::WriteAll(terminal_fd_, keys);
}

bool TerminalProgram::WaitForEditing(bool editing, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    termios mode;
    if (terminal_fd_ < 0 || tcgetattr(terminal_fd_, &mode) != 0) {
      return false;
    }
    if (((mode.c_lflag & ICANON) == 0) == editing) {
      return true;
    }
    if (Clock::now() >= deadline) {
      return false;
    }
    // Reading keeps the program from blocking on a full terminal.
    Pump(std::chrono::milliseconds(1));
  }
}

bool TerminalProgram::WaitForBusy(bool busy, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  const std::string status_file = "/proc/" + std::to_string(pid_) + "/stat";
  for (;;) {
    // The state letter follows the parenthesised command name.
    const std::string status = ReadFile(status_file);
    const std::size_t name_end = status.rfind(')');
    if (name_end != std::string::npos && (status.compare(name_end, 3, ") R") == 0) == busy) {
      return true;
    }
    if (status.empty() || Clock::now() >= deadline) {
      return false;
    }
    Pump(std::chrono::milliseconds(1));
  }
}

bool TerminalProgram::WaitInSystemCall(long number, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!console_test::InSystemCall(pid_, number)) {
    if (Clock::now() >= deadline) {
      return false;
    }
    Pump(std::chrono::milliseconds(1));
  }
  return true;
}

void TerminalProgram::Pump(std::chrono::milliseconds wait) {
  if (terminal_fd_ < 0) {
    return;
  }
  pollfd ready = {terminal_fd_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(wait.count())) <= 0) {
    return;
  }
  char buffer[4096];
  const ssize_t n = read(terminal_fd_, buffer, sizeof buffer);
  if (n > 0) {
    Take(buffer, static_cast<std::size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    // EIO: the program has closed its side of the terminal.
    close(terminal_fd_);
    terminal_fd_ = -1;
  }
}

bool TerminalProgram::WaitForBracketedPaste(bool on, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (bracketed_paste_ != on) {
    if (terminal_fd_ < 0 || Clock::now() >= deadline) {
      return false;
    }
    Pump(std::chrono::milliseconds(5));
  }
  return true;
}

void TerminalProgram::Take(const char* bytes, std::size_t size) {
  static const std::string kOn = "\x1b[?2004h";
  static const std::string kOff = "\x1b[?2004l";
  std::string text = partial_switch_ + std::string(bytes, size);
  partial_switch_.clear();
  for (std::size_t at = text.find('\x1b'); at != std::string::npos; at = text.find('\x1b', at)) {
    const std::string rest = text.substr(at, kOn.size());
    if (rest == kOn || rest == kOff) {
      bracketed_paste_ = rest == kOn;
      text.erase(at, kOn.size());
    } else if (rest.size() < kOn.size() && (kOn.compare(0, rest.size(), rest) == 0 ||
                                            kOff.compare(0, rest.size(), rest) == 0)) {
      partial_switch_ = rest;
      text.erase(at);
    } else {
      ++at;
    }
  }
  output_ += text;
}

bool TerminalProgram::WaitFor(const std::string& text, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t found = output_.find(text, seen_);
    if (found != std::string::npos) {
      seen_ = found + text.size();
      return true;
    }
    if (terminal_fd_ < 0 || Clock::now() >= deadline) {
      return false;
    }
    Pump(Remaining(deadline));
  }
}

std::string TerminalProgram::Unread() const {
  return console_test::Escape(output_.substr(seen_));
}

std::string TerminalProgram::Transcript() const {
  return console_test::Escape(output_);
}

bool TerminalProgram::Resize(unsigned short columns, unsigned short rows) {
  for (std::size_t read = output_.size() + 1; read != output_.size();) {
    read = output_.size();
    Pump(std::chrono::milliseconds(20));
  }
  resizes_.push_back({output_.size(), columns, rows});
  winsize size = {};
  size.ws_col = columns;
  size.ws_row = rows;
  return terminal_fd_ >= 0 && ioctl(terminal_fd_, TIOCSWINSZ, &size) == 0;
}

bool TerminalProgram::SetLineMode() {
  termios mode;
  if (terminal_fd_ < 0 || tcgetattr(terminal_fd_, &mode) != 0) {
    return false;
  }
  mode.c_lflag |= ICANON | ECHO;
  return tcsetattr(terminal_fd_, TCSANOW, &mode) == 0;
}

void TerminalProgram::Signal(int signal_number) {
  if (pid_ > 0) {
    kill(pid_, signal_number);
  }
}

ProgramEnd TerminalProgram::WaitForEnd(std::chrono::milliseconds timeout) {
  // Reading keeps the program from blocking on a full terminal.
  const ProgramEnd end = WaitForProgram(pid_, Clock::now() + timeout, [this] {
    if (terminal_fd_ >= 0) {
      Pump(std::chrono::milliseconds(5));
    } else {
      usleep(1000);
    }
  });
  if (end.ended) {
    pid_ = -1;
  }
  // What the program wrote just before it ended.
  while (end.ended && terminal_fd_ >= 0) {
    pollfd ready = {terminal_fd_, POLLIN, 0};
    if (poll(&ready, 1, 0) <= 0) {
      break;
    }
    Pump(std::chrono::milliseconds(0));
  }
  return end;
}

}  // namespace console_test
