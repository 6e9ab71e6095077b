// Construction of a Calculator and the operations on its name tables.
#include <string>
#include <vector>

#include "test_support.h"

namespace calculator_test {
namespace {

std::vector<std::string> Names(const NameTable& table) {
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < table.count; ++i) {
    names.emplace_back(table.names[i]);
  }
  return names;
}

std::string NumberedName(int i) {
  return "v" + std::to_string(i);
}

void FillVariables(Calculator& calculator, int count) {
  for (int i = 0; i < count; ++i) {
    SetVariable(calculator, NumberedName(i).c_str(), i * 0.5);
  }
}

TEST(Construction, FillsConstAndFunctionTablesInOrderAndLeavesVariablesEmpty) {
  auto calculator = NewCalculator();
  EXPECT_EQ(Names(calculator->ConstTable), (std::vector<std::string>{"pi", "e"}));
  EXPECT_EQ(Names(calculator->FunctionTable),
            (std::vector<std::string>{"sin", "cos", "tan", "log", "log10", "abs", "sqrt", "rad2deg",
                                      "deg2rad", "integral", "set", "sigma"}));
  EXPECT_EQ(calculator->VariableTable.count, 0);
  EXPECT_NE(calculator->expression, nullptr);
}

TEST(Construction, EveryNameHasABufferOfItsOwn) {
  auto calculator = NewCalculator();
  std::vector<const char*> buffers{calculator->expression};
  for (const NameTable* table : {&calculator->ConstTable, &calculator->FunctionTable}) {
    for (std::int32_t i = 0; i < table->count; ++i) {
      buffers.push_back(table->names[i]);
    }
  }
  for (size_t i = 0; i < buffers.size(); ++i) {
    for (size_t j = i + 1; j < buffers.size(); ++j) {
      EXPECT_NE(buffers[i], buffers[j]) << i << " and " << j;
    }
  }
  auto other = NewCalculator();
  EXPECT_NE(other->ConstTable.names[0], calculator->ConstTable.names[0]);
}

struct RegisteredCase {
  const char* name;
  bool in_const;
  bool in_function;
};

TEST(IsRegistered, FindsWholeCaseSensitiveNamesInAFreshCalculator) {
  const RegisteredCase cases[] = {
      {"pi", true, false},       {"e", true, false},       {"sin", false, true},
      {"log10", false, true},    {"sigma", false, true},   {"log", false, true},
      {"integral", false, true}, {"deg2rad", false, true}, {"PI", false, false},
      {"Sin", false, false},     {"x", false, false},      {"", false, false},
      {"p", false, false},       {"pii", false, false},    {"log1", false, false},
      {"log100", false, false},  {"sigmas", false, false}, {"sin ", false, false},
  };
  auto calculator = NewCalculator();
  for (const RegisteredCase& c : cases) {
    SCOPED_TRACE(std::string("name \"") + c.name + "\"");
    EXPECT_EQ(IsRegistered(c.name, calculator->ConstTable), c.in_const);
    EXPECT_EQ(IsRegistered(c.name, calculator->FunctionTable), c.in_function);
    EXPECT_FALSE(IsRegistered(c.name, calculator->VariableTable));
  }
}

TEST(IsRegistered, LooksOnlyAtEntriesInUse) {
  auto calculator = NewCalculator();
  SetVariable(*calculator, "a", 1);
  SetVariable(*calculator, "b", 2);
  EXPECT_TRUE(IsRegistered("b", calculator->VariableTable));
  NameTable shortened = calculator->VariableTable;
  shortened.count = 1;
  EXPECT_TRUE(IsRegistered("a", shortened));
  EXPECT_FALSE(IsRegistered("b", shortened));
  shortened.count = 0;
  EXPECT_FALSE(IsRegistered("a", shortened));
}

TEST(SetVariable, AppendsNewNamesInOrderAndOverwritesInPlace) {
  auto calculator = NewCalculator();
  SetVariable(*calculator, "a", 1.5);
  ASSERT_EQ(calculator->VariableTable.count, 1);
  SetVariable(*calculator, "b", -2);
  ASSERT_EQ(calculator->VariableTable.count, 2);
  SetVariable(*calculator, "a", 7.25);
  ASSERT_EQ(calculator->VariableTable.count, 2);
  EXPECT_EQ(Names(calculator->VariableTable), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(SameBits(7.25, calculator->VariableValues[0]));
  EXPECT_TRUE(SameBits(-2, calculator->VariableValues[1]));
  EXPECT_TRUE(SameBits(7.25, VariableValue(*calculator, "a")));
  EXPECT_TRUE(SameBits(-2, VariableValue(*calculator, "b")));
}

TEST(SetVariable, KeepsSpecialValuesBitForBit) {
  auto calculator = NewCalculator();
  const double values[] = {
      -0.0,  INFINITY, -INFINITY, FromBits(0xFFF8000000000000ULL), FromBits(0x7FF0000000000001ULL),
      5e-324};
  for (double value : values) {
    SetVariable(*calculator, "v", value);
    EXPECT_TRUE(SameBits(value, VariableValue(*calculator, "v")));
  }
  EXPECT_EQ(calculator->VariableTable.count, 1);
}

TEST(SetVariable, NamesDifferingInCaseAreDistinct) {
  auto calculator = NewCalculator();
  SetVariable(*calculator, "x", 1);
  SetVariable(*calculator, "X", 2);
  EXPECT_EQ(Names(calculator->VariableTable), (std::vector<std::string>{"x", "X"}));
  EXPECT_EQ(VariableValue(*calculator, "x"), 1);
  EXPECT_EQ(VariableValue(*calculator, "X"), 2);
}

TEST(SetVariable, StoresConstantFunctionAndEmptyNamesAsVariables) {
  auto calculator = NewCalculator();
  SetVariable(*calculator, "pi", 3);
  SetVariable(*calculator, "sin", 4);
  SetVariable(*calculator, "", 5);
  EXPECT_EQ(Names(calculator->VariableTable), (std::vector<std::string>{"pi", "sin", ""}));
  EXPECT_EQ(VariableValue(*calculator, "pi"), 3);
  EXPECT_EQ(VariableValue(*calculator, "sin"), 4);
  EXPECT_EQ(VariableValue(*calculator, ""), 5);
  EXPECT_EQ(calculator->ConstTable.count, 2);
  EXPECT_EQ(calculator->FunctionTable.count, 12);
}

TEST(SetVariable, CopiesTheNameIntoItsOwnBuffer) {
  auto calculator = NewCalculator();
  char name[8] = "tmp";
  SetVariable(*calculator, name, 1);
  std::strcpy(name, "xyz");
  EXPECT_STREQ(calculator->VariableTable.names[0], "tmp");
  EXPECT_NE(calculator->VariableTable.names[0], name);
}

TEST(SetVariable, TwoHundredFiftyFirstVariableRaisesAndChangesNothing) {
  auto calculator = NewCalculator();
  FillVariables(*calculator, kTableCapacity);
  ASSERT_EQ(calculator->VariableTable.count, kTableCapacity);
  EXPECT_EQ(ErrorOf([&] { SetVariable(*calculator, "extra", 9); }), kTooManyVariables);
  EXPECT_EQ(calculator->VariableTable.count, kTableCapacity);
  EXPECT_FALSE(IsRegistered("extra", calculator->VariableTable));
  for (int i = 0; i < kTableCapacity; ++i) {
    ASSERT_STREQ(calculator->VariableTable.names[i], NumberedName(i).c_str());
    ASSERT_EQ(calculator->VariableValues[i], i * 0.5);
  }
  // A full table still accepts new values for names it already holds.
  SetVariable(*calculator, "v249", -1);
  EXPECT_EQ(VariableValue(*calculator, "v249"), -1);
  EXPECT_EQ(calculator->VariableTable.count, kTableCapacity);
}

TEST(SetVariable, NameLongerThanTheBufferIsCutTo249Characters) {
  auto calculator = NewCalculator();
  std::string long_name;
  for (int i = 0; i < 400; ++i) {
    long_name += static_cast<char>('a' + i % 26);
  }
  SetVariable(*calculator, long_name.c_str(), 42);
  ASSERT_EQ(calculator->VariableTable.count, 1);
  const std::string stored = calculator->VariableTable.names[0];
  EXPECT_EQ(stored.size(), 249u);
  EXPECT_EQ(stored, long_name.substr(0, 249));
  EXPECT_EQ(VariableValue(*calculator, long_name.substr(0, 249).c_str()), 42);
}

TEST(SetVariable, NameOfExactly249CharactersIsKeptWhole) {
  auto calculator = NewCalculator();
  const std::string name(249, 'q');
  SetVariable(*calculator, name.c_str(), 3);
  EXPECT_EQ(std::string(calculator->VariableTable.names[0]), name);
  EXPECT_FALSE(IsRegistered(name.substr(0, 248).c_str(), calculator->VariableTable));
}

TEST(VariableValue, UnknownNameRaises) {
  auto calculator = NewCalculator();
  EXPECT_EQ(ErrorOf([&] { VariableValue(*calculator, "x"); }), kVariableNotFound);
  EXPECT_EQ(ErrorOf([&] { VariableValue(*calculator, ""); }), kVariableNotFound);
  SetVariable(*calculator, "xy", 1);
  EXPECT_EQ(ErrorOf([&] { VariableValue(*calculator, "x"); }), kVariableNotFound);
  EXPECT_EQ(ErrorOf([&] { VariableValue(*calculator, "xyz"); }), kVariableNotFound);
  EXPECT_EQ(ErrorOf([&] { VariableValue(*calculator, "XY"); }), kVariableNotFound);
  EXPECT_EQ(ErrorOf([&] { VariableValue(*calculator, "pi"); }), kVariableNotFound);
  EXPECT_EQ(calculator->VariableTable.count, 1);
}

TEST(ConstValue, OnlyPiHasAValue) {
  EXPECT_EQ(Bits(ConstValue("pi")), 0x400921FB54442D18ULL);
  for (const char* name : {"e", "PI", "", "pi ", "p", "x", "sin"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ErrorOf([&] { ConstValue(name); }), kConstNotImplemented);
  }
}

TEST(CopyVariables, FromEmptySourceLeavesDestinationUnchanged) {
  auto source = NewCalculator();
  auto destination = NewCalculator();
  CopyVariables(*destination, *source);
  EXPECT_EQ(destination->VariableTable.count, 0);
  SetVariable(*destination, "k", 8);
  CopyVariables(*destination, *source);
  EXPECT_EQ(Names(destination->VariableTable), (std::vector<std::string>{"k"}));
  EXPECT_EQ(destination->VariableValues[0], 8);
}

TEST(CopyVariables, CopiesNamesAndValuesInTableOrder) {
  auto source = NewCalculator();
  SetVariable(*source, "b", 2);
  SetVariable(*source, "a", -0.0);
  SetVariable(*source, "c", 0.1);
  SetVariable(*source, "b", 20);
  auto destination = NewCalculator();
  CopyVariables(*destination, *source);
  EXPECT_EQ(Names(destination->VariableTable), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_TRUE(SameBits(20, destination->VariableValues[0]));
  EXPECT_TRUE(SameBits(-0.0, destination->VariableValues[1]));
  EXPECT_TRUE(SameBits(0.1, destination->VariableValues[2]));
  // The copy owns its own name buffers; the source is unchanged.
  EXPECT_NE(destination->VariableTable.names[0], source->VariableTable.names[0]);
  EXPECT_EQ(Names(source->VariableTable), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(source->VariableValues[0], 20);
}

TEST(CopyVariables, OverwritesSharedNamesAndKeepsOthers) {
  auto source = NewCalculator();
  SetVariable(*source, "a", 1);
  SetVariable(*source, "b", 2);
  auto destination = NewCalculator();
  SetVariable(*destination, "z", 26);
  SetVariable(*destination, "b", 99);
  CopyVariables(*destination, *source);
  EXPECT_EQ(Names(destination->VariableTable), (std::vector<std::string>{"z", "b", "a"}));
  EXPECT_EQ(destination->VariableValues[0], 26);
  EXPECT_EQ(destination->VariableValues[1], 2);
  EXPECT_EQ(destination->VariableValues[2], 1);
}

TEST(CopyVariables, CopiesAFullTable) {
  auto source = NewCalculator();
  FillVariables(*source, kTableCapacity);
  auto destination = NewCalculator();
  CopyVariables(*destination, *source);
  ASSERT_EQ(destination->VariableTable.count, kTableCapacity);
  for (int i = 0; i < kTableCapacity; ++i) {
    ASSERT_STREQ(destination->VariableTable.names[i], NumberedName(i).c_str());
    ASSERT_EQ(destination->VariableValues[i], i * 0.5);
  }
}

}  // namespace
}  // namespace calculator_test
