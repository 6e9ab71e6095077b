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
  // Only the first 249 characters of a line count.
  ExpectAnswer(program, std::string(248, ' ') + "78\r", "Result is 7");
  EndWithCtrlD(program);
  const std::string transcript = program.Transcript();
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

}  // namespace
}  // namespace terminal_test
