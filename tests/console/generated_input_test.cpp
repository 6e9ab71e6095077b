// Inputs that are awkward to keep as data files: line ends, overlong lines,
// NUL and bytes from 128 up, missing final line feed, large inputs.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace console_test {
namespace {

const std::string kPrompt = "Please input expression.\n";
const std::string kParseError = "Error : Func6 Error : Parse Error.";
const std::string kWrongCharacter = "Error : Func6 Error : Wrong character.";

std::string Repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) {
    result += text;
  }
  return result;
}

// 1+1+...+1 with 125 ones: exactly 249 characters, and losing or gaining a
// character at either end changes the answer (or makes it an error).
const std::string kSum249 = Repeat("1+", 124) + "1";
const std::string kSum249Answer = "Result is 125";
// The same shape with twos: 249 characters worth 250.
const std::string kTwos249 = Repeat("2+", 124) + "2";
const std::string kTwos249Answer = "Result is 250";

struct Case {
  const char* name;
  std::string input;
  std::vector<std::string> answers;  // output lines after the prompt
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Case& test_case, std::ostream* out) {
  *out << test_case.name;
}

std::string Transcript(const std::vector<std::string>& answers) {
  std::string text = kPrompt;
  for (const std::string& line : answers) {
    text += line + "\n";
  }
  return text;
}

std::string Bytes(const char* data, std::size_t size) {
  return std::string(data, size);
}

std::vector<Case> Cases() {
  return {
      {"EmptyInputWritesOnlyThePrompt", "", {}},
      {"SingleLineFeedIsAnEmptyLine", "\n", {kParseError}},
      {"EmptyLinesAreEachAnswered",
       "\n\n1\n\n",
       {kParseError, kParseError, "Result is 1", kParseError}},
      {"LastLineWithoutLineFeed", "1+2", {"Result is 3"}},
      {"LastLineWithoutLineFeedAfterOthers", "4*5\n1+2", {"Result is 20", "Result is 3"}},
      {"LastLineWithoutLineFeedSeesVariables", "set(a,2)\na*3", {"Result is 2", "Result is 6"}},
      {"CrLfLineEnds",
       "1+2\r\n-2*3\r\n\r\nset(a, 5)\r\na*2\r\n10/3\r\n",
       {"Result is 3", "Result is -6", kParseError, "Result is 5", "Result is 10",
        "Result is 3.33333"}},
      {"CrLfOnLastLineWithoutFurtherInput", "1+2\r\n", {"Result is 3"}},
      {"LoneCrInsideLineEndsTheSum", "1\r+2\n", {"Result is 1"}},
      {"LoneCrBeforeCrLfIsKept", "\r\r\n7\n", {kParseError, "Result is 7"}},
      {"LoneCrAtEndOfInput", "1+2\r", {"Result is 3"}},
      {"LoneCrAloneAtEndOfInput", "\r", {kParseError}},
      {"NulEndsTheEvaluatedText", Bytes("1+2\0junk\n5\n", 11), {"Result is 3", "Result is 5"}},
      {"NulFirstMakesAnEmptyText",
       Bytes("\0"
             "5\n6\n",
             5),
       {kParseError, "Result is 6"}},
      {"NulBeforeLineFeed", Bytes("2*3\0\n4", 6), {"Result is 6", "Result is 4"}},
      {"NulOnLastLineWithoutLineFeed",
       Bytes("8\0"
             "9",
             3),
       {"Result is 8"}},
      {"Exactly249CharactersThenLineFeed", kSum249 + "\n6*7\n", {kSum249Answer, "Result is 42"}},
      {"Exactly249CharactersAtEndOfInput", kSum249, {kSum249Answer}},
      {"Exactly249CharactersThenCrLf", kSum249 + "\r\n6*7\r\n", {kSum249Answer, "Result is 42"}},
      {"Exactly249CharactersThenEmptyLine", kSum249 + "\n\n", {kSum249Answer, kParseError}},
      {"Line248CharactersPlusLoneCrBeforeCrLf",
       Repeat("1+", 123) + "11\r\r\n6*7\n",
       {"Result is 134", "Result is 42"}},
      {"Line250CharactersAnswersFirst249", kSum249 + "5\n6*7\n", {kSum249Answer, "Result is 42"}},
      {"Line250CharactersAtEndOfInput", kSum249 + "5", {kSum249Answer}},
      {"Line250CharactersEndingInCrOnly", kSum249 + "\r6*7\n8\n", {kSum249Answer, "Result is 8"}},
      {"Line1000CharactersAnswersFirst249",
       kSum249 + Repeat("+1", 375) + "9\n6*7\n",
       {kSum249Answer, "Result is 42"}},
      {"Line1000CharactersWithCrLf",
       kSum249 + Repeat("+1", 375) + "9\r\n6*7\r\n",
       {kSum249Answer, "Result is 42"}},
      {"TwoOverlongLinesInARow",
       kSum249 + Repeat("+3", 30) + "\n" + kTwos249 + Repeat("*0", 100) + "\n6*7\n",
       {kSum249Answer, kTwos249Answer, "Result is 42"}},
      {"OverlongLineThenEmptyLine", kSum249 + "+1+1\n\n", {kSum249Answer, kParseError}},
      {"OverlongLineAtEndOfInput", kSum249 + Repeat("+1", 200), {kSum249Answer}},
      {"RestOfOverlongLineIsNeverEvaluated",
       "set(a,7)" + std::string(241, ' ') + "+set(b,1)\nb\na\n",
       {"Result is 7", kWrongCharacter, "Result is 7"}},
      {"NulCountsTowardTheLineLimit",
       Bytes("5\0", 2) + std::string(247, 'x') + "+set(b,1)\nb\n",
       {"Result is 5", kWrongCharacter}},
  };
}

