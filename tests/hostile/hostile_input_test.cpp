// Hostile input for the console program: random bytes, endless lines, NULs,
// bytes above 127, deep nesting, a full variable table, input that ends in
// the middle of a line and carriage returns as line ends.
//
// Whatever comes in, the program must end with exit status 0 at the end of
// its input, within a time limit, write nothing to standard error, and write
// exactly one answer line ("Result is ..." or "Error : ...") for every line
// it reads. Every line it reads ends at a line feed, or at the end of the
// input if anything came after the last line feed.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace {

// Generous enough for the sanitized build on a slow machine; a hang is
// something else.
constexpr auto kTimeLimit = std::chrono::seconds(120);
constexpr std::size_t kMebibyte = std::size_t{1} << 20;
constexpr char kPrompt[] = "Please input expression.";
constexpr char kReportHeadline[] = "Function Error : Wrong define in \"function\".";

using console_test::RunResult;

// Runs the calculator on `input`, killing it when the time limit runs out.
RunResult RunCalculator(const std::string& input) {
  return console_test::RunWithInput(input, kTimeLimit);
}

// The number of lines the console reads from `input`.
std::size_t LinesRead(const std::string& input) {
  std::size_t lines = static_cast<std::size_t>(std::count(input.begin(), input.end(), '\n'));
  if (!input.empty() && input.back() != '\n') {
    ++lines;
  }
  return lines;
}

std::string Shown(const std::string& line) {
  std::string shown;
  for (unsigned char c : line.substr(0, 80)) {
    if (c >= 32 && c < 127) {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    }
  }
  return shown;
}

bool IsDigitText(char c) {
  return c >= '0' && c <= '9';
}

// The number format: "-"?, then an integer without leading zeros, an
// optional fraction without trailing zeros and an optional three-digit
// exponent; or one of the four forms for values that are not finite.
bool IsNumberText(const std::string& text) {
  std::size_t i = text.rfind('-', 0) == 0 ? 1 : 0;
  const std::string magnitude = text.substr(i);
  if (magnitude == "1.#INF" || magnitude == "1.#IND" || magnitude == "1.#QNAN" ||
      magnitude == "1.#SNAN") {
    return true;
  }
  const std::size_t n = text.size();
  const std::size_t integer = i;
  while (i < n && IsDigitText(text[i])) {
    ++i;
  }
  if (i == integer || (text[integer] == '0' && i - integer > 1)) {
    return false;
  }
  if (i < n && text[i] == '.') {
    const std::size_t fraction = ++i;
    while (i < n && IsDigitText(text[i])) {
      ++i;
    }
    if (i == fraction || text[i - 1] == '0') {
      return false;
    }
  }
  if (i < n && text[i] == 'e') {
    ++i;
    if (i == n || (text[i] != '+' && text[i] != '-')) {
      return false;
    }
    const std::size_t exponent = ++i;
    while (i < n && IsDigitText(text[i])) {
      ++i;
    }
    if (i - exponent != 3) {
      return false;
    }
  }
  return i == n;
}

// An error message: an area name, " Error : " or " Fatal Error : ", and a
// detail; or the one message without an area.
bool IsMessageText(const std::string& text) {
  if (text == "Can't divide by 0.") {
    return true;
  }
  std::size_t i = 0;
  while (i < text.size() && (IsDigitText(text[i]) || (text[i] >= 'A' && text[i] <= 'Z') ||
                             (text[i] >= 'a' && text[i] <= 'z'))) {
    ++i;
  }
  if (i == 0) {
    return false;
  }
  for (const std::string separator : {" Error : ", " Fatal Error : "}) {
    if (text.compare(i, separator.size(), separator) == 0 && text.size() > i + separator.size()) {
      return true;
    }
  }
  return false;
}

