// What Tab offers, and where the history of typed lines is kept.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "console/completion.h"
#include "console/history_file.h"

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
  names.variables = {"total", "cos", "a b", "2x", "pi"};
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

}  // namespace
