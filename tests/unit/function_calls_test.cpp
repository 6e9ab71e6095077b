// Calls of the built-in functions, the one-argument ones and those of
// nested evaluations, through Calculate.
#include <string>

#include "test_support.h"

namespace calculator_test {
namespace {

double Evaluate(const char* text) {
  auto frame = NewFrame();
  return Calculate(*frame, text);
}

std::string ErrorOfText(const char* text) {
  auto frame = NewFrame();
  return ErrorOf([&] { Calculate(*frame, text); });
}

struct FunctionValueCase {
  const char* text;
  double value;
};

TEST(FunctionCalls, ArgumentIsTheWholeSumThatFollows) {
  const double sin1 = math::Sin(1.0);
  const FunctionValueCase cases[] = {
      {"sin(0)+1", sin1},
      {"2*sin(0)+1", 2 * sin1},
      {"-sin(0)+1", -sin1},
      {"(sin(0))+1", 1},
      {"sin(0)*2", 0},
      {"sqrt 4*4", 4},
      {"sqrt(4)*4", 4},
      {"sqrt(4)+sqrt(9)", 2.6457513110645907},
      {"cos 0", 1},
      {"abs -3", 3},
      {"2^sqrt(4)+5", 8},
      {"sin(pi/2)", 1},
      {"abs(-2)*3", 6},
      {"log10(1000)", 3},
      {"rad2deg(pi)", 180},
      {"deg2rad(180)", kPi},
      {"sqrt(-0.00000001)", 0.0},
      {"sqrt(-0)", -0.0},
      {"abs(-0)", 0.0},
      {"abs -0", 0.0},
      {"rad2deg(18.7)", 1071.4310768946395},
      {"log10(100)", 2},
      {"sqrt(16)", 4},
      {"sqrt 0", 0.0},
      {"sqrt    (9)", 3},
      {"abs(2-5)", 3},
      {"deg2rad(0)", 0.0},
      {"rad2deg(-0)", -0.0},
  };
  for (const FunctionValueCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    double value = 0;
    ASSERT_EQ(ErrorOf([&] { value = Evaluate(c.text); }), "<no error>");
    EXPECT_TRUE(SameBits(c.value, value));
  }
}

TEST(FunctionCalls, ShownValuesOfTheSineExamples) {
  EXPECT_EQ(Shown(Evaluate("sin(0)+1")), "0.841471");
  EXPECT_EQ(Shown(Evaluate("2*sin(0)+1")), "1.68294");
  EXPECT_EQ(Shown(Evaluate("sqrt(-0.00000001)")), "0");
  EXPECT_EQ(Shown(Evaluate("sqrt(-0)")), "-0");
}

TEST(FunctionCalls, ConversionsRoundInTheStatedOrder) {
  // (x * 180) / pi, not x * (180 / pi).
  EXPECT_EQ(BitsOf(Evaluate("rad2deg(18.7)")), BitsOf(1071.4310768946395));
  EXPECT_NE(BitsOf(Evaluate("rad2deg(18.7)")), BitsOf(1071.4310768946393));
  EXPECT_EQ(BitsOf(Evaluate("deg2rad(180)")), 0x400921FB54442D18ULL);
  EXPECT_EQ(BitsOf(Evaluate("deg2rad(90)")), BitsOf(kPi * 90 / 180));
  EXPECT_EQ(BitsOf(Evaluate("deg2rad(1)")), BitsOf(kPi / 180));
}

struct FunctionErrorCase {
  const char* text;
  const char* message;
};

TEST(FunctionCalls, Errors) {
  const FunctionErrorCase cases[] = {
      {"sqrt(-0.0000001)", kSqrtDomain},
      {"sqrt(-1)", kSqrtDomain},
      {"sqrt -2", kSqrtDomain},
      {"sqrt(-0.00000010000001)", kSqrtDomain},
      {"sqrt(0-2^2000)", kSqrtDomain},
      {"sin", kParseError},
      {"sin()", kParseError},
      {"sin ", kParseError},
      {"sin(0", kNotClosed},
      {"sin(1/0)", kDivideByZero},
      {"cos(x)", kWrongCharacter},
      {"sin0", kWrongCharacter},
      {"Sin(0)", kWrongCharacter},
      {"log2(8)", kWrongCharacter},
      {"sinh(0)", kWrongCharacter},
      {"\tsin 0", kParseError},
      {"sin\t0", kParseError},
  };
  for (const FunctionErrorCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(ErrorOfText(c.text), c.message);
  }
}

TEST(FunctionCalls, SqrtToleranceBound) {
  // The bound is the negation of the double read from 0.0000001.
  const double bound = -0.0000001;
  EXPECT_EQ(ErrorOfText("sqrt(-0.0000001)"), kSqrtDomain);
  // The next double above the bound is inside the tolerance.
  const double above = std::nextafter(bound, 0.0);
  auto frame = NewFrame();
  SetVariable(*frame, "x", above);
  EXPECT_TRUE(SameBits(0.0, Calculate(*frame, "sqrt x")));
  SetVariable(*frame, "x", bound);
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "sqrt x"); }), kSqrtDomain);
  SetVariable(*frame, "x", -5e-324);
  EXPECT_TRUE(SameBits(0.0, Calculate(*frame, "sqrt x")));
  EXPECT_TRUE(SameBits(0.0, Calculate(*frame, "sqrt(-0.000000099999999)")));
}

