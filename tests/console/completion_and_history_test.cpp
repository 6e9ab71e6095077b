// What Tab offers, and where the history of typed lines is kept.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "console/input/completion.h"
#include "console/input/history.h"

namespace {

struct CompletionCase {
  std::string prefix;
  std::vector<std::string> matches;
  bool opens_call;
};

TEST(Completion, MatchesAndTheParenthesisOfAFunction) {
  CompletionNames names;
  names.constants = {"pi", "e"};
  names.functions = {"sin", "cos", "log", "log10", "sigma", "set"};
  // "cos" hides the function; "a b" and "2x" cannot be typed as names.
  names.variables = {"total", "cos", "a b", "2x", "pi", "zeta"};
  const std::vector<CompletionCase> cases = {
      {"sig", {"sigma"}, true},
      {"lo", {"log", "log10"}, false},
      {"log1", {"log10"}, true},
      {"s", {"set", "sigma", "sin"}, false},
      {"to", {"total"}, false},
      {"p", {"pi"}, false},  // a constant, even though a variable shares its name
      {"co", {"cos"}, false},
      {"e", {"e"}, false},
      {"a", {}, false},
      {"2", {}, false},
      {"x", {}, false},
      {"ze", {"zeta"}, false},  // every letter belongs to a name
  };
  for (const CompletionCase& c : cases) {
    const Completion completion = CompleteName(c.prefix, names);
    EXPECT_EQ(c.matches, completion.matches) << "prefix \"" << c.prefix << "\"";
    EXPECT_EQ(c.opens_call, completion.opens_call) << "prefix \"" << c.prefix << "\"";
  }
}

struct LocationCase {
  std::map<std::string, std::string> environment;
  std::string file;    // empty: no history
  std::string folder;  // created when missing
};

TEST(HistoryLocation, FromTheEnvironment) {
  const std::vector<LocationCase> cases = {
      {{{"HOME", "/home/ann"}},
       "/home/ann/.local/state/calculator/history",
       "/home/ann/.local/state/calculator"},
      {{{"HOME", "/home/ann"}, {"XDG_STATE_HOME", "/var/state"}},
       "/var/state/calculator/history",
       "/var/state/calculator"},
      // Only an absolute XDG_STATE_HOME counts.
      {{{"HOME", "/home/ann"}, {"XDG_STATE_HOME", "state"}},
       "/home/ann/.local/state/calculator/history",
       "/home/ann/.local/state/calculator"},
      {{{"HOME", "/home/ann"}, {"CALCULATOR_HISTORY", "/tmp/h"}}, "/tmp/h", ""},
      {{{"HOME", "/home/ann"}, {"CALCULATOR_HISTORY", ""}}, "", ""},
      {{}, "", ""},
      {{{"HOME", ""}}, "", ""},
  };
  for (const LocationCase& c : cases) {
    const auto lookup = [&c](const char* name) -> const char* {
      const auto found = c.environment.find(name);
      return found == c.environment.end() ? nullptr : found->second.c_str();
    };
    const std::optional<HistoryLocation> location = FindHistoryLocation(lookup);
    ASSERT_EQ(!c.file.empty(), location.has_value()) << c.file;
    if (location) {
      EXPECT_EQ(c.file, location->file);
      EXPECT_EQ(c.folder, location->folder);
    }
  }
}

const char kMark[] = "# calculator history: one typed line per line, oldest first\n";

struct ParseCase {
  std::string content;
  std::optional<std::vector<std::string>> lines;  // none: not a history
};

TEST(HistoryFile, ReadsItsOwnFormatAndTheOldOneAndNothingElse) {
  using Lines = std::vector<std::string>;
  const std::string mark = kMark;
  const std::vector<ParseCase> cases = {
      {"", Lines{}},
      {mark, Lines{}},
      {mark + "6*7\nset(keep, 42)\n", Lines{"6*7", "set(keep, 42)"}},
      {mark + "1+1\n2+2", Lines{"1+1", "2+2"}},  // the last line without its line feed
      {mark + "a\\040b\n", Lines{"a\\040b"}},    // as typed: no decoding
      {mark + "x\n" + std::string(kLongestHistoryLine + 1, 'y') + "\nz\n", Lines{"x", "z"}},
      {mark + "5\n5\n6\n", Lines{"5", "6"}},
      {"_HiStOrY_V2_\nset(keep,\\04042)\na\\134b\\011c\n\\M-C\\M-)t\nx\\^Ay\\^?\n",
       Lines{"set(keep, 42)", "a\\b\tc", "\xc3\xa9t", "x\x01y\x7f"}},
      // Octal escapes take every digit up to 7; a last backslash stays.
      {"_HiStOrY_V2_\n1\\0572\nx\\\n", Lines{"1/2", "x\\"}},
      {"my notes\n1+1\n", std::nullopt},
      {mark.substr(0, mark.size() - 1), Lines{}},
      {std::string(100000, 'n'), std::nullopt},
  };
  for (const ParseCase& c : cases) {
    const std::optional<HistoryLines> lines = ParseHistory(c.content);
    ASSERT_EQ(c.lines.has_value(), lines.has_value()) << c.content.substr(0, 80);
    if (lines) {
      EXPECT_EQ(*c.lines, Lines(lines->begin(), lines->end())) << c.content.substr(0, 80);
    }
  }
}

TEST(HistoryFile, KeepsTheNewestLinesAndWritesThemBack) {
  HistoryLines lines;
  for (int i = 0; i <= static_cast<int>(kHistoryLines); ++i) {
    AddHistoryLine(lines, std::to_string(i));
  }
  ASSERT_EQ(1000u, lines.size());
  EXPECT_EQ("1", lines.front());
  EXPECT_EQ("1000", lines.back());
  const std::optional<HistoryLines> read_back = ParseHistory(FormatHistory(lines));
  ASSERT_TRUE(read_back.has_value());
  EXPECT_EQ(lines, *read_back);
}

}  // namespace
