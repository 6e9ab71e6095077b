// The line reader on real file descriptors: a regular file (reads return
// whole chunks) and a pipe fed one byte per write (reads return pieces).

#include "console/input/line_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A line as the reader leaves it: the whole buffer, terminator and zero fill
// included, so bytes after an inner NUL are compared too.
std::string Padded(const std::string& line) {
  std::string buffer = line;
  buffer.resize(kLineBufferSize, '\0');
  return buffer;
}

std::string Visible(const std::string& buffer) {
  std::string text;
  std::size_t end = buffer.size();
  while (end > 0 && buffer[end - 1] == '\0') {
    --end;
  }
  for (std::size_t i = 0; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(buffer[i]);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\0') {
      text += "\\0";
    } else if (c < 0x20 || c >= 0x7f) {
      text += "\\x" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15];
    } else {
      text += static_cast<char>(c);
    }
  }
  return "\"" + text + "\" (" + std::to_string(end) + " bytes before the zero fill)";
}

// Reads every line from `fd` until ReadLine reports the end, checking the
// buffer contract on every call.
std::vector<std::string> ReadAll(int fd) {
  auto reader = std::make_unique<LineReader>();
  OpenLineReader(*reader, fd);
  std::vector<std::string> lines;
  char buffer[kLineBufferSize];
  for (int guard = 0; guard < 1000000; ++guard) {
    std::fill(buffer, buffer + kLineBufferSize, 'Z');  // must be cleared by the call
    const bool got = ReadLine(*reader, buffer);
    const std::string line(buffer, kLineBufferSize);
    if (!got) {
      EXPECT_EQ(Padded(""), line) << "buffer not all zeros after the end of input";
      // The end stays the end.
      EXPECT_FALSE(ReadLine(*reader, buffer));
      return lines;
    }
    EXPECT_EQ('\0', buffer[kLineBufferSize - 1]) << "line not terminated";
    lines.push_back(line);
  }
  ADD_FAILURE() << "ReadLine never reported the end of input";
  return lines;
}

std::vector<std::string> ReadAllFromFile(const std::string& input) {
  char path[] = "/tmp/line-reader-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  if (fd < 0) {
    return {};
  }
  unlink(path);
  EXPECT_EQ(static_cast<ssize_t>(input.size()), write(fd, input.data(), input.size()));
  lseek(fd, 0, SEEK_SET);
  std::vector<std::string> lines = ReadAll(fd);
  close(fd);
  return lines;
}

// Feeds `input` through a pipe in pieces of `piece` bytes, one write each.
std::vector<std::string> ReadAllFromPipe(const std::string& input, std::size_t piece) {
  int fds[2];
  EXPECT_EQ(0, pipe(fds));
  std::thread writer([&input, piece, fd = fds[1]] {
    for (std::size_t at = 0; at < input.size(); at += piece) {
      const std::size_t size = std::min(piece, input.size() - at);
      if (write(fd, input.data() + at, size) != static_cast<ssize_t>(size)) {
        break;
      }
    }
    close(fd);
  });
  std::vector<std::string> lines = ReadAll(fds[0]);
  writer.join();
  close(fds[0]);
  return lines;
}

void ExpectLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual,
                 const std::string& source) {
  EXPECT_EQ(expected.size(), actual.size()) << source << ": number of lines";
  for (std::size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
    EXPECT_EQ(Padded(expected[i]), actual[i])
        << source << ", line " << i << ": expected " << Visible(Padded(expected[i])) << ", got "
        << Visible(actual[i]);
  }
}

std::string Repeat(char c, int count) {
  return std::string(static_cast<std::size_t>(count), c);
}

// Line text from index 0 to 248 with every position distinguishable.
std::string Numbered(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += static_cast<char>('a' + i % 26);
  }
  return text;
}

struct ReaderCase {
  const char* name;
  std::string input;
  std::vector<std::string> lines;
};

