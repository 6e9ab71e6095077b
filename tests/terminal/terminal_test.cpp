// The calculator at a terminal: what a person typing sees and gets.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "terminal_program.h"

namespace terminal_test {
namespace {

const char kPromptLine[] = "Please input expression.\r\n";
const char kCtrlC[] = "\x03";
const char kCtrlD[] = "\x04";
const char kUp[] = "\x1b[A";
const char kLeft[] = "\x1b[D";
const std::string kMark = "# calculator history: one typed line per line, oldest first\n";

#ifdef CALCULATOR_HAVE_LIBEDIT
#define REQUIRE_LINE_EDITING()
#else
#define REQUIRE_LINE_EDITING() GTEST_SKIP() << "built without libedit"
#endif

std::string HistoryFile(const TemporaryFolder& home) {
  return home.path() + "/state/calculator/history";
}

bool Exists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

// Types `keys` once the program reads a line.
void TypeLine(TerminalProgram& program, const std::string& keys) {
#ifdef CALCULATOR_HAVE_LIBEDIT
  ASSERT_TRUE(program.WaitForEditing(true)) << "the editor never took the terminal\n"
                                            << program.Transcript();
#endif
  ASSERT_TRUE(program.Type(keys));
}

// Types `keys` and waits for `answer` on its own line.
void ExpectAnswer(TerminalProgram& program, const std::string& keys, const std::string& answer) {
  TypeLine(program, keys);
  EXPECT_TRUE(program.WaitFor(answer + "\r\n"))
      << "typed \"" << keys << "\", waited for \"" << answer << "\"; unread output:\n"
      << program.Unread();
}

// Ends the session with Ctrl-D and expects status 0.
void EndWithCtrlD(TerminalProgram& program) {
  TypeLine(program, kCtrlD);
  const ProgramEnd end = program.WaitForEnd();
  EXPECT_TRUE(end.exited && end.exit_status == 0) << Describe(end) << "\n" << program.Transcript();
  EXPECT_EQ(std::string::npos, program.Output().find("^D")) << program.Transcript();
}

TEST(Terminal, EachAnswerFollowsItsTypedLineAndCtrlDEnds) {
  TemporaryFolder home;
  TerminalProgram program(home);
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
  ExpectAnswer(program, "1+2\r", "1+2\r\nResult is 3");
  ExpectAnswer(program, "set(x,4)\r", "set(x,4)\r\nResult is 4");
  ExpectAnswer(program, "x*x\r", "x*x\r\nResult is 16");
  ExpectAnswer(program, "1/0\r", "Error : Can't divide by 0.");
  // Only the first 249 characters of a line count, and the user is told.
  ExpectAnswer(program, std::string(248, ' ') + "78\r",
               "\ncalculator: only the first 249 characters of the line were read\r\nResult is 7");
  // A line of blanks waits for the next line without a word.
  ExpectAnswer(program, "   \r2*3\r", "2*3\r\nResult is 6");
  EndWithCtrlD(program);
  const std::string transcript = program.Transcript();
  EXPECT_EQ(std::string::npos, transcript.find("Parse Error")) << transcript;
  EXPECT_EQ(std::string::npos, transcript.find("^C")) << transcript;
  EXPECT_EQ(0u, transcript.find("Please input expression.")) << transcript;
  EXPECT_EQ(0u, transcript.rfind("Please input expression.")) << "the prompt line comes once";
}

TEST(Terminal, CtrlCAbandonsTheEvaluationAndKeepsTheVariables) {
  TemporaryFolder home;
  TerminalProgram program(home);
  ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
  // The report of the failed first step goes out once the long sum has run
  // a while: it shows that the evaluation is under way.
  TypeLine(program, "set(a,7)+sigma(i,0,0,1/0)+sigma(i,1,2000000000,i)\r");
  ASSERT_TRUE(program.WaitFor("> Can't divide by 0.\r\n")) << program.Transcript();
  ASSERT_TRUE(program.Type(kCtrlC));
  EXPECT_TRUE(program.WaitFor("Error : Interrupted.\r\n")) << program.Transcript();
  ExpectAnswer(program, "a*6\r", "Result is 42");
  EndWithCtrlD(program);
}

TEST(Terminal, CtrlCWhileTypingDropsTheLine) {
  TemporaryFolder home;
  TerminalProgram program(home);
  ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
  TypeLine(program, "5+");
  // Only once the program waits again is the Ctrl-C sure to fall on the
  // line being typed.
  ASSERT_TRUE(program.WaitFor("5+")) << program.Transcript();
  ASSERT_TRUE(program.WaitForBusy(false)) << program.Transcript();
  ASSERT_TRUE(program.Type(kCtrlC));
  ASSERT_TRUE(program.WaitFor("^C")) << program.Transcript();
  ExpectAnswer(program, "2*3\r", "Result is 6");
  const std::string transcript = program.Transcript();
  EXPECT_EQ(std::string::npos, transcript.find("Error")) << transcript;
  EXPECT_EQ(std::string::npos, transcript.find("Result is 5")) << transcript;
  EndWithCtrlD(program);
}

TEST(Terminal, EditingKeys) {
  REQUIRE_LINE_EDITING();
  struct Edit {
    std::string keys;
    std::string answer;
  };
  const std::vector<Edit> edits = {
      {"2+3\x01"
       "1\x05"
       "0\r",
       "Result is 42"},  // Ctrl-A, Ctrl-E
      {"99\x15"
       "5\r",
       "Result is 5"},                                                            // Ctrl-U
      {"7*8 junk\x17\r", "Result is 56"},                                         // Ctrl-W
      {"12+99" + std::string(kLeft) + kLeft + kLeft + "\x0b\r", "Result is 12"},  // Ctrl-K
      {"1+2" + std::string(kLeft) + kLeft + "0\r", "Result is 12"},               // Left
      {"3\x1b[H"
       "4\x1b[F"
       "5\r",
       "Result is 435"},  // Home, End
      {"1+2\x7f"
       "5\r",
       "Result is 6"},  // Backspace
  };
  TemporaryFolder home;
  TerminalProgram program(home);
  ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
  for (const Edit& edit : edits) {
    ExpectAnswer(program, edit.keys, edit.answer);
  }
  EndWithCtrlD(program);
}

TEST(Terminal, TabCompletesConstantsFunctionsAndVariables) {
  REQUIRE_LINE_EDITING();
  TemporaryFolder home;
  std::ofstream(home.path() + "/12") << "";
  TerminalProgram program(home);
  ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
  // A function gets its parenthesis; "lo" only goes as far as "log",
  // where log and log10 part.
  ExpectAnswer(program, "sig\ti,1,4,i)\r", "Result is 10");
  ExpectAnswer(program, "lo\t1\t100)\r", "Result is 2");
  ExpectAnswer(program, "set(total,5)\r", "Result is 5");
  ExpectAnswer(program, "2*tot\t\r", "Result is 10");
  // Nothing after a constant: "pi(" would be pi alone.
  ExpectAnswer(program, "p\t*2\r", "Result is 6.28319");
  // Never a file name, though the program's folder has a file "12".
  ExpectAnswer(program, "1\t+1\r", "Result is 2");
  EndWithCtrlD(program);
}

TEST(Terminal, HistoryIsRecalledAndKeptForTheNextSessions) {
  REQUIRE_LINE_EDITING();
  TemporaryFolder home;
  {
    TerminalProgram first(home);
    ASSERT_TRUE(first.WaitFor(kPromptLine)) << first.Transcript();
    ExpectAnswer(first, "6*7\r", "Result is 42");
    ExpectAnswer(first, "6*7\r", "Result is 42");
    TypeLine(first, "  \r");  // blank: neither answered nor kept
    ExpectAnswer(first, "1+1\r", "Result is 2");
    ExpectAnswer(first, std::string(kUp) + kUp + "\r", "Result is 42");
    ExpectAnswer(first,
                 "\x12"
                 "1+\r",
                 "Result is 2");  // Ctrl-R searches back
    EndWithCtrlD(first);
  }
  const std::string file = HistoryFile(home);
  struct stat status;
  ASSERT_EQ(0, stat(file.c_str(), &status)) << file;
  EXPECT_EQ(0600u, status.st_mode & 0777u);
  // No blank line, no line twice in a row.
  EXPECT_EQ(kMark + "6*7\n1+1\n6*7\n1+1\n", ReadFile(file));

  // Two sessions at once: each adds its own lines to what is there.
  TerminalProgram second(home);
  TerminalProgram third(home);
  ASSERT_TRUE(second.WaitFor(kPromptLine)) << second.Transcript();
  ASSERT_TRUE(third.WaitFor(kPromptLine)) << third.Transcript();
  ExpectAnswer(second, std::string(kUp) + kUp + "\r", "Result is 42");
  ExpectAnswer(third, "3*3\r", "Result is 9");
  EndWithCtrlD(second);
  EndWithCtrlD(third);
  EXPECT_EQ(kMark + "6*7\n1+1\n6*7\n1+1\n6*7\n3*3\n", ReadFile(file));
}

TEST(Terminal, HistoryFileNamedByTheEnvironmentOrTurnedOff) {
  REQUIRE_LINE_EDITING();
  TemporaryFolder home;
  const std::string named = home.path() + "/my-history";
  {
    TerminalProgram program(home, {"CALCULATOR_HISTORY=" + named});
    ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
    ExpectAnswer(program, "2+2\r", "Result is 4");
    EndWithCtrlD(program);
  }
  EXPECT_EQ(kMark + "2+2\n", ReadFile(named));
  {
    TerminalProgram program(home, {"CALCULATOR_HISTORY="});
    ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
    ExpectAnswer(program, "3+3\r", "Result is 6");
    EndWithCtrlD(program);
  }
  EXPECT_FALSE(Exists(home.path() + "/state")) << "an empty CALCULATOR_HISTORY keeps nothing";
  EXPECT_EQ(kMark + "2+2\n", ReadFile(named));
}

TEST(Terminal, UnwritableHistoryWarnsOnceAndTheSessionGoesOn) {
  REQUIRE_LINE_EDITING();
  TemporaryFolder home;
  const std::string not_a_folder = home.path() + "/plain-file";
  std::ofstream(not_a_folder) << "x";
  TerminalProgram program(home, {"CALCULATOR_HISTORY=" + not_a_folder + "/history"});
  ASSERT_TRUE(program.WaitFor("history not kept in " + not_a_folder + "/history: Not a directory"))
      << program.Transcript();
  ExpectAnswer(program, "1+2\r", "Result is 3");
  EndWithCtrlD(program);
  const std::string transcript = program.Transcript();
  EXPECT_EQ(transcript.find("history not kept"), transcript.rfind("history not kept"))
      << transcript;
}

// SIGHUP: the terminal window was closed.
TEST(Terminal, SigtermOrSighupSavesTheHistoryAndEndsWithTheSignal) {
  REQUIRE_LINE_EDITING();
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    TemporaryFolder home;
    TerminalProgram program(home);
    ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
    ExpectAnswer(program, "5*5\r", "Result is 25");
    program.Signal(signal);
    const ProgramEnd end = program.WaitForEnd();
    EXPECT_TRUE(end.ended && !end.exited && end.signal_number == signal) << Describe(end);
    EXPECT_EQ(kMark + "5*5\n", ReadFile(HistoryFile(home)));
  }
}

const char kRight[] = "\x1b[C";
const char kHome[] = "\x1b[H";
const char kEnd[] = "\x1b[F";
const char kCtrlR[] = "\x12";

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The value of SumOfLength(length).
std::string SumValue(std::size_t length) {
  return std::to_string(length % 2 == 0 ? 11 + (length - 2) / 2 : (length + 1) / 2);
}

// A sum of ones, `length` characters long.
std::string SumOfLength(std::size_t length) {
  std::string sum = length % 2 == 0 ? "11" : "1";
  while (sum.size() < length) {
    sum += "+1";
  }
  return sum;
}

TEST(Terminal, TabRingsTheBellOnlyWhenNothingMatches) {
  REQUIRE_LINE_EDITING();
  struct TabCase {
    std::string keys;
    std::string answer;
    std::size_t bells;
    std::string listed;  // shown by the second Tab
  };
  const std::vector<TabCase> cases = {
      {"set(zeta,1)\r", "Result is 1", 0, ""},
      {"ze\t*2\r", "Result is 2", 0, ""},
      {"sig\ti,1,4,i)\r", "Result is 10", 0, ""},
      {"qq\t\x15"
       "3\r",
       "Result is 3", 1, ""},
      {"si\t\t\x15"
       "4\r",
       "Result is 4", 1, "sigma"},
  };
  TemporaryFolder home;
  TerminalProgram program(home);
  ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
  for (const TabCase& c : cases) {
    const std::size_t before = program.Output().size();
    ExpectAnswer(program, c.keys, c.answer);
    const std::string output = program.Output().substr(before);
    EXPECT_EQ(c.bells, Count(output, "\a")) << c.keys << "\n" << program.Transcript();
    EXPECT_NE(std::string::npos, output.find(c.listed)) << c.keys;
  }
  EndWithCtrlD(program);
}

TEST(Terminal, CtrlRLeavesTheSearchCleanly) {
  REQUIRE_LINE_EDITING();
  struct SearchCase {
    std::string keys;  // after the search has found "2*21" at its "21"
    std::string answer;
  };
  const std::vector<SearchCase> cases = {
      {"\r", "Result is 42"},
      {std::string(kLeft) + "0\r", "Result is 420"},
      {std::string(kRight) + "0\r", "Result is 402"},
      {"\x02"
       "0\r",
       "Result is 420"},  // Ctrl-B
      {"\x06"
       "0\r",
       "Result is 402"},  // Ctrl-F
      {std::string(kHome) + "-\r", "Result is -42"},
      {"\x01-\r", "Result is -42"},  // Ctrl-A
      {std::string(kEnd) + "+1\r", "Result is 43"},
      {"\x05+1\r", "Result is 43"},  // Ctrl-E
      {"\x07"
       "1\r",
       "Result is 51"},  // Ctrl-G: back to the line as it was
  };
  for (const SearchCase& c : cases) {
    TemporaryFolder home;
    ASSERT_EQ(0, mkdir((home.path() + "/state").c_str(), 0700));
    ASSERT_EQ(0, mkdir((home.path() + "/state/calculator").c_str(), 0700));
    std::ofstream(HistoryFile(home)) << kMark << "2*21\n7*7\n";
    TerminalProgram program(home);
    ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
    ExpectAnswer(program, "5" + std::string(kCtrlR) + "21" + c.keys, c.answer);
    EndWithCtrlD(program);
  }
}

TEST(Terminal, LineThatFillsTheWidthGetsNoBlankLine) {
  REQUIRE_LINE_EDITING();
  constexpr int kNarrow = 40;
  TemporaryFolder home;
  TerminalProgram program(home);
  ASSERT_TRUE(program.Resize(kNarrow, 24));
  ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
  for (std::size_t length : {39, 40, 41, 80}) {
    const std::string sum = SumOfLength(length);
    const std::size_t before = program.Output().size();
    ExpectAnswer(program, sum + "\r", "Result is " + SumValue(length));
    const std::vector<std::string> screen = ScreenLines(program.Output().substr(before), kNarrow);
    std::string typed;
    std::size_t row = 0;
    for (; row < screen.size() && screen[row].rfind("Result is", 0) != 0; ++row) {
      typed += screen[row];
    }
    EXPECT_EQ(sum, typed) << program.Transcript();
    EXPECT_EQ((length + kNarrow - 1) / kNarrow, row) << "no blank row above the answer\n"
                                                     << program.Transcript();
  }
  EndWithCtrlD(program);
}

TEST(Terminal, ResizedWindowRedrawsTheLine) {
  REQUIRE_LINE_EDITING();
  TemporaryFolder home;
  TerminalProgram program(home);
  ASSERT_TRUE(program.Resize(40, 24));
  ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
  const std::string sum = SumOfLength(31);
  TypeLine(program, sum);
  ASSERT_TRUE(program.WaitFor(sum));
  ASSERT_TRUE(program.WaitForBusy(false));
  const std::size_t before = program.Output().size();
  ASSERT_TRUE(program.Resize(25, 24));
  // The line is drawn again from its start, wrapped at the new width.
  EXPECT_TRUE(program.WaitFor(sum.substr(0, 25))) << program.Transcript();
  ASSERT_TRUE(program.Type(std::string(kHome) + "100+\r"));
  EXPECT_TRUE(program.WaitFor("Result is " + std::to_string(100 + 16) + "\r\n"))
      << program.Transcript();
  const std::vector<std::string> screen = ScreenLines(program.Output().substr(before), 25);
  ASSERT_GE(screen.size(), 3u) << program.Transcript();
  EXPECT_EQ(("100+" + sum).substr(0, 25), screen[0]) << program.Transcript();
  EndWithCtrlD(program);
}

TEST(Terminal, DumbTerminalShowsALongLineOnce) {
  TemporaryFolder home;
  TerminalProgram program(home, {"TERM=dumb"});
  ASSERT_TRUE(program.Resize(80, 24));
  ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
  const std::string sum = SumOfLength(121);
  // The terminal's own line input: no editor to wait for.
  ASSERT_TRUE(program.Type(sum + "\r"));
  EXPECT_TRUE(program.WaitFor("Result is " + SumValue(121) + "\r\n")) << program.Transcript();
  ASSERT_TRUE(program.Type(kCtrlD));
  const ProgramEnd end = program.WaitForEnd();
  EXPECT_TRUE(end.exited && end.exit_status == 0) << Describe(end);
  EXPECT_EQ(1u, Count(program.Output(), sum)) << program.Transcript();
  EXPECT_EQ(std::string::npos, program.Output().find('\x1b')) << program.Transcript();
}

TEST(Terminal, TypedBytesAreKeptAsTyped) {
  REQUIRE_LINE_EDITING();
  TemporaryFolder home;
  {
    TerminalProgram program(home, {"LC_CTYPE=C.UTF-8"});
    ASSERT_TRUE(program.WaitFor(kPromptLine)) << program.Transcript();
    ExpectAnswer(program, "2+2 \xff\r", "Result is 4");
    ExpectAnswer(program, "3+3 \xc3\xa9\r", "Result is 6");
    EndWithCtrlD(program);
  }
  EXPECT_EQ(kMark + "2+2 \xff\n3+3 \xc3\xa9\n", ReadFile(HistoryFile(home)));
}

}  // namespace
}  // namespace terminal_test
