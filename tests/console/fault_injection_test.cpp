// Faults injected around the program: outputs that fail, fill up, block or
// go away, inputs that cannot be read, stop signals while a write waits,
// memory running out. Each case checks the status, the standard-error line
// and that the answers which could be written arrived, in whole lines.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "program_runner.h"

namespace console_test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const char kPrompt[] = "Please input expression.\n";
constexpr milliseconds kTimeout(10000);
// Long enough for the program to start, answer what it has and block.
constexpr milliseconds kSettle(500);

const std::size_t kPromptSize = sizeof kPrompt - 1;
const std::size_t kLongestLine = sizeof "Result is 50001\n" - 1;
const std::size_t kFileSizeLimit = 4096;
// Each write to a pipe holds whole lines and at most 4096 bytes, and takes
// a 4096-byte page of the 65536 the pipe holds: a page or two may stay
// partly empty.
const std::size_t kBlockedPipeHolds = 65536 - 2 * 4096;

enum class In { kFile, kClosed, kDirectory, kNonBlockingPipe, kEndlessPipe, kUnfinishedLine };
enum class Out {
  kPipe,
  kDevFull,
  kClosed,
  kSizeLimitedFile,
  kNonBlockingReadLate,
  kNeverRead,
  kReaderLeaves
};

struct Case {
  const char* what;
  std::vector<std::string> arguments;  // "{file}" is the input file
  In in;
  Out out;
  int lines;            // input lines "1+1", "2+1", ...
  int stop_signal;      // sent once the program has settled, 0 for none
  bool ignore_sigpipe;  // as started by a shell with `trap '' PIPE`
  int status;           // exit status, or minus the signal that ends it
  std::string err;
  std::size_t at_least;  // bytes of whole answer lines that must arrive
  int at_most_lines;     // counting the prompt; 0 for any number
};

std::string InputLines(int from, int count) {
  std::string text;
  for (int i = from; i < from + count; ++i) {
    text += std::to_string(i) + "+1\n";
  }
  return text;
}

std::string Answers(int count) {
  std::string text = kPrompt;
  for (int i = 1; i <= count; ++i) {
    text += "Result is " + std::to_string(i + 1) + "\n";
  }
  return text;
}

std::string TemporaryFile(const std::string& content) {
  char path[] = "/tmp/calculator-fault-XXXXXX";
  const int fd = mkstemp(path);
  if (fd >= 0) {
    WriteAll(fd, content);
    close(fd);
  }
  return path;
}

// Reads what is left of `fd`; a file from its beginning.
std::string ReadToEnd(int fd) {
  lseek(fd, 0, SEEK_SET);
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      return text;
    }
  }
}

int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Reads a pipe until it closes, `deadline` passes or, with `lines` above
// zero, that many lines have come.
std::string ReadPipe(int fd, Clock::time_point deadline, int lines = 0) {
  std::string text;
  while (lines <= 0 || CountLines(text) < lines) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    pollfd ready = {fd, POLLIN, 0};
    if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) {
      break;
    }
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

void SetFlag(int fd, int flag) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | flag);
}

