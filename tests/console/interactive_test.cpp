// Talks to the program through a pipe one line at a time, the way a person
// at a terminal would: each answer must be on the output before the next
// line is typed, so a missing flush makes these tests time out and fail.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "program_runner.h"

namespace console_test {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kAnswerTimeout(10000);
// How long to watch for output that must not come.
constexpr milliseconds kQuietPeriod(300);

const char kPromptLine[] = "Please input expression.\n";

struct Exchange {
  std::string line;                  // typed without its line feed
  std::vector<std::string> answers;  // every output line it causes
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\n";
  }
  return text;
}

TEST(Interactive, EachAnswerArrivesBeforeTheNextLineIsTyped) {
  InteractiveProgram program;
  ASSERT_TRUE(program.started()) << "cannot start " << ProgramPath();
  ASSERT_EQ(kPromptLine, program.ReadLines(1, kAnswerTimeout))
      << "the prompt must come before any input";

  const std::vector<Exchange> exchanges = {
      {"1+2", {"Result is 3"}},
      {"set(x,3)", {"Result is 3"}},
      {"x*2", {"Result is 6"}},
      {"1/0", {"Error : Can't divide by 0."}},
      {"set(y, 1/0)",
       {"Function Error : Wrong define in \"function\".", "> Can't divide by 0.", "Result is 0"}},
      {"y+x", {"Result is 3"}},
      {"", {"Error : Func6 Error : Parse Error."}},
      {"sigma(i,1,2,k)",
       {"Function Error : Wrong define in \"function\".", "> Func6 Error : Wrong character.",
        "Function Error : Wrong define in \"function\".", "> Func6 Error : Wrong character.",
        "Result is 0"}},
      {"2^100", {"Result is 1.26765e+030"}},
  };
  for (const Exchange& exchange : exchanges) {
    ASSERT_TRUE(program.Write(exchange.line + "\n")) << "program stopped reading";
    const int count = static_cast<int>(exchange.answers.size());
    ASSERT_EQ(Joined(exchange.answers), program.ReadLines(count, kAnswerTimeout))
        << "after typing \"" << exchange.line << "\"";
  }

  // Half a line is not answered until its line feed comes.
  ASSERT_TRUE(program.Write("2*"));
  EXPECT_EQ("", program.ReadAvailable(kQuietPeriod)) << "answered an unfinished line";
  ASSERT_TRUE(program.Write("21\n"));
  EXPECT_EQ("Result is 42\n", program.ReadLines(1, kAnswerTimeout));

  const RunResult end = program.Finish();
  EXPECT_EQ("", end.out) << "output after the end of input";
  EXPECT_EQ("", end.err);
  EXPECT_TRUE(end.exited && end.exit_status == 0) << DescribeRun(end);
}

TEST(Interactive, LastLineWithoutLineFeedIsAnsweredWhenInputEnds) {
  InteractiveProgram program;
  ASSERT_TRUE(program.started()) << "cannot start " << ProgramPath();
  ASSERT_EQ(kPromptLine, program.ReadLines(1, kAnswerTimeout));
  ASSERT_TRUE(program.Write("6*7"));
  EXPECT_EQ("", program.ReadAvailable(kQuietPeriod)) << "answered before the line was complete";

  const RunResult end = program.Finish();
  EXPECT_EQ("Result is 42\n", end.out);
  EXPECT_EQ("", end.err);
  EXPECT_TRUE(end.exited && end.exit_status == 0) << DescribeRun(end);
}

TEST(Interactive, ClosedInputEndsTheRunAfterThePrompt) {
  InteractiveProgram program;
  ASSERT_TRUE(program.started()) << "cannot start " << ProgramPath();
  ASSERT_EQ(kPromptLine, program.ReadLines(1, kAnswerTimeout));

  const RunResult end = program.Finish();
  EXPECT_EQ("", end.out);
  EXPECT_EQ("", end.err);
  EXPECT_TRUE(end.exited && end.exit_status == 0) << DescribeRun(end);
}

// A long line does not hold back the answers before it, and a signal ends
// the process only after them, with the signal's own status.
TEST(StopSignals, SigintDuringALongLineKeepsTheEarlierAnswers) {
  InteractiveProgram program;
  ASSERT_TRUE(program.started()) << "cannot start " << ProgramPath();
  ASSERT_TRUE(program.Write("1+2\nset(a,4)\nsigma(i,1,2000000000,i)\n7\n"));
  EXPECT_EQ(std::string(kPromptLine) + "Result is 3\nResult is 4\n",
            program.ReadLines(3, kAnswerTimeout));
  ASSERT_TRUE(program.SendSignal(SIGINT));
  const RunResult end = program.Finish();
  EXPECT_EQ("", end.out) << "the interrupted line or a later one was answered";
  EXPECT_EQ("", end.err);
  EXPECT_TRUE(!end.exited && end.signal_number == SIGINT) << DescribeRun(end);
}

TEST(StopSignals, SigtermOrSighupWhileWaitingForInput) {
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    InteractiveProgram program;
    ASSERT_TRUE(program.started()) << "cannot start " << ProgramPath();
    ASSERT_TRUE(program.Write("6*7\n"));
    ASSERT_EQ(std::string(kPromptLine) + "Result is 42\n", program.ReadLines(2, kAnswerTimeout));
    ASSERT_TRUE(program.SendSignal(signal));
    const RunResult end = program.Finish();
    EXPECT_EQ("", end.out);
    EXPECT_TRUE(!end.exited && end.signal_number == signal) << DescribeRun(end);
  }
}

// As under nohup, or for a background job of a script.
TEST(StopSignals, ASignalIgnoredAtStartStaysIgnored) {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous = {};
  sigaction(SIGINT, &ignore, &previous);
  InteractiveProgram program;
  sigaction(SIGINT, &previous, nullptr);
  ASSERT_TRUE(program.started()) << "cannot start " << ProgramPath();
  ASSERT_EQ(kPromptLine, program.ReadLines(1, kAnswerTimeout));
  ASSERT_TRUE(program.SendSignal(SIGINT));
  ASSERT_TRUE(program.Write("6*7\n"));
  EXPECT_EQ("Result is 42\n", program.ReadLines(1, kAnswerTimeout));
  const RunResult end = program.Finish();
  EXPECT_TRUE(end.exited && end.exit_status == 0) << DescribeRun(end);
}

// Thousands of report lines go out in blocks, all of them, in order.
TEST(OutputBlocks, ALineThatFailsInEveryStepReportsEveryStepInOrder) {
  constexpr int kSteps = 5000;
  std::string expected = kPromptLine;
  for (int i = 0; i < kSteps; ++i) {
    expected += "Function Error : Wrong define in \"function\".\n> Can't divide by 0.\n";
  }
  expected += "Result is 0\nResult is 5000\n";
  const RunResult run = RunWithInput("sigma(i,1,5000,1/0)\nsigma(i,1,5000,1)\n");
  EXPECT_TRUE(run.exited && run.exit_status == 0) << DescribeRun(run);
  EXPECT_TRUE(run.out == expected)
      << "got " << run.out.size() << " bytes, expected " << expected.size();
}

}  // namespace
}  // namespace console_test
