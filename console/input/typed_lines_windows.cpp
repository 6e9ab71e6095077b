// The lines typed at the Windows console, whose own line editing and
// history (cooked mode) take the place of the key editor.

#include <windows.h>

#include <string>

#include "console/input/typed_lines.h"
#include "console/platform/stop_signals.h"
#include "console/platform/wide_text_windows.h"

namespace {

constexpr wchar_t kEndOfFileKey = 0x1A;  // Ctrl-Z, then Enter

class ConsoleLines : public LineSource {
 public:
  // What the program writes is UTF-8, as the typed lines it echoes are;
  // the console's own code page comes back when the session ends.
  explicit ConsoleLines(Output& output) : output_(output), code_page_(GetConsoleOutputCP()) {
    SetConsoleOutputCP(CP_UTF8);
  }

  Outcome Next(std::string_view& line) override {
    output_.BeforeWait();
    if (output_.failed()) {
      return Outcome::kEnd;
    }
    std::wstring typed;
    const Outcome outcome = ReadTypedLine(typed);
    if (outcome != Outcome::kLine) {
      return outcome;
    }
    if (!typed.empty() && typed[0] == kEndOfFileKey) {
      return Outcome::kEnd;
    }
    line_ = Utf8FromWide(typed.data(), typed.size());
    line = line_;
    return Outcome::kLine;
  }

  bool typed() const override { return true; }
  void Finish() override {
    output_.Flush();
    if (code_page_ != 0) {
      SetConsoleOutputCP(code_page_);
    }
  }

 private:
  // Reads up to the Enter that ends a line; the line comes without its
  // CR LF. A Ctrl-C while the line is typed drops it.
  Outcome ReadTypedLine(std::wstring& typed) {
    const HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
      wchar_t chunk[1024];
      DWORD count = 0;
      const BOOL read = ReadConsoleW(console, chunk, ARRAYSIZE(chunk), &count, nullptr);
      // The console ends a read at Ctrl-C with no characters, possibly
      // before the stop request is recorded.
      if (PendingStopSignal() != 0 || (read && count == 0) ||
          (!read && GetLastError() == ERROR_OPERATION_ABORTED)) {
        return Outcome::kCutShort;
      }
      if (!read) {
        return Outcome::kEnd;  // the console is gone
      }
      typed.append(chunk, count);
      if (typed.back() == L'\n') {
        typed.pop_back();
        if (!typed.empty() && typed.back() == L'\r') {
          typed.pop_back();
        }
        return Outcome::kLine;
      }
    }
  }

  Output& output_;
  const UINT code_page_;  // 0 when it could not be read
  std::string line_;
};

}  // namespace

std::unique_ptr<LineSource> OpenTypedLines(Output& output, const calculator::Session&) {
  return std::make_unique<ConsoleLines>(output);
}
