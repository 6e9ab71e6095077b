#include "console/input/typed_lines.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "console/command_line.h"
#include "console/input/line_reader.h"
#include "console/platform/stop_signals.h"

#ifdef CALCULATOR_HAVE_LIBEDIT
#include "console/input/key_editor_posix.h"
#include "console/input/libedit_posix.h"
#endif

namespace {

void WriteToTerminal(std::string_view text) {
  // Only screen cosmetics: a failed write changes nothing else.
  if (write(STDOUT_FILENO, text.data(), text.size()) < 0) {
    return;
  }
}

bool IsBlank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

void WarnLongLine() {
  std::fprintf(stderr, "%s: only the first %d characters of the line were read\n", kProgramName,
               kMaxLineLength);
}

// The terminal's own line input: the terminal echoes and edits, the
// program only collects whole lines.
class PlainLines {
 public:
  LineEditor::Outcome Read(std::string& line) {
    for (;;) {
      const std::size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        line.assign(pending_, 0, end);
        pending_.erase(0, end + 1);
        return LineEditor::Outcome::kLine;
      }
      if (ended_) {
        if (pending_.empty()) {
          return LineEditor::Outcome::kEnd;
        }
        line.swap(pending_);
        pending_.clear();
        return LineEditor::Outcome::kLine;
      }
      if (!WaitForInput(STDIN_FILENO)) {
        // The terminal has dropped what was typed and echoed ^C itself.
        pending_.clear();
        WriteToTerminal("\n");
        return LineEditor::Outcome::kCutShort;
      }
      Fill();
    }
  }

 private:
  void Fill() {
    char chunk[4096];
    const ssize_t count = read(STDIN_FILENO, chunk, sizeof chunk);
    if (count > 0) {
      pending_.append(chunk, static_cast<std::size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      // Ctrl-D, or a terminal that is gone: the session ends on a fresh
      // line.
      ended_ = true;
      WriteToTerminal("\n");
    }
  }

  std::string pending_;
  bool ended_ = false;
};

#ifdef CALCULATOR_HAVE_LIBEDIT
// Line editing needs a terminal that can move its cursor about.
bool TerminalCanEdit() {
  const char* term = std::getenv("TERM");
  return term != nullptr && term[0] != '\0' && std::strcmp(term, "dumb") != 0;
}
#endif

}  // namespace

struct LineEditor::State {
  std::function<CompletionNames()> names;
  std::optional<HistoryLocation> history;  // none: nothing is kept
  HistoryLines recalled;                   // the lines that Up and Ctrl-R go through
  HistoryLines typed;                      // this session's, for the save at the end
  PlainLines plain;
#ifdef CALCULATOR_HAVE_LIBEDIT
  std::unique_ptr<KeyEditor> keys;
#endif

  Outcome ReadTyped(std::string& line);
  void Remember(const std::string& line);
};

LineEditor::Outcome LineEditor::State::ReadTyped(std::string& line) {
#ifdef CALCULATOR_HAVE_LIBEDIT
  if (keys) {
    return keys->Read(line);
  }
#endif
  return plain.Read(line);
}

void LineEditor::State::Remember(const std::string& line) {
  // Such a line (Ctrl-V Ctrl-J) would come back from the file as two.
  if (line.find('\n') != std::string::npos) {
    return;
  }
  // Whether it repeats the line before it is decided again at the save,
  // against the file as other sessions have left it.
  AddHistoryLine(typed, line);
  if (!recalled.empty() && recalled.back() == line) {
    return;
  }
  AddHistoryLine(recalled, line);
#ifdef CALCULATOR_HAVE_LIBEDIT
  if (keys) {
    keys->Recall(line);
  }
#endif
}

LineEditor::LineEditor(std::function<CompletionNames()> names,
                       std::optional<HistoryLocation> history)
    : state_(std::make_unique<State>()) {
  state_->names = std::move(names);
  if (history) {
    if (std::optional<HistoryLines> lines = LoadHistoryLines(*history)) {
      state_->history = std::move(history);
      state_->recalled = std::move(*lines);
    }
  }
#ifdef CALCULATOR_HAVE_LIBEDIT
  if (TerminalCanEdit() && LoadLibedit() != nullptr) {
    state_->keys = std::make_unique<KeyEditor>(state_->names, state_->recalled);
  }
#endif
}

LineEditor::~LineEditor() = default;

LineEditor::Outcome LineEditor::ReadLine(std::string& line) {
  for (;;) {
    const Outcome outcome = state_->ReadTyped(line);
    if (outcome != Outcome::kLine) {
      return outcome;
    }
    // A NUL (Ctrl-@, Ctrl-Space) is no part of any expression.
    line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
    if (IsBlank(line)) {
      continue;
    }
    state_->Remember(line);
    if (line.size() > static_cast<std::size_t>(kMaxLineLength)) {
      WarnLongLine();
    }
    return outcome;
  }
}

void LineEditor::SaveHistory() {
  if (!state_->history || state_->typed.empty()) {
    return;
  }
  SaveHistoryLines(*state_->history,
                   std::vector<std::string>(state_->typed.begin(), state_->typed.end()));
  // Saved or warned about once: a further call adds nothing twice.
  state_->typed.clear();
}