class GeneratedInputTest : public ::testing::TestWithParam<Case> {};

TEST_P(GeneratedInputTest, OutputMatchesExactly) {
  const Case& test_case = GetParam();
  const RunResult run = RunWithInput(test_case.input);
  EXPECT_EQ(Transcript(test_case.answers), run.out)
      << "input: \"" << Escape(test_case.input) << "\"";
  EXPECT_EQ("", run.err);
  EXPECT_TRUE(run.exited && run.exit_status == 0) << DescribeRun(run);
}

INSTANTIATE_TEST_SUITE_P(Inputs, GeneratedInputTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

// A byte from 128 up is neither a digit nor a letter: it cannot start a
// primary, and it ends a name.
TEST(HighBytes, AreNeitherDigitsNorLetters) {
  std::string input;
  std::string expected = kPrompt;
  for (int byte = 128; byte <= 255; ++byte) {
    const char c = static_cast<char>(byte);
    input += std::string(1, c) + "7\n";  // a digit would give 0, a letter an unknown name
    expected += kParseError + "\n";
    input += "pi" + std::string(1, c) + "\n";  // a letter or digit would lengthen the name
    expected += "Result is 3.14159\n";
    input += "2*" + std::string(1, c) + "\n";
    expected += kParseError + "\n";
  }
  const RunResult run = RunWithInput(input);
  EXPECT_EQ(expected, run.out);
  EXPECT_EQ("", run.err);
  EXPECT_TRUE(run.exited && run.exit_status == 0) << DescribeRun(run);
}

// Far more input than one read returns: lines of every length fall across
// the boundaries of the reads, with line feeds and CR LF pairs split there.
TEST(LargeInput, EveryLineIsAnsweredInOrder) {
  for (const std::string line_end : {"\n", "\r\n"}) {
    std::string input;
    std::string expected = kPrompt;
    for (int i = 0; i < 30000; ++i) {
      input += std::to_string(i) + "+" + std::string(static_cast<std::size_t>(i % 7), ' ') + "1" +
               line_end;
      expected += "Result is " + std::to_string(i + 1) + "\n";
    }
    const RunResult run = RunWithInput(input);
    EXPECT_EQ(expected, run.out) << "line end \"" << Escape(line_end) << "\"";
    EXPECT_EQ("", run.err);
    EXPECT_TRUE(run.exited && run.exit_status == 0) << DescribeRun(run);
  }
}

}  // namespace
}  // namespace console_test