void SetDisposition(int signal, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// Descriptors and limits the child gets; -1 closes the standard descriptor.
struct Launch {
  std::vector<std::string> arguments;
  int in = -1;
  int out = -1;
  int err = -1;
  bool ignore_sigpipe = false;
  rlim_t file_size_limit = RLIM_INFINITY;
  rlim_t address_space_limit = RLIM_INFINITY;
};

// Between fork and exec only async-signal-safe calls.
[[noreturn]] void BecomeProgram(const Launch& launch, char** argv) {
  const int wanted[] = {launch.in, launch.out, launch.err};
  for (int fd = 0; fd < 3; ++fd) {
    if (wanted[fd] < 0) {
      close(fd);
    } else if (wanted[fd] != fd) {
      dup2(wanted[fd], fd);
      fcntl(fd, F_SETFD, 0);
    } else {
      fcntl(fd, F_SETFD, 0);
    }
  }
  for (int stop : {SIGINT, SIGTERM, SIGHUP}) {
    SetDisposition(stop, SIG_DFL);
  }
  SetDisposition(SIGPIPE, launch.ignore_sigpipe ? SIG_IGN : SIG_DFL);
  SetDisposition(SIGXFSZ, SIG_IGN);  // a full file is a write error, not a kill
  const rlimit file_size = {launch.file_size_limit, launch.file_size_limit};
  setrlimit(RLIMIT_FSIZE, &file_size);
  const rlimit address_space = {launch.address_space_limit, launch.address_space_limit};
  setrlimit(RLIMIT_AS, &address_space);
  execv(argv[0], argv);
  _exit(127);
}

pid_t Start(const Launch& launch) {
  std::vector<char*> argv = {const_cast<char*>(ProgramPath())};
  for (const std::string& argument : launch.arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    BecomeProgram(launch, argv.data());
  }
  return pid;
}

// Waits for the child; kills it when `deadline` passes. Returns the status
// as in Case: exit status, or minus the signal.
int Reap(pid_t pid, Clock::time_point deadline, bool& timed_out) {
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      timed_out = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(2000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) == 0) {
      read = fds[0];
      write = fds[1];
    }
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (read >= 0)
      close(read);
    read = -1;
  }
  void CloseWrite() {
    if (write >= 0)
      close(write);
    write = -1;
  }
};

// Feeds a pipe from a thread: the lines in blocks with pauses, or lines
// without end until the reader goes, or a line and an unfinished one.
class Feeder {
 public:
  Feeder(In in, int lines, Pipe& pipe) : in_(in), lines_(lines), pipe_(pipe) {}
  ~Feeder() {
    stop_ = true;
    if (thread_.joinable())
      thread_.join();
  }
  void Begin() {
    thread_ = std::thread([this] { Feed(); });
  }

 private:
  void Feed() {
    if (in_ == In::kUnfinishedLine) {
      WriteAll(pipe_.write, "1+1\n2*3");
      while (!stop_)
        usleep(10000);  // the last line never ends
    } else if (in_ == In::kNonBlockingPipe) {
      for (int from = 1; from <= lines_ && !stop_; from += 1000) {
        WriteAll(pipe_.write, InputLines(from, std::min(1000, lines_ - from + 1)));
        usleep(20000);
      }
    } else {
      for (int from = 1; !stop_ && WriteAll(pipe_.write, InputLines(from, 100)); from += 100) {
      }
    }
    pipe_.CloseWrite();
  }

  In in_;
  int lines_;
  Pipe& pipe_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

bool IsWholeLinePrefix(const std::string& text, const std::string& of) {
  return of.compare(0, text.size(), text) == 0 && (text.empty() || text.back() == '\n');
}

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.what;
}

class FaultInjection : public ::testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() { signal(SIGPIPE, SIG_IGN); }  // feeders outlive the program
};

