// Runs the calculator program as a child process, the one way every test
// does: on pipes, files or descriptors a test chose, with limits and signal
// actions as a shell leaves them, or on a pseudo-terminal, as a person at a
// terminal meets it. Tests see exactly the bytes it writes.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace console_test {

using Clock = std::chrono::steady_clock;

// Path of the calculator program under test.
const char* ProgramPath();

// How the program is started.
struct ChildSetup {
  std::vector<std::string> arguments;
  // Changes to the test's environment: "NAME=value" sets a variable,
  // "NAME" alone removes it.
  std::vector<std::string> environment;
  std::string folder;         // where it starts; empty: where the test runs
  int fds[3] = {-1, -1, -1};  // standard input, output, error; -1 closed
  // The far end of a pseudo-terminal: the program's controlling terminal,
  // and all three standard descriptors (`fds` is not used then).
  int terminal = -1;
  // A session of its own, without a controlling terminal (as a service or
  // cron starts it), unless `terminal` gives it one.
  bool new_session = false;
  // What is not set here the program inherits from the test.
  // SIGINT, SIGTERM and SIGHUP at their default actions.
  bool default_stop_signals = false;
  std::optional<bool> ignore_sigpipe;
  std::optional<bool> ignore_sigxfsz;
  // Signals blocked, and signals ignored, as a careless parent leaves them.
  std::vector<int> blocked_signals;
  std::vector<int> ignored_signals;
  // Limits; RLIM_INFINITY: the test's own.
  rlim_t file_size = RLIM_INFINITY;
  rlim_t address_space = RLIM_INFINITY;
  rlim_t open_files = RLIM_INFINITY;
};

// Starts the program; the child's id, or -1.
pid_t StartProgram(const ChildSetup& setup);

struct ProgramEnd {
  bool ended = false;     // false: still running at the deadline (then killed)
  bool exited = false;    // by exit(), not by a signal
  int exit_status = -1;   // when exited
  int signal_number = 0;  // when ended by a signal
};

// Waits for `pid` to end until `deadline`, calling `pump` (which reads its
// output) between looks, and kills it then.
ProgramEnd WaitForProgram(pid_t pid, Clock::time_point deadline,
                          const std::function<void()>& pump = {});
std::string Describe(const ProgramEnd& end);

struct RunResult : ProgramEnd {
  std::string out;
  std::string err;
  bool timed_out = false;        // killed because it did not finish in time
  bool too_much_output = false;  // killed because it kept writing
};

