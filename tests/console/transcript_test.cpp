// Runs the program on every transcript in the transcripts directory: <name>.in
// holds the raw bytes of standard input, <name>.out the exact standard output
// expected, prompt included. The transcripts of option_transcripts have a
// third file, <name>.args: the program's arguments, one per line.

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "program_runner.h"

namespace console_test {
namespace {

const std::string kDirectory = TRANSCRIPT_DIR;
const std::string kOptionDirectory = OPTION_TRANSCRIPT_DIR;

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Base names of the files in `folder` that end with `suffix`, sorted.
std::vector<std::string> NamesWithSuffix(const std::string& suffix,
                                         const std::string& folder = kDirectory) {
  std::vector<std::string> names;
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) {
    return names;
  }
  while (const dirent* entry = readdir(directory)) {
    const std::string file = entry->d_name;
    if (EndsWith(file, suffix) && file.size() > suffix.size()) {
      names.push_back(file.substr(0, file.size() - suffix.size()));
    }
  }
  closedir(directory);
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadFile(const std::string& path, std::string& content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return false;
  }
  content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

// Line number and both versions of the first line where the texts differ.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
  std::size_t start = 0;
  int line = 1;
  for (;;) {
    const std::size_t expected_end = expected.find('\n', start);
    const std::size_t actual_end = actual.find('\n', start);
    const std::string expected_line = expected.substr(start, expected_end - start);
    const std::string actual_line = actual.substr(start, actual_end - start);
    if (expected_line != actual_line || expected_end != actual_end) {
      return "first difference in output line " + std::to_string(line) + ":\n  expected: \"" +
             Escape(expected_line) + "\"\n  actual:   \"" + Escape(actual_line) + "\"";
    }
    if (expected_end == std::string::npos) {
      return "no difference";
    }
    start = expected_end + 1;
    ++line;
  }
}

// Runs one transcript, "folder/name", with the arguments of its .args file
// if it has one.
void CheckTranscript(const std::string& base) {
  std::string input;
  std::string expected;
  ASSERT_TRUE(ReadFile(base + ".in", input)) << "cannot read " << base << ".in";
  ASSERT_TRUE(ReadFile(base + ".out", expected)) << "cannot read " << base << ".out";
  std::string argument_lines;
  std::vector<std::string> arguments;
  if (ReadFile(base + ".args", argument_lines)) {
    std::size_t start = 0;
    for (std::size_t end; (end = argument_lines.find('\n', start)) != std::string::npos;
         start = end + 1) {
      arguments.push_back(argument_lines.substr(start, end - start));
    }
  }

  const RunResult run = RunWithArguments(arguments, input);

  EXPECT_EQ(expected, run.out) << FirstDifference(expected, run.out);
  EXPECT_EQ("", run.err) << "nothing may be written on standard error";
  EXPECT_TRUE(run.exited && run.exit_status == 0) << DescribeRun(run);
}

class TranscriptTest : public ::testing::TestWithParam<std::string> {};

TEST_P(TranscriptTest, OutputMatchesExactly) {
  CheckTranscript(kDirectory + "/" + GetParam());
}

class OptionTranscriptTest : public ::testing::TestWithParam<std::string> {};

TEST_P(OptionTranscriptTest, OutputMatchesExactly) {
  CheckTranscript(kOptionDirectory + "/" + GetParam());
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name;
  for (const char c : info.param) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    name += keep ? c : '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Transcripts, TranscriptTest, ::testing::ValuesIn(NamesWithSuffix(".in")),
                         TestName);
INSTANTIATE_TEST_SUITE_P(OptionTranscripts, OptionTranscriptTest,
                         ::testing::ValuesIn(NamesWithSuffix(".args", kOptionDirectory)), TestName);

// A transcript with only one of its two files would be skipped silently.
TEST(TranscriptDirectory, EveryInputHasItsOutputAndBack) {
  const std::vector<std::string> inputs = NamesWithSuffix(".in");
  const std::vector<std::string> outputs = NamesWithSuffix(".out");
  EXPECT_GE(inputs.size(), 5u) << "transcripts missing from " << kDirectory;
  const std::set<std::string> input_set(inputs.begin(), inputs.end());
  const std::set<std::string> output_set(outputs.begin(), outputs.end());
  for (const std::string& name : inputs) {
    EXPECT_TRUE(output_set.count(name)) << name << ".in has no " << name << ".out";
  }
  for (const std::string& name : outputs) {
    EXPECT_TRUE(input_set.count(name)) << name << ".out has no " << name << ".in";
  }
}

}  // namespace
}  // namespace console_test
