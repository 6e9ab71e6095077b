// Faults injected around the program: outputs that fail, fill up, block or
// go away, inputs that cannot be read, stop signals while a write waits,
// memory or descriptors running out. Each case checks the status, the
// standard-error line and that the answers which could be written arrived,
// in whole lines.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "program_runner.h"

namespace console_test {
namespace {

constexpr std::chrono::milliseconds kTimeout(10000);
// Long enough for the program to start, answer what it has and block.
constexpr std::chrono::milliseconds kSettle(500);
// A stop signal ends the program at once, whatever it waits on.
constexpr std::chrono::milliseconds kEndAfterStop(1000);

const std::string kPrompt = "Please input expression.\n";
const std::size_t kLongestAnswer = sizeof "Result is 50001\n" - 1;
const rlim_t kFileSizeLimit = 4096;
// A write to a pipe holds whole lines and at most one 4096-byte page: of the
// 16 pages a pipe holds, the last two may stay partly empty.
const std::size_t kBlockedPipeHolds = 65536 - 2 * 4096;

std::string InputLines(int from, int count) {
  std::string text;
  for (int i = from; i < from + count; ++i) {
    text += std::to_string(i) + "+1\n";
  }
  return text;
}

// The prompt and the answers to the first `count` input lines, of each of
// `files` copies of the input.
std::string Answers(int count, int files = 1) {
  std::string text = kPrompt;
  for (int file = 0; file < files; ++file) {
    for (int i = 1; i <= count; ++i) {
      text += "Result is " + std::to_string(i + 1) + "\n";
    }
  }
  return text;
}

std::string TemporaryFile(const std::string& content) {
  char path[] = "/tmp/calculator-fault-XXXXXX";
  const int fd = mkstemp(path);
  WriteAll(fd, content);
  close(fd);
  return path;
}

int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

bool IsWholeLinePrefix(const std::string& text, const std::string& of) {
  return of.compare(0, text.size(), text) == 0 && (text.empty() || text.back() == '\n');
}

// Reads `fd` (a file from its start) until its end, `deadline`, or, with
// `lines` above zero, that many lines.
std::string ReadFrom(int fd, Clock::time_point deadline, int lines = 0) {
  lseek(fd, 0, SEEK_SET);
  std::string text;
  char buffer[4096];
  pollfd ready = {fd, POLLIN, 0};
  while (lines <= 0 || CountLines(text) < lines) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      break;
    }
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

// The exit status, or minus the signal that ended the child; kills it at
// `deadline`.
int Reap(pid_t pid, Clock::time_point deadline, bool& timed_out) {
  const ProgramEnd end = WaitForProgram(pid, deadline);
  timed_out = !end.ended;
  return end.exited ? end.exit_status : -end.signal_number;
}

enum class In { kFile, kClosed, kFolder, kNonBlockingPipe, kEndlessPipe, kUnfinishedLine };
enum class Out {
  kPipe,
  kDevFull,
  kClosed,
  kLimitedFile,
  kNonBlockingReadLate,
  kNeverRead,
  kHead,
  kUnreadTerminal,  // a terminal whose reader has stopped reading
  // A file that standard error shares (`> file 2>&1`), on a disk that fills
  // up after a write that comes back short (failing_write.cpp).
  kSharedFileFillsUp,
};

struct Case {
  const char* what;
  std::vector<std::string> arguments;  // "{file}" is the input file
  In in;
  Out out;
  int lines;            // input lines "1+1", "2+1", ...
  int stop_signal;      // sent once the program has settled, 0 for none
  bool ignore_sigpipe;  // as started after `trap '' PIPE`
  int status;           // exit status, or minus the signal that ends it
  std::string err;
  std::size_t at_least;               // bytes of whole answer lines that must arrive
  int at_most_lines;                  // counting the prompt; 0 for any number
  int trials = 1;                     // runs, each of which must pass
  bool sigxfsz_default = false;       // as a shell starts it, not ignored
  int file_arguments = 1;             // how many times "{file}" is given
  rlim_t open_files = RLIM_INFINITY;  // the descriptor limit
  bool failing_close = false;         // closing standard output fails with EIO
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.what;
}

// Writes the program's input pipe: blocks of lines with pauses, lines
// without end until the reader goes, or a line and one that never ends.
void Feed(In in, int lines, int fd, const std::atomic<bool>& stop) {
  if (in == In::kUnfinishedLine) {
    WriteAll(fd, "1+1\n2*3");
    while (!stop) {
      usleep(10000);
    }
  }
  for (int from = 1; in == In::kNonBlockingPipe && from <= lines; from += 1000) {
    WriteAll(fd, InputLines(from, std::min(1000, lines - from + 1)));
    usleep(20000);
  }
  for (int from = 1; in == In::kEndlessPipe && WriteAll(fd, InputLines(from, 100)); from += 100) {
  }
  close(fd);
}

class FaultInjection : public ::testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() { signal(SIGPIPE, SIG_IGN); }  // for Feed
};

void RunOnce(const Case& c) {
  const std::string input_file = TemporaryFile(InputLines(1, c.lines));
  const std::string output_file = TemporaryFile("");
  ChildSetup child;
  child.default_stop_signals = true;
  child.ignore_sigpipe = c.ignore_sigpipe;
  child.ignore_sigxfsz = !c.sigxfsz_default;
  child.file_size = c.out == Out::kLimitedFile ? kFileSizeLimit : RLIM_INFINITY;
  child.open_files = c.open_files;
  const bool shared_file = c.out == Out::kSharedFileFillsUp;
  if (c.failing_close || shared_file) {
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    child.environment = {
        std::string("LD_PRELOAD=") + (shared_file ? FAILING_WRITE_LIBRARY : FAILING_CLOSE_LIBRARY),
        std::string("ASAN_OPTIONS=") + (sanitizer ? sanitizer : "") + ":verify_asan_link_order=0"};
  }
  for (const std::string& argument : c.arguments) {
    for (int copy = 0; copy < (argument == "{file}" ? c.file_arguments : 1); ++copy) {
      child.arguments.push_back(argument == "{file}" ? input_file : argument);
    }
  }
  int in[2], out[2], err[2];
  ASSERT_EQ(0, pipe2(in, O_CLOEXEC) | pipe2(out, O_CLOEXEC) | pipe2(err, O_CLOEXEC));
  const int files[] = {
      open(input_file.c_str(), O_RDONLY | O_CLOEXEC), open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC),
      open("/dev/full", O_WRONLY | O_CLOEXEC), open(output_file.c_str(), O_RDWR | O_CLOEXEC)};
  int terminal = -1;  // never read
  int terminal_end = -1;
  if (c.out == Out::kUnreadTerminal) {
    ASSERT_EQ(0, openpty(&terminal, &terminal_end, nullptr, nullptr, nullptr));
    fcntl(terminal, F_SETFD, FD_CLOEXEC);
    fcntl(terminal_end, F_SETFD, FD_CLOEXEC);
  }
  const bool piped_in = c.in >= In::kNonBlockingPipe;
  child.fds[0] = piped_in              ? in[0]
                 : c.in == In::kFile   ? files[0]
                 : c.in == In::kFolder ? files[1]
                                       : -1;
  child.fds[1] = c.out == Out::kDevFull                      ? files[2]
                 : c.out == Out::kClosed                     ? -1
                 : c.out == Out::kLimitedFile || shared_file ? files[3]
                 : c.out == Out::kUnreadTerminal             ? terminal_end
                                                             : out[1];
  child.fds[2] = shared_file ? files[3] : err[1];
  fcntl(in[0], F_SETFL, c.in == In::kNonBlockingPipe ? O_NONBLOCK : 0);
  fcntl(out[1], F_SETFL, c.out == Out::kNonBlockingReadLate ? O_NONBLOCK : 0);

