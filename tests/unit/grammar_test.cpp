// The recursive-descent levels and Calculate.
#include <string>

#include "test_support.h"

namespace calculator_test {
namespace {

// One whole text for Calculate on a fresh frame: either the value it
// yields or the message it raises.
struct CalculateCase {
  const char* text;
  double value;
  const char* message;  // nullptr when a value is expected
};

CalculateCase Value(const char* text, double value) {
  return {text, value, nullptr};
}
CalculateCase Error(const char* text, const char* message) {
  return {text, 0, message};
}

void PrintTo(const CalculateCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

void CheckCalculate(const CalculateCase& c) {
  auto frame = NewFrame();
  if (c.message == nullptr) {
    double value = 0;
    const std::string error = ErrorOf([&] { value = Calculate(*frame, c.text); });
    ASSERT_EQ(error, "<no error>");
    EXPECT_TRUE(SameBits(c.value, value));
  } else {
    EXPECT_EQ(ErrorOf([&] { Calculate(*frame, c.text); }), c.message);
  }
}

class GrammarTable : public ::testing::TestWithParam<CalculateCase> {};

TEST_P(GrammarTable, FreshFrame) {
  CheckCalculate(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Operators, GrammarTable,
    ::testing::Values(Error("", kParseError), Error("   ", kParseError), Value("2+3*4", 14),
                      Value("10/4", 2.5), Value("7-10", -3), Value("(2+3)*4", 20),
                      Value("1-2*3", -5), Value("8-2-1", 5), Value("2/2/2", 0.5),
                      Value("2^3^2", 64), Value("-2^2", 4), Value("-2^-2", 0.25),
                      Value("2^-1", 0.5), Value("2 ^ - 3", 0.125), Value("2*-3", -6),
                      Value("2--3", 5), Value("3 - - 3", 6), Value("- 2", -2), Value("-(2+3)", -5),
                      Error("--2", kParseError), Error("2^--1", kParseError),
                      Error("+2", kParseError), Error("2+", kParseError), Error("-", kParseError)));

INSTANTIATE_TEST_SUITE_P(
    Numbers, GrammarTable,
    ::testing::Values(Value("1.2.3", 1.2), Value("12.5.7", 12.5), Value("1..2", 1), Value("5.", 5),
                      Value("007", 7), Error(".5", kParseError), Value("1e3", 1), Value("0x10", 0),
                      Value("-0", -0.0), Value("0.1+0.2", 0.30000000000000004),
                      Value("123456789012345678901234", 1.2345678901234568e+23),
                      Value("0.1000000000000000000001", 0.1000000000000000000001),
                      Value("0.0000000000000000001234", 1.234e-19),
                      Value("1234567890123456789.5.5", 1234567890123456789.5),
                      Value("00000000000000000000001+1", 2),
                      Value("1.00000000000000000000.5+1", 2)));

INSTANTIATE_TEST_SUITE_P(LeftoverText, GrammarTable,
                         ::testing::Values(Value("2 3", 2), Value("2)", 2), Value("3x", 3),
                                           Value("2(3)", 2), Value("2pi", 2), Value("1,5", 1),
                                           Value("2\t+3", 2), Error("\t2", kParseError),
                                           Value(" 2 ^ 3 ", 8), Value("((1+2)*3)", 9)));

INSTANTIATE_TEST_SUITE_P(Parentheses, GrammarTable,
                         ::testing::Values(Error("(2", kNotClosed), Error("(2 3)", kNotClosed),
                                           Error("2*(3", kNotClosed), Error("(", kParseError),
                                           Error("()", kParseError), Value("( 2 )", 2),
                                           Error("(2,3)", kNotClosed)));

INSTANTIATE_TEST_SUITE_P(DivisionByZero, GrammarTable,
                         ::testing::Values(Error("1/0", kDivideByZero), Error("0/0", kDivideByZero),
                                           Error("1/-0", kDivideByZero),
                                           Error("1/(2-2)", kDivideByZero),
                                           Error("1/0+(", kDivideByZero), Error("1/(", kParseError),
                                           Error("1/x", kWrongCharacter), Value("0/5", 0),
                                           Value("-0/5", -0.0)));

INSTANTIATE_TEST_SUITE_P(Names, GrammarTable,
                         ::testing::Values(Value("pi", kPi), Value("2*pi", 6.283185307179586),
                                           Value("e", kE), Error("PI", kWrongCharacter),
                                           Error("e2", kWrongCharacter),
                                           Error("x", kWrongCharacter), Error("_x", kParseError),
                                           Value("pi_", kPi), Error("pie", kWrongCharacter)));

INSTANTIATE_TEST_SUITE_P(HighBytes, GrammarTable,
                         ::testing::Values(Error("\xC3\xA9", kParseError),
                                           Error("2*\xB5", kParseError), Value("1\xB2", 1),
                                           Value("pi\xE9", kPi),
                                           Error("\x80"
                                                 "1",
                                                 kParseError),
                                           Error("(\xFF)", kParseError)));

TEST(Calculate, ConstantEHasTheExpectedBitPattern) {
  auto frame = NewFrame();
  EXPECT_EQ(BitsOf(Calculate(*frame, "e")), 0x4005BF0A8B145769ULL);
  EXPECT_EQ(BitsOf(Calculate(*frame, "pi")), 0x400921FB54442D18ULL);
}

TEST(Calculate, NegativeZeroKeepsItsSign) {
  auto frame = NewFrame();
  EXPECT_EQ(BitsOf(Calculate(*frame, "-0")), 0x8000000000000000ULL);
  EXPECT_EQ(BitsOf(Calculate(*frame, "0-0")), 0ULL);
  EXPECT_EQ(BitsOf(Calculate(*frame, "-0*1")), 0x8000000000000000ULL);
}

TEST(Calculate, PowerFollowsTheLibraryForSpecialResults) {
  auto frame = NewFrame();
  EXPECT_TRUE(SameBits(INFINITY, Calculate(*frame, "2^2000")));
  EXPECT_TRUE(SameBits(0.0, Calculate(*frame, "2^-2000")));
  EXPECT_TRUE(SameBits(1.0, Calculate(*frame, "0^0")));
  EXPECT_TRUE(std::isnan(Calculate(*frame, "(-8)^(1/3)")));
  EXPECT_TRUE(SameBits(INFINITY, Calculate(*frame, "0^-1")));
}

TEST(Calculate, NonZeroDivisorsThatAreNotFiniteDoNotRaise) {
  auto frame = NewFrame();
  EXPECT_TRUE(SameBits(0.0, Calculate(*frame, "1/2^2000")));
  EXPECT_TRUE(SameBits(-0.0, Calculate(*frame, "-1/2^2000")));
  EXPECT_TRUE(std::isnan(Calculate(*frame, "2^2000/2^2000")));
}

// Where the cursor stands when Calculate returns: the first character that
// no level consumed.
struct CursorCase {
  const char* text;
  std::int32_t cursor;
};

TEST(Calculate, LeavesTheCursorOnTheFirstUnreadCharacter) {
  const CursorCase cases[] = {
      {"2+3*4", 5}, {"2 3", 2},    {"2)", 1},    {"3x", 1},      {"2pi", 1},   {"1e3", 1},
      {"0x10", 1},  {"1,5", 1},    {"2\t+3", 1}, {" 2 ^ 3 ", 7}, {"1.2.3", 5}, {"2(3)", 1},
      {"7  ", 3},   {"(1)  )", 5}, {"pi_", 2},   {"e)", 1},      {"1\xB2", 1}, {"2 ^ 3 x", 6},
  };
  for (const CursorCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    auto frame = NewFrame();
    Calculate(*frame, c.text);
    EXPECT_EQ(frame->cursor, c.cursor);
    EXPECT_EQ(frame->length, static_cast<std::int32_t>(std::strlen(c.text)));
    EXPECT_STREQ(frame->expression, c.text);
  }
}

TEST(Calculate, EachCallStartsAfreshOnTheSameFrame) {
  auto frame = NewFrame();
  EXPECT_EQ(Calculate(*frame, "100+200+300"), 600);
  EXPECT_EQ(Calculate(*frame, "4"), 4);
  EXPECT_EQ(frame->cursor, 1);
  EXPECT_EQ(frame->length, 1);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "1+"); }), kParseError);
  EXPECT_EQ(Calculate(*frame, "9"), 9);
}

