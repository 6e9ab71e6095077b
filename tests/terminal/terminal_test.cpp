// The calculator at a terminal: what a person typing sees and gets.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "program_runner.h"
#include "terminal_screen.h"

namespace terminal_test {
namespace {

using console_test::Describe;
using console_test::ProgramEnd;
using console_test::ReadFile;
using console_test::TemporaryFolder;
using console_test::TerminalProgram;

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

// Puts `content` where the program keeps its history.
void PrepareHistory(const TemporaryFolder& home, const std::string& content) {
  mkdir((home.path() + "/state").c_str(), 0700);
  mkdir((home.path() + "/state/calculator").c_str(), 0700);
  std::ofstream(HistoryFile(home), std::ios::binary) << content;
  chmod(HistoryFile(home).c_str(), 0644);
}

// The history file holding `count` lines numbered from `first`, each
// `width` characters long.
std::string NumberedLines(int first, int count, std::size_t width = 4) {
  std::string lines;
  for (int i = first; i < first + count; ++i) {
    std::string line = "1*" + std::to_string(i);
    line.resize(std::max(width, line.size()), ' ');
    lines += line + "\n";
  }
  return lines;
}

bool Exists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

// Every terminal test: a fresh home for the program's files (its history
// among them), and programs started there that must show the prompt line
// before anything is typed.
class Terminal : public ::testing::Test {
 protected:
  static ::testing::AssertionResult ShowsPrompt(TerminalProgram& program) {
    if (program.WaitFor(kPromptLine)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no prompt line:\n" << program.Transcript();
  }

  TemporaryFolder home;
};

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

TEST_F(Terminal, EachAnswerFollowsItsTypedLineAndCtrlDEnds) {
  TerminalProgram program(home);
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(ShowsPrompt(program));
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

// A libedit.so.2 in the folder where a session starts is never loaded: the
// program has no run path, and libedit comes from the system's folders.
TEST_F(Terminal, ALibraryInTheCurrentFolderIsNeverLoaded) {
  std::filesystem::copy_file(PLANTED_LIBRARY, home.path() + "/libedit.so.2");
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
  ExpectAnswer(program, "1+2\r", "Result is 3");
  EndWithCtrlD(program);
  EXPECT_EQ(std::string::npos, program.Output().find("planted library ran"))
      << program.Transcript();
}

TEST_F(Terminal, CtrlCAbandonsTheEvaluationAndKeepsTheVariables) {
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
  // The report of the failed first step goes out once the long sum has run
  // a while: it shows that the evaluation is under way.
  TypeLine(program, "set(a,7)+sigma(i,0,0,1/0)+sigma(i,1,2000000000,i)\r");
  ASSERT_TRUE(program.WaitFor("> Can't divide by 0.\r\n")) << program.Transcript();
  ASSERT_TRUE(program.Type(kCtrlC));
  EXPECT_TRUE(program.WaitFor("Error : Interrupted.\r\n")) << program.Transcript();
  ExpectAnswer(program, "a*6\r", "Result is 42");
  EndWithCtrlD(program);
}

TEST_F(Terminal, CtrlCWhileTypingDropsTheLine) {
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
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

TEST_F(Terminal, EditingKeys) {
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
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
  for (const Edit& edit : edits) {
    ExpectAnswer(program, edit.keys, edit.answer);
  }
  EndWithCtrlD(program);
}

TEST_F(Terminal, TabCompletesConstantsFunctionsAndVariables) {
  REQUIRE_LINE_EDITING();
  std::ofstream(home.path() + "/12") << "";
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
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

TEST_F(Terminal, HistoryIsRecalledAndKeptForTheNextSessions) {
  REQUIRE_LINE_EDITING();
  {
    TerminalProgram first(home);
    ASSERT_TRUE(ShowsPrompt(first));
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
  ASSERT_TRUE(ShowsPrompt(second));
  ASSERT_TRUE(ShowsPrompt(third));
  ExpectAnswer(second, std::string(kUp) + kUp + "\r", "Result is 42");
  ExpectAnswer(third, "3*3\r", "Result is 9");
  EndWithCtrlD(second);
  EndWithCtrlD(third);
  EXPECT_EQ(kMark + "6*7\n1+1\n6*7\n1+1\n6*7\n3*3\n", ReadFile(file));
}

TEST_F(Terminal, HistoryFileNamedByTheEnvironmentOrTurnedOff) {
  REQUIRE_LINE_EDITING();
  const std::string named = home.path() + "/my-history";
  {
    TerminalProgram program(home, {"CALCULATOR_HISTORY=" + named});
    ASSERT_TRUE(ShowsPrompt(program));
    ExpectAnswer(program, "2+2\r", "Result is 4");
    EndWithCtrlD(program);
  }
  EXPECT_EQ(kMark + "2+2\n", ReadFile(named));
  {
    TerminalProgram program(home, {"CALCULATOR_HISTORY="});
    ASSERT_TRUE(ShowsPrompt(program));
    ExpectAnswer(program, "3+3\r", "Result is 6");
    EndWithCtrlD(program);
  }
  EXPECT_FALSE(Exists(home.path() + "/state")) << "an empty CALCULATOR_HISTORY keeps nothing";
  EXPECT_EQ(kMark + "2+2\n", ReadFile(named));
}

TEST_F(Terminal, UnwritableHistoryWarnsOnceAndTheSessionGoesOn) {
  REQUIRE_LINE_EDITING();
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
TEST_F(Terminal, SigtermOrSighupSavesTheHistoryAndEndsWithTheSignal) {
  REQUIRE_LINE_EDITING();
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    TemporaryFolder home;
    TerminalProgram program(home);
    ASSERT_TRUE(ShowsPrompt(program));
    ExpectAnswer(program, "5*5\r", "Result is 25");
    program.Signal(signal);
    const ProgramEnd end = program.WaitForEnd();
    EXPECT_TRUE(end.ended && !end.exited && end.signal_number == signal) << Describe(end);
    EXPECT_EQ(kMark + "5*5\n", ReadFile(HistoryFile(home)));
  }
}

const char kRight[] = "\x1b[C";
const char kDown[] = "\x1b[B";
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

TEST_F(Terminal, TabRingsTheBellOnlyWhenNothingMatches) {
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
       "Result is 4", 0, "sigma"},
  };
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
  for (const TabCase& c : cases) {
    const std::size_t before = program.Output().size();
    ExpectAnswer(program, c.keys, c.answer);
    const std::string output = program.Output().substr(before);
    EXPECT_EQ(c.bells, Count(output, "\a")) << c.keys << "\n" << program.Transcript();
    EXPECT_NE(std::string::npos, output.find(c.listed)) << c.keys;
  }
  EndWithCtrlD(program);
}

TEST_F(Terminal, CtrlRLeavesTheSearchCleanly) {
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
      {"\x05+1\r", "Result is 43"},                 // Ctrl-E
      {std::string(kDown) + "\r", "Result is 49"},  // the line after the one found
      {"\x07"
       "1\r",
       "Result is 51"},  // Ctrl-G: back to the line as it was
  };
  for (const SearchCase& c : cases) {
    TemporaryFolder home;
    PrepareHistory(home, kMark + "2*21\n7*7\n");
    TerminalProgram program(home);
    ASSERT_TRUE(ShowsPrompt(program));
    ExpectAnswer(program, "5" + std::string(kCtrlR) + "21" + c.keys, c.answer);
    EndWithCtrlD(program);
  }
}

TEST_F(Terminal, LineThatFillsTheWidthGetsNoBlankLine) {
  REQUIRE_LINE_EDITING();
  constexpr int kNarrow = 40;
  TerminalProgram program(home);
  ASSERT_TRUE(program.Resize(kNarrow, 24));
  ASSERT_TRUE(ShowsPrompt(program));
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

TEST_F(Terminal, ResizedWindowRedrawsTheLine) {
  REQUIRE_LINE_EDITING();
  TerminalProgram program(home);
  ASSERT_TRUE(program.Resize(40, 24));
  ASSERT_TRUE(ShowsPrompt(program));
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
  // Text carried across a row end by the terminal's insert-character
  // sequences comes out torn in tmux: the rows are written out instead.
  EXPECT_FALSE(std::regex_search(program.Output().substr(before), std::regex("\x1b\\[[0-9]*@")))
      << program.Transcript();
  EndWithCtrlD(program);
}

// A sum `length` characters long that ends in "+7": no other part of its
// echo holds that text.
std::string MarkedSum(std::size_t length) {
  return SumOfLength(length - 2) + "+7";
}

std::string MarkedSumValue(std::size_t length) {
  return std::to_string(std::stoi(SumValue(length - 2)) + 7);
}

// `text` as the rows of a window `columns` wide.
std::vector<std::string> Rows(const std::string& text, std::size_t columns) {
  std::vector<std::string> rows;
  for (std::size_t at = 0; at < text.size(); at += columns) {
    rows.push_back(text.substr(at, columns));
  }
  return rows;
}

// The last `count` rows the window shows.
std::vector<std::string> LastRows(const TerminalProgram& program, std::size_t count) {
  const std::vector<std::string> screen = ScreenOf(program);
  return std::vector<std::string>(screen.end() - std::min(count, screen.size()), screen.end());
}

std::string Shown(const std::vector<std::string>& rows) {
  std::string text;
  for (const std::string& row : rows) {
    text += "|" + row + "|\n";
  }
  return text;
}

// Types `keys` and waits until `drawn` shows and the program waits for the
// next key.
void TypeAndSettle(TerminalProgram& program, const std::string& keys, const std::string& drawn) {
  TypeLine(program, keys);
  ASSERT_TRUE(program.WaitFor(drawn)) << program.Transcript();
  ASSERT_TRUE(program.WaitForBusy(false));
}

TEST_F(Terminal, CtrlCOnAWrappedLineLeavesItWholeAndGoesOnBelowIt) {
  REQUIRE_LINE_EDITING();
  TerminalProgram program(home);
  ASSERT_TRUE(program.Resize(80, 24));
  ASSERT_TRUE(ShowsPrompt(program));
  const std::string sum = MarkedSum(201);
  TypeAndSettle(program, sum, "+7");
  TypeAndSettle(program, kHome, "\x1b[");
  ASSERT_TRUE(program.Type(kCtrlC));
  ASSERT_TRUE(program.WaitFor("^C")) << program.Transcript();
  ExpectAnswer(program, "7*7\r", "Result is 49");
  std::vector<std::string> expected = Rows(sum + "^C", 80);
  expected.insert(expected.end(), {"7*7", "Result is 49"});
  EXPECT_EQ(Shown(expected), Shown(LastRows(program, expected.size()))) << program.Transcript();
  EndWithCtrlD(program);
}

TEST_F(Terminal, EnterOnAWrappedLineAnswersBelowItWhereverTheCursorIs) {
  REQUIRE_LINE_EDITING();
  TerminalProgram program(home);
  ASSERT_TRUE(program.Resize(40, 24));
  ASSERT_TRUE(ShowsPrompt(program));
  const std::string sum = MarkedSum(100);
  TypeAndSettle(program, sum, "+7");
  ExpectAnswer(program, "\x01\r", "Result is " + MarkedSumValue(100));  // Ctrl-A, Enter
  std::vector<std::string> expected = Rows(sum, 40);
  expected.push_back("Result is " + MarkedSumValue(100));
  EXPECT_EQ(Shown(expected), Shown(LastRows(program, expected.size()))) << program.Transcript();
  EndWithCtrlD(program);
}

// Terminals that rewrap rows (tmux, VTE) join the line's rows again at the
// new width and bring back what a cleared screen held when fewer rows are
// needed; the line is drawn again where it starts then, once.
TEST_F(Terminal, AResizeShowsTheLineOnceWhereverItStarts) {
  REQUIRE_LINE_EDITING();
  struct ResizeCase {
    std::string what;
    std::size_t length;
    bool at_the_top;  // Ctrl-L first
    unsigned short from;
    unsigned short to;
    std::vector<std::string> above;  // the window's rows above the line
  };
  const std::vector<std::string> prompt = {"Please input expression."};
  const std::vector<ResizeCase> cases = {
      {"one row less", 90, false, 40, 50, prompt},
      // The prompt line comes back from the history.
      {"two rows at the top, one row less", 55, true, 40, 60, prompt},
      {"two rows at the top, one row more", 55, true, 40, 25, {}},
  };
  for (const ResizeCase& c : cases) {
    SCOPED_TRACE(c.what);
    TemporaryFolder home;
    TerminalProgram program(home);
    ASSERT_TRUE(program.Resize(c.from, 12));
    ASSERT_TRUE(ShowsPrompt(program));
    const std::string sum = MarkedSum(c.length);
    TypeAndSettle(program, sum, "+7");
    if (c.at_the_top) {
      TypeAndSettle(program, "\x0c", "+7");
    }
    ASSERT_TRUE(program.Resize(c.to, 12));
    ASSERT_TRUE(program.WaitFor("+7")) << "drawn again\n" << program.Transcript();
    ASSERT_TRUE(program.WaitForBusy(false));
    std::vector<std::string> window = c.above;
    const std::vector<std::string> rows = Rows(sum, c.to);
    window.insert(window.end(), rows.begin(), rows.end());
    EXPECT_EQ(Shown(window), Shown(ScreenOf(program))) << program.Transcript();
    ExpectAnswer(program, "\r", "Result is " + MarkedSumValue(c.length));
    EndWithCtrlD(program);
  }
}

TEST_F(Terminal, TabListsTheNamesOnlyRightAfterATab) {
  REQUIRE_LINE_EDITING();
  struct ListCase {
    std::string keys;
    std::vector<std::string> listed;  // each row of the list, shown once
  };
  const std::string zz_rows = "zz1  zz2  zz3  zz4  zz5  zz6  zz7  zz8";
  const std::vector<ListCase> cases = {
      // After "lo" became "log", where log and log10 part.
      {"lo\t\t", {"log    log10"}},
      // As many names in a row as the width takes, the rest below.
      {"zz\t\t", {zz_rows, "zz9"}},
      // A Tab at a new spot lists nothing until a second one there.
      {"zz\t\t+zz\t", {zz_rows, "zz9"}},
      {"zz\t+zz\t", {}},
  };
  TerminalProgram program(home);
  ASSERT_TRUE(program.Resize(40, 24));
  ASSERT_TRUE(ShowsPrompt(program));
  for (int i = 1; i <= 9; ++i) {
    ExpectAnswer(program, "set(zz" + std::to_string(i) + ",1)\r", "Result is 1");
  }
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.keys);
    const std::size_t before = program.Output().size();
    ExpectAnswer(program, c.keys + "\x15" + "1\r", "Result is 1");  // Ctrl-U
    const std::vector<std::string> screen = ScreenLines(program.Output().substr(before), 40, 24);
    for (const std::string& row : c.listed) {
      EXPECT_EQ(1, std::count(screen.begin(), screen.end(), row)) << Shown(screen);
    }
    if (c.listed.empty()) {
      EXPECT_EQ(2u, screen.size()) << Shown(screen);  // the line and its answer
    }
  }
  EndWithCtrlD(program);
}

TEST_F(Terminal, EscapeEndsTheSearchAndTheNextKeyActsAtOnce) {
  REQUIRE_LINE_EDITING();
  PrepareHistory(home, kMark + "2*21\n7*7\n");
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
  TypeAndSettle(program, "5" + std::string(kCtrlR) + "21", "(reverse-i-search)`21': ");
  ASSERT_TRUE(program.Type("\x1b"));
  ASSERT_TRUE(program.WaitFor("\x1b[J")) << "the search ends\n" << program.Transcript();
  ASSERT_TRUE(program.Type("\r"));
  EXPECT_TRUE(program.WaitFor("Result is 42\r\n", std::chrono::seconds(3)))
      << "the first Enter runs the line found\n"
      << program.Transcript();
  EndWithCtrlD(program);
}

// Keys of libedit's emacs mode and of the user's ~/.editrc, with the
// history they work on.
TEST_F(Terminal, HistoryKeysAndTheUsersOwnBindings) {
  REQUIRE_LINE_EDITING();
  struct KeyCase {
    std::string what;
    std::string history;  // empty: no file yet
    std::string editrc;
    std::string keys;
    std::string answer;
  };
  const std::vector<KeyCase> cases = {
      {"Up with no history", "", "", std::string(kUp) + "6*7\r", "Result is 42"},
      {"Esc p: the newest line that starts with what is typed", kMark + "2*21\n7*7\n3*3\n", "",
       "2\x1bp\r", "Result is 42"},
      {"a key bound by the manual's name", kMark + "6*7\n1+1\n",
       "calculator:bind ^Y calculator-older\n", "\x19\x19\r", "Result is 42"},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.what);
    TemporaryFolder home;
    if (!c.history.empty()) {
      PrepareHistory(home, c.history);
    }
    std::ofstream(home.path() + "/.editrc") << c.editrc;
    TerminalProgram program(home);
    ASSERT_TRUE(ShowsPrompt(program));
    ExpectAnswer(program, c.keys, c.answer);
    EndWithCtrlD(program);
  }
}

TEST_F(Terminal, BackFromCtrlZTheLineIsEditedAgain) {
  REQUIRE_LINE_EDITING();
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
  TypeLine(program, "1+");
  ASSERT_TRUE(program.WaitFor("1+"));
  ASSERT_TRUE(program.WaitForBusy(false));
  program.Signal(SIGSTOP);
  ASSERT_TRUE(program.SetLineMode());
  program.Signal(SIGCONT);
  EXPECT_TRUE(program.WaitForEditing(true)) << "the editor takes the terminal again";
  EXPECT_TRUE(program.WaitFor("1+")) << "the line is drawn again\n" << program.Transcript();
  ExpectAnswer(program, std::string(kLeft) + kRight + "2\r", "Result is 3");
  EndWithCtrlD(program);
}

TEST_F(Terminal, DumbTerminalShowsALongLineOnce) {
  TerminalProgram program(home, {"TERM=dumb"});
  ASSERT_TRUE(program.Resize(80, 24));
  ASSERT_TRUE(ShowsPrompt(program));
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

// Up then Enter where the terminal's own line input takes the key as text.
TEST_F(Terminal, NoLineWithAControlCharacterButTabIsKept) {
  {
    TerminalProgram program(home, {"TERM=dumb"});
    ASSERT_TRUE(ShowsPrompt(program));
    ASSERT_TRUE(program.Type(std::string(kUp) + "\r"));
    ASSERT_TRUE(program.WaitFor("Error : ")) << program.Transcript();
    ASSERT_TRUE(program.Type("3+3\t\r"));
    ASSERT_TRUE(program.WaitFor("Result is 6\r\n")) << program.Transcript();
    ASSERT_TRUE(program.Type(kCtrlD));
    EXPECT_TRUE(program.WaitForEnd().exited);
  }
  EXPECT_EQ(kMark + "3+3\t\n", ReadFile(HistoryFile(home)));
}

// é typed in the C locale: two bytes, each shown in one column and taken
// back by one Backspace.
TEST_F(Terminal, OutsideAUtf8LocaleEachByteIsOneCharacter) {
  REQUIRE_LINE_EDITING();
  {
    TerminalProgram program(home, {"LC_ALL=C"});
    ASSERT_TRUE(ShowsPrompt(program));
    TypeAndSettle(program, "6*7 \xc3\xa9+7", "+7");
    const std::string row = LastRows(program, 1).front();
    const auto characters = std::count_if(row.begin(), row.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xc0) != 0x80;  // UTF-8 after the first byte
    });
    EXPECT_EQ(8, characters) << "|" << row << "|\n" << program.Transcript();
    ExpectAnswer(program, "\x7f\x7f\x7f\r", "Result is 42");
    EndWithCtrlD(program);
  }
  EXPECT_EQ(kMark + "6*7 \xc3\n", ReadFile(HistoryFile(home)));
}

TEST_F(Terminal, AFirstSessionMakesAPrivateHistoryThoughNothingIsTyped) {
  {
    TerminalProgram program(home);
    ASSERT_TRUE(ShowsPrompt(program));
    EndWithCtrlD(program);
  }
  struct stat status;
  ASSERT_EQ(0, stat(HistoryFile(home).c_str(), &status));
  EXPECT_EQ(0600u, status.st_mode & 07777u);
  ASSERT_EQ(0, stat((home.path() + "/state/calculator").c_str(), &status));
  EXPECT_EQ(0700u, status.st_mode & 07777u);
}

TEST_F(Terminal, TypedBytesAreKeptAsTyped) {
  REQUIRE_LINE_EDITING();
  {
    TerminalProgram program(home, {"LC_CTYPE=C.UTF-8"});
    ASSERT_TRUE(ShowsPrompt(program));
    ExpectAnswer(program, "2+2 \xff\r", "Result is 4");
    ExpectAnswer(program, "3+3 \xc3\xa9\r", "Result is 6");
    EndWithCtrlD(program);
  }
  EXPECT_EQ(kMark + "2+2 \xff\n3+3 \xc3\xa9\n", ReadFile(HistoryFile(home)));
}

TEST_F(Terminal, ANulTypedIsDroppedAndTheNextKeyActsAsUsual) {
  {
    TerminalProgram program(home);
    ASSERT_TRUE(ShowsPrompt(program));
    // Ctrl-@ then Enter; Ctrl-Space then Ctrl-J.
    ExpectAnswer(program, std::string("1+1\0\r", 5), "Result is 2");
    ExpectAnswer(program, std::string("2+2\0\n", 5), "Result is 4");
    EndWithCtrlD(program);
  }
  EXPECT_EQ(kMark + "1+1\n2+2\n", ReadFile(HistoryFile(home)));
}

// The file ends with 2+2 when both sessions start; the second adds 5+5 first.
TEST_F(Terminal, ALineRepeatingTheFileAsLoadedIsKeptAfterAnotherSessionSaved) {
  PrepareHistory(home, kMark + "2+2\n");
  TerminalProgram first(home);
  TerminalProgram second(home);
  ASSERT_TRUE(ShowsPrompt(first));
  ASSERT_TRUE(ShowsPrompt(second));
  ExpectAnswer(second, "5+5\r", "Result is 10");
  EndWithCtrlD(second);
  ExpectAnswer(first, "2+2\r", "Result is 4");
  EndWithCtrlD(first);
  EXPECT_EQ(kMark + "2+2\n5+5\n2+2\n", ReadFile(HistoryFile(home)));
}

TEST_F(Terminal, HistoryKeepsTheNewestThousandLinesAndConvertsTheOldFormat) {
  REQUIRE_LINE_EDITING();
  struct FileCase {
    std::string before;
    std::string keys;  // typed in the session
    std::string answer;
    std::string after;
  };
  const std::vector<FileCase> cases = {
      // Up recalls the last line of the file, which is not saved twice.
      {kMark + "1+1\n6*7\n", std::string(kUp) + "\r", "Result is 42", kMark + "1+1\n6*7\n"},
      {kMark + NumberedLines(1, 1000), "6*7\r", "Result is 42",
       kMark + NumberedLines(2, 999) + "6*7\n"},
      {"_HiStOrY_V2_\nset(keep,\\04042)\na\\134b\n", "\x12keep\r", "Result is 42",
       kMark + "set(keep, 42)\na\\b\nset(keep, 42)\n"},
  };
  for (const FileCase& c : cases) {
    TemporaryFolder home;
    PrepareHistory(home, c.before);
    TerminalProgram program(home);
    ASSERT_TRUE(ShowsPrompt(program));
    ExpectAnswer(program, c.keys, c.answer);
    EndWithCtrlD(program);
    EXPECT_EQ(c.after, ReadFile(HistoryFile(home))) << c.keys;
    struct stat status;
    ASSERT_EQ(0, stat(HistoryFile(home).c_str(), &status));
    EXPECT_EQ(c.after == c.before ? 0644u : 0600u, status.st_mode & 0777u) << c.keys;
  }
}

TEST_F(Terminal, SessionsEndingTogetherKeepEveryLine) {
  for (int trial = 0; trial < 6; ++trial) {
    SCOPED_TRACE(trial);
    TemporaryFolder home;
    const std::string older = NumberedLines(1, 500);
    PrepareHistory(home, kMark + older);
    TerminalProgram first(home);
    TerminalProgram second(home);
    ASSERT_TRUE(ShowsPrompt(first));
    ASSERT_TRUE(ShowsPrompt(second));
    ExpectAnswer(first, "2*3\r", "Result is 6");
    ExpectAnswer(second, "4*5\r", "Result is 20");
#ifdef CALCULATOR_HAVE_LIBEDIT
    ASSERT_TRUE(first.WaitForEditing(true) && second.WaitForEditing(true));
#endif
    ASSERT_TRUE(first.Type(kCtrlD) && second.Type(kCtrlD));
    EXPECT_TRUE(first.WaitForEnd().exited);
    EXPECT_TRUE(second.WaitForEnd().exited);
    const std::string saved = ReadFile(HistoryFile(home));
    EXPECT_TRUE(saved == kMark + older + "2*3\n4*5\n" || saved == kMark + older + "4*5\n2*3\n")
        << saved.substr(saved.size() > 40 ? saved.size() - 40 : 0);
  }
}

TEST_F(Terminal, KillDuringTheSaveLeavesTheOldHistoryOrTheNew) {
  const std::string older = kMark + NumberedLines(1, 1000, 200);
  const std::string newer = kMark + NumberedLines(2, 999, 200) + "6*7\n";
  for (int trial = 0; trial < 12; ++trial) {
    SCOPED_TRACE(trial);
    TemporaryFolder home;
    PrepareHistory(home, older);
    TerminalProgram program(home);
    ASSERT_TRUE(ShowsPrompt(program));
    ExpectAnswer(program, "6*7\r", "Result is 42");
    TypeLine(program, kCtrlD);
    usleep(static_cast<useconds_t>(trial * 250));
    program.Signal(SIGKILL);
    program.WaitForEnd();
    const std::string saved = ReadFile(HistoryFile(home));
    EXPECT_TRUE(saved == older || saved == newer) << saved.size() << " bytes";
  }
}

// Paths that must never be written: each is left as it was, with one
// warning, and the session starts at once and goes on without history.
TEST_F(Terminal, HistoryPathThatIsNotAHistoryIsLeftAlone) {
  struct PathCase {
    std::string name;
    std::function<bool(const std::string& path)> make;
    std::string reason;
    bool at_default_path;
  };
  const auto notes = [](const std::string& path) {
    std::ofstream(path) << "my notes\n";
    return chmod(path.c_str(), 0644) == 0;
  };
  const std::vector<PathCase> cases = {
      {"notes", notes, "Not a history file", false},
      {"fifo", [](const std::string& path) { return mkfifo(path.c_str(), 0600) == 0; },
       "Not a regular file", false},
      {"folder", [](const std::string& path) { return mkdir(path.c_str(), 0700) == 0; },
       "Is a directory", false},
      {"device",  // as /dev/zero
       [](const std::string& path) {
         return mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0;
       },
       "Not a regular file", false},
      {"symlink",
       [notes](const std::string& path) {
         return notes(path + "-target") && symlink((path + "-target").c_str(), path.c_str()) == 0;
       },
       "Is a symbolic link", true},
      {"someone else's",
       [](const std::string& path) {
         std::ofstream(path) << kMark << "1+1\n";
         return chown(path.c_str(), 4242, 4242) == 0;
       },
       "Owned by another user", false},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryFolder home;
    std::string path = home.path() + "/history";
    std::vector<std::string> environment = {"CALCULATOR_HISTORY=" + path};
    if (c.at_default_path) {
      PrepareHistory(home, "");
      path = HistoryFile(home);
      unlink(path.c_str());
      environment.clear();
    }
    if (!c.make(path)) {
      std::cout << "[  SKIPPED ] " << c.name << ": cannot be made here (needs root)\n";
      continue;
    }
    struct stat before;
    ASSERT_EQ(0, lstat(path.c_str(), &before));
    const std::string content = S_ISREG(before.st_mode) ? ReadFile(path) : "";
    TerminalProgram program(home, environment);
    ASSERT_TRUE(program.WaitFor("history not kept in " + path + ": " + c.reason))
        << program.Transcript();
    ExpectAnswer(program, "1+2\r", "Result is 3");
    EndWithCtrlD(program);
    EXPECT_EQ(1u, Count(program.Output(), "history not kept")) << program.Transcript();
    struct stat after;
    ASSERT_EQ(0, lstat(path.c_str(), &after));
    EXPECT_EQ(before.st_mode, after.st_mode);
    EXPECT_EQ(before.st_uid, after.st_uid);
    EXPECT_EQ(before.st_ino, after.st_ino);
    if (S_ISREG(before.st_mode)) {
      EXPECT_EQ(content, ReadFile(path));
    }
    if (S_ISLNK(before.st_mode)) {
      EXPECT_EQ("my notes\n", ReadFile(path + "-target"));
    }
  }
}

// A small file system of its own, filled up: needs the right to mount.
class FullFileSystem {
 public:
  explicit FullFileSystem(const std::string& folder) : folder_(folder) {
    mkdir(folder_.c_str(), 0700);
    mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=64k") == 0;
    error_ = mounted_ ? "" : std::strerror(errno);
  }
  ~FullFileSystem() {
    if (mounted_) {
      umount2(folder_.c_str(), MNT_DETACH);
    }
  }
  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  // Fills what is left with a file.
  void Fill() const {
    std::ofstream filler(folder_ + "/filler", std::ios::binary);
    const std::string block(1024, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) &&
           filler.flush()) {
    }
  }