  const Clock::time_point deadline = Clock::now() + kTimeout;
  const pid_t pid = StartProgram(child);
  ASSERT_GT(pid, 0);
  for (int fd : {in[0], out[1], err[1], files[0], files[1], files[2], terminal_end}) {
    close(fd);
  }
  std::atomic<bool> stop{false};
  std::thread feeder([&] { piped_in ? Feed(c.in, c.lines, in[1], stop) : (void)close(in[1]); });
  std::string answers;
  if (c.out == Out::kHead) {
    answers = ReadFrom(out[0], deadline, 2);
    answers.erase(answers.find('\n', answers.find('\n') + 1) + 1);  // what `head -n 2` keeps
    close(out[0]);
  } else if (c.out == Out::kUnreadTerminal) {
    // Until it has filled what the terminal takes and waits in a write.
    while (!InSystemCall(pid, SYS_write, STDOUT_FILENO) && Clock::now() < deadline) {
      usleep(2000);
    }
  } else if (c.out == Out::kNonBlockingReadLate || c.out == Out::kNeverRead || c.stop_signal != 0) {
    std::this_thread::sleep_for(kSettle);
  }
  const Clock::time_point signalled = Clock::now();
  if (c.stop_signal != 0) {
    kill(pid, c.stop_signal);
  }
  if (c.out != Out::kHead && c.out != Out::kNeverRead && c.out != Out::kUnreadTerminal) {
    answers = ReadFrom(out[0], deadline);
  }
  bool timed_out = false;
  const int status = Reap(pid, deadline, timed_out);
  if (c.stop_signal != 0) {
    EXPECT_LT(Clock::now() - signalled, kEndAfterStop) << "the stop signal did not end it at once";
  }
  stop = true;
  feeder.join();
  if (c.out == Out::kNeverRead || c.out == Out::kLimitedFile || shared_file) {
    answers = ReadFrom(c.out == Out::kNeverRead ? out[0] : files[3], deadline);
  }
  std::string message = ReadFrom(err[0], deadline);
  // In a shared file the message follows the last whole answer, with no
  // hole of NUL bytes where a cut line was taken back.
  if (shared_file && answers.size() >= c.err.size() &&
      answers.compare(answers.size() - c.err.size(), c.err.size(), c.err) == 0) {
    message = c.err;
    answers.resize(answers.size() - c.err.size());
  }
  for (int fd : {out[0], err[0], files[3], terminal}) {
    close(fd);
  }
  unlink(input_file.c_str());
  unlink(output_file.c_str());