// Starts the program with `input` as the whole content of its standard input
// (a regular file, so no pipe can fill up), waits for it to end and returns
// everything it wrote. The program is killed after `timeout`, or as soon as
// its output passes a few megabytes, whichever comes first.
RunResult RunWithInput(const std::string& input,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
// The same, with `arguments` on the program's command line.
RunResult RunWithArguments(const std::vector<std::string>& arguments, const std::string& input,
                           std::chrono::milliseconds timeout = std::chrono::seconds(10));
// The same, started as `setup` says (its descriptors are the run's own).
RunResult RunWithSetup(ChildSetup setup, const std::string& input,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Text for a failure message: the run's status and its standard error.
std::string DescribeRun(const RunResult& run);

// Writes all of `bytes` to `fd`, going on after interruptions.
bool WriteAll(int fd, const std::string& bytes);

// Makes control bytes visible (\n, \r, \t, \0, \xNN) for failure messages.
std::string Escape(const std::string& text);

std::string ReadFile(const std::string& path);

// Whether process `pid` is blocked in system call `number` (SYS_write...),
// with `first_argument` (a descriptor, say) unless that is -1.
bool InSystemCall(pid_t pid, long number, long first_argument = -1);

// A running program whose standard input is a pipe the test writes to line
// by line, reading each answer before sending the next line.
class InteractiveProgram {
 public:
  InteractiveProgram();
  ~InteractiveProgram();
  InteractiveProgram(const InteractiveProgram&) = delete;
  InteractiveProgram& operator=(const InteractiveProgram&) = delete;

  // False if the program could not be started.
  bool started() const { return pid_ > 0; }

  // Writes all of `bytes` to the program's standard input.
  bool Write(const std::string& bytes);

  // Reads standard output until `count` more complete lines have arrived
  // since the last call, or `timeout` passes. Returns those lines with their
  // line feeds; fewer than `count` lines means the time ran out or the
  // program closed its output.
  std::string ReadLines(int count, std::chrono::milliseconds timeout);

  // Waits up to `wait` and returns whatever standard output arrived; used
  // to check that nothing arrives while the program should be waiting.
  std::string ReadAvailable(std::chrono::milliseconds wait);

  // Sends `signal` to the program.
  bool SendSignal(int signal);

  // Closes the program's standard input, waits for it to end and returns the
  // rest of its output and its status.
  RunResult Finish(std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  // Polls both output pipes once, up to `wait`; false when both are closed.
  bool Pump(std::chrono::milliseconds wait);

  pid_t pid_ = -1;
  int in_fd_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;  // standard output not yet handed to the test
  std::string err_;  // everything written on standard error
};

constexpr std::chrono::milliseconds kPatience(20000);

// A folder that is removed with everything in it when this goes away; the
// program's home and state folders live in it.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A new size of the terminal, from byte `at` of the output on.
struct TerminalResize {
  std::size_t at;
  int columns;
  int rows;
};

// The program on a pseudo-terminal, so that it sees a terminal on standard
// input and output as it does for a person typing.
class TerminalProgram {
 public:
  // The terminal's size when the program starts.
  static constexpr int kColumns = 200;
  static constexpr int kRows = 40;

  // Starts the program in `home`, with HOME and XDG_STATE_HOME there, TERM
  // xterm, CALCULATOR_HISTORY and LC_ALL unset, `environment` on top, and
  // with `arguments`.
  TerminalProgram(const TemporaryFolder& home, std::vector<std::string> environment = {},
                  std::vector<std::string> arguments = {});
  // The same, with the signal mask and the ignored signals of `parent`.
  TerminalProgram(const TemporaryFolder& home, const ChildSetup& parent);
  ~TerminalProgram();
  TerminalProgram(const TerminalProgram&) = delete;
  TerminalProgram& operator=(const TerminalProgram&) = delete;

  bool started() const { return pid_ > 0; }

  // Sends `keys` as if typed.
  bool Type(const std::string& keys);
  // Waits until the terminal is in the mode that the line editor sets while
  // it reads a line (`editing`), or in the terminal's own line mode again
  // (`!editing`). Keys typed before the editor reads would be taken by the
  // terminal's own line mode instead: Ctrl-R, Ctrl-W and Ctrl-U mean other
  // things there.
  bool WaitForEditing(bool editing, std::chrono::milliseconds timeout = kPatience);
  // Waits until `text` shows up in the output after the end of what the
  // previous successful wait found. False when the time runs out.
  bool WaitFor(const std::string& text, std::chrono::milliseconds timeout = kPatience);
  // The output not yet passed by a wait, with control bytes made visible.
  std::string Unread() const;
  // Everything the program wrote, with control bytes made visible.
  std::string Transcript() const;

  // Everything the program wrote, as it wrote it, less the sequences that
  // turn bracketed paste on and off, which set BracketedPaste() instead.
  const std::string& Output() const { return output_; }
  // Whether the program has bracketed paste turned on, as a terminal
  // knows it from what the program wrote.
  bool BracketedPaste() const { return bracketed_paste_; }
  // Waits until it is `on` (or off).
  bool WaitForBracketedPaste(bool on, std::chrono::milliseconds timeout = kPatience);
  // Gives the terminal a new size, as a person dragging its window does,
  // once what the program wrote so far has been read.
  bool Resize(unsigned short columns, unsigned short rows);
  // Every resize so far.
  const std::vector<TerminalResize>& Resizes() const { return resizes_; }

  // Puts the terminal back in its own line mode, as a shell does when the
  // program is stopped by Ctrl-Z.
  bool SetLineMode();

  void Signal(int signal_number);
  // Waits until the program is computing (`busy`), or asleep, as it is when
  // it waits for input (`!busy`).
  bool WaitForBusy(bool busy, std::chrono::milliseconds timeout = kPatience);
  // Waits until the program is in system call `number` (SYS_...).
  bool WaitInSystemCall(long number, std::chrono::milliseconds timeout = kPatience);

  // Waits for the program to end, reading its output meanwhile.
  ProgramEnd WaitForEnd(std::chrono::milliseconds timeout = kPatience);

 private:
  // Reads what the program wrote, waiting up to `wait` for something.
  void Pump(std::chrono::milliseconds wait);

  // Appends `bytes` to the output, taking out the bracketed-paste switches.
  void Take(const char* bytes, std::size_t size);

  pid_t pid_ = -1;
  int terminal_fd_ = -1;
  std::string output_;
  std::string partial_switch_;  // the start of a switch cut off by a read
  bool bracketed_paste_ = false;
  std::size_t seen_ = 0;
  std::vector<TerminalResize> resizes_;
};

}  // namespace console_test