std::vector<ReaderCase> ReaderCases() {
  const std::string l249 = Numbered(249);
  const std::string l1000 = Numbered(1000);
  std::string high;
  for (int c = 128; c <= 255; ++c) {
    high += static_cast<char>(c);
  }
  return {
      {"EmptyInput", "", {}},
      {"OneEmptyLine", "\n", {""}},
      {"SeveralEmptyLines", "\n\n\n", {"", "", ""}},
      {"TwoLines", "1+2\nabc\n", {"1+2", "abc"}},
      {"LastLineWithoutLineFeed", "1+2\nabc", {"1+2", "abc"}},
      {"LeadingBlanksAndTabsKept", "  \t 1 \n", {"  \t 1 "}},
      {"CrLfLineEnds", "a\r\nb\r\n\r\n", {"a", "b", ""}},
      {"LoneCrInsideALine", "a\rb\n", {"a\rb"}},
      {"LoneCrAtEndOfInput", "a\r", {"a\r"}},
      {"OnlyACr", "\r", {"\r"}},
      {"CrCrLf", "\r\r\n", {"\r"}},
      {"CrLfThenLoneCr", "1\r\n2\r", {"1", "2\r"}},
      {"NulIsStored", std::string("1+2\0junk\n", 9), {std::string("1+2\0junk", 8)}},
      {"NulAlone", std::string("\0\n", 2), {std::string("\0", 1)}},
      {"NulAtEndOfInput", std::string("7\0", 2), {std::string("7\0", 2)}},
      {"HighBytesStored", high + "\n", {high}},
      {"Exactly249ThenLineFeed", l249 + "\nnext\n", {l249, "next"}},
      {"Exactly249AtEndOfInput", l249, {l249}},
      {"Exactly249ThenCrLf", l249 + "\r\nnext\n", {l249, "next"}},
      {"Exactly249ThenEmptyLine", l249 + "\n\n", {l249, ""}},
      {"Line248PlusCrBeforeCrLf", Numbered(248) + "\r\r\nnext\n", {Numbered(248) + "\r", "next"}},
      {"Line250KeepsFirst249", Numbered(250) + "\nnext\n", {l249, "next"}},
      {"Line250AtEndOfInput", Numbered(250), {l249}},
      {"Line250WithCrLf", Numbered(250) + "\r\nnext\r\n", {l249, "next"}},
      {"Line249ThenLoneCrThenMore", l249 + "\rxyz\nnext\n", {l249, "next"}},
      {"Line249ThenLoneCrAtEndOfInput", l249 + "\r", {l249}},
      {"Line1000KeepsFirst249", l1000 + "\nnext\n", {l249, "next"}},
      {"Line1000AtEndOfInput", l1000, {l249}},
      {"OverlongThenEmptyLine", l1000 + "\n\nnext", {l249, "", "next"}},
      {"TwoOverlongLines", l1000 + "\n" + Repeat('q', 300) + "\n", {l249, Repeat('q', 249)}},
      {"OverlongLineWithNulAfterTheLimit", l249 + std::string("\0\n", 2) + "x\n", {l249, "x"}},
  };
}

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ReaderCase& test_case, std::ostream* out) {
  *out << test_case.name;
}

class LineReaderTest : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(LineReaderTest, FromRegularFile) {
  ExpectLines(GetParam().lines, ReadAllFromFile(GetParam().input), "file");
}

TEST_P(LineReaderTest, FromPipeOneByteAtATime) {
  ExpectLines(GetParam().lines, ReadAllFromPipe(GetParam().input, 1), "pipe");
}

INSTANTIATE_TEST_SUITE_P(Inputs, LineReaderTest, ::testing::ValuesIn(ReaderCases()),
                         [](const ::testing::TestParamInfo<ReaderCase>& info) {
                           return std::string(info.param.name);
                         });

// Filler lines of 100 bytes up to `length` bytes in total (a multiple of 100).
void AddFiller(std::string& input, std::vector<std::string>& lines, std::size_t length) {
  while (input.size() + 100 <= length) {
    lines.push_back(std::string(99, static_cast<char>('A' + lines.size() % 26)));
    input += lines.back() + "\n";
  }
}

// A CR LF pair, a line feed or an overlong line split across two reads of a
// regular file must give the same lines as anywhere else.
TEST(LineReaderChunks, CrLfSplitAcrossReads) {
  for (int shift = -2; shift <= 2; ++shift) {
    std::string input;
    std::vector<std::string> lines;
    AddFiller(input, lines, (kReadChunkSize / 100 - 1) * 100);
    // The CR of this line lands at kReadChunkSize - 1 + shift.
    const std::size_t cr_at = static_cast<std::size_t>(kReadChunkSize - 1 + shift);
    const std::string line = Repeat('y', static_cast<int>(cr_at - input.size()));
    input += line + "\r\nz\r\n";
    lines.push_back(line);
    lines.push_back("z");
    ExpectLines(lines, ReadAllFromFile(input), "CR at chunk end " + std::to_string(shift));
  }
}

TEST(LineReaderChunks, LineLimitAcrossReads) {
  for (int shift = -3; shift <= 3; ++shift) {
    std::string input;
    std::vector<std::string> lines;
    AddFiller(input, lines, (kReadChunkSize / 100 - 3) * 100);
    // The 250th character of the next line lands at kReadChunkSize + shift.
    const std::size_t start = static_cast<std::size_t>(kReadChunkSize + shift) - 249;
    AddFiller(input, lines, start / 100 * 100);
    // One short line (its line feed included) fills the gap to `start`.
    const std::string pad = Repeat('p', static_cast<int>(start - input.size()) - 1);
    input += pad + "\n";
    lines.push_back(pad);
    input += Numbered(400) + "\n" + Numbered(249) + "\nend";
    lines.push_back(Numbered(249));
    lines.push_back(Numbered(249));
    lines.push_back("end");
    ExpectLines(lines, ReadAllFromFile(input), "limit at chunk end " + std::to_string(shift));
  }
}

TEST(LineReaderChunks, ManyLinesOverManyReads) {
  std::string input;
  std::vector<std::string> lines;
  for (int i = 0; i < 60000; ++i) {
    lines.push_back(std::to_string(i) + Repeat('+', i % 13));
    input += lines.back() + (i % 2 ? "\r\n" : "\n");
  }
  ExpectLines(lines, ReadAllFromFile(input), "file");
  ExpectLines(lines, ReadAllFromPipe(input, 4093), "pipe");
}

}  // namespace
