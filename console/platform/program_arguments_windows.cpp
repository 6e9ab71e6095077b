// The Windows side of program_arguments.h: the UTF-16 command line as
// UTF-8 arguments.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cwchar>

#include "console/platform/program_arguments.h"
#include "console/platform/wide_text_windows.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    return std::vector<std::string>(argv, argv + argc);  // the code page's text
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    arguments.push_back(Utf8FromWide(wide[i], std::wcslen(wide[i])));
  }
  LocalFree(wide);
  return arguments;
}
