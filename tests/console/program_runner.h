// Runs the calculator program as a child process with real pipes, so tests
// see exactly the bytes it writes on standard output and standard error.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace console_test {

// Path of the calculator program under test.
const char* ProgramPath();

struct RunResult {
  std::string out;
  std::string err;
  bool exited = false;           // ended by exit(), not by a signal
  int exit_status = -1;          // valid when `exited`
  int signal_number = 0;         // valid when not `exited`
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

// Text for a failure message: the run's status and its standard error.
std::string DescribeRun(const RunResult& run);

// Writes all of `bytes` to `fd`, going on after interruptions.
bool WriteAll(int fd, const std::string& bytes);

// Makes control bytes visible (\n, \r, \t, \0, \xNN) for failure messages.
std::string Escape(const std::string& text);

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
  void KillAndReap();

  pid_t pid_ = -1;
  int in_fd_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;  // standard output not yet handed to the test
  std::string err_;  // everything written on standard error
};

}  // namespace console_test
