// set, integral and sigma, their child evaluations and the error report.
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "calculator/loop_bounds.h"
#include "test_support.h"

namespace calculator_test {
namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

std::vector<std::string>& CapturedLines() {
  static std::vector<std::string> lines;
  return lines;
}

void CaptureLine(void*, const char* line) {
  CapturedLines().emplace_back(line);
}

// The lines written for one report per message, in order.
std::vector<std::string> Reports(std::initializer_list<const char*> messages) {
  std::vector<std::string> lines;
  for (const char* message : messages) {
    lines.emplace_back(kReportHeader);
    lines.emplace_back(std::string("> ") + message);
  }
  return lines;
}

// Left Riemann sum with every intermediate rounded in the order that
// integral uses; `skip` marks sample indices whose body fails.
template <typename Body>
double LeftRiemannSum(double a, double b, int n, Body body, int skip = -1) {
  const double h = (b - a) / n;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    if (i == skip) {
      continue;
    }
    const double x = i * h + a;
    sum = body(x) * h + sum;
  }
  return sum;
}

// One long-lived frame per test, like the console's, with the error
// report captured instead of written to standard output.
class Nested : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.report = CaptureLine;
    CapturedLines().clear();
  }

  void ExpectValue(const char* text, double expected,
                   std::initializer_list<const char*> reported = {}) {
    SCOPED_TRACE(std::string("text \"") + text + "\"");
    CapturedLines().clear();
    double value = 0;
    ASSERT_EQ(ErrorOf([&] { value = Calculate(*calculator_, text); }), "<no error>");
    EXPECT_TRUE(SameBits(expected, value));
    EXPECT_EQ(CapturedLines(), Reports(reported));
  }

  void ExpectShown(const char* text, const char* shown,
                   std::initializer_list<const char*> reported = {}) {
    SCOPED_TRACE(std::string("text \"") + text + "\"");
    CapturedLines().clear();
    double value = 0;
    ASSERT_EQ(ErrorOf([&] { value = Calculate(*calculator_, text); }), "<no error>");
    EXPECT_EQ(Shown(value), shown);
    EXPECT_EQ(CapturedLines(), Reports(reported));
  }

  void ExpectError(const char* text, const char* message,
                   std::initializer_list<const char*> reported = {}) {
    SCOPED_TRACE(std::string("text \"") + text + "\"");
    CapturedLines().clear();
    EXPECT_EQ(ErrorOf([&] { Calculate(*calculator_, text); }), message);
    EXPECT_EQ(CapturedLines(), Reports(reported));
  }

  void FillVariables(int count) {
    for (int i = 0; i < count; ++i) {
      SetVariable(*calculator_, ("v" + std::to_string(i)).c_str(), i);
    }
  }

  EvaluationContext context_;
  std::unique_ptr<EvaluationFrame> calculator_ = std::make_unique<EvaluationFrame>(&context_);
};

TEST_F(Nested, AFailedNestedEvaluationIsReportedOnTwoLines) {
  EXPECT_EQ(Calculate(*calculator_, "set(a, 1/0)"), 0.0);
  EXPECT_EQ(CapturedLines(),
            (std::vector<std::string>{"Function Error : Wrong define in \"function\".",
                                      "> Can't divide by 0."}));
}

TEST_F(Nested, SigmaSums) {
  ExpectValue("sigma(i,1,10,i)", 55);
  ExpectValue("sigma(i,1,4,i*i)", 30);
  ExpectValue("sigma(i,3,3,i)", 3);
  ExpectValue("sigma(i,5,1,i)", 0.0);
  ExpectValue("sigma(i,1,3.9,i)", 6);
  ExpectValue("sigma(i,-2.5,2,i)", 0.0);
  ExpectValue("sigma(i,-3,-1,i)", -6);
  ExpectValue("sigma(i,1,3,0.1)", 0.1 + (0.1 + (0.1 + 0.0)));
}