 private:
  std::string folder_;
  bool mounted_ = false;
  std::string error_;
};

TEST_F(Terminal, SaveOnAFullFileSystemWarnsAndKeepsTheOldHistory) {
  const std::string folder = home.path() + "/small";
  FullFileSystem small(folder);
  if (!small.mounted()) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << small.error() << "); run as root";
  }
  const std::string path = folder + "/history";
  const std::string older = kMark + NumberedLines(1, 100, 200);
  std::ofstream(path, std::ios::binary) << older;
  small.Fill();
  TerminalProgram program(home, {"CALCULATOR_HISTORY=" + path});
  ASSERT_TRUE(ShowsPrompt(program));
  ExpectAnswer(program, "6*7\r", "Result is 42");
  EndWithCtrlD(program);
  EXPECT_EQ(1u,
            Count(program.Output(), "history not kept in " + path + ": No space left on device"))
      << program.Transcript();
  EXPECT_EQ(older, ReadFile(path));
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_EQ(2u, files) << "no temporary file stays behind";
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Saves that another process's lock or the file-size limit holds up, and
// one after a killed save: none hangs, the old file stays as it was unless
// the lines are added, one warning says why, and no temporary file stays;
// a file of that name that the history reader refuses is someone else's.
TEST_F(Terminal, HistorySaveNeverHangsLosesTheOldFileOrLittersTheFolder) {
  struct SaveCase {
    std::string name;
    bool locked;       // another process holds the lock throughout
    int signal;        // sent while the save waits for the lock
    rlim_t file_size;  // the file-size limit, with SIGXFSZ as a shell leaves it
    // A file named as a killed save's temporary file lies beside the history.
    std::optional<std::string> leftover;
    std::string reason;          // of the warning; none when the lines are saved
    bool mounted = false;        // the history is a mount point: the final rename fails
    bool leftover_kept = false;  // not what the history reader takes as a history
  };
  const std::string older = kMark + NumberedLines(1, 100, 60);
  const std::string mark_line = kMark.substr(0, kMark.size() - 1);
  const std::vector<SaveCase> cases = {
      {"lock held", true, 0, RLIM_INFINITY, std::nullopt, "Locked by another process"},
      {"lock held, then SIGTERM", true, SIGTERM, RLIM_INFINITY, std::nullopt,
       "Locked by another process"},
      {"file-size limit", false, 0, 4096, std::nullopt, "File too large"},
      {"leftover of a killed save", false, 0, RLIM_INFINITY, older.substr(0, 100), ""},
      {"final rename refused", false, 0, RLIM_INFINITY, std::nullopt, "Device or resource busy",
       true},
      {"notes starting with the first line of a history, then more on it", false, 0, RLIM_INFINITY,
       mark_line + " (copy)\n1+1\n", "", false, true},
      {"notes glued to the first line of a history", false, 0, RLIM_INFINITY, mark_line + "notes",
       "", false, true},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryFolder home;
    PrepareHistory(home, older);
    const std::string path = HistoryFile(home);
    if (c.leftover) {
      std::ofstream(path + ".saving-Ab12Cd", std::ios::binary) << *c.leftover;
    }
    if (c.mounted && mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      std::cout << "[  SKIPPED ] " << c.name << ": cannot mount here (" << std::strerror(errno)
                << "); run as root\n";
      continue;
    }
    // As another process holds it.
    const int lock = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_TRUE(!c.locked || flock(lock, LOCK_EX) == 0);
    rlimit unlimited;
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const rlimit limited = {c.file_size, unlimited.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
    TerminalProgram program(home);
    setrlimit(RLIMIT_FSIZE, &unlimited);
    ASSERT_TRUE(ShowsPrompt(program));
    ExpectAnswer(program, "6*7\r", "Result is 42");
    TypeLine(program, kCtrlD);
    std::chrono::steady_clock::time_point signalled;
    if (c.signal != 0) {
      // Between two tries for the lock.
      ASSERT_TRUE(program.WaitInSystemCall(SYS_clock_nanosleep)) << program.Transcript();
      signalled = std::chrono::steady_clock::now();
      program.Signal(c.signal);
    }
    const ProgramEnd end = program.WaitForEnd();
    if (c.signal != 0) {
      EXPECT_TRUE(end.ended && !end.exited && end.signal_number == c.signal) << Describe(end);
      EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(1));
    } else {
      EXPECT_TRUE(end.exited && end.exit_status == 0) << Describe(end);
    }
    const std::string warning = "history not kept in " + path;
    EXPECT_EQ(c.reason.empty() ? 0u : 1u, Count(program.Output(), warning)) << program.Transcript();
    EXPECT_EQ(c.reason.empty() ? 0u : 1u, Count(program.Output(), warning + ": " + c.reason))
        << program.Transcript();
    EXPECT_EQ(c.reason.empty() ? older + "6*7\n" : older, ReadFile(path));
    const std::vector<std::string> kept =
        c.leftover_kept ? std::vector<std::string>{"history", "history.saving-Ab12Cd"}
                        : std::vector<std::string>{"history"};
    EXPECT_EQ(kept, FilesIn(home.path() + "/state/calculator"));
    if (c.leftover_kept) {
      EXPECT_EQ(*c.leftover, ReadFile(path + ".saving-Ab12Cd"));
    }
    close(lock);
    if (c.mounted) {
      umount2(path.c_str(), MNT_DETACH);
    }
  }
}