  EXPECT_FALSE(timed_out) << "did not end";
  EXPECT_EQ(c.status, status);
  EXPECT_EQ(c.err, message);
  EXPECT_TRUE(IsWholeLinePrefix(
      answers, Answers(c.in == In::kEndlessPipe ? 100000 : c.lines, c.file_arguments)))
      << answers.size() << " bytes ending \""
      << Escape(answers.substr(answers.size() - std::min<std::size_t>(answers.size(), 40))) << "\"";
  EXPECT_GE(answers.size(), c.at_least) << "answers that could be written are missing";
  if (c.at_most_lines > 0) {
    EXPECT_LE(CountLines(answers), c.at_most_lines);
  }
}

TEST_P(FaultInjection, StatusMessageAndWholeAnswers) {
  for (int trial = 0; trial < GetParam().trials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    RunOnce(GetParam());
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Faults, FaultInjection, ::testing::Values(
  Case{"dev_full", {}, In::kFile, Out::kDevFull, 10, 0, false,
       1, "calculator: write error: No space left on device\n", 0, 0},
  Case{"version_to_dev_full", {"--version"}, In::kFile, Out::kDevFull, 0, 0, false,
       1, "calculator: write error: No space left on device\n", 0, 0},
  Case{"help_to_closed_output", {"--help"}, In::kFile, Out::kClosed, 0, 0, false,
       1, "calculator: write error: Bad file descriptor\n", 0, 0},
  Case{"closed_output", {}, In::kFile, Out::kClosed, 10, 0, false,
       1, "calculator: write error: Bad file descriptor\n", 0, 0},
  Case{"closed_input", {}, In::kClosed, Out::kPipe, 0, 0, false,
       1, "calculator: -: Bad file descriptor\n", kPrompt.size(), 1},
  Case{"folder_as_input", {}, In::kFolder, Out::kPipe, 0, 0, false,
       1, "calculator: -: Is a directory\n", kPrompt.size(), 1},
  Case{"unreadable_file_after_a_good_one", {"{file}", "/proc/self/mem"}, In::kClosed, Out::kPipe, 30, 0, false,
       1, "calculator: /proc/self/mem: Input/output error\n", Answers(30).size(), 0},
  Case{"non_blocking_output_read_late", {}, In::kFile, Out::kNonBlockingReadLate, 50000, 0, false,
       0, "", Answers(50000).size(), 0},
  Case{"non_blocking_input_fed_slowly", {}, In::kNonBlockingPipe, Out::kPipe, 20000, 0, false,
       0, "", Answers(20000).size(), 0},
  Case{"file_size_limit", {}, In::kFile, Out::kLimitedFile, 2000, 0, false,
       1, "calculator: write error: File too large\n", kFileSizeLimit - kLongestAnswer, 0},
  Case{"sigterm_while_blocked", {}, In::kFile, Out::kNeverRead, 50000, SIGTERM, false,
       -SIGTERM, "", kBlockedPipeHolds, 0},
  Case{"sigint_while_blocked", {}, In::kFile, Out::kNeverRead, 50000, SIGINT, false,
       -SIGINT, "", kBlockedPipeHolds, 0},
  Case{"sighup_while_blocked", {}, In::kFile, Out::kNeverRead, 50000, SIGHUP, false,
       -SIGHUP, "", kBlockedPipeHolds, 0},
  Case{"sigterm_while_an_unfinished_line_waits", {}, In::kUnfinishedLine, Out::kPipe, 1, SIGTERM, false,
       -SIGTERM, "", Answers(1).size(), 2},
  Case{"reader_leaves", {}, In::kEndlessPipe, Out::kHead, 0, 0, false,
       -SIGPIPE, "", Answers(1).size(), 0},
  Case{"reader_leaves_sigpipe_ignored", {}, In::kEndlessPipe, Out::kHead, 0, 0, true,
       1, "calculator: write error: Broken pipe\n", Answers(1).size(), 0},
  Case{"sigterm_while_a_terminal_is_not_read", {}, In::kFile, Out::kUnreadTerminal, 50000, SIGTERM, false,
       -SIGTERM, "", 0, 0, 5},
  Case{"file_size_limit_sigxfsz_default", {}, In::kFile, Out::kLimitedFile, 2000, 0, false,
       1, "calculator: write error: File too large\n", kFileSizeLimit - kLongestAnswer, 0, 1, true},
  Case{"many_files_few_descriptors", {"{file}"}, In::kClosed, Out::kPipe, 3, 0, false,
       0, "", Answers(3, 300).size(), 0, 1, false, 300, 16},
  Case{"closing_output_fails", {}, In::kFile, Out::kPipe, 10, 0, false,
       1, "calculator: write error: Input/output error\n", Answers(10).size(), 0, 1, false, 1,
       RLIM_INFINITY, true},
  Case{"short_write_then_full_disk_in_a_file_shared_with_errors", {}, In::kFile, Out::kSharedFileFillsUp, 200, 0, false,
       1, "calculator: write error: No space left on device\n", 1000 - kLongestAnswer, 0}),
  [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.what); });