TEST(Calculate, ErrorLeavesTheCursorWhereParsingStopped) {
  auto frame = NewFrame();
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "1+2+)"); }), kParseError);
  EXPECT_EQ(frame->cursor, 4);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "12+abc"); }), kWrongCharacter);
  EXPECT_EQ(frame->cursor, 6);
}

TEST(Calculate, TextLongerThan249CharactersIsCut) {
  // 248 zeros and "12": only the "1" is kept, so the number read is 1.
  std::string text(248, '0');
  text += "12";
  auto frame = NewFrame();
  EXPECT_TRUE(SameBits(1, Calculate(*frame, text.c_str())));
  EXPECT_EQ(frame->length, kMaxTextLength);
  EXPECT_EQ(frame->expression[kMaxTextLength], '\0');
  EXPECT_EQ(frame->cursor, kMaxTextLength);

  std::string sum = "1";
  while (sum.size() < 300) {
    sum += "+1";
  }
  // 249 characters hold "1" and 124 times "+1".
  EXPECT_EQ(Calculate(*frame, sum.c_str()), 125);
}

TEST(Calculate, TextOfExactly249CharactersIsReadWhole) {
  std::string text = "1";
  while (text.size() < 249) {
    text += "+1";
  }
  ASSERT_EQ(text.size(), 249u);
  auto frame = NewFrame();
  EXPECT_EQ(Calculate(*frame, text.c_str()), 125);
  EXPECT_EQ(frame->length, 249);
}