TEST_F(Nested, IntegralSums) {
  ExpectValue("integral(x,0,1,10,x)", 0.45000000000000007);
  ExpectShown("integral(x,0,1,10,x)", "0.45");
  ExpectValue("integral(t,0,2,4,t*t)", 1.75);
  ExpectShown("integral(x,1,0,10,x)", "-0.55");
  ExpectValue("integral(x,1,0,10,x)", LeftRiemannSum(1, 0, 10, [](double x) { return x; }));
  ExpectShown("integral(x,0,pi,100,sin(x))", "1.99984");
  ExpectValue("integral(x,0,pi,100,sin(x))", LeftRiemannSum(0, kPi, 100, math::Sin));
  ExpectShown("integral(x,0,1,3,1)", "1");
  ExpectValue("integral(x,0,1,3,1)", LeftRiemannSum(0, 1, 3, [](double) { return 1.0; }));
  ExpectValue("integral(x,0.1,0.8,7,x*x)",
              LeftRiemannSum(0.1, 0.8, 7, [](double x) { return x * x; }));
  ExpectValue("integral(x,0,3,10,x)", LeftRiemannSum(0, 3, 10, [](double x) { return x; }));
  ExpectValue("integral(x,0,1,0,x)", 0.0);
  ExpectValue("integral(x,0,1,-5,x)", 0.0);
  ExpectValue("integral(x,0,1,2.9,x)", 0.25);
  ExpectValue("integral(x, 0, 1, 2 5, x+1)", 1.25);
  ExpectValue("integral(x,0,1, +2,x)", 0.25);
  ExpectValue("integral(x,0,1,0x10,x)", 0.0);
  ExpectValue("integral(x,0,1,abc,x)", 0.0);
}

TEST_F(Nested, StepCountIsALiteralWhileSigmaBoundsAreEvaluated) {
  ExpectValue("set(n, 4)", 4);
  ExpectValue("integral(x,0,1,n,x)", 0.0);
  ExpectValue("sigma(k,1,n,k)", 10);
}

TEST_F(Nested, FailingStepsAreReportedAndAddNothing) {
  ExpectValue("sigma(i,0,2,1/i)", 1.5, {kDivideByZero});
  ExpectShown("integral(x,0,1,4,1/x)", "1.83333", {kDivideByZero});
  ExpectValue("integral(x,0,1,4,1/x)",
              LeftRiemannSum(
                  0, 1, 4, [](double x) { return 1 / x; }, 0),
              {kDivideByZero});
  ExpectValue("sigma(i,1,3,k)", 0.0, {kWrongCharacter, kWrongCharacter, kWrongCharacter});
  ExpectValue("sigma(i,1,3,)", 0.0, {kParseError, kParseError, kParseError});
  ExpectValue("sigma(i,1,1/0,i)", 0.0, {kDivideByZero});
  ExpectValue("sigma(i,2,1,1/0)", 0.0);
  ExpectValue("sigma(i,1/0,1/0,1/0)", 0.0, {kDivideByZero, kDivideByZero, kDivideByZero});
}

TEST_F(Nested, MissingArgumentEndsTheCall) {
  ExpectError("sigma(i,1,10)", kNotEnoughArguments);
  ExpectError("integral(x, 0, 1, 10)", kNotEnoughArguments);
  // The bounds were evaluated before the missing body was noticed.
  ExpectError("sigma(i,1/0,1)", kNotEnoughArguments, {kDivideByZero});
  ExpectError("set(a 3)", kNotEnoughArguments);
  EXPECT_EQ(VisibleVariableCount(*calculator_), 0);
}

TEST_F(Nested, MissingArgumentInsideAChildIsReported) {
  ExpectValue("set(a, sigma(i,1,2))", 0.0, {kNotEnoughArguments});
  EXPECT_TRUE(SameBits(0.0, VariableValue(*calculator_, "a")));
}

TEST_F(Nested, SetAssignsInTheCallingFrame) {
  ExpectValue("set(a, 3)", 3);
  ExpectValue("a*2", 6);
  ExpectValue("set(a, 2) + 1", 3);
  EXPECT_EQ(VariableValue(*calculator_, "a"), 2);
  EXPECT_EQ(VisibleVariableCount(*calculator_), 1);
  ExpectValue("sigma(i,1,2,i) * 10", 30);
}

TEST_F(Nested, SetOfAFailingExpressionAssignsZero) {
  ExpectValue("set(a, 1/0)", 0.0, {kDivideByZero});
  EXPECT_TRUE(SameBits(0.0, VariableValue(*calculator_, "a")));
  ExpectValue("set(b,)", 0.0, {kParseError});
  EXPECT_TRUE(SameBits(0.0, VariableValue(*calculator_, "b")));
}