// Checks that every output line has one of the four forms, that error
// reports come in whole pairs, and that there is one answer per line read.
void ExpectSoundTranscript(const RunResult& run, const std::string& input) {
  ASSERT_FALSE(run.timed_out) << "no end within the time limit";
  ASSERT_FALSE(run.too_much_output) << "kept writing";
  ASSERT_TRUE(run.exited) << "ended by signal " << run.signal_number;
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  ASSERT_FALSE(run.out.empty());
  ASSERT_EQ(run.out.back(), '\n') << "the last output line is not complete";

  std::istringstream lines(run.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, kPrompt);
  std::size_t answers = 0;
  std::size_t number = 1;
  bool in_report = false;
  while (std::getline(lines, line)) {
    ++number;
    bool well_formed = false;
    if (in_report) {
      well_formed = line.rfind("> ", 0) == 0 && IsMessageText(line.substr(2));
      in_report = false;
    } else if (line == kReportHeadline) {
      well_formed = true;
      in_report = true;
    } else if (line.rfind("Result is ", 0) == 0) {
      well_formed = IsNumberText(line.substr(10));
      ++answers;
    } else if (line.rfind("Error : ", 0) == 0) {
      well_formed = IsMessageText(line.substr(8));
      ++answers;
    }
    ASSERT_TRUE(well_formed) << "output line " << number << ": " << Shown(line);
  }
  EXPECT_FALSE(in_report) << "the output ends inside an error report";
  EXPECT_EQ(answers, LinesRead(input));
}

// Runs `input` and expects the whole standard output to be `answers` after
// the prompt, besides a sound transcript.
void ExpectTranscript(const std::string& input, const std::string& answers) {
  RunResult run = RunCalculator(input);
  ExpectSoundTranscript(run, input);
  EXPECT_EQ(run.out, std::string(kPrompt) + "\n" + answers);
}

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

TEST(HostileInput, OneMebibyteOfRandomBytes) {
  // mt19937's sequence is fixed by the standard, so the input is the same
  // everywhere.
  std::mt19937 engine(20240605);
  std::string input;
  input.reserve(kMebibyte);
  while (input.size() < kMebibyte) {
    std::uint32_t word = engine();
    for (int i = 0; i < 4; ++i) {
      input += static_cast<char>((word >> (8 * i)) & 0xFF);
    }
  }
  ExpectSoundTranscript(RunCalculator(input), input);
}

TEST(HostileInput, OneMebibyteLineWithoutLineFeed) {
  // Only the first 249 characters count: 125 ones.
  std::string line = Repeat("1+", kMebibyte / 2);
  ExpectTranscript(line, "Result is 125\n");
  // The rest of the long line is skipped and the next line is read.
  ExpectTranscript(line + "\n2*3\n", "Result is 125\nResult is 6\n");
}

TEST(HostileInput, NulBytes) {
  // A NUL is part of the line and ends the text that is evaluated.
  ExpectTranscript(std::string(kMebibyte, '\0'), "Error : Func6 Error : Parse Error.\n");
  ExpectTranscript(Repeat(std::string(1, '\0') + "\n", 1000),
                   Repeat("Error : Func6 Error : Parse Error.\n", 1000));
  ExpectTranscript(std::string("1+2\0+5\n", 7) + std::string("7\0", 2),
                   "Result is 3\nResult is 7\n");
}

TEST(HostileInput, BytesFrom128To255Everywhere) {
  const std::vector<std::string> lines = {
      "1+2", "2^10", "sin(0)", "set(h, 3)", "sigma(i,1,3,i)", "integral(x,0,1,4,x)", "(1)"};
  std::string input;
  for (int byte = 128; byte < 256; ++byte) {
    const std::string high(1, static_cast<char>(byte));
    input += high + "\n";
    for (const std::string& line : lines) {
      for (std::size_t at = 0; at <= line.size(); ++at) {
        input += line.substr(0, at) + high + line.substr(at) + "\n";
      }
    }
  }
  std::string all_high;
  for (int byte = 128; byte < 256; ++byte) {
    all_high += static_cast<char>(byte);
  }
  input += all_high + "\n" + Repeat(all_high, 8192);  // the last line is 1 MiB long
  ExpectSoundTranscript(RunCalculator(input), input);

  // A byte above 127 is no digit, letter or blank.
  ExpectTranscript("1+2\xff\n\xe9\n2*\x80\nset(\xc3\xa9, 2)\n",
                   "Result is 3\n"
                   "Error : Func6 Error : Parse Error.\n"
                   "Error : Func6 Error : Parse Error.\n"
                   "Result is 2\n");
}