// clang-format on

// Runs the program on `input_file` under an address-space limit; standard
// output and error are files, read once it has ended.
int RunLimited(const std::string& input_file, rlim_t kib, std::string& out, std::string& err) {
  const std::string out_file = TemporaryFile("");
  const std::string err_file = TemporaryFile("");
  ChildSetup child;
  child.default_stop_signals = true;
  child.address_space = kib * 1024;
  child.fds[0] = open(input_file.c_str(), O_RDONLY | O_CLOEXEC);
  child.fds[1] = open(out_file.c_str(), O_RDWR | O_CLOEXEC);
  child.fds[2] = open(err_file.c_str(), O_RDWR | O_CLOEXEC);
  bool timed_out = false;
  const Clock::time_point deadline = Clock::now() + kTimeout;
  const int status = Reap(StartProgram(child), deadline, timed_out);
  out = ReadFrom(child.fds[1], deadline);
  err = ReadFrom(child.fds[2], deadline);
  for (int fd : child.fds) {
    close(fd);
  }
  unlink(out_file.c_str());
  unlink(err_file.c_str());
  EXPECT_FALSE(timed_out) << "did not end";
  return status;
}

// Memory runs out as 250 variables are set after 100 answered lines. The
// limit that does it depends on the build, so it is searched for: below the
// least that answers everything, each run either cannot start at all or
// keeps its answers and ends with the message.
TEST(OutOfMemory, TheAnswersComputedBeforeAreKept) {
#ifdef CALCULATOR_SANITIZED_BUILD
  GTEST_SKIP() << "the sanitizers reserve far more address space than a limit could allow";
#endif
  std::string input = InputLines(1, 100);
  std::string expected = Answers(100);
  for (int i = 1; i <= 250; ++i) {
    input += "set(v" + std::to_string(i) + ", " + std::to_string(i) + ")\n";
    expected += "Result is " + std::to_string(i) + "\n";
  }
  const std::string input_file = TemporaryFile(input);
  std::string out, err;
  rlim_t enough = 1 << 20;
  ASSERT_EQ(0, RunLimited(input_file, enough, out, err));
  for (rlim_t too_little = 1024; enough - too_little > 16;) {
    const rlim_t middle = (enough + too_little) / 2;
    (RunLimited(input_file, middle, out, err) == 0 ? enough : too_little) = middle;
  }
  int kept_every_answer = 0;
  for (rlim_t kib = enough - 16; kib + 2048 > enough && kib > 16; kib -= 16) {
    const int status = RunLimited(input_file, kib, out, err);
    if (out.empty() && status != 0 && status != 1) {
      continue;  // the libraries did not even load
    }
    SCOPED_TRACE(std::to_string(kib) + " KiB");
    EXPECT_EQ(1, status);
    EXPECT_EQ("calculator: out of memory\n", err);
    EXPECT_TRUE(IsWholeLinePrefix(out, expected));
    kept_every_answer += out.size() >= Answers(100).size();
  }
  unlink(input_file.c_str());
  EXPECT_GT(kept_every_answer, 0) << "no limit lets the program start and run out later";
}

