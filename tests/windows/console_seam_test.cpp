// The Windows side of the console's platform seam: UTF-8 names of files
// reach the file system in UTF-16, whatever the code page.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "console/platform/descriptors.h"
#include "console/platform/wide_text_windows.h"

namespace {

struct Conversion {
  const char* utf8;
  const wchar_t* wide;
};

const Conversion kConversions[] = {
    {"", L""},
    {"plain.txt", L"plain.txt"},
    {"\xc3\xa9t\xc3\xa9.txt", L"\u00e9t\u00e9.txt"},
    {"\xe6\x95\xb0\xe5\xbc\x8f", L"\u6570\u5f0f"},
    {"\xf0\x9f\x98\x80", L"\U0001F600"},
};

TEST(WideText, ConvertsBothWays) {
  for (const Conversion& c : kConversions) {
    std::wstring wide;
    EXPECT_TRUE(WideFromUtf8(c.utf8, wide)) << c.utf8;
    EXPECT_EQ(wide, c.wide) << c.utf8;
    EXPECT_EQ(Utf8FromWide(wide.data(), wide.size()), c.utf8);
  }
}

TEST(WideText, RefusesInvalidUtf8) {
  for (const char* invalid : {"\xff", "a\xc3", "\xed\xa0\x80"}) {
    std::wstring wide = L"left over";
    EXPECT_FALSE(WideFromUtf8(invalid, wide)) << invalid;
    EXPECT_TRUE(wide.empty());
  }
}

TEST(OpenFileForReading, OpensANameOutsideTheCodePage) {
  const wchar_t* path = L"calculator-\u6570\u5f0f.txt";
  FILE* file = _wfopen(path, L"wb");
  ASSERT_NE(file, nullptr);
  std::fputs("1+2\r\n\x1a", file);
  std::fclose(file);
  int fd = -1;
  ASSERT_EQ(OpenFileForReading("calculator-\xe6\x95\xb0\xe5\xbc\x8f.txt", fd), 0);
  char bytes[16] = {};
  // Binary: the CR and the ^Z arrive as they are.
  EXPECT_EQ(_read(fd, bytes, sizeof bytes), 6);
  EXPECT_STREQ(bytes, "1+2\r\n\x1a");
  _close(fd);
  _wremove(path);
}

TEST(OpenFileForReading, ReportsWhatFailed) {
  CreateDirectoryW(L"calculator-directory", nullptr);
  const struct {
    const char* name;
    int error;
  } failures[] = {
      {"calculator-directory", EISDIR},
      {"calculator-no-such-file", ENOENT},
      {"bad-\xff", EILSEQ},
  };
  for (const auto& failure : failures) {
    int fd = 0;
    EXPECT_EQ(OpenFileForReading(failure.name, fd), failure.error) << failure.name;
    EXPECT_EQ(fd, -1);
  }
  RemoveDirectoryW(L"calculator-directory");
}

}  // namespace