// Every key's whole escape sequence is read: one that is bound does its
// work, any other only rings the bell, and none leaves a fragment in the
// line. Each row types "12+34", the key, then "5" and Enter.
TEST_F(Terminal, EscapeSequencesAreReadWhole) {
  REQUIRE_LINE_EDITING();
  struct SequenceCase {
    std::string name;
    std::string bytes;
    std::string line;  // as handed over and kept in the history
    std::size_t bells;
  };
  const std::string home = "\x1b[H";
  const std::vector<SequenceCase> cases = {
      {"F1 (xterm)", "\x1bOP", "12+345", 1},
      {"F1 (Linux console)", "\x1b[[A", "12+345", 1},
      {"F5", "\x1b[15~", "12+345", 1},
      {"F12", "\x1b[24~", "12+345", 1},
      {"Ctrl-F5", "\x1b[15;5~", "12+345", 1},
      {"Insert", "\x1b[2~", "12+345", 1},
      {"PageUp", "\x1b[5~", "12+345", 1},
      {"PageDown", "\x1b[6~", "12+345", 1},
      {"PageUp after Home, Right, then End", home + "\x1b[C\x1b[5~\x1b[F", "12+345", 1},
      {"Shift-Left", "\x1b[1;2D", "12+345", 1},
      {"Shift-Up", "\x1b[1;2A", "12+345", 1},
      {"Shift-Tab", "\x1b[Z", "12+345", 1},
      {"Shift-Delete (rxvt)", "\x1b[3$", "12+345", 1},
      {"Ctrl-a in the kitty keyboard protocol", "\x1b[97;5u", "12+345", 1},
      {"Alt-Left", "\x1b[1;3D", "12+534", 0},
      {"Ctrl-Left", "\x1b[1;5D", "12+534", 0},
      {"Ctrl-Left (rxvt)", "\x1bOd", "12+534", 0},
      {"Alt-Left as Escape, Left", "\x1b\x1b[D", "12+534", 0},
      {"Alt-Right after Home", home + "\x1b[1;3C", "125+34", 0},
      {"Ctrl-Right after Home", home + "\x1b[1;5C", "125+34", 0},
      {"Alt-Delete after Home", home + "\x1b[3;3~", "5+34", 0},
      {"Ctrl-Delete after Home", home + "\x1b[3;5~", "5+34", 0},
      {"Ctrl-Delete after Home (rxvt)", home + "\x1b[3^", "5+34", 0},
      {"Home (vt220)", "\x1b[1~", "512+34", 0},
      {"Home (SS3)", "\x1bOH", "512+34", 0},
      {"Delete after Home", home + "\x1b[3~", "52+34", 0},
      {"End after Home", home + "\x1b[4~", "12+345", 0},
  };
  TemporaryFolder folder;
  TerminalProgram program(folder);
  ASSERT_TRUE(ShowsPrompt(program));
  std::string kept = kMark;
  std::string last;
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = program.Output().size();
    const std::size_t plus = c.line.find('+');
    const int value = std::stoi(c.line.substr(0, plus)) + std::stoi(c.line.substr(plus + 1));
    ExpectAnswer(program, "12+34" + c.bytes + "5\r", "Result is " + std::to_string(value));
    EXPECT_EQ(c.bells, Count(program.Output().substr(before), "\a")) << program.Transcript();
    if (c.line != last) {
      kept += c.line + "\n";  // unless it repeats the line before
    }
    last = c.line;
  }
  EndWithCtrlD(program);
  EXPECT_EQ(kept, ReadFile(HistoryFile(folder)));
}

