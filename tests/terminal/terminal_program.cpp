#include "terminal_program.h"

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
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "program_runner.h"

namespace terminal_test {
namespace {

using Clock = std::chrono::steady_clock;

// Wide enough that no typed line wraps, so the echo of a line is the line.
constexpr unsigned short kColumns = 200;
constexpr unsigned short kRows = 40;

std::chrono::milliseconds Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

// Runs in the child: the environment of the test, with the home, state
// folder and terminal type of the test on top.
[[noreturn]] void StartProgram(const std::string& home, const std::vector<std::string>& environment,
                               const std::vector<std::string>& arguments) {
  unsetenv("CALCULATOR_HISTORY");
  unsetenv("LC_ALL");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
  setenv("TERM", "xterm", 1);
  if (chdir(home.c_str()) != 0) {
    _exit(126);
  }
  for (const std::string& entry : environment) {
    putenv(const_cast<char*>(entry.c_str()));
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(CALCULATOR_PROGRAM));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  execv(CALCULATOR_PROGRAM, argv.data());
  _exit(127);
}

}  // namespace

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
                                 std::vector<std::string> arguments) {
  winsize size = {};
  size.ws_col = kColumns;
  size.ws_row = kRows;
  const pid_t pid = forkpty(&terminal_fd_, nullptr, nullptr, &size);
  if (pid == 0) {
    StartProgram(home.path(), environment, arguments);
  }
  if (pid < 0) {
    terminal_fd_ = -1;
    return;
  }
  pid_ = pid;
  fcntl(terminal_fd_, F_SETFD, FD_CLOEXEC);
}

TerminalProgram::~TerminalProgram() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
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
    output_.append(buffer, static_cast<std::size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    // EIO: the program has closed its side of the terminal.
    close(terminal_fd_);
    terminal_fd_ = -1;
  }
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
  ProgramEnd end;
  const Clock::time_point deadline = Clock::now() + timeout;
  int status = 0;
  while (pid_ > 0) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      end.ended = true;
      end.exited = WIFEXITED(status);
      end.exit_status = end.exited ? WEXITSTATUS(status) : -1;
      end.signal_number = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      break;
    }
    if (Clock::now() >= deadline) {
      break;
    }
    if (terminal_fd_ >= 0) {
      // Reading keeps the program from blocking on a full terminal.
      Pump(std::chrono::milliseconds(5));
    } else {
      usleep(1000);
    }
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

std::string Describe(const ProgramEnd& end) {
  if (!end.ended) {
    return "still running";
  }
  if (end.exited) {
    return "exit status " + std::to_string(end.exit_status);
  }
  return "ended by signal " + std::to_string(end.signal_number);
}

namespace {

// A screen without a bottom: rows are added as the cursor goes down.
class Screen {
 public:
  explicit Screen(int columns) : columns_(columns), lines_(1) {}

  void Put(char c) {
    if (column_ >= columns_) {  // the wrap waits for the next character
      Down();
      column_ = 0;
    }
    std::string& line = lines_[row_];
    if (line.size() <= static_cast<std::size_t>(column_)) {
      line.resize(static_cast<std::size_t>(column_) + 1, ' ');
    }
    line[static_cast<std::size_t>(column_++)] = c;
  }

  void Control(char c) {
    if (c == '\r') {
      column_ = 0;
    } else if (c == '\n') {
      Down();
    } else if (c == '\b' && column_ > 0) {
      column_ = std::min(column_, columns_) - 1;
    }
  }

  // ESC [ count final
  void Sequence(int count, char final) {
    std::string& line = lines_[row_];
    const std::size_t at = static_cast<std::size_t>(std::min(column_, columns_));
    switch (final) {
      case 'A':
        row_ = std::max(0, row_ - count);
        break;
      case 'B':
        for (int i = 0; i < count; ++i) {
          Down();
        }
        break;
      case 'C':
        column_ = std::min(columns_ - 1, column_ + count);
        break;
      case 'D':
        column_ = std::max(0, std::min(column_, columns_) - count);
        break;
      case 'J':
        lines_.resize(static_cast<std::size_t>(row_) + 1);
        [[fallthrough]];
      case 'K':
        if (line.size() > at) {
          lines_[row_].resize(at);
        }
        break;
      case 'P':
        if (line.size() > at) {
          line.erase(at, static_cast<std::size_t>(count));
        }
        break;
      case '@':
        if (line.size() > at) {
          line.insert(at, static_cast<std::size_t>(count), ' ');
          line.resize(std::min(line.size(), static_cast<std::size_t>(columns_)));
        }
        break;
      default:
        break;
    }
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines = lines_;
    for (std::string& line : lines) {
      line.erase(line.find_last_not_of(' ') + 1);
    }
    return lines;
  }

 private:
  void Down() {
    if (++row_ == static_cast<int>(lines_.size())) {
      lines_.emplace_back();
    }
  }

  int columns_;
  int row_ = 0;
  int column_ = 0;
  std::vector<std::string> lines_;
};

}  // namespace

std::vector<std::string> ScreenLines(const std::string& output, int columns) {
  Screen screen(columns);
  for (std::size_t i = 0; i < output.size(); ++i) {
    const char c = output[i];
    if (c == '\x1b' && i + 1 < output.size() && output[i + 1] == '[') {
      std::size_t end = i + 2;
      while (end < output.size() && (output[end] < 0x40 || output[end] > 0x7e)) {
        ++end;
      }
      if (end == output.size()) {
        break;
      }
      const std::string parameters = output.substr(i + 2, end - i - 2);
      const bool plain =
          !parameters.empty() && parameters.find_first_not_of("0123456789") == std::string::npos;
      screen.Sequence(plain ? std::stoi(parameters) : 1,
                      parameters.empty() || plain ? output[end] : '?');
      i = end;
    } else if (c == '\x1b') {
      ++i;  // a two-byte sequence
    } else if (static_cast<unsigned char>(c) < 0x20) {
      screen.Control(c);
    } else {
      screen.Put(c);
    }
  }
  return screen.Lines();
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

}  // namespace terminal_test