TEST(FunctionCalls, SpecialValuesPassThrough) {
  EXPECT_TRUE(SameBits(-INFINITY, Evaluate("log(0)")));
  EXPECT_TRUE(SameBits(-INFINITY, Evaluate("log10(0)")));
  EXPECT_TRUE(SameBits(INFINITY, Evaluate("log(2^2000)")));

  const double log_negative = Evaluate("log(-1)");
  EXPECT_TRUE(std::isnan(log_negative));
  EXPECT_TRUE(std::signbit(log_negative));
  EXPECT_TRUE(std::isnan(Evaluate("log10(-1)")));
  EXPECT_TRUE(std::isnan(Evaluate("sqrt(log(-1))")));

  EXPECT_TRUE(std::isnan(Evaluate("sin(2^2000)")));
  EXPECT_TRUE(std::isnan(Evaluate("sin(-2^2000)")));
  EXPECT_TRUE(std::isnan(Evaluate("cos(2^2000)")));
  EXPECT_TRUE(std::isnan(Evaluate("tan(2^2000)")));
  EXPECT_TRUE(SameBits(INFINITY, Evaluate("abs(-2^2000)")));
  EXPECT_TRUE(SameBits(INFINITY, Evaluate("sqrt(2^2000)")));
  EXPECT_TRUE(SameBits(INFINITY, Evaluate("rad2deg(2^2000)")));

  const double near_half_pi = Evaluate("tan(pi/2)");
  EXPECT_TRUE(std::isfinite(near_half_pi));
  EXPECT_GT(near_half_pi, 1e16);
  EXPECT_LT(near_half_pi, 2e16);
}

// An invalid argument yields the one NaN that invalid operations produce
// (sign set, quiet, no payload), whichever library function was asked.
TEST(FunctionCalls, InvalidArgumentsYieldTheDefaultNaN) {
  const double default_nan = -std::numeric_limits<double>::quiet_NaN();
  for (const char* text : {"log(-1)", "log10(-1)", "log10(-(2^2000))", "log(-0.5)", "sin(2^2000)",
                           "cos(-(2^2000))", "tan(2^2000)"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(SameBits(default_nan, Evaluate(text)));
  }
}

TEST(FunctionCalls, AbsClearsTheSignBitOfNaN) {
  const double value = Evaluate("abs(log(-1))");
  EXPECT_TRUE(std::isnan(value));
  EXPECT_FALSE(std::signbit(value));
}

TEST(FunctionCalls, VariableNamedLikeAFunctionHidesIt) {
  auto frame = NewFrame();
  SetVariable(*frame, "sin", 2);
  EXPECT_EQ(Calculate(*frame, "sin(0)"), 2);
  EXPECT_EQ(frame->cursor, 3);
  EXPECT_EQ(Calculate(*frame, "sin*3"), 6);
  SetVariable(*frame, "log", 5);
  EXPECT_EQ(Calculate(*frame, "log10(1000)"), 3);
}

TEST(FunctionCalls, CallSkipsBlanksAndLeavesTheCursorAfterTheSum) {
  auto frame = NewFrame();
  EXPECT_EQ(Calculate(*frame, "abs   -3*2)+1"), 6);
  EXPECT_EQ(frame->cursor, 10);
  EXPECT_EQ(Calculate(*frame, "sqrt 9 ,"), 3);
  EXPECT_EQ(frame->cursor, 7);
}

// Only registered functions can be called: any other name is no function,
// and an expression that calls it fails as an unknown name does.
TEST(FunctionCalls, UnknownNameIsNoFunction) {
  auto frame = NewFrame();
  for (const char* name : {"foo", "SIN", "log1", "sigmas"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(BuiltinNamed(name), nullptr);
    EXPECT_EQ(ErrorOf([&] { Calculate(*frame, (std::string(name) + "(1)").c_str()); }),
              kWrongCharacter);
  }
  EXPECT_EQ(BuiltinNamed(""), nullptr);
  EXPECT_EQ(BuiltinNamed("pi")->kind, BuiltinKind::kConstant);
}

TEST(FunctionCalls, ErrorInsideTheArgumentKeepsEarlierAssignments) {
  auto frame = NewFrame();
  EXPECT_EQ(ErrorOf([&] { Calculate(*frame, "sin(set(a,4)+1/0)"); }), kDivideByZero);
  EXPECT_EQ(VariableValue(*frame, "a"), 4);
}

}  // namespace
}  // namespace calculator_test