TEST_F(Nested, SetTakesTheFirstWordAndIgnoresExtraArguments) {
  ExpectValue("set(my var, 3)", 3);
  EXPECT_EQ(VariableValue(*calculator_, "my"), 3);
  EXPECT_FALSE(HasVariable(*calculator_, "my var"));
  ExpectValue("set(a, 1, 2)", 1);
  ExpectValue("set (b, 4)", 4);
  ExpectValue("sigma(i,1,3,i,5)", 6);
  ExpectValue("sigma( i ,1,3, i )", 6);
  ExpectValue("set(, 5)", 5);
  EXPECT_EQ(VariableValue(*calculator_, ""), 5);
  ExpectValue("set(sin, 2)", 2);
  ExpectValue("sin(0)", 2);
}

TEST_F(Nested, AssignmentsInsideChildrenDoNotLeak) {
  ExpectValue("set(a, set(b, 2) + 1)", 3);
  ExpectValue("a", 3);
  ExpectError("b", kWrongCharacter);

  ExpectValue("set(i, 100)", 100);
  ExpectValue("sigma(i,1,3,i)", 6);
  ExpectValue("i", 100);

  ExpectValue("set(s, 0)", 0.0);
  ExpectValue("sigma(i,1,3,set(s,s+i))", 6);
  ExpectValue("s", 0.0);

  ExpectValue("sigma(j,1,3,set(c,j)+c)", 12);
  ExpectError("c", kWrongCharacter);
  ExpectError("j", kWrongCharacter);
  ExpectValue("integral(u,0,1,2,set(w,u))", 0.25);
  ExpectError("w", kWrongCharacter);
}

TEST_F(Nested, GrammarGoesOnAfterTheCall) {
  ExpectValue("sigma(i,1,3,sigma(j,1,i,j))", 10);
  ExpectValue("2*sigma(i,1,3,i)+1", 13);
  ExpectValue("sigma x(i,1,3,i)", 6);
  ExpectValue("sigma(i,1,3,i)+set(q,4)", 10);
  EXPECT_EQ(VariableValue(*calculator_, "q"), 4);
  ExpectValue("sigma   (i,1,2,i)^2", 9);
}

TEST_F(Nested, LoopVariableNamesFollowTheResolutionOrder) {
  ExpectShown("sigma(pi,1,3,pi)", "9.42478");
  ExpectValue("sigma(pi,1,3,pi)", kPi + (kPi + (kPi + 0.0)));
  ExpectValue("sigma(sin,1,3,sin)", 6);
}

TEST_F(Nested, ReportsComeInEvaluationOrder) {
  ExpectValue("set(a, 1/0) + sigma(i,0,1,1/i) + sigma(i,1,2,k)", 1,
              {kDivideByZero, kDivideByZero, kWrongCharacter, kWrongCharacter});
  ExpectValue("set(a, sigma(i,1,2,k))", 0.0, {kWrongCharacter, kWrongCharacter});
}

TEST_F(Nested, SigmaEndsAtTheLargestInt32) {
  ExpectValue("sigma(i,2147483646,2147483647,i)", 4294967293.0);
  ExpectValue("sigma(i,2147483646,2^40,i)", 4294967293.0);
  ExpectValue("sigma(i,2147483647,2147483647,1)", 1);
  ExpectValue("sigma(i,0-2^40,-2147483647,1)", 2);
  ExpectValue("sigma(i,-2147483648,-2147483647,i)", -4294967295.0);
  ExpectValue("sigma(i,-1,log(-1),i)", -1);
}

TEST_F(Nested, UnclosedOrMissingListRaises) {
  ExpectError("sigma(i, 1, 3, i", kListNotClosed);
  ExpectError("set x", kOpenMissing);
  ExpectError("set", kOpenMissing);
  ExpectError("integral", kOpenMissing);
  ExpectError("set(a,3", kListNotClosed);
  EXPECT_EQ(VisibleVariableCount(*calculator_), 0);
}