// The prompt is out before the program waits for a FIFO's writer.
TEST(InputFiles, ThePromptArrivesBeforeAFifoHasAWriter) {
  char folder[] = "/tmp/calculator-fifo-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(folder));
  const std::string fifo = std::string(folder) + "/fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  int out[2];
  ASSERT_EQ(0, pipe2(out, O_CLOEXEC));
  ChildSetup child;
  child.default_stop_signals = true;
  child.arguments = {fifo};
  child.fds[1] = out[1];
  child.fds[2] = STDERR_FILENO;
  const pid_t pid = StartProgram(child);
  ASSERT_GT(pid, 0);
  close(out[1]);
  const Clock::time_point deadline = Clock::now() + kTimeout;
  EXPECT_EQ(kPrompt, ReadFrom(out[0], Clock::now() + std::chrono::seconds(3), 1));
  const int writer = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);  // once the program reads it
  EXPECT_TRUE(WriteAll(writer, "6*7\n"));
  close(writer);
  EXPECT_EQ("Result is 42\n", ReadFrom(out[0], deadline, 1));
  bool timed_out = false;
  EXPECT_EQ(0, Reap(pid, deadline, timed_out));
  close(out[0]);
  unlink(fifo.c_str());
  rmdir(folder);
}

TEST(InputFiles, AFileIsClosedOnceItIsRead) {
  const std::string file = TemporaryFile("6*7\n");
  int in[2], out[2];
  ASSERT_EQ(0, pipe2(in, O_CLOEXEC) | pipe2(out, O_CLOEXEC));
  ChildSetup child;
  child.default_stop_signals = true;
  child.arguments = {file, "-"};
  child.fds[0] = in[0];
  child.fds[1] = out[1];
  child.fds[2] = STDERR_FILENO;
  const pid_t pid = StartProgram(child);
  ASSERT_GT(pid, 0);
  close(in[0]);
  close(out[1]);
  const Clock::time_point deadline = Clock::now() + kTimeout;
  EXPECT_TRUE(WriteAll(in[1], "1+1\n"));
  EXPECT_EQ(kPrompt + "Result is 42\nResult is 2\n", ReadFrom(out[0], deadline, 3));
  // Standard input is being read now: the FILE before it must be closed.
  for (int fd = 0; fd < 64; ++fd) {
    const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
    char target[4096];
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    EXPECT_NE(file, std::string(target, static_cast<std::size_t>(std::max<ssize_t>(length, 0))))
        << "descriptor " << fd;
  }
  close(in[1]);
  bool timed_out = false;
  EXPECT_EQ(0, Reap(pid, deadline, timed_out));
  close(out[0]);
  unlink(file.c_str());
}

}  // namespace
}  // namespace console_test