// The terminal marks pasted text: it goes into the line as it is, and each
// line break in it hands over a line as Enter does.
TEST_F(Terminal, BracketedPaste) {
  REQUIRE_LINE_EDITING();
  struct PasteCase {
    std::string name;
    std::string pasted;
    std::string typed;  // after the paste
    std::vector<std::string> answers;
    std::string kept;  // in the history
  };
  const std::vector<PasteCase> cases = {
      {"a Tab is a Tab, not completion",
       "si\t(1)",
       "\r",
       {"Error : Func6 Error : Wrong character."},
       "si\t(1)\n"},
      {"each line break hands over a line",
       "1+1\n2*3\r\n4*",
       "5\r",
       {"Result is 2", "Result is 6", "Result is 20"},
       "1+1\n2*3\n4*5\n"},
      {"a line of only a Tab is answered, as on a pipe",
       "\t\n",
       "",
       {"Error : Func6 Error : Parse Error."},
       "\t\n"},
      {"a NUL is dropped as typed", std::string("7\0+1\n", 5), "", {"Result is 8"}, "7+1\n"},
      {"an escape sequence pasted is text, and the line is not kept",
       "9\x1b[D0\n",
       "",
       {"Result is 9"},
       ""},
  };
  for (const PasteCase& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryFolder home;
    TerminalProgram program(home);
    ASSERT_TRUE(ShowsPrompt(program));
    EXPECT_TRUE(program.WaitForBracketedPaste(true)) << "on while a line is typed";
    TypeLine(program, "\x1b[200~" + c.pasted + "\x1b[201~" + c.typed);
    for (const std::string& answer : c.answers) {
      EXPECT_TRUE(program.WaitFor(answer + "\r\n")) << answer << "\n" << program.Transcript();
    }
    EndWithCtrlD(program);
    EXPECT_FALSE(program.BracketedPaste()) << "off at the end";
    EXPECT_EQ(c.kept.empty() ? "" : kMark + c.kept, ReadFile(HistoryFile(home)));
  }
}