TEST_F(Nested, CursorWithoutABalancingParenthesisGoesToTheEnd) {
  ExpectValue("sigma x)(i,1,3,i)+5", 6);
  EXPECT_EQ(calculator_->cursor, calculator_->length);
}

TEST_F(Nested, OperationsLeaveTheCursorPastTheList) {
  ExpectValue("set(a,3)x", 3);
  EXPECT_EQ(calculator_->cursor, 8);
  EXPECT_EQ(VariableValue(*calculator_, "a"), 3);
  ExpectValue("sigma(i,1,3,(i))*2", 12);
  ExpectValue("sigma(i,1,3,(i))x", 6);
  EXPECT_EQ(calculator_->cursor, 16);
  ExpectValue("integral(x,0,1,2,x),9", 0.25);
  EXPECT_EQ(calculator_->cursor, 19);
  // A missing argument stops the call where its name ended.
  ExpectError("sigma(i,1)+1", kNotEnoughArguments);
  EXPECT_EQ(calculator_->cursor, 5);
}

TEST_F(Nested, SetEvaluatesItsExpressionInAChild) {
  SetVariable(*calculator_, "x", 2);
  ExpectValue("set(r, x+1)", 3);
  ExpectValue("set(r,  set(z,1)+x )", 3);
  EXPECT_FALSE(HasVariable(*calculator_, "z"));
  EXPECT_EQ(VisibleVariableCount(*calculator_), 2);
  // The calling text goes on where the list ends.
  ExpectValue("set(r, 5)+x", 7);
  EXPECT_EQ(calculator_->cursor, calculator_->length);
  ExpectValue("set(r, -0)", -0.0);
  // A failing expression is reported and yields 0.
  ExpectValue("set(r, 1/0)", 0.0, {kDivideByZero});
  ExpectValue("set(r, )", 0.0, {kParseError});
  ExpectValue("set(r, y)", 0.0, {kWrongCharacter});
  EXPECT_TRUE(SameBits(0.0, VariableValue(*calculator_, "r")));
}

TEST_F(Nested, ChildThatNeedsA251stVariable) {
  FillVariables(kTableCapacity);
  ExpectValue("sigma(i,1,3,1)", 0.0, {kTooManyVariables, kTooManyVariables, kTooManyVariables});
  ExpectValue("integral(x,0,1,2,1)", 0.0, {kTooManyVariables, kTooManyVariables});
  // A loop variable that the parent already has needs no new entry.
  ExpectValue("sigma(v0,1,3,v0+v249)", 6 + 3 * 249);
  ExpectValue("set(v1, sigma(i,1,2,i))", 0.0, {kTooManyVariables, kTooManyVariables});
  ExpectValue("set(v0, set(fresh,1))", 0.0, {kTooManyVariables});
  // A new name assigned at the top level is refused by the full table.
  ExpectError("set(fresh, 1)", kTooManyVariables);
  EXPECT_EQ(VisibleVariableCount(*calculator_), kTableCapacity);
  EXPECT_FALSE(HasVariable(*calculator_, "fresh"));
}

TEST_F(Nested, ChildWithRoomForOneMoreVariable) {
  FillVariables(kTableCapacity - 1);
  ExpectValue("sigma(i,1,3,i+v248)", 6 + 3 * 248);
  ExpectValue("sigma(i,1,2,set(j,1))", 0.0, {kTooManyVariables, kTooManyVariables});
  EXPECT_EQ(VisibleVariableCount(*calculator_), kTableCapacity - 1);
}

// Children read through to their parents instead of holding copies, and
// one child serves all steps of a loop: each case pins what a step sees.
TEST_F(Nested, StepsSeeTheirParentAsIfEachHadAFreshCopy) {
  ExpectValue("set(a, 10)", 10);
  // A parent's variable assigned in the body: every step starts from 10.
  ExpectValue("sigma(i,1,3,set(a,a+i)+a)", 72);
  ExpectValue("a", 10);
  // The loop variable itself, assigned in the body.
  ExpectValue("sigma(i,1,3,set(i,i*10)+i)", 120);
  ExpectError("i", kWrongCharacter);
  // A new variable is gone at the next step: t is unknown in both.
  ExpectValue("sigma(i,1,2,t+set(t,i))", 0.0, {kWrongCharacter, kWrongCharacter});
  // More assignments than a child keeps inline, then a clean step.
  ExpectValue("sigma(i,1,2,set(p,i)+set(q,p)+set(r,q)+set(s,r)+set(u,s)+set(w,u)+w)", 21);
  ExpectError("w", kWrongCharacter);
}

