// SplitArguments, TrimWord and FindClosingParen.
#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

namespace calculator_test {
namespace {

// A 250-byte output buffer filled with one byte value.
struct OutBuffer {
  explicit OutBuffer(char fill) : bytes(kTextBufferSize, fill) {}
  char* data() { return bytes.data(); }
  std::vector<char> bytes;
};

// Checks that `out` starts with exactly `expected` and that every later byte
// still holds `fill`.
::testing::AssertionResult HoldsExactly(const OutBuffer& out, const std::string& expected,
                                        char fill) {
  for (size_t i = 0; i < out.bytes.size(); ++i) {
    const char wanted = i < expected.size() ? expected[i] : fill;
    if (out.bytes[i] != wanted) {
      return ::testing::AssertionFailure()
             << "byte " << i << " is " << static_cast<int>(static_cast<unsigned char>(out.bytes[i]))
             << ", expected " << static_cast<int>(static_cast<unsigned char>(wanted))
             << "; buffer starts with \""
             << std::string(out.bytes.data(), std::min(out.bytes.size(), expected.size() + 8))
             << "\"";
    }
  }
  return ::testing::AssertionSuccess();
}

// One argument request: the argument expected, or the message raised.
struct SplitCase {
  const char* text;
  std::int32_t index;
  std::string argument;
  const char* message;  // nullptr when an argument is expected
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << '"' << c.text << "\" index " << c.index;
}

SplitCase Arg(const char* text, std::int32_t index, std::string argument) {
  return {text, index, std::move(argument), nullptr};
}
SplitCase Err(const char* text, std::int32_t index, const char* message = kNotEnoughArguments) {
  return {text, index, "", message};
}

class SplitArgumentsTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentsTable, WritesOnlyTheArgumentIntoAZeroFilledBuffer) {
  const SplitCase& c = GetParam();
  OutBuffer out('\0');
  const std::string error = ErrorOf([&] { SplitArguments(c.text, out.data(), c.index); });
  if (c.message == nullptr) {
    ASSERT_EQ(error, "<no error>");
    EXPECT_TRUE(HoldsExactly(out, c.argument, '\0'));
  } else {
    EXPECT_EQ(error, c.message);
    EXPECT_TRUE(HoldsExactly(out, "", '\0'));
  }
}

TEST_P(SplitArgumentsTable, WritesNoTerminator) {
  const SplitCase& c = GetParam();
  OutBuffer out('Z');
  const std::string error = ErrorOf([&] { SplitArguments(c.text, out.data(), c.index); });
  if (c.message == nullptr) {
    ASSERT_EQ(error, "<no error>");
    EXPECT_TRUE(HoldsExactly(out, c.argument, 'Z'));
  } else {
    EXPECT_EQ(error, c.message);
    EXPECT_TRUE(HoldsExactly(out, "", 'Z'));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SplitArgumentsTable,
    ::testing::Values(Arg("(x,0,1,100,x^2)+1", 0, "x"), Arg("(x,0,1,100,x^2)+1", 1, "0"),
                      Arg("(x,0,1,100,x^2)+1", 2, "1"), Arg("(x,0,1,100,x^2)+1", 3, "100"),
                      Arg("(x,0,1,100,x^2)+1", 4, "x^2"), Err("(x,0,1,100,x^2)+1", 5),
                      Arg("(i,1,3,sigma(j,1,i,j))", 0, "i"), Arg("(i,1,3,sigma(j,1,i,j))", 1, "1"),
                      Arg("(i,1,3,sigma(j,1,i,j))", 2, "3"),
                      Arg("(i,1,3,sigma(j,1,i,j))", 3, "sigma(j,1,i,j)"),
                      Err("(i,1,3,sigma(j,1,i,j))", 4), Err("(i,1,3,sigma(j,1,i,j))", 5),
                      Arg("(x,(0),1,100,x^2)", 0, "x"), Arg("(x,(0),1,100,x^2)", 1, "(0)"),
                      Arg("(x,(0),1,100,x^2)", 2, "1"), Arg("(x,(0),1,100,x^2)", 3, "100"),
                      Arg("(x,(0),1,100,x^2)", 4, "x^2"), Err("(x,(0),1,100,x^2)", 5),
                      Arg("((a,b),c)", 0, "(a,b)"), Arg("((a,b),c)", 1, "c"), Err("((a,b),c)", 2),
                      Arg("(a,,b)", 0, "a"), Arg("(a,,b)", 1, ""), Arg("(a,,b)", 2, "b"),
                      Err("(a,,b)", 3), Arg("(a,)", 0, "a"), Arg("(a,)", 1, ""), Err("(a,)", 2),
                      Arg("()", 0, ""), Err("()", 1), Arg("abc(1,2)", 0, "1"),
                      Arg("abc(1,2)", 1, "2"), Err("abc(1,2)", 2), Arg("(a,b)c,d)", 0, "a"),
                      Arg("(a,b)c,d)", 1, "b"), Err("(a,b)c,d)", 2)));

INSTANTIATE_TEST_SUITE_P(
    BlanksAndOddCharacters, SplitArgumentsTable,
    ::testing::Values(Arg("(x, 0, 1, 100, x^2) + 1", 0, "x"),
                      Arg("(x, 0, 1, 100, x^2) + 1", 1, " 0"),
                      Arg("(x, 0, 1, 100, x^2) + 1", 4, " x^2"), Arg("(x , 2)", 0, "x "),
                      Arg("(x , 2)", 1, " 2"), Arg("( \ta ,b)", 0, " \ta "), Arg(")x(1,2)", 0, "1"),
                      Arg(")x(1,2)", 1, "2"), Arg("(f(a,b),g(c,(d,e)),h)", 1, "g(c,(d,e))"),
                      Arg("(f(a,b),g(c,(d,e)),h)", 2, "h"), Err("(a,b)", -1),
                      Err("(a,b)", -2147483647 - 1), Err("(a,b)", 2147483647)));

INSTANTIATE_TEST_SUITE_P(MissingParentheses, SplitArgumentsTable,
                         ::testing::Values(Err("", 0, kOpenMissing), Err("abc", 0, kOpenMissing),
                                           Err("x, 1)", 0, kOpenMissing),
                                           Err("x)", 1, kOpenMissing), Err("(", 0, kListNotClosed),
                                           Err("(a,b", 0, kListNotClosed),
                                           Err("((a,b)", 0, kListNotClosed),
                                           Err("x(i,(1,3", 0, kListNotClosed)));

TEST(SplitArguments, ListOf249CharactersFitsWhole) {
  const std::string first(120, 'a');
  const std::string second(128, 'b');
  const std::string whole = first + "," + second;
  ASSERT_EQ(whole.size(), 249u);
  const std::string text = "(" + whole + ")+1";
  OutBuffer out('\0');
  SplitArguments(text.c_str(), out.data(), 1);
  EXPECT_TRUE(HoldsExactly(out, second, '\0'));

  const std::string single(249, 'c');
  OutBuffer single_out('\0');
  SplitArguments(("(" + single + ")").c_str(), single_out.data(), 0);
  EXPECT_TRUE(HoldsExactly(single_out, single, '\0'));
}

TEST(SplitArguments, EachCallFindsTheListAnew) {
  const char* text = "(p, q)";
  OutBuffer second('\0');
  SplitArguments(text, second.data(), 1);
  OutBuffer first('\0');
  SplitArguments(text, first.data(), 0);
  OutBuffer again('\0');
  SplitArguments(text, again.data(), 1);
  EXPECT_TRUE(HoldsExactly(first, "p", '\0'));
  EXPECT_TRUE(HoldsExactly(second, " q", '\0'));
  EXPECT_TRUE(HoldsExactly(again, " q", '\0'));
}

struct TrimCase {
  const char* text;
  const char* word;
};

TEST(TrimWord, WritesTheFirstBlankDelimitedWordOnly) {
  const TrimCase cases[] = {
      {"  ab c", "ab"}, {" 100 ", "100"}, {"x y", "x"},     {"abc", "abc"},      {"", ""},
      {"   ", ""},      {"x\t", "x\t"},   {"\tx y", "\tx"}, {"a(b, c)", "a(b,"}, {"-12 5", "-12"},
      {"  2 5", "2"},   {" ,", ","},
  };
  for (const TrimCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    OutBuffer zeros('\0');
    TrimWord(c.text, zeros.data());
    EXPECT_TRUE(HoldsExactly(zeros, c.word, '\0'));
    OutBuffer marked('Z');
    TrimWord(c.text, marked.data());
    EXPECT_TRUE(HoldsExactly(marked, c.word, 'Z'));
  }
}

TEST(TrimWord, WordOf249Characters) {
  const std::string word(249, 'w');
  OutBuffer out('\0');
  TrimWord(word.c_str(), out.data());
  EXPECT_TRUE(HoldsExactly(out, word, '\0'));
  OutBuffer padded('\0');
  TrimWord((" " + std::string(247, 'v') + " ").c_str(), padded.data());
  EXPECT_TRUE(HoldsExactly(padded, std::string(247, 'v'), '\0'));
}

struct ParenCase {
  const char* text;
  std::int32_t position;
};

TEST(FindClosingParen, FirstParenthesisThatBalancesTheText) {
  const ParenCase cases[] = {
      {"(1,2)", 4},
      {"(x,0,1,100,x^2)+1", 14},
      {"(x, 0, 1, 100, x^2) + 1", 18},
      {"(i,1,3,sigma(j,1,i,j))", 21},
      {"(a(b)c)d)", 6},
      {")(()", 3},
      {"()", 1},
      {"a()b)", 2},
      {"x(i,1,3,i)+5", 9},
      // Without a balancing ")" the answer is the last character.
      {"", -1},
      {"abc", 2},
      {"(", 0},
      {"((", 1},
      {"(()", 2},
      {")", 0},
      {"x)(i,1,3,i)+5", 12},
  };
  for (const ParenCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(FindClosingParen(c.text), c.position);
  }
}

TEST(FindClosingParen, LongText) {
  const std::string open(124, '(');
  const std::string close(124, ')');
  EXPECT_EQ(FindClosingParen((open + close + "+1").c_str()), 247);
  EXPECT_EQ(FindClosingParen((open + close.substr(1)).c_str()), 246);
}

}  // namespace
}  // namespace calculator_test