TEST_F(Terminal, BracketedPasteIsOffWhileALineIsAnsweredAndAfterCtrlZ) {
  REQUIRE_LINE_EDITING();
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
  TypeLine(program, "sigma(i,0,0,1/0)+sigma(i,1,2000000000,i)\r");
  EXPECT_TRUE(program.WaitForBracketedPaste(false)) << program.Transcript();
  // Busy is not enough, nor the terminal's own line mode back: a Ctrl-C
  // that comes before the line is handed over drops it. The report of the
  // failed first step shows the evaluation under way.
  ASSERT_TRUE(program.WaitFor("> Can't divide by 0.\r\n")) << program.Transcript();
  ASSERT_TRUE(program.WaitForEditing(false)) << program.Transcript();
  ASSERT_TRUE(program.Type(kCtrlC));
  ASSERT_TRUE(program.WaitFor("Error : Interrupted.\r\n")) << program.Transcript();
  TypeLine(program, "1+");
  ASSERT_TRUE(program.WaitFor("1+"));
  EXPECT_TRUE(program.WaitForBracketedPaste(true));
  program.Signal(SIGTSTP);  // Ctrl-Z
  EXPECT_TRUE(program.WaitForBracketedPaste(false)) << "the shell gets the terminal without it";
  ASSERT_TRUE(program.SetLineMode());
  program.Signal(SIGCONT);
  EXPECT_TRUE(program.WaitForBracketedPaste(true));
  ExpectAnswer(program, "2\r", "Result is 3");
  EndWithCtrlD(program);
}

