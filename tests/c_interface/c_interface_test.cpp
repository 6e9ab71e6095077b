// The C interface as the shared library exports it: values, answers into
// bounded buffers, variables and their names, handlers that re-enter or
// free their session, progress and interruption, memory exhaustion.
// Both public headers are included: they must live together in one file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "calculator/calculator.h"
#include "calculator/calculator.hpp"
#include "calculator/messages.h"
#include "tests/c_interface/failing_allocation.h"

namespace {

using calculator_core::messages::kBusy;
using calculator_core::messages::kInvalidName;
using calculator_core::messages::kOutOfMemory;

struct SessionDeleter {
  void operator()(calculator_session* session) const { calculator_free(session); }
};
using SessionPointer = std::unique_ptr<calculator_session, SessionDeleter>;

SessionPointer NewSession() {
  SessionPointer session(calculator_new());
  EXPECT_NE(session, nullptr);
  return session;
}

void CollectLine(void* lines, const char* line) {
  static_cast<std::vector<std::string>*>(lines)->emplace_back(line);
}

TEST(CInterface, EvaluateStoresTheValueOnlyOnSuccess) {
  struct Case {
    const char* text;
    int status;
    double value;  // what *value holds afterwards; it starts at -42
    const char* message;
  };
  const Case cases[] = {
      {"1+2", CALCULATOR_OK, 3, ""},
      {"0", CALCULATOR_OK, 0, ""},
      {"2*sigma(i,1,3,i)+1", CALCULATOR_OK, 13, ""},
      {"1/0", CALCULATOR_ERROR, -42, "Can't divide by 0."},
      {"(1", CALCULATOR_ERROR, -42, "Func6 Error : ) has not been closed."},
      {"", CALCULATOR_ERROR, -42, "Func6 Error : Parse Error."},
      {"set", CALCULATOR_ERROR, -42, "SplitArguments Error : ( is missing."},
      {"sigma x", CALCULATOR_ERROR, -42, "SplitArguments Error : ( is missing."},
  };
  for (const Case& c : cases) {
    SessionPointer session = NewSession();
    double value = -42;
    EXPECT_EQ(calculator_evaluate(session.get(), c.text, &value), c.status) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_STREQ(calculator_error_message(session.get()), c.message) << c.text;
  }
}

TEST(CInterface, AnswerWritesWithinTheBufferAsSnprintfDoes) {
  struct Case {
    const char* text;
    std::size_t size;
    const char* written;  // null: nothing at all
    int length;
  };
  const Case cases[] = {
      {"1234567", 64, "Result is 1.23457e+006", 22},
      {"1234567", 23, "Result is 1.23457e+006", 22},
      {"1234567", 22, "Result is 1.23457e+00", 22},
      {"1234567", 1, "", 22},
      {"1234567", 0, nullptr, 22},
      {"(1", 12, "Error : Fun", 44},
      {"(1", 45, "Error : Func6 Error : ) has not been closed.", 44},
      {"(1", 44, "Error : Func6 Error : ) has not been closed", 44},
  };
  for (const Case& c : cases) {
    SessionPointer session = NewSession();
    char buffer[80];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(calculator_answer(session.get(), c.text, buffer, c.size), c.length) << c.text;
    std::size_t used = c.written == nullptr ? 0 : std::strlen(c.written) + 1;
    if (c.written != nullptr) {
      EXPECT_STREQ(buffer, c.written) << c.text << " in " << c.size;
    }
    for (std::size_t i = used; i < sizeof buffer; ++i) {
      ASSERT_EQ(buffer[i], '#') << c.text << " in " << c.size << ": byte " << i << " written";
    }
  }
}

// The texts and sizes a console, a page or a binding takes from the library
// instead of writing them again.
TEST(CInterface, FixedTextsAndSizes) {
  EXPECT_STREQ(calculator_prompt(), "Please input expression.");
  EXPECT_STREQ(calculator_interrupted_line(), "Error : Interrupted.");
  EXPECT_EQ(calculator_answer_size(), std::size_t{CALCULATOR_ANSWER_SIZE});
  struct Case {
    int status;
    const char* message;  // null: none fixed
  };
  const Case cases[] = {
      {CALCULATOR_OK, nullptr},
      {CALCULATOR_ERROR, nullptr},
      {CALCULATOR_INTERRUPTED, "Interrupted."},
      {CALCULATOR_NOT_FOUND, nullptr},
      {CALCULATOR_BUSY, "The session is evaluating."},
      {CALCULATOR_INVALID_NAME, "Not a name that an expression can read."},
      {CALCULATOR_NO_MEMORY, "Out of memory."},
      {CALCULATOR_INVALID_DIGITS, "Digits must be from 1 to 17, or 0 for the shortest."},
      {-1, nullptr},
      {8, nullptr},
  };
  for (const Case& c : cases) {
    const char* message = calculator_status_message(c.status);
    if (c.message == nullptr) {
      EXPECT_EQ(message, nullptr) << c.status;
    } else {
      EXPECT_STREQ(message, c.message) << c.status;
    }
  }
  // The C++ interface says the same.
  EXPECT_STREQ(calculator::prompt(), "Please input expression.");
  EXPECT_EQ(std::string("Error : ") + calculator::Interrupted().what(),
            calculator::interrupted_line());
  EXPECT_STREQ(calculator::Interrupted().what(), "Interrupted.");
  EXPECT_THROW(
      {
        try {
          calculator::format_number(1.0, CALCULATOR_MAX_DIGITS + 1);
        } catch (const std::invalid_argument& error) {
          EXPECT_STREQ(error.what(), "Digits must be from 1 to 17, or 0 for the shortest.");
          throw;
        }
      },
      std::invalid_argument);
  // The limits the header names are the ones the library keeps.
  SessionPointer session = NewSession();
  EXPECT_EQ(calculator_set_digits(session.get(), CALCULATOR_MAX_DIGITS), CALCULATOR_OK);
  EXPECT_EQ(calculator_set_digits(session.get(), CALCULATOR_MAX_DIGITS + 1),
            CALCULATOR_INVALID_DIGITS);
  EXPECT_EQ(calculator_set_digits(session.get(), CALCULATOR_SHORTEST_DIGITS), CALCULATOR_OK);
  char line[CALCULATOR_ANSWER_SIZE];
  calculator_answer(session.get(), "0.1+0.2", line, sizeof line);
  EXPECT_STREQ(line, "Result is 0.30000000000000004");
  char text[CALCULATOR_NUMBER_TEXT_SIZE];
  calculator_format_number(2.0 / 3.0, text, sizeof text);
  char same[CALCULATOR_NUMBER_TEXT_SIZE];
  calculator_format_number_digits(2.0 / 3.0, CALCULATOR_DEFAULT_DIGITS, same, sizeof same);
  EXPECT_STREQ(text, same);
}

// Digits of the answers' numbers: 1 to 17, or 0 for the shortest; any
// other count is refused and changes nothing.
TEST(CInterface, DigitsOfAnswersAndNumbers) {
  SessionPointer session = NewSession();
  char line[CALCULATOR_ANSWER_SIZE];
  EXPECT_EQ(calculator_set_digits(session.get(), 17), CALCULATOR_OK);
  EXPECT_EQ(calculator_answer(session.get(), "0.1+0.2", line, sizeof line), 29);
  EXPECT_STREQ(line, "Result is 0.30000000000000004");
  char small[20];
  EXPECT_EQ(calculator_answer(session.get(), "0-2^-1074", small, sizeof small), 34);
  EXPECT_STREQ(small, "Result is -4.940656");
  EXPECT_EQ(calculator_set_digits(session.get(), 0), CALCULATOR_OK);
  for (int refused : {18, -1, 1000}) {
    EXPECT_EQ(calculator_set_digits(session.get(), refused), CALCULATOR_INVALID_DIGITS);
    EXPECT_STREQ(calculator_error_message(session.get()),
                 "Digits must be from 1 to 17, or 0 for the shortest.");
  }
  EXPECT_EQ(calculator_answer(session.get(), "0.1", line, sizeof line), 13);
  EXPECT_STREQ(line, "Result is 0.1");

  char text[CALCULATOR_NUMBER_TEXT_SIZE];
  EXPECT_EQ(
      calculator_format_number_digits(1267650600228229401496703205376.0, 17, text, sizeof text),
      23u);
  EXPECT_STREQ(text, "1.2676506002282294e+030");
  EXPECT_EQ(calculator_format_number_digits(-0.00012345678901234567, 17, text, sizeof text), 23u);
  EXPECT_STREQ(text, "-0.00012345678901234567");
  EXPECT_EQ(calculator_format_number_digits(2.0 / 3.0, 3, text, 4), 5u);
  EXPECT_STREQ(text, "0.6");
  EXPECT_EQ(calculator_format_number_digits(1.0, 18, text, sizeof text), 0u);
  EXPECT_STREQ(text, "");

  calculator::Session cxx;
  cxx.set_digits(2);
  EXPECT_EQ(cxx.answer("pi"), "Result is 3.1");
  EXPECT_THROW(cxx.set_digits(18), calculator::Error);
  EXPECT_EQ(cxx.answer("pi"), "Result is 3.1");
  EXPECT_EQ(calculator::format_number(0.1, 0), "0.1");
  EXPECT_THROW(calculator::format_number(0.1, 18), std::invalid_argument);
}

TEST(CInterface, VariablesByNameAndByIndex) {
  SessionPointer session = NewSession();
  double value = 0;
  ASSERT_EQ(calculator_evaluate(session.get(), "set(r, 2)", &value), CALCULATOR_OK);
  ASSERT_EQ(calculator_set_variable(session.get(), "h", 0.5), CALCULATOR_OK);
  EXPECT_EQ(calculator_get_variable(session.get(), "r", &value), CALCULATOR_OK);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(calculator_get_variable(session.get(), "nothing", &value), CALCULATOR_NOT_FOUND);
  EXPECT_EQ(value, 2);
  // A set in an expression may store a name the interface would not take:
  // it is still found under the name it is listed by.
  calculator::Session cxx;
  cxx.evaluate("set(2x, 7)");
  ASSERT_EQ(cxx.variable_names(), std::vector<std::string>{"2x"});
  EXPECT_EQ(cxx.variable("2x"), 7);
  EXPECT_EQ(calculator_is_name("2x", 2), 0);
  ASSERT_EQ(calculator_variable_count(session.get()), 2u);
  EXPECT_STREQ(calculator_variable_name(session.get(), 0), "r");
  EXPECT_STREQ(calculator_variable_name(session.get(), 1), "h");
  EXPECT_EQ(calculator_variable_name(session.get(), 2), nullptr);
  EXPECT_EQ(calculator_variable_name(session.get(), static_cast<size_t>(-1)), nullptr);
}

// A NaN from outside is answered as every NaN an evaluation makes: quiet,
// with its sign and payload.
TEST(CInterface, ASignallingNaNIsStoredQuiet) {
  SessionPointer session = NewSession();
  double signalling;
  const std::uint64_t bits = 0xFFF0000000000001u;
  std::memcpy(&signalling, &bits, sizeof signalling);
  ASSERT_EQ(calculator_set_variable(session.get(), "s", signalling), CALCULATOR_OK);
  char line[CALCULATOR_ANSWER_SIZE];
  calculator_answer(session.get(), "s", line, sizeof line);
  EXPECT_STREQ(line, "Result is -1.#QNAN");
  calculator_answer(session.get(), "abs(s)", line, sizeof line);
  EXPECT_STREQ(line, "Result is 1.#QNAN");
}

// FNV-1a gives "acXawXy" and "a" the same hash: only the whole name may
// decide.
TEST(CInterface, NamesWithTheSameHashStayApart) {
  SessionPointer session = NewSession();
  double value = 0;
  ASSERT_EQ(calculator_evaluate(session.get(), "set(acXawXy,5)", &value), CALCULATOR_OK);
  EXPECT_EQ(calculator_evaluate(session.get(), "a", &value), CALCULATOR_ERROR);
  EXPECT_EQ(calculator_get_variable(session.get(), "a", &value), CALCULATOR_NOT_FOUND);
  ASSERT_EQ(calculator_set_variable(session.get(), "a", 7), CALCULATOR_OK);
  EXPECT_EQ(calculator_evaluate(session.get(), "acXawXy*10+a", &value), CALCULATOR_OK);
  EXPECT_EQ(value, 57);
}

TEST(CInterface, SetVariableTakesOnlyNamesAnExpressionCanRead) {
  const std::string longest(249, 'x');
  const std::string huge(1000000, 'y');
  struct Case {
    std::string name;
    bool readable;
  };
  const Case cases[] = {
      {"x", true},   {"Ab9", true},          {longest, true}, {"", false},    {"a b", false},
      {"1x", false}, {"x+1", false},         {" x", false},   {"x_y", false}, {"\xc3\xa9", false},
      {"pi", true},  {longest + "x", false}, {huge, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.substr(0, 20) + " (" + std::to_string(c.name.size()) + " characters)");
    SessionPointer session = NewSession();
    int status = calculator_set_variable(session.get(), c.name.c_str(), 3);
    calculator::Session cxx;
    if (c.readable) {
      cxx.set_variable(c.name, 3);
    } else {
      EXPECT_THROW(cxx.set_variable(c.name, 3), calculator::Error);
    }
    EXPECT_EQ(calculator_is_name(c.name.data(), c.name.size()) != 0, c.readable);
    EXPECT_EQ(calculator::is_name(c.name), c.readable);
    EXPECT_EQ(cxx.variable(c.name).has_value(), c.readable);
    if (c.readable) {
      EXPECT_EQ(status, CALCULATOR_OK);
      EXPECT_EQ(calculator_variable_count(session.get()), 1u);
      continue;
    }
    EXPECT_EQ(status, CALCULATOR_INVALID_NAME);
    EXPECT_STREQ(calculator_error_message(session.get()), kInvalidName);
    EXPECT_EQ(calculator_variable_count(session.get()), 0u);
  }
  // A longer name is not found under its first 249 characters.
  SessionPointer session = NewSession();
  ASSERT_EQ(calculator_set_variable(session.get(), longest.c_str(), 5), CALCULATOR_OK);
  double value = 0;
  EXPECT_EQ(calculator_get_variable(session.get(), (longest + "x").c_str(), &value),
            CALCULATOR_NOT_FOUND);
  // Nor, through the C++ layer, under the part before a NUL.
  calculator::Session cxx;
  cxx.set_variable(longest, 5);
  EXPECT_FALSE(cxx.variable(longest + "x").has_value());
  EXPECT_THROW(cxx.set_variable(std::string("x\0y", 3), 1), calculator::Error);
  cxx.set_variable("x", 1);
  EXPECT_FALSE(cxx.variable(std::string("x\0y", 3)).has_value());
  EXPECT_FALSE(calculator_is_name(std::string(250, 'x').c_str(), 250));
}

TEST(CInterface, NestedErrorsReachTheHandlerOrNobody) {
  SessionPointer session = NewSession();
  double value = 0;
  EXPECT_EQ(calculator_evaluate(session.get(), "sigma(i,0,2,1/i)", &value), CALCULATOR_OK);
  EXPECT_EQ(value, 1.5);
  std::vector<std::string> lines;
  ASSERT_EQ(calculator_set_report_handler(session.get(), CollectLine, &lines), CALCULATOR_OK);
  EXPECT_EQ(calculator_evaluate(session.get(), "set(a, 1/0)+1", &value), CALCULATOR_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(lines, (std::vector<std::string>{"Function Error : Wrong define in \"function\".",
                                             "> Can't divide by 0."}));
}

// What a handler does to its own session while the session evaluates.
enum class Reentry { kEvaluate, kAnswer, kSetVariable, kSetReport, kSetProgress, kFree };

struct Reentrant {
  calculator_session* session;
  Reentry action;
  int status = -100;
  std::string written = "unwritten";
  int calls = 0;
};

int Reenter(Reentrant& r) {
  ++r.calls;
  double value = -1;
  char buffer[64] = "unwritten";
  switch (r.action) {
    case Reentry::kEvaluate:
      return calculator_evaluate(r.session, "1+1", &value);
    case Reentry::kAnswer:
      r.status = calculator_answer(r.session, "1+1", buffer, sizeof buffer);
      r.written = buffer;
      return r.status;
    case Reentry::kSetVariable:
      return calculator_set_variable(r.session, "i", 100);
    case Reentry::kSetReport:
      return calculator_set_report_handler(r.session, nullptr, nullptr);
    case Reentry::kSetProgress:
      return calculator_set_progress_handler(r.session, 1, nullptr, nullptr);
    case Reentry::kFree:
      calculator_free(r.session);
      return 0;
  }
  return 0;
}

void ReenterFromReport(void* reentrant, const char*) {
  Reentrant& r = *static_cast<Reentrant*>(reentrant);
  r.status = Reenter(r);
}

int ReenterFromProgress(void* reentrant) {
  Reentrant& r = *static_cast<Reentrant*>(reentrant);
  if (r.calls == 0) {
    r.status = Reenter(r);
  }
  return 0;
}

TEST(CInterface, HandlersCannotDisturbTheirOwnEvaluation) {
  struct Case {
    Reentry action;
    int status;
  };
  const Case cases[] = {
      {Reentry::kEvaluate, CALCULATOR_BUSY},    {Reentry::kAnswer, -CALCULATOR_BUSY},
      {Reentry::kSetVariable, CALCULATOR_BUSY}, {Reentry::kSetReport, CALCULATOR_BUSY},
      {Reentry::kSetProgress, CALCULATOR_BUSY},
  };
  for (const Case& c : cases) {
    for (bool from_report : {true, false}) {
      SessionPointer session = NewSession();
      Reentrant r{session.get(), c.action};
      if (from_report) {
        calculator_set_report_handler(session.get(), ReenterFromReport, &r);
      } else {
        calculator_set_progress_handler(session.get(), 1, ReenterFromProgress, &r);
      }
      double value = 0;
      EXPECT_EQ(calculator_evaluate(session.get(), "sigma(i,0,3,1/i)*100+7", &value),
                CALCULATOR_OK);
      EXPECT_NEAR(value, 190.333333333, 1e-6);
      EXPECT_EQ(r.status, c.status) << static_cast<int>(c.action) << " " << from_report;
      EXPECT_STREQ(calculator_error_message(session.get()), kBusy);
      if (c.action == Reentry::kAnswer) {
        EXPECT_EQ(r.written, "");
      }
      EXPECT_EQ(calculator_get_variable(session.get(), "i", &value), CALCULATOR_NOT_FOUND);
    }
  }
}

TEST(CInterface, FreeFromAHandlerWaitsForTheEvaluationToReturn) {
  const char* texts[] = {"sigma(i,0,3,1/i)*100+7", "set(a,1/0)+1"};
  for (const char* text : texts) {
    for (bool from_report : {true, false}) {
      for (bool answer : {false, true}) {
        calculator_session* session = calculator_new();
        Reentrant r{session, Reentry::kFree};
        if (from_report) {
          calculator_set_report_handler(session, ReenterFromReport, &r);
        } else {
          calculator_set_progress_handler(session, 1, ReenterFromProgress, &r);
        }
        double value = -42;
        char buffer[32] = "unwritten";
        int status = answer ? calculator_answer(session, text, buffer, sizeof buffer)
                            : calculator_evaluate(session, text, &value);
        bool freed = r.calls > 0;
        if (!freed) {
          // A text without loop steps meets no progress handler.
          EXPECT_FALSE(from_report);
          calculator_free(session);
          continue;
        }
        EXPECT_EQ(status, answer ? -CALCULATOR_INTERRUPTED : CALCULATOR_INTERRUPTED) << text;
        EXPECT_EQ(value, -42);
        if (answer) {
          EXPECT_STREQ(buffer, "");
        }
      }
    }
  }
}

struct Progress {
  int calls = 0;
  int stop_at_call = 0;  // 0: never
};

int CountProgress(void* progress) {
  Progress& p = *static_cast<Progress*>(progress);
  ++p.calls;
  return p.calls == p.stop_at_call ? 1 : 0;
}

TEST(CInterface, ProgressEveryNStepsMayStop) {
  struct Case {
    unsigned every_steps;
    int stop_at_call;
    int status;
    int calls;
  };
  const Case cases[] = {
      {3, 0, CALCULATOR_OK, 3},
      {1, 0, CALCULATOR_OK, 10},
      {0, 0, CALCULATOR_OK, 10},
      {10, 0, CALCULATOR_OK, 1},
      {11, 0, CALCULATOR_OK, 0},
      {3, 2, CALCULATOR_INTERRUPTED, 2},
      {1, 10, CALCULATOR_INTERRUPTED, 10},
  };
  for (const Case& c : cases) {
    SessionPointer session = NewSession();
    Progress progress{0, c.stop_at_call};
    ASSERT_EQ(
        calculator_set_progress_handler(session.get(), c.every_steps, CountProgress, &progress),
        CALCULATOR_OK);
    double value = -42;
    // Every evaluation counts its steps afresh.
    for (int round = 0; round < 2; ++round) {
      progress.calls = 0;
      EXPECT_EQ(calculator_evaluate(session.get(), "sigma(i,1,10,i)", &value), c.status);
      EXPECT_EQ(progress.calls, c.calls) << c.every_steps << " " << c.stop_at_call;
    }
    EXPECT_EQ(value, c.status == CALCULATOR_OK ? 55 : -42);
  }
}

int InterruptSession(void* session) {
  calculator_interrupt(static_cast<calculator_session*>(session));
  return 0;
}

TEST(CInterface, InterruptionHasNoAnswerLine) {
  SessionPointer session = NewSession();
  calculator_set_progress_handler(session.get(), 5, InterruptSession, session.get());
  double value = -42;
  EXPECT_EQ(calculator_evaluate(session.get(), "set(a,5)+sigma(i,1,100,i)", &value),
            CALCULATOR_INTERRUPTED);
  EXPECT_EQ(value, -42);
  EXPECT_STREQ(calculator_error_message(session.get()), "Interrupted.");
  char buffer[32] = "unwritten";
  EXPECT_EQ(calculator_answer(session.get(), "sigma(i,1,100,i)", buffer, sizeof buffer),
            -CALCULATOR_INTERRUPTED);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(calculator_get_variable(session.get(), "a", &value), CALCULATOR_OK);
  EXPECT_EQ(value, 5);
  // A request made between evaluations is forgotten.
  calculator_set_progress_handler(session.get(), 1, nullptr, nullptr);
  calculator_interrupt(session.get());
  EXPECT_EQ(calculator_answer(session.get(), "sigma(i,1,100,1)", buffer, sizeof buffer), 13);
  EXPECT_STREQ(buffer, "Result is 100");
}

TEST(CInterface, TheCxxLayerAgreesWithTheCInterface) {
  calculator::Session session;
  session.on_progress(2, [] { return true; });
  EXPECT_THROW(session.answer("sigma(i,1,100,i)"), calculator::Interrupted);
  EXPECT_THROW(session.evaluate("sigma(i,1,100,i)"), calculator::Interrupted);
  EXPECT_EQ(session.answer("1/0"), "Error : Can't divide by 0.");
  session.on_progress(nullptr);
  EXPECT_THROW(session.set_variable("a b", 1), calculator::Error);
  // What a handler throws stops the evaluation and comes out of it.
  session.on_report([](std::string_view) { throw std::runtime_error("from the handler"); });
  try {
    session.answer("sigma(i,1,1000,1/0)");
    ADD_FAILURE() << "nothing thrown";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "from the handler");
  }
  session.on_report([&](std::string_view) { session.evaluate("1"); });
  EXPECT_THROW(session.evaluate("set(a,1/0)"), calculator::Error);
  session.on_report(nullptr);
  EXPECT_EQ(session.answer("sigma(i,1,3,i)"), "Result is 6");
}

TEST(CInterface, MemoryExhaustionIsAStatusWithItsMessage) {
  allocations_left_before_failure = 0;
  calculator_session* none = calculator_new();
  allocations_left_before_failure = -1;
  EXPECT_EQ(none, nullptr);
  // The C++ layer makes its handlers' record first, then the C session.
  bool thrown = false;
  allocations_left_before_failure = 1;
  try {
    calculator::Session failing;
  } catch (const std::bad_alloc&) {
    thrown = true;
  }
  allocations_left_before_failure = -1;
  EXPECT_TRUE(thrown);

  // Fail the first, second, ... allocation of each call until it succeeds.
  int failures_seen = 0;
  for (long allowed = 0; allowed < 64; ++allowed) {
    SessionPointer session = NewSession();
    for (int i = 0; i < 4; ++i) {
      ASSERT_EQ(calculator_set_variable(session.get(), ("v" + std::to_string(i)).c_str(), i),
                CALCULATOR_OK);
    }
    double value = -42;
    char buffer[32] = "unwritten";
    allocations_left_before_failure = allowed;
    int set = calculator_set_variable(session.get(), "w", 1);
    allocations_left_before_failure = allowed;
    int evaluated = calculator_evaluate(session.get(), "set(x,2)+sigma(i,1,3,set(y,i))", &value);
    allocations_left_before_failure = allowed;
    int answered = calculator_answer(session.get(), "set(z,3)", buffer, sizeof buffer);
    allocations_left_before_failure = -1;
    for (int status : {set, evaluated, -answered}) {
      if (status == CALCULATOR_NO_MEMORY) {
        ++failures_seen;
        ASSERT_NE(calculator_error_message(session.get()), nullptr);
        EXPECT_STREQ(calculator_error_message(session.get()), kOutOfMemory);
      }
    }
    EXPECT_TRUE(set == CALCULATOR_OK || set == CALCULATOR_NO_MEMORY) << set;
    EXPECT_TRUE(evaluated == CALCULATOR_OK || evaluated == CALCULATOR_NO_MEMORY) << evaluated;
    if (answered < 0) {
      EXPECT_STREQ(buffer, "");
    }
    // The session goes on afterwards.
    EXPECT_EQ(calculator_evaluate(session.get(), "v3+1", &value), CALCULATOR_OK);
    EXPECT_EQ(value, 4);
  }
  EXPECT_GT(failures_seen, 0);
}

TEST(CInterface, VersionAndBuiltInNames) {
  EXPECT_EQ(calculator_version_number(), CALCULATOR_VERSION_NUMBER);
  EXPECT_EQ(
      CALCULATOR_VERSION_NUMBER,
      CALCULATOR_VERSION_MAJOR * 10000 + CALCULATOR_VERSION_MINOR * 100 + CALCULATOR_VERSION_PATCH);
  EXPECT_STREQ(calculator_version(), CALCULATOR_VERSION_STRING);
  EXPECT_STREQ(calculator_constant_name(1), "e");
  EXPECT_EQ(calculator_constant_name(2), nullptr);
  EXPECT_STREQ(calculator_function_name(11), "sigma");
  EXPECT_EQ(calculator_function_name(12), nullptr);
}

}  // namespace