TEST_P(FaultInjection, EndsWithTheRightStatusMessageAndWholeAnswers) {
  const Case& c = GetParam();
  const std::string input_file = TemporaryFile(InputLines(1, c.lines));
  Launch launch;
  launch.ignore_sigpipe = c.ignore_sigpipe;
  for (const std::string& argument : c.arguments) {
    launch.arguments.push_back(argument == "{file}" ? input_file : argument);
  }

  Pipe in_pipe, out_pipe, err_pipe;
  const int file_in = open(input_file.c_str(), O_RDONLY | O_CLOEXEC);
  const int folder_in = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int full_out = open("/dev/full", O_WRONLY | O_CLOEXEC);
  const std::string output_file = TemporaryFile("");
  const int file_out = open(output_file.c_str(), O_RDWR | O_CLOEXEC);
  const bool piped_in =
      c.in == In::kNonBlockingPipe || c.in == In::kEndlessPipe || c.in == In::kUnfinishedLine;
  launch.in = piped_in                 ? in_pipe.read
              : c.in == In::kFile      ? file_in
              : c.in == In::kDirectory ? folder_in
                                       : -1;
  launch.out = c.out == Out::kDevFull           ? full_out
               : c.out == Out::kClosed          ? -1
               : c.out == Out::kSizeLimitedFile ? file_out
                                                : out_pipe.write;
  launch.err = err_pipe.write;
  if (c.out == Out::kSizeLimitedFile)
    launch.file_size_limit = 4096;
  if (c.in == In::kNonBlockingPipe)
    SetFlag(in_pipe.read, O_NONBLOCK);
  if (c.out == Out::kNonBlockingReadLate)
    SetFlag(out_pipe.write, O_NONBLOCK);

  const Clock::time_point deadline = Clock::now() + kTimeout;
  const pid_t pid = Start(launch);
  ASSERT_GT(pid, 0);
  for (int fd : {file_in, folder_in, full_out})
    close(fd);
  in_pipe.CloseRead();
  out_pipe.CloseWrite();
  err_pipe.CloseWrite();
  Feeder feeder(c.in, c.lines, in_pipe);
  if (piped_in)
    feeder.Begin();

  std::string out;
  if (c.out == Out::kReaderLeaves) {
    out = ReadPipe(out_pipe.read, deadline, 2);
    out.erase(out.find('\n', out.find('\n') + 1) + 1);  // what `head -n 2` shows
    out_pipe.CloseRead();
  } else if (c.out == Out::kNonBlockingReadLate || c.out == Out::kNeverRead ||
             c.in == In::kUnfinishedLine) {
    std::this_thread::sleep_for(kSettle);
  }
  if (c.stop_signal != 0)
    kill(pid, c.stop_signal);
  if (c.out != Out::kReaderLeaves && out_pipe.read >= 0 && c.out != Out::kNeverRead) {
    out = ReadPipe(out_pipe.read, deadline);
  }
  bool timed_out = false;
  const int status = Reap(pid, deadline, timed_out);
  if (c.out == Out::kNeverRead) {
    out = ReadToEnd(out_pipe.read);
  } else if (c.out == Out::kSizeLimitedFile) {
    out = ReadToEnd(file_out);
  }
  const std::string err = ReadToEnd(err_pipe.read);
  close(file_out);
  unlink(input_file.c_str());
  unlink(output_file.c_str());

  EXPECT_FALSE(timed_out) << "did not end";
  EXPECT_EQ(c.status, status);
  EXPECT_EQ(c.err, err);
  const std::string expected = Answers(c.in == In::kEndlessPipe ? 100000 : c.lines);
  EXPECT_TRUE(IsWholeLinePrefix(out, expected))
      << "got " << out.size() << " bytes ending \""
      << Escape(out.substr(out.size() - std::min<std::size_t>(out.size(), 40))) << "\"";
  EXPECT_GE(out.size(), c.at_least) << "answers that could be written are missing";
  if (c.at_most_lines > 0) {
    EXPECT_LE(CountLines(out), c.at_most_lines);
  }
}