// The program's own functions as `bind -l` in ~/.editrc lists them.
TEST_F(Terminal, BindListsTheProgramsFunctionsWithWhatTheyDo) {
  REQUIRE_LINE_EDITING();
  const std::vector<std::pair<std::string, std::string>> functions = {
      {"calculator-complete", "Complete the name before the cursor"},
      {"calculator-search", "Search the history backwards"},
      {"calculator-accept", "Hand the line over"},
      {"calculator-delete-or-end", "Delete, or end on an empty line"},
      {"calculator-older", "The line before in the history"},
      {"calculator-newer", "The line after in the history"},
      {"calculator-clear-screen", "Clear the screen and draw the line at its top"},
      {"calculator-next-word", "Move to the end of the next name or number"},
      {"calculator-previous-word", "Move to the start of the name or number before the cursor"},
      {"calculator-delete-next-word", "Delete to the end of the next name or number"},
      {"calculator-paste", "Insert the text that the terminal marks as pasted"},
  };
  std::ofstream(home.path() + "/.editrc") << "calculator:bind -l\n";
  TerminalProgram program(home);
  ASSERT_TRUE(ShowsPrompt(program));
  ASSERT_TRUE(program.WaitFor(functions.back().second)) << program.Transcript();
  for (const auto& [name, description] : functions) {
    EXPECT_EQ(1u, Count(program.Output(), name + "\r\n\t" + description + "\r\n"))
        << name << "\n"
        << program.Transcript();
  }
  EndWithCtrlD(program);
}