TEST_F(Nested, NestedLoopsReadOuterLoopVariables) {
  ExpectValue("sigma(i,1,3,sigma(j,1,i,i*j))", 25);
  // An inner step shadows the outer loop variable for that inner step only.
  ExpectValue("sigma(i,1,2,sigma(j,1,2,set(i,i+j)+i))", 24);
  ExpectValue("integral(x,0,1,2,sigma(k,1,2,x*k))",
              LeftRiemannSum(0, 1, 2, [](double x) { return x * 2 + (x * 1 + 0.0); }));
}

TEST_F(Nested, The250thVariableFitsInAChildAndThe251stDoesNot) {
  FillVariables(kTableCapacity - 3);
  // i, p and q make 250.
  ExpectValue("sigma(i,1,2,set(p,1)+set(q,2))", 6);
  FillVariables(kTableCapacity - 2);
  // i and p make 250; q would be the 251st, in every step.
  ExpectValue("sigma(i,1,2,set(p,1)+set(q,2))", 0.0, {kTooManyVariables, kTooManyVariables});
  // An inner loop variable counts on top of the outer one.
  ExpectValue("sigma(i,1,1,sigma(j,1,1,1))", 1);
  FillVariables(kTableCapacity - 1);
  ExpectValue("sigma(i,1,1,sigma(j,1,2,1))", 0.0, {kTooManyVariables, kTooManyVariables});
  EXPECT_EQ(VisibleVariableCount(*calculator_), kTableCapacity - 1);
}

struct StepCountCase {
  const char* text;
  std::int32_t value;
};

TEST(ParseStepCount, ReadsLikeAtoiAndSaturates) {
  const StepCountCase cases[] = {
      {"42", 42},
      {"  42", 42},
      {"\t\n\v\f\r 7", 7},
      {"+7", 7},
      {"-7", -7},
      {"-0", 0},
      {"007", 7},
      {"12abc", 12},
      {"3.9", 3},
      {"1e3", 1},
      {"12 5", 12},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"+-5", 0},
      {"--5", 0},
      {"0x10", 0},
      {"\xA0"
       "5",
       0},
      {"2147483647", kInt32Max},
      {"2147483648", kInt32Max},
      {"4294967297", kInt32Max},
      {"99999999999999999999999", kInt32Max},
      {"-2147483648", kInt32Min},
      {"-2147483649", kInt32Min},
      {"-4294967297", kInt32Min},
      {"-99999999999999999999999", kInt32Min},
      {"18446744073709551617", kInt32Max},
      {"-18446744073709551617", kInt32Min},
      {"00000000000000000000000000042", 42},
      {"  -0012 5", -12},
  };
  for (const StepCountCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(ParseStepCount(c.text), c.value);
  }
}

struct TruncateCase {
  double value;
  std::int32_t truncated;
};

TEST(TruncateToInt32, TowardZeroSaturatingNaNToZero) {
  const TruncateCase cases[] = {
      {3.9, 3},
      {-3.9, -3},
      {-0.5, 0},
      {0.99999, 0},
      {-0.0, 0},
      {2147483647.0, kInt32Max},
      {2147483647.9, kInt32Max},
      {2147483648.0, kInt32Max},
      {4294967301.0, kInt32Max},
      {1e300, kInt32Max},
      {INFINITY, kInt32Max},
      {-2147483648.0, kInt32Min},
      {-2147483648.9, kInt32Min},
      {-2147483649.0, kInt32Min},
      {-4294967301.0, kInt32Min},
      {-1e300, kInt32Min},
      {-INFINITY, kInt32Min},
      {FromBits(0x7FF8000000000000ULL), 0},
      {FromBits(0xFFF8000000000000ULL), 0},
      {FromBits(0x7FF0000000000001ULL), 0},
  };
  for (const TruncateCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "value " << c.value);
    EXPECT_EQ(TruncateToInt32(c.value), c.truncated);
  }
}

}  // namespace
}  // namespace calculator_test