// clang-format off: one row per fault.
INSTANTIATE_TEST_SUITE_P(
    Faults, FaultInjection,
    ::testing::Values(Case{"dev_full",
                           {},
                           In::kFile,
                           Out::kDevFull,
                           10,
                           0,
                           false,
                           1,
                           "calculator: write error: No space left on device\n",
                           0,
                           0},
                      Case{"version_to_dev_full",
                           {"--version"},
                           In::kFile,
                           Out::kDevFull,
                           0,
                           0,
                           false,
                           1,
                           "calculator: write error: No space left on device\n",
                           0,
                           0},
                      Case{"help_to_closed_output",
                           {"--help"},
                           In::kFile,
                           Out::kClosed,
                           0,
                           0,
                           false,
                           1,
                           "calculator: write error: Bad file descriptor\n",
                           0,
                           0},
                      Case{"closed_output",
                           {},
                           In::kFile,
                           Out::kClosed,
                           10,
                           0,
                           false,
                           1,
                           "calculator: write error: Bad file descriptor\n",
                           0,
                           0},
                      Case{"closed_input",
                           {},
                           In::kClosed,
                           Out::kPipe,
                           0,
                           0,
                           false,
                           1,
                           "calculator: -: Bad file descriptor\n",
                           kPromptSize,
                           1},
                      Case{"directory_as_input",
                           {},
                           In::kDirectory,
                           Out::kPipe,
                           0,
                           0,
                           false,
                           1,
                           "calculator: -: Is a directory\n",
                           kPromptSize,
                           1},
                      Case{"unreadable_file_after_a_good_one",
                           {"{file}", "/proc/self/mem"},
                           In::kClosed,
                           Out::kPipe,
                           30,
                           0,
                           false,
                           1,
                           "calculator: /proc/self/mem: Input/output error\n",
                           Answers(30).size(),
                           0},
                      Case{"non_blocking_output_read_late",
                           {},
                           In::kFile,
                           Out::kNonBlockingReadLate,
                           50000,
                           0,
                           false,
                           0,
                           "",
                           Answers(50000).size(),
                           0},
                      Case{"non_blocking_input_fed_slowly",
                           {},
                           In::kNonBlockingPipe,
                           Out::kPipe,
                           20000,
                           0,
                           false,
                           0,
                           "",
                           Answers(20000).size(),
                           0},
                      Case{"file_size_limit",
                           {},
                           In::kFile,
                           Out::kSizeLimitedFile,
                           2000,
                           0,
                           false,
                           1,
                           "calculator: write error: File too large\n",
                           kFileSizeLimit - kLongestLine,
                           0},
                      Case{"sigterm_while_blocked",
                           {},
                           In::kFile,
                           Out::kNeverRead,
                           50000,
                           SIGTERM,
                           false,
                           -SIGTERM,
                           "",
                           kBlockedPipeHolds,
                           0},
                      Case{"sigint_while_blocked",
                           {},
                           In::kFile,
                           Out::kNeverRead,
                           50000,
                           SIGINT,
                           false,
                           -SIGINT,
                           "",
                           kBlockedPipeHolds,
                           0},
                      Case{"sighup_while_blocked",
                           {},
                           In::kFile,
                           Out::kNeverRead,
                           50000,
                           SIGHUP,
                           false,
                           -SIGHUP,
                           "",
                           kBlockedPipeHolds,
                           0},
                      Case{"sigterm_while_an_unfinished_line_waits",
                           {},
                           In::kUnfinishedLine,
                           Out::kPipe,
                           1,
                           SIGTERM,
                           false,
                           -SIGTERM,
                           "",
                           Answers(1).size(),
                           2},
                      Case{"reader_leaves",
                           {},
                           In::kEndlessPipe,
                           Out::kReaderLeaves,
                           0,
                           0,
                           false,
                           -SIGPIPE,
                           "",
                           Answers(1).size(),
                           0},
                      Case{"reader_leaves_sigpipe_ignored",
                           {},
                           In::kEndlessPipe,
                           Out::kReaderLeaves,
                           0,
                           0,
                           true,
                           1,
                           "calculator: write error: Broken pipe\n",
                           Answers(1).size(),
                           0}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.what); });
// clang-format on

struct Outcome {
  int status = 0;
  std::string out;
  std::string err;
};

// Runs the program on `input_file` with `launch`'s arguments and limits;
// standard output and error are files, read once it has ended.
Outcome RunToEnd(Launch launch, const std::string& input_file) {
  const std::string out_file = TemporaryFile("");
  const std::string err_file = TemporaryFile("");
  launch.in = open(input_file.c_str(), O_RDONLY | O_CLOEXEC);
  launch.out = open(out_file.c_str(), O_RDWR | O_CLOEXEC);
  launch.err = open(err_file.c_str(), O_RDWR | O_CLOEXEC);
  Outcome outcome;
  bool timed_out = false;
  const pid_t pid = Start(launch);
  if (pid > 0) {
    outcome.status = Reap(pid, Clock::now() + kTimeout, timed_out);
    outcome.out = ReadToEnd(launch.out);
    outcome.err = ReadToEnd(launch.err);
  }
  for (int fd : {launch.in, launch.out, launch.err})
    close(fd);
  unlink(out_file.c_str());
  unlink(err_file.c_str());
  EXPECT_FALSE(timed_out) << "did not end";
  return outcome;
}