// Stop signals as desktops and process managers send them, at a program
// that waits for a key or computes, and with a terminal that takes no
// output (Ctrl-S) under the signal mask and actions a parent may leave.
TEST_F(Terminal, StopSignalsEndTheProgramWhateverComesWithThemOrWasInherited) {
  REQUIRE_LINE_EDITING();
  struct StopCase {
    std::string name;
    std::vector<int> signals;  // sent back to back
    bool busy;                 // computing when they come, else waiting for a key
    bool output_suspended;     // Ctrl-S, then a key whose echo cannot go out
    std::vector<int> blocked;  // by the parent
    std::vector<int> ignored;  // by the parent
    int ends_by;
  };
  const std::vector<StopCase> cases = {
      {"SIGTERM then SIGINT, waiting", {SIGTERM, SIGINT}, false, false, {}, {}, SIGTERM},
      {"SIGINT then SIGTERM, waiting", {SIGINT, SIGTERM}, false, false, {}, {}, SIGTERM},
      {"SIGTERM then SIGINT, computing", {SIGTERM, SIGINT}, true, false, {}, {}, SIGTERM},
      {"SIGINT then SIGTERM, computing", {SIGINT, SIGTERM}, true, false, {}, {}, SIGTERM},
      {"SIGHUP then SIGINT, waiting", {SIGHUP, SIGINT}, false, false, {}, {}, SIGHUP},
      {"SIGTERM, output suspended", {SIGTERM}, false, true, {}, {}, SIGTERM},
      {"SIGTERM, output suspended, SIGALRM blocked",
       {SIGTERM},
       false,
       true,
       {SIGALRM},
       {},
       SIGTERM},
      {"SIGTERM, output suspended, SIGALRM ignored",
       {SIGTERM},
       false,
       true,
       {},
       {SIGALRM},
       SIGTERM},
      {"SIGTERM, stop signals blocked by the parent",
       {SIGTERM},
       false,
       false,
       {SIGTERM, SIGINT, SIGHUP},
       {},
       SIGTERM},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryFolder home;
    console_test::ChildSetup parent;
    parent.blocked_signals = c.blocked;
    parent.ignored_signals = c.ignored;
    TerminalProgram program(home, parent);
    ASSERT_TRUE(ShowsPrompt(program));
    if (c.busy) {
      TypeLine(program, "sigma(i,1,2000000000,i)\r");
      ASSERT_TRUE(program.WaitForBusy(true));
    } else {
      TypeAndSettle(program, "1+", "1+");
    }
    if (c.output_suspended) {
      ASSERT_TRUE(
          program.Type("\x13"
                       "2"));
      ASSERT_TRUE(program.WaitInSystemCall(SYS_write)) << program.Transcript();
    }
    const auto sent = std::chrono::steady_clock::now();
    for (int signal : c.signals) {
      program.Signal(signal);
    }
    const ProgramEnd end = program.WaitForEnd(std::chrono::seconds(3));
    EXPECT_TRUE(end.ended && !end.exited && end.signal_number == c.ends_by) << Describe(end);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(1));
  }
}

// Sessions that end together by a stop signal (a terminal window closing
// its tabs: SIGHUP) each wait for the others' saves: no line is lost.
TEST_F(Terminal, SessionsEndingTogetherBySignalKeepEveryLine) {
  REQUIRE_LINE_EDITING();
  struct TogetherCase {
    int sessions;
    int signal;
    int trials;
  };
  const std::vector<TogetherCase> cases = {
      {2, SIGTERM, 4}, {2, SIGHUP, 4},   {3, SIGTERM, 3},
      {3, SIGHUP, 3},  {10, SIGTERM, 2}, {10, SIGHUP, 2},
  };
  for (const TogetherCase& c : cases) {
    for (int trial = 0; trial < c.trials; ++trial) {
      SCOPED_TRACE(std::to_string(c.sessions) + " sessions, signal " + std::to_string(c.signal) +
                   ", trial " + std::to_string(trial));
      TemporaryFolder home;
      PrepareHistory(home, kMark + NumberedLines(1, 500));
      std::vector<std::unique_ptr<TerminalProgram>> programs;
      for (int i = 0; i < c.sessions; ++i) {
        programs.push_back(std::make_unique<TerminalProgram>(home));
      }
      for (int i = 0; i < c.sessions; ++i) {
        ASSERT_TRUE(ShowsPrompt(*programs[i]));
        ExpectAnswer(*programs[i], "7*" + std::to_string(i) + "\r",
                     "Result is " + std::to_string(7 * i));
      }
      for (auto& program : programs) {
        ASSERT_TRUE(program->WaitForEditing(true));
      }
      for (auto& program : programs) {
        program->Signal(c.signal);
      }
      for (auto& program : programs) {
        const ProgramEnd end = program->WaitForEnd();
        EXPECT_TRUE(end.ended && end.signal_number == c.signal) << Describe(end);
      }
      const std::string saved = ReadFile(HistoryFile(home));
      for (int i = 0; i < c.sessions; ++i) {
        EXPECT_NE(std::string::npos, saved.find("\n7*" + std::to_string(i) + "\n"))
            << "line 7*" << i << " lost";
      }
    }
  }
}

// A tmux server of its own, the program in its one window: a terminal that
// rewraps its rows when the window is resized, as tmux itself does it.
class Tmux {
 public:
  Tmux(const TemporaryFolder& home, int columns, int rows)
      : command_("tmux -S " + home.path() + "/tmux-socket ") {
    started_ =
        Run("-f /dev/null new-session -d -x " + std::to_string(columns) + " -y " +
            std::to_string(rows) + " 'env -u CALCULATOR_HISTORY -u LC_ALL HOME=" + home.path() +
            " XDG_STATE_HOME=" + home.path() + "/state TERM=screen " + console_test::ProgramPath() +
            "; sleep 60'") &&
        Run("set-option -g window-size manual");
  }
  ~Tmux() { Run("kill-server"); }
  Tmux(const Tmux&) = delete;
  Tmux& operator=(const Tmux&) = delete;

  bool started() const { return started_; }
  bool Run(const std::string& arguments) const {
    return std::system((command_ + arguments + " >/dev/null 2>&1").c_str()) == 0;
  }
  // The rows the window shows, or with `history` every line since the
  // start, wrapped rows joined, trailing blank rows dropped.
  std::vector<std::string> Rows(bool history = false) const {
    std::vector<std::string> rows;
    FILE* pipe = popen((command_ + "capture-pane -p" + (history ? " -J -S -" : "")).c_str(), "r");
    char row[4096];
    while (pipe != nullptr && std::fgets(row, sizeof row, pipe) != nullptr) {
      std::string text = row;
      text.erase(text.find_last_not_of(" \n") + 1);
      rows.push_back(text);
    }
    if (pipe != nullptr) {
      pclose(pipe);
    }
    while (!rows.empty() && rows.back().empty()) {
      rows.pop_back();
    }
    return rows;
  }
  // Waits until the program reads keys one by one: typed before, they
  // would be echoed by the terminal's own line mode as well.
  bool WaitForEditing() const {
    FILE* pipe = popen((command_ + "display-message -p '#{pane_tty}'").c_str(), "r");
    char name[256] = "";
    const bool named = pipe != nullptr && std::fgets(name, sizeof name, pipe) != nullptr;
    if (pipe != nullptr) {
      pclose(pipe);
    }
    const int terminal = named ? open(std::string(name, std::strcspn(name, "\n")).c_str(),
                                      O_RDWR | O_NOCTTY | O_CLOEXEC)
                               : -1;
    bool editing = false;
    for (int tries = 0; terminal >= 0 && !editing && tries < 300; ++tries) {
      termios mode;
      editing = tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & ICANON) == 0;
      if (!editing) {
        usleep(10000);
      }
    }
    if (terminal >= 0) {
      close(terminal);
    }
    return editing;
  }
  // The cursor's column and row in the window.
  std::pair<int, int> Cursor() const {
    FILE* pipe = popen((command_ + "display-message -p '#{cursor_x} #{cursor_y}'").c_str(), "r");
    std::pair<int, int> at = {-1, -1};
    if (pipe != nullptr) {
      if (std::fscanf(pipe, "%d %d", &at.first, &at.second) != 2) {
        at = {-1, -1};
      }
      pclose(pipe);
    }
    return at;
  }
  // Waits until the window shows `wanted`; false after three seconds.
  bool WaitForRows(const std::vector<std::string>& wanted) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (Rows() != wanted) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      usleep(20000);
    }
    return true;
  }

 private:
  std::string command_;
  bool started_ = false;
};

