// The C++ facade: Session, its errors, reports, variables and interruption.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calculator/calculator.hpp"

namespace {

TEST(Session, AnswersLikeTheConsole) {
  calculator::Session session;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1+2", "Result is 3"},
      {"1234567", "Result is 1.23457e+006"},
      {"log(-1)", "Result is -1.#IND"},
      {"1/0", "Error : Can't divide by 0."},
      {"", "Error : Func6 Error : Parse Error."},
      {"set(r, 2)", "Result is 2"},
      {"pi*r^2", "Result is 12.5664"},
      {"sigma(i,1,10)", "Error : SplitArguments Error : There are not enough arguments."},
  };
  for (const auto& [line, answer] : cases) {
    EXPECT_EQ(session.answer(line), answer) << line;
  }
}

TEST(Session, EvaluateThrowsErrorWithTheMessage) {
  calculator::Session session;
  EXPECT_EQ(session.evaluate("2*sigma(i,1,3,i)+1"), 13);
  try {
    session.evaluate("y+1");
    ADD_FAILURE() << "no error";
  } catch (const calculator::Error& error) {
    EXPECT_STREQ(error.what(), "Func6 Error : Wrong character.");
  }
}

TEST(Session, ReadsOnlyTheFirst249CharactersUpToANul) {
  calculator::Session session;
  std::string text(248, ' ');
  EXPECT_EQ(session.evaluate(text + "7"), 7);
  EXPECT_EQ(session.answer(text + " 7"), "Error : Func6 Error : Parse Error.");
  EXPECT_EQ(session.evaluate(std::string("2\0+3", 4)), 2);
  EXPECT_THROW(session.evaluate(std::string_view()), calculator::Error);
  EXPECT_EQ(session.variable(std::string_view()), std::nullopt);
}

TEST(Session, VariablesCarryOverAndCanBeSetAndRead) {
  calculator::Session session;
  session.evaluate("set(x, 3)");
  session.set_variable("y", 0.5);
  EXPECT_EQ(session.evaluate("x+y"), 3.5);
  EXPECT_EQ(session.variable("x"), 3.0);
  EXPECT_EQ(session.variable("nothing"), std::nullopt);
  session.set_variable("x", 4);
  EXPECT_EQ(session.variable_names(), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(session.evaluate("x"), 4);
}

TEST(Session, SetVariableRefusesThe251stName) {
  calculator::Session session;
  for (int i = 0; i < 250; ++i) {
    session.set_variable("v" + std::to_string(i), i);
  }
  EXPECT_THROW(session.set_variable("one_more", 1), calculator::Error);
  session.set_variable("v7", -1);
  EXPECT_EQ(session.variable("v7"), -1.0);
}

TEST(Session, ReportsGoToTheSessionThatEvaluates) {
  calculator::Session first;
  calculator::Session second;
  std::vector<std::string> first_lines;
  std::vector<std::string> second_lines;
  first.on_report([&](std::string_view line) { first_lines.emplace_back(line); });
  second.on_report([&](std::string_view line) { second_lines.emplace_back(line); });
  EXPECT_EQ(first.answer("sigma(i,0,2,1/i)"), "Result is 1.5");
  EXPECT_EQ(first_lines, (std::vector<std::string>{"Function Error : Wrong define in \"function\".",
                                                   "> Can't divide by 0."}));
  EXPECT_TRUE(second_lines.empty());
  calculator::Session silent;
  EXPECT_EQ(silent.answer("set(a, 1/0)"), "Result is 0");
}

TEST(Session, InterruptAbandonsTheWholeLineAndKeepsItsAssignments) {
  calculator::Session session;
  std::vector<std::string> reports;
  session.on_report([&](std::string_view line) { reports.emplace_back(line); });
  int progress_calls = 0;
  session.on_progress([&] {
    if (++progress_calls >= 3) {
      session.interrupt();
    }
  });
  // No nested evaluation catches the interruption: not even set's.
  // An interrupted line has no answer line.
  EXPECT_THROW(session.answer("set(a, 5) + set(b, sigma(i,1,2000000000,i))"),
               calculator::Interrupted);
  EXPECT_THROW(session.evaluate("sigma(i,1,2000000000,i)"), calculator::Interrupted);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(session.variable("a"), 5.0);
  EXPECT_EQ(session.variable("b"), std::nullopt);
  // A request made between evaluations is forgotten.
  session.on_progress(nullptr);
  session.interrupt();
  EXPECT_EQ(session.answer("sigma(i,1,100000,1)"), "Result is 100000");
}

TEST(Session, NamesAndFormat) {
  EXPECT_EQ(calculator::constant_names(), (std::vector<std::string>{"pi", "e"}));
  EXPECT_EQ(calculator::function_names(),
            (std::vector<std::string>{"sin", "cos", "tan", "log", "log10", "abs", "sqrt", "rad2deg",
                                      "deg2rad", "integral", "set", "sigma"}));
  EXPECT_EQ(calculator::format_number(-0.0), "-0");
  EXPECT_EQ(calculator::format_number(0.00001), "1e-005");
  EXPECT_STRNE(calculator::version(), "");
}

}  // namespace