TEST(Calculate, NamesLongerThan63CharactersAreResolvedWhole) {
  std::string name;
  for (int i = 0; i < 100; ++i) {
    name += static_cast<char>(i % 3 == 2 ? '0' + i % 10 : 'a' + i % 26);
  }
  auto frame = NewFrame();
  SetVariable(*frame, name.c_str(), 2.5);
  EXPECT_EQ(Calculate(*frame, name.c_str()), 2.5);
  EXPECT_EQ(frame->cursor, 100);
  EXPECT_EQ(Calculate(*frame, (name + "*4").c_str()), 10);

  // Only a 63-character prefix of a 64-character name is defined.
  const std::string defined(63, 'k');
  SetVariable(*frame, defined.c_str(), 1);
  EXPECT_EQ(Calculate(*frame, defined.c_str()), 1);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, (defined + "k").c_str()); }), kWrongCharacter);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, (defined + "1").c_str()); }), kWrongCharacter);
}

TEST(Calculate, ResolvesConstantsBeforeVariablesBeforeFunctions) {
  auto frame = NewFrame();
  SetVariable(*frame, "pi", 3);
  SetVariable(*frame, "e", 2);
  SetVariable(*frame, "sin", 2);
  SetVariable(*frame, "Pi", 7);
  EXPECT_TRUE(SameBits(kPi, Calculate(*frame, "pi")));
  EXPECT_TRUE(SameBits(kE, Calculate(*frame, "e")));
  EXPECT_EQ(Calculate(*frame, "Pi"), 7);
  EXPECT_EQ(Calculate(*frame, "sin(0)"), 2);
  EXPECT_EQ(frame->cursor, 3);
  EXPECT_EQ(Calculate(*frame, "cos(0)"), 1);
}

TEST(Calculate, VariablesCanBeUsedInExpressions) {
  auto frame = NewFrame();
  SetVariable(*frame, "x", 3);
  SetVariable(*frame, "y2", 0.5);
  EXPECT_EQ(Calculate(*frame, "x*x-y2"), 8.5);
  EXPECT_EQ(Calculate(*frame, "-x^2"), 9);
  EXPECT_EQ(Calculate(*frame, "2^-x"), 0.125);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "1/(x-3)"); }), kDivideByZero);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "X"); }), kWrongCharacter);
}

// Where each level of the grammar stops, the sum around it stops too: the
// value and the cursor that Calculate leaves show what each level read.
struct LevelCase {
  const char* text;
  double value;
  std::int32_t cursor;
};

TEST(Levels, EachLevelStopsAtTheFirstCharacterItDoesNotConsume) {
  const LevelCase cases[] = {
      {"2*3)+4", 6, 3},       // a product
      {"-2^2)*3", 4, 4},      // a power with its sign
      {"(1+2))*3", 3, 5},     // a parenthesised operand
      {" 12.5)+1", 12.5, 5},  // a number after a blank
      {"1+2 )", 3, 4},        // a sum, with the blanks after it
      {"8/2/2,", 2, 5},
  };
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    auto frame = NewFrame();
    EXPECT_EQ(Calculate(*frame, c.text), c.value);
    EXPECT_EQ(frame->cursor, c.cursor);
  }
}

TEST(Levels, AnOperandMissingAtTheEndRaisesParseError) {
  auto frame = NewFrame();
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "12+"); }), kParseError);
  EXPECT_EQ(frame->cursor, 3);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "1+  "); }), kParseError);
  EXPECT_EQ(frame->cursor, 4);
  // The operand after the last character kept is cut off with the rest.
  const std::string cut = "1" + std::string(kMaxTextLength - 3, ' ') + "+ 2";
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, cut.c_str()); }), kParseError);
  EXPECT_EQ(frame->cursor, kMaxTextLength);
}

TEST(Levels, OperandsAreEvaluatedLeftToRight) {
  auto frame = NewFrame();
  // The left operand's error is raised first.
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "a+1/0"); }), kWrongCharacter);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "1/0*a"); }), kDivideByZero);
  // An assignment made on the left is seen on the right.
  EXPECT_EQ(Calculate(*frame, "set(a,2)+a"), 4);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "b+set(b,1)"); }), kWrongCharacter);
}

}  // namespace
}  // namespace calculator_test