struct TmuxCase {
  std::string what;
  std::size_t length;
  bool at_the_top;          // Ctrl-L first
  std::vector<int> widths;  // from, then each resize
  bool prompt_shown;        // at the end; else tmux keeps it in its history
};

// Types a line, resizes the window and expects the line once, where tmux
// has the window and its history show it, then its answer below it.
void ExpectResizeAtTmux(const TmuxCase& c) {
  SCOPED_TRACE(c.what);
  const std::string prompt = "Please input expression.";
  TemporaryFolder home;
  Tmux tmux(home, c.widths.front(), 12);
  ASSERT_TRUE(tmux.started());
  ASSERT_TRUE(tmux.WaitForRows({prompt})) << Shown(tmux.Rows());
  ASSERT_TRUE(tmux.WaitForEditing());
  const std::string sum = MarkedSum(c.length);
  ASSERT_TRUE(tmux.Run("send-keys -l '" + sum + "'"));
  std::vector<std::string> window = Rows(sum, static_cast<std::size_t>(c.widths.front()));
  window.insert(window.begin(), prompt);
  ASSERT_TRUE(tmux.WaitForRows(window)) << Shown(tmux.Rows());
  if (c.at_the_top) {
    ASSERT_TRUE(tmux.Run("send-keys C-l"));
    window.erase(window.begin());
    ASSERT_TRUE(tmux.WaitForRows(window)) << Shown(tmux.Rows());
  }
  for (std::size_t i = 1; i < c.widths.size(); ++i) {
    ASSERT_TRUE(tmux.Run("resize-window -x " + std::to_string(c.widths[i]) + " -y 12"));
    usleep(200000);
  }
  window = Rows(sum, static_cast<std::size_t>(c.widths.back()));
  if (c.prompt_shown) {
    window.insert(window.begin(), prompt);
  }
  EXPECT_TRUE(tmux.WaitForRows(window)) << Shown(tmux.Rows());
  EXPECT_EQ(Shown({prompt, sum}), Shown(tmux.Rows(true)));
  ASSERT_TRUE(tmux.Run("send-keys Enter"));
  window = {prompt, sum, "Result is " + MarkedSumValue(c.length)};
  for (int tries = 0; tries < 150 && tmux.Rows(true) != window; ++tries) {
    usleep(20000);
  }
  EXPECT_EQ(Shown(window), Shown(tmux.Rows(true)));
}

// tmux keeps the cursor on its row of the window and moves the rows above
// that no longer fit into its history, out of the cursor's reach, and takes
// them back when a wider window needs fewer; it takes a clear from the top
// left corner for a clear screen, whose rows it keeps in its history too.
TEST_F(Terminal, AResizeAtRealTmuxShowsTheLineOnce) {
  REQUIRE_LINE_EDITING();
  if (std::system("tmux -V >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "tmux is not installed";
  }
  ExpectResizeAtTmux({"one row less", 90, false, {40, 50}, true});
  ExpectResizeAtTmux({"the same rows", 30, false, {40, 60}, true});
  ExpectResizeAtTmux({"one row more, up to the top", 55, false, {40, 25}, false});
  ExpectResizeAtTmux({"narrower and back", 90, false, {80, 40, 80}, true});
  ExpectResizeAtTmux({"after Ctrl-L, narrower and back", 101, true, {80, 40, 80}, false});
  ExpectResizeAtTmux({"after Ctrl-L, far wider", 101, true, {40, 200}, true});
}

// The prompt, `line` whole and its answer, once each, at the end of the
// window's history.
void ExpectTallLineAnswered(const Tmux& tmux, const std::string& line) {
  // The first 249 characters alone count: 9, then +1 each.
  const std::string read = line.substr(0, 249);
  const std::vector<std::string> history = {
      "Please input expression.", line,
      "calculator: only the first 249 characters of the line were read",
      "Result is " + std::to_string(9 + std::count(read.begin(), read.end(), '1'))};
  for (int tries = 0; tries < 150 && tmux.Rows(true) != history; ++tries) {
    usleep(20000);
  }
  EXPECT_EQ(Shown(history), Shown(tmux.Rows(true)));
}

struct TallLineCase {
  std::string what;
  std::size_t first_part;   // typed on its own first, as rows libedit draws
  std::vector<int> widths;  // after the edit, each resize
  bool pasted = false;      // with the 9 and a line break: Enter at once
};

// A line taller than the window at 40x10, edited at its start: the cursor
// stands right after the 9 typed there, and the whole line, then its
// answer, follow the prompt once.
void ExpectTallLineEditedAtTmux(const TallLineCase& c) {
  SCOPED_TRACE(c.what);
  const std::string prompt = "Please input expression.";
  TemporaryFolder home;
  Tmux tmux(home, 40, 10);
  ASSERT_TRUE(tmux.started());
  ASSERT_TRUE(tmux.WaitForRows({prompt})) << Shown(tmux.Rows());
  ASSERT_TRUE(tmux.WaitForEditing());
  std::string line;
  for (int i = 0; i < 200; ++i) {
    line += "+1";
  }
  line += "7";  // 401 characters
  if (c.pasted) {
    line.insert(0, "9");
    std::ofstream(home.path() + "/paste") << line << "\n";
    ASSERT_TRUE(tmux.Run("load-buffer " + home.path() + "/paste"));
    ASSERT_TRUE(tmux.Run("paste-buffer -p"));
    ExpectTallLineAnswered(tmux, line);
    return;
  }
  ASSERT_TRUE(tmux.Run("send-keys -l '" + line.substr(0, c.first_part) + "'"));
  usleep(200000);
  ASSERT_TRUE(tmux.Run("send-keys -l '" + line.substr(c.first_part) + "'"));
  usleep(200000);
  ASSERT_TRUE(tmux.Run("send-keys Home"));
  ASSERT_TRUE(tmux.Run("send-keys -l 9"));
  usleep(200000);
  for (const int width : c.widths) {
    ASSERT_TRUE(tmux.Run("resize-window -x " + std::to_string(width) + " -y 10"));
    usleep(200000);
  }
  const std::vector<std::string> window = tmux.Rows();
  const auto [x, y] = tmux.Cursor();
  ASSERT_TRUE(x >= 1 && y >= 0 && static_cast<std::size_t>(y) < window.size() &&
              static_cast<std::size_t>(x) <= window[y].size())
      << x << "," << y << "\n"
      << Shown(window);
  EXPECT_EQ("9", window[y].substr(x - 1, 1)) << x << "," << y << "\n" << Shown(window);
  ASSERT_TRUE(tmux.Run("send-keys Enter"));
  line.insert(0, "9");
  ExpectTallLineAnswered(tmux, line);
}

// libedit keeps the last rows of a line taller than the window in view and
// moves its cursor up to the start, which stops at the top of the window.
TEST_F(Terminal, ALineTallerThanTheWindowKeepsItsCursorAtRealTmux) {
  REQUIRE_LINE_EDITING();
  if (std::system("tmux -V >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "tmux is not installed";
  }
  ExpectTallLineEditedAtTmux({"typed at once", 401, {}});
  ExpectTallLineEditedAtTmux({"taller as it is typed", 300, {}});
  ExpectTallLineEditedAtTmux({"then narrower", 300, {25}});
  ExpectTallLineEditedAtTmux({"then wide enough to show it whole", 300, {60}});
  ExpectTallLineEditedAtTmux({"then narrower and back", 300, {25, 40}});
  ExpectTallLineEditedAtTmux({"pasted with its line break", 0, {}, true});
}

}  // namespace
}  // namespace terminal_test