TEST(HostileInput, NestedParentheses) {
  // 124 pairs around one digit are 249 characters, the longest line.
  ExpectTranscript(std::string(124, '(') + "7" + std::string(124, ')') + "\n", "Result is 7\n");
  // One pair more: the cut line keeps 125 "(" but only 123 ")".
  ExpectTranscript(std::string(125, '(') + "7" + std::string(125, ')') + "\n",
                   "Error : Func6 Error : ) has not been closed.\n");
  ExpectTranscript(std::string(300, '(') + "\n" + std::string(300, ')') + "\n",
                   "Error : Func6 Error : Parse Error.\nError : Func6 Error : Parse Error.\n");
}

// sigma(a,FIRST,LAST,sigma(b,FIRST,LAST,...body...)) nested as deep as the
// 249 characters of a line allow.
std::string NestedSigma(const std::string& first, const std::string& last, const std::string& body,
                        int* depth) {
  const std::string names = "abcdefghijklmnopqrstuvwxyz";
  std::string text = body;
  for (*depth = 0; *depth < static_cast<int>(names.size()); ++*depth) {
    std::string next = "sigma(" + names.substr(names.size() - 1 - *depth, 1) + "," + first + "," +
                       last + "," + text + ")";
    if (next.size() > 249) {
      break;
    }
    text = next;
  }
  return text;
}

TEST(HostileInput, SigmaNestedAsDeepAsALineAllows) {
  int depth = 0;
  std::string one_step = NestedSigma("1", "1", "1", &depth);
  EXPECT_EQ(depth, 19);
  // Every level runs its body twice: 2^19 innermost evaluations.
  std::string two_steps = NestedSigma("1", "2", "1", &depth);
  EXPECT_EQ(depth, 19);
  // The innermost body fails: one error report, and the sums go on with 0.
  std::string failing = NestedSigma("1", "1", "1/0", &depth);
  EXPECT_EQ(depth, 18);
  ExpectTranscript(one_step + "\n" + two_steps + "\n" + failing + "\n",
                   "Result is 1\n"
                   "Result is 524288\n" +
                       std::string(kReportHeadline) +
                       "\n"
                       "> Can't divide by 0.\n"
                       "Result is 0\n");
}

TEST(HostileInput, TwoHundredFiftyVariablesThenOneMore) {
  std::string input;
  std::string expected;
  for (int i = 0; i < 250; ++i) {
    input += "set(v" + std::to_string(i) + ", " + std::to_string(i) + ")\n";
    expected += "Result is " + std::to_string(i) + "\n";
  }
  input +=
      "set(v250, 250)\n"
      "v250\n"
      "v249\n"
      "set(v0, 7)\n"
      "v0\n"
      "sigma(i,1,2,i)\n"
      "set(w, sigma(i,1,2,i))\n";
  expected += "Error : Variable Error : Too many variables.\n";
  expected += "Error : Func6 Error : Wrong character.\n";
  expected += "Result is 249\n";
  expected += "Result is 7\n";
  expected += "Result is 7\n";
  // Every loop step's child already holds 250 variables and has no room for
  // the loop variable.
  const std::string report =
      std::string(kReportHeadline) + "\n> Variable Error : Too many variables.\n";
  expected += report + report + "Result is 0\n";
  expected += report + report + "Error : Variable Error : Too many variables.\n";
  ExpectTranscript(input, expected);
}

TEST(HostileInput, InputEndingInsideALine) {
  ExpectTranscript("1+2\n3*4", "Result is 3\nResult is 12\n");
  ExpectTranscript("set(a, 5)\na*", "Result is 5\nError : Func6 Error : Parse Error.\n");
  ExpectTranscript("7\r", "Result is 7\n");
  ExpectTranscript("sigma(i,1,3,i", "Error : SplitArguments Error : ) has not been closed.\n");
  ExpectTranscript(" ", "Error : Func6 Error : Parse Error.\n");
}

TEST(HostileInput, CarriageReturnsAsLineEnds) {
  // A carriage return ends no line; the first one ends the sum.
  ExpectTranscript("1+1\r2+2\r3+3\r", "Result is 2\n");
  ExpectTranscript(Repeat("1+1\r", 100000), "Result is 2\n");
  ExpectTranscript(Repeat("4\r", 100000) + "\n5\r\n", "Result is 4\nResult is 5\n");
  // Only the carriage return right before a line feed is dropped.
  ExpectTranscript("1\r\r\n2\r\n\r\n",
                   "Result is 1\nResult is 2\nError : Func6 Error : Parse Error.\n");
}

}  // namespace