// Memory runs out as 250 variables are set after 100 answered lines. The
// limit that does it depends on the build, so it is searched for: below the
// least that answers everything, each run either cannot start at all or
// keeps its answers and ends with the message.
TEST(OutOfMemory, TheAnswersComputedBeforeAreKept) {
#ifdef CALCULATOR_SANITIZED_BUILD
  GTEST_SKIP() << "the sanitizers reserve far more address space than a limit could allow";
#endif
  constexpr int kAnswered = 100;
  std::string input = InputLines(1, kAnswered);
  std::string expected = Answers(kAnswered);
  for (int i = 1; i <= 250; ++i) {
    input += "set(v" + std::to_string(i) + ", " + std::to_string(i) + ")\n";
    expected += "Result is " + std::to_string(i) + "\n";
  }
  const std::string input_file = TemporaryFile(input);
  auto run = [&input_file](rlim_t kib) {
    Launch launch;
    launch.address_space_limit = kib * 1024;
    return RunToEnd(launch, input_file);
  };
  rlim_t enough = 1 << 20;
  ASSERT_EQ(0, run(enough).status);
  rlim_t too_little = 1024;
  while (enough - too_little > 16) {
    const rlim_t middle = (enough + too_little) / 2;
    (run(middle).status == 0 ? enough : too_little) = middle;
  }
  int kept_every_answer = 0;
  for (rlim_t kib = enough - 16; kib + 2048 > enough && kib > 16; kib -= 16) {
    const Outcome outcome = run(kib);
    if (outcome.out.empty() && outcome.status != 0 && outcome.status != 1) {
      continue;  // the libraries did not even load
    }
    SCOPED_TRACE(std::to_string(kib) + " KiB");
    EXPECT_EQ(1, outcome.status);
    EXPECT_EQ("calculator: out of memory\n", outcome.err);
    EXPECT_TRUE(IsWholeLinePrefix(outcome.out, expected));
    kept_every_answer += outcome.out.size() >= Answers(kAnswered).size();
  }
  unlink(input_file.c_str());
  EXPECT_GT(kept_every_answer, 0) << "no limit lets the program start and run out later";
}

TEST(Inputs, AFileIsClosedOnceItIsRead) {
  const std::string file = TemporaryFile("6*7\n");
  Pipe in_pipe, out_pipe;
  Launch launch;
  launch.arguments = {file, "-"};
  launch.in = in_pipe.read;
  launch.out = out_pipe.write;
  launch.err = 2;
  const pid_t pid = Start(launch);
  ASSERT_GT(pid, 0);
  in_pipe.CloseRead();
  out_pipe.CloseWrite();
  ASSERT_TRUE(WriteAll(in_pipe.write, "1+1\n"));
  std::string out;
  const Clock::time_point deadline = Clock::now() + kTimeout;
  while (CountLines(out) < 3 && Clock::now() < deadline) {
    char buffer[256];
    const ssize_t n = read(out_pipe.read, buffer, sizeof buffer);
    if (n <= 0)
      break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(std::string(kPrompt) + "Result is 42\nResult is 2\n", out);
  // Standard input is being read now: the FILE before it must be closed.
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
  for (int fd = 0; fd < 64; ++fd) {
    char target[4096];
    const ssize_t length = readlink((folder + std::to_string(fd)).c_str(), target, sizeof target);
    if (length > 0) {
      EXPECT_NE(file, std::string(target, static_cast<std::size_t>(length))) << "descriptor " << fd;
    }
  }
  in_pipe.CloseWrite();
  bool timed_out = false;
  EXPECT_EQ(0, Reap(pid, deadline, timed_out));
  unlink(file.c_str());
}

}  // namespace
}  // namespace console_test
