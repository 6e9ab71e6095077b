// Runs the calculator program on a pseudo-terminal, so that it sees a
// terminal on standard input and output as it does for a person typing.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace terminal_test {

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

struct ProgramEnd {
  bool ended = false;     // false: still running at the deadline (then killed)
  bool exited = false;    // by exit(), not by a signal
  int exit_status = -1;   // when exited
  int signal_number = 0;  // when ended by a signal
};

class TerminalProgram {
 public:
  // Starts the program in `home`, with HOME and XDG_STATE_HOME there, with
  // `environment` ("NAME=value") added, and with `arguments`.
  TerminalProgram(const TemporaryFolder& home, std::vector<std::string> environment = {},
                  std::vector<std::string> arguments = {});
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

  // Everything the program wrote, as it wrote it.
  const std::string& Output() const { return output_; }
  // Gives the terminal a new size, as a person dragging its window does.
  bool Resize(unsigned short columns, unsigned short rows);

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

  pid_t pid_ = -1;
  int terminal_fd_ = -1;
  std::string output_;
  std::size_t seen_ = 0;
};

std::string Describe(const ProgramEnd& end);
// What a terminal of `columns` that wraps at its right edge shows after
// `output`: its lines, trailing blanks dropped. Knows the cursor moves and
// erasures that the line editor writes; other sequences are skipped.
std::vector<std::string> ScreenLines(const std::string& output, int columns);
std::string ReadFile(const std::string& path);

}  // namespace terminal_test
