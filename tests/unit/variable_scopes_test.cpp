// Construction of an EvaluationFrame, the built-in names and the variable scopes.
#include <iterator>
#include <string>
#include <vector>

#include "test_support.h"

namespace calculator_test {
namespace {

// A root's variable names, in the order first assigned.
std::vector<std::string> Names(const EvaluationFrame& frame) {
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < frame.variables.own_count; ++i) {
    names.emplace_back(frame.variables.entries[i].name);
  }
  return names;
}

double ValueAt(const EvaluationFrame& frame, std::int32_t index) {
  return frame.variables.entries[index].value;
}

const char* NameAt(const EvaluationFrame& frame, std::int32_t index) {
  return frame.variables.entries[index].name;
}

bool IsConstant(const char* name) {
  return IsConstantName(MakeNameKey(name));
}

bool IsFunctionName(const char* name) {
  const Builtin* builtin = BuiltinNamed(name);
  return builtin != nullptr && builtin->kind != BuiltinKind::kConstant;
}

std::vector<std::string> ListedNames(const char* (*name_at)(std::size_t)) {
  std::vector<std::string> names;
  for (std::size_t i = 0; name_at(i) != nullptr; ++i) {
    names.emplace_back(name_at(i));
  }
  return names;
}

std::string NumberedName(int i) {
  return "v" + std::to_string(i);
}

void FillVariables(EvaluationFrame& frame, int count) {
  for (int i = 0; i < count; ++i) {
    SetVariable(frame, NumberedName(i).c_str(), i * 0.5);
  }
}

TEST(EvaluationFrame, BuiltinNamesInOrderAndNoVariables) {
  auto frame = NewFrame();
  EXPECT_EQ(ListedNames(ConstantName), (std::vector<std::string>{"pi", "e"}));
  EXPECT_EQ(ListedNames(FunctionName),
            (std::vector<std::string>{"sin", "cos", "tan", "log", "log10", "abs", "sqrt", "rad2deg",
                                      "deg2rad", "integral", "set", "sigma"}));
  EXPECT_EQ(VisibleVariableCount(*frame), 0);
  EXPECT_EQ(frame->variables.own_count, 0);
  EXPECT_NE(frame->expression, nullptr);
}

TEST(EvaluationFrame, EveryFrameHasATextBufferOfItsOwn) {
  auto frame = NewFrame();
  auto other = NewFrame();
  EvaluationFrame child(ChildOf{*frame});
  EXPECT_NE(other->expression, frame->expression);
  EXPECT_NE(child.expression, frame->expression);
}

struct RegisteredCase {
  const char* name;
  bool in_const;
  bool in_function;
};

TEST(BuiltinNames, FindsWholeCaseSensitiveNamesAndNoVariables) {
  const RegisteredCase cases[] = {
      {"pi", true, false},       {"e", true, false},       {"sin", false, true},
      {"log10", false, true},    {"sigma", false, true},   {"log", false, true},
      {"integral", false, true}, {"deg2rad", false, true}, {"PI", false, false},
      {"Sin", false, false},     {"x", false, false},      {"", false, false},
      {"p", false, false},       {"pii", false, false},    {"log1", false, false},
      {"log100", false, false},  {"sigmas", false, false}, {"sin ", false, false},
  };
  auto frame = NewFrame();
  for (const RegisteredCase& c : cases) {
    SCOPED_TRACE(std::string("name \"") + c.name + "\"");
    EXPECT_EQ(IsConstant(c.name), c.in_const);
    EXPECT_EQ(IsFunctionName(c.name), c.in_function);
    EXPECT_FALSE(HasVariable(*frame, c.name));
  }
}

// One child serves every step of a loop: what a step assigned must be gone
// at the next, as if each step had a fresh child.
TEST(StartLoopStep, DropsWhatThePreviousStepAssigned) {
  auto parent = NewFrame();
  SetVariable(*parent, "a", 1);
  EvaluationFrame child(ChildOf{*parent});
  const NameKey loop_variable = MakeNameKey("i");
  StartLoopStep(child, loop_variable, true, 1);
  SetVariable(child, "a", 10);
  for (const char* name : {"t0", "t1", "t2", "t3", "t4", "t5"}) {
    SetVariable(child, name, 5);  // past the inline entries: the child gets an index
  }
  EXPECT_EQ(VisibleVariableCount(child), 8);
  StartLoopStep(child, loop_variable, true, 2);
  EXPECT_EQ(VariableValue(child, "i"), 2);
  EXPECT_EQ(VariableValue(child, "a"), 1);
  EXPECT_FALSE(HasVariable(child, "t0"));
  EXPECT_FALSE(HasVariable(child, "t5"));
  EXPECT_EQ(VisibleVariableCount(child), 2);
  SetVariable(child, "i", 7);  // the loop variable itself: only this step
  StartLoopStep(child, loop_variable, true, 3);
  EXPECT_EQ(VariableValue(child, "i"), 3);
  EXPECT_FALSE(HasVariable(*parent, "i"));
}

TEST(SetVariable, AppendsNewNamesInOrderAndOverwritesInPlace) {
  auto frame = NewFrame();
  SetVariable(*frame, "a", 1.5);
  ASSERT_EQ(VisibleVariableCount(*frame), 1);
  SetVariable(*frame, "b", -2);
  ASSERT_EQ(VisibleVariableCount(*frame), 2);
  SetVariable(*frame, "a", 7.25);
  ASSERT_EQ(VisibleVariableCount(*frame), 2);
  EXPECT_EQ(Names(*frame), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(SameBits(7.25, ValueAt(*frame, 0)));
  EXPECT_TRUE(SameBits(-2, ValueAt(*frame, 1)));
  EXPECT_TRUE(SameBits(7.25, VariableValue(*frame, "a")));
  EXPECT_TRUE(SameBits(-2, VariableValue(*frame, "b")));
}

TEST(SetVariable, KeepsSpecialValuesBitForBit) {
  auto frame = NewFrame();
  const double values[] = {
      -0.0,  INFINITY, -INFINITY, FromBits(0xFFF8000000000000ULL), FromBits(0x7FF0000000000001ULL),
      5e-324};
  for (double value : values) {
    SetVariable(*frame, "v", value);
    EXPECT_TRUE(SameBits(value, VariableValue(*frame, "v")));
  }
  EXPECT_EQ(VisibleVariableCount(*frame), 1);
}

TEST(SetVariable, NamesDifferingInCaseAreDistinct) {
  auto frame = NewFrame();
  SetVariable(*frame, "x", 1);
  SetVariable(*frame, "X", 2);
  EXPECT_EQ(Names(*frame), (std::vector<std::string>{"x", "X"}));
  EXPECT_EQ(VariableValue(*frame, "x"), 1);
  EXPECT_EQ(VariableValue(*frame, "X"), 2);
}

TEST(SetVariable, StoresConstantFunctionAndEmptyNamesAsVariables) {
  auto frame = NewFrame();
  SetVariable(*frame, "pi", 3);
  SetVariable(*frame, "sin", 4);
  SetVariable(*frame, "", 5);
  EXPECT_EQ(Names(*frame), (std::vector<std::string>{"pi", "sin", ""}));
  EXPECT_EQ(VariableValue(*frame, "pi"), 3);
  EXPECT_EQ(VariableValue(*frame, "sin"), 4);
  EXPECT_EQ(VariableValue(*frame, ""), 5);
  EXPECT_TRUE(IsConstant("pi"));
  EXPECT_TRUE(IsFunctionName("sin"));
}

TEST(SetVariable, CopiesTheNameIntoItsOwnBuffer) {
  auto frame = NewFrame();
  char name[8] = "tmp";
  SetVariable(*frame, name, 1);
  std::strcpy(name, "xyz");
  EXPECT_STREQ(NameAt(*frame, 0), "tmp");
  EXPECT_NE(NameAt(*frame, 0), name);
}

TEST(SetVariable, TwoHundredFiftyFirstVariableRaisesAndChangesNothing) {
  auto frame = NewFrame();
  FillVariables(*frame, kTableCapacity);
  ASSERT_EQ(VisibleVariableCount(*frame), kTableCapacity);
  EXPECT_EQ(ErrorOf([&] { SetVariable(*frame, "extra", 9); }), kTooManyVariables);
  EXPECT_EQ(VisibleVariableCount(*frame), kTableCapacity);
  EXPECT_FALSE(HasVariable(*frame, "extra"));
  for (int i = 0; i < kTableCapacity; ++i) {
    ASSERT_STREQ(NameAt(*frame, i), NumberedName(i).c_str());
    ASSERT_EQ(ValueAt(*frame, i), i * 0.5);
    ASSERT_EQ(VariableValue(*frame, NumberedName(i).c_str()), i * 0.5);
  }
  // A full table still accepts new values for names it already holds.
  SetVariable(*frame, "v249", -1);
  EXPECT_EQ(VariableValue(*frame, "v249"), -1);
  EXPECT_EQ(VisibleVariableCount(*frame), kTableCapacity);
}

TEST(SetVariable, NameLongerThanTheBufferIsCutTo249Characters) {
  auto frame = NewFrame();
  std::string long_name;
  for (int i = 0; i < 400; ++i) {
    long_name += static_cast<char>('a' + i % 26);
  }
  FillVariables(*frame, 8);  // found through the hash index as well
  SetVariable(*frame, long_name.c_str(), 42);
  ASSERT_EQ(VisibleVariableCount(*frame), 9);
  const std::string stored = NameAt(*frame, 8);
  EXPECT_EQ(stored.size(), 249u);
  EXPECT_EQ(stored, long_name.substr(0, 249));
  EXPECT_EQ(VariableValue(*frame, long_name.substr(0, 249).c_str()), 42);
  EXPECT_EQ(VariableValue(*frame, long_name.c_str()), 42);
  EXPECT_FALSE(HasVariable(*frame, long_name.substr(0, 248).c_str()));
  // A child assigning the long name shadows the parent's cut one: no new name.
  EvaluationFrame child(ChildOf{*frame});
  SetVariable(child, (long_name.substr(0, 249) + "zzz").c_str(), 7);
  EXPECT_EQ(VisibleVariableCount(child), 9);
  EXPECT_EQ(VariableValue(child, long_name.c_str()), 7);
  EXPECT_EQ(VariableValue(*frame, long_name.c_str()), 42);
}

TEST(SetVariable, NameOfExactly249CharactersIsKeptWhole) {
  auto frame = NewFrame();
  const std::string name(249, 'q');
  SetVariable(*frame, name.c_str(), 3);
  EXPECT_EQ(std::string(NameAt(*frame, 0)), name);
  EXPECT_FALSE(HasVariable(*frame, name.substr(0, 248).c_str()));
}

TEST(LookUpVariable, OnlyTheWholeNameAsAssignedIsFound) {
  auto frame = NewFrame();
  EXPECT_FALSE(HasVariable(*frame, "x"));
  EXPECT_FALSE(HasVariable(*frame, ""));
  SetVariable(*frame, "xy", 1);
  for (const char* other : {"x", "xyz", "XY", "pi"}) {
    SCOPED_TRACE(other);
    EXPECT_FALSE(HasVariable(*frame, other));
  }
  EXPECT_TRUE(HasVariable(*frame, "xy"));
  EXPECT_EQ(VisibleVariableCount(*frame), 1);
}

TEST(BuiltinNames, ConstantsHaveTheirValuesAndNothingElseIsOne) {
  EXPECT_EQ(BitsOf(BuiltinNamed("pi")->value), 0x400921FB54442D18ULL);
  EXPECT_EQ(BitsOf(BuiltinNamed("e")->value), 0x4005BF0A8B145769ULL);
  for (const char* name : {"PI", "", "pi ", "p", "x", "sin"}) {
    SCOPED_TRACE(name);
    const Builtin* builtin = BuiltinNamed(name);
    EXPECT_TRUE(builtin == nullptr || builtin->kind != BuiltinKind::kConstant);
  }
}

TEST(ChildScope, ChildOfAParentWithoutVariablesHoldsOnlyItsOwn) {
  auto parent = NewFrame();
  EvaluationFrame child(ChildOf{*parent});
  EXPECT_EQ(VisibleVariableCount(child), 0);
  SetVariable(child, "k", 8);
  EXPECT_EQ(VisibleVariableCount(child), 1);
  EXPECT_EQ(VariableValue(child, "k"), 8);
  EXPECT_FALSE(HasVariable(*parent, "k"));
  EXPECT_EQ(VisibleVariableCount(*parent), 0);
}

TEST(ChildScope, SeesEveryParentVariableWithoutCopyingIt) {
  auto parent = NewFrame();
  SetVariable(*parent, "b", 2);
  SetVariable(*parent, "a", -0.0);
  SetVariable(*parent, "c", 0.1);
  SetVariable(*parent, "b", 20);
  EvaluationFrame child(ChildOf{*parent});
  EXPECT_EQ(child.variables.own_count, 0);
  EXPECT_EQ(VisibleVariableCount(child), 3);
  EXPECT_TRUE(SameBits(20, VariableValue(child, "b")));
  EXPECT_TRUE(SameBits(-0.0, VariableValue(child, "a")));
  EXPECT_TRUE(SameBits(0.1, VariableValue(child, "c")));
  EvaluationFrame grandchild(ChildOf{child});
  EXPECT_TRUE(SameBits(0.1, VariableValue(grandchild, "c")));
  EXPECT_FALSE(HasVariable(grandchild, "d"));
}

TEST(ChildScope, AssignmentsStayInTheChildAndCountOnlyNewNames) {
  auto parent = NewFrame();
  SetVariable(*parent, "a", 1);
  SetVariable(*parent, "b", 2);
  EvaluationFrame child(ChildOf{*parent});
  SetVariable(child, "b", 99);
  EXPECT_EQ(VisibleVariableCount(child), 2);
  SetVariable(child, "z", 26);
  EXPECT_EQ(VisibleVariableCount(child), 3);
  EXPECT_EQ(VariableValue(child, "b"), 99);
  EXPECT_EQ(VariableValue(child, "a"), 1);
  EXPECT_EQ(Names(*parent), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ValueAt(*parent, 1), 2);
  EvaluationFrame grandchild(ChildOf{child});
  EXPECT_EQ(VariableValue(grandchild, "b"), 99);
  EXPECT_EQ(VariableValue(grandchild, "z"), 26);
}

TEST(ChildScope, ChildOfAFullParentSeesAllAndCanAddNoNewName) {
  auto parent = NewFrame();
  FillVariables(*parent, kTableCapacity);
  EvaluationFrame child(ChildOf{*parent});
  ASSERT_EQ(VisibleVariableCount(child), kTableCapacity);
  for (int i = 0; i < kTableCapacity; ++i) {
    ASSERT_EQ(VariableValue(child, NumberedName(i).c_str()), i * 0.5);
  }
  EXPECT_EQ(ErrorOf([&] { SetVariable(child, "extra", 1); }), kTooManyVariables);
  SetVariable(child, "v3", -3);
  EXPECT_EQ(VariableValue(child, "v3"), -3);
  EXPECT_EQ(VariableValue(*parent, "v3"), 1.5);
}

}  // namespace
}  // namespace calculator_test
