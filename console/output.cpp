#include "console/output.h"

#include <cstring>

#include "calculator/calculator.h"

void WriteLine(const char* first, const char* second) {
  char line[kTextBufferSize] = {};
  std::strncat(line, first, sizeof line - 1);
  std::strncat(line, second, sizeof line - 1 - std::strlen(line));
  WriteStandardOutputLine(line);
}
