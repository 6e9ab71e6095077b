#include "console/line_editor.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <string_view>

#include "console/signals.h"

#ifdef CALCULATOR_HAVE_LIBEDIT
#include <editline/readline.h>
#else
#include "console/line_reader.h"
#endif

namespace {

void WriteToTerminal(std::string_view text) {
  // Only screen cosmetics: a failed write changes nothing else.
  if (write(STDOUT_FILENO, text.data(), text.size()) < 0) {
    return;
  }
}

}  // namespace

#ifdef CALCULATOR_HAVE_LIBEDIT

namespace {

constexpr int kHistoryLines = 1000;

// A line of nothing but blanks is not worth recalling.
bool IsBlank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

std::string NewestHistoryLine() {
  if (history_length <= 0) {
    return {};
  }
  HIST_ENTRY* entry = history_get(history_base + history_length - 1);
  return entry != nullptr && entry->line != nullptr ? entry->line : "";
}

}  // namespace

struct LineEditor::State {
  std::function<CompletionNames()> names;
  std::optional<HistoryLocation> history;
  bool can_save = false;
  std::string newest_line;  // never added twice in a row
  // What this session typed, for the merge with the file at the end.
  std::deque<std::string> typed_lines;
  // The matches of the completion in progress, handed out one by one.
  std::vector<std::string> matches;
  std::size_t next_match = 0;

  void LoadHistory();
  void Remember(const std::string& line);
};

namespace {

// libedit's completion calls carry no context; there is one editor at most.
LineEditor::State* completing_editor = nullptr;

char* NextMatch(const char* /*text*/, int state) {
  LineEditor::State& editor = *completing_editor;
  if (state == 0) {
    editor.next_match = 0;
  }
  if (editor.next_match >= editor.matches.size()) {
    return nullptr;
  }
  return strdup(editor.matches[editor.next_match++].c_str());
}

char** CompleteWordAtCursor(const char* text, int /*start*/, int /*end*/) {
  // Never fall back to completing file names.
  rl_attempted_completion_over = 1;
  Completion completion = CompleteName(text, completing_editor->names());
  if (completion.matches.empty()) {
    return nullptr;
  }
  rl_completion_append_character = completion.opens_call ? '(' : '\0';
  completing_editor->matches = std::move(completion.matches);
  return rl_completion_matches(text, NextMatch);
}

char* NoFileNames(const char* /*text*/, int /*state*/) {
  return nullptr;
}

// Waits for the next byte typed. False when a stop signal came first.
bool ReadTypedByte(int fd, unsigned char& byte) {
  return WaitForInput(fd) && read(fd, &byte, 1) == 1;
}

// Reads one typed character for libedit, which takes it as a wide
// character: a multibyte sequence of the terminal's character set is read
// whole.
int ReadKey(FILE* stream) {
  std::mbstate_t state{};
  for (;;) {
    unsigned char byte = 0;
    if (!ReadTypedByte(fileno(stream), byte)) {
      return EOF;
    }
    wchar_t wide = 0;
    const std::size_t used = std::mbrtowc(&wide, reinterpret_cast<const char*>(&byte), 1, &state);
    if (used == static_cast<std::size_t>(-2)) {
      continue;  // more bytes of this character follow
    }
    if (used == static_cast<std::size_t>(-1)) {
      return byte;
    }
    return static_cast<int>(wide);
  }
}

}  // namespace

void LineEditor::State::LoadHistory() {
  if (!history) {
    return;
  }
  const int error = PrepareHistoryFile(*history);
  can_save = error == 0;
  if (!can_save) {
    WarnHistoryNotKept(history->file, error);
  }
  read_history(history->file.c_str());
  stifle_history(kHistoryLines);
  newest_line = NewestHistoryLine();
}

void LineEditor::State::Remember(const std::string& line) {
  if (IsBlank(line) || line == newest_line) {
    return;
  }
  add_history(line.c_str());
  newest_line = line;
  typed_lines.push_back(line);
  if (typed_lines.size() > static_cast<std::size_t>(kHistoryLines)) {
    typed_lines.pop_front();
  }
}

LineEditor::LineEditor(std::function<CompletionNames()> names,
                       std::optional<HistoryLocation> history)
    : state_(std::make_unique<State>()) {
  state_->names = std::move(names);
  state_->history = std::move(history);
  completing_editor = state_.get();
  rl_readline_name = "calculator";
  rl_attempted_completion_function = CompleteWordAtCursor;
  rl_completion_entry_function = NoFileNames;
  rl_basic_word_break_characters = kCompletionWordBreaks;
  rl_getc_function = ReadKey;
  using_history();
  state_->LoadHistory();
}

LineEditor::~LineEditor() {
  completing_editor = nullptr;
}

LineEditor::Outcome LineEditor::ReadLine(std::string& line) {
  char* typed = readline("");
  if (typed == nullptr) {
    // A stop signal ends the wait for a key (see ReadKey); otherwise it is
    // Ctrl-D on an empty line or the end of input.
    const bool cut_short = PendingStopSignal() != 0;
    WriteToTerminal(cut_short && PendingStopSignal() == SIGINT ? "^C\n" : "\n");
    return cut_short ? Outcome::kCutShort : Outcome::kEnd;
  }
  line = typed;
  std::free(typed);
  if (PendingStopSignal() == SIGINT) {
    // Ctrl-C right after the Enter key, before the line came back: it was
    // meant for this line, which is dropped as while typing.
    WriteToTerminal("^C\n");
    return Outcome::kCutShort;
  }
  state_->Remember(line);
  return Outcome::kLine;
}

void LineEditor::SaveHistory() {
  if (!state_->history || !state_->can_save || state_->typed_lines.empty()) {
    return;
  }
  // Another session may have saved since this one started: keep its lines
  // and add this session's after them.
  const char* file = state_->history->file.c_str();
  clear_history();
  read_history(file);
  std::string newest = NewestHistoryLine();
  for (const std::string& line : state_->typed_lines) {
    if (line != newest) {
      add_history(line.c_str());
      newest = line;
    }
  }
  stifle_history(kHistoryLines);
  if (const int error = write_history(file); error != 0) {
    WarnHistoryNotKept(state_->history->file, error);
  }
}

#else  // no libedit: the terminal's own line input

struct LineEditor::State {
  LineReader reader;
};

namespace {

bool WaitForInputUnlessStopped(void* /*context*/, int fd) {
  return WaitForInput(fd);
}

}  // namespace

LineEditor::LineEditor(std::function<CompletionNames()> /*names*/,
                       std::optional<HistoryLocation> /*history*/)
    : state_(std::make_unique<State>()) {
  LineReaderHooks hooks;
  hooks.wait_for_input = WaitForInputUnlessStopped;
  OpenLineReader(state_->reader, STDIN_FILENO, hooks);
}

LineEditor::~LineEditor() = default;

LineEditor::Outcome LineEditor::ReadLine(std::string& line) {
  char buffer[kLineBufferSize];
  const bool got_line = ::ReadLine(state_->reader, buffer);
  if (PendingStopSignal() != 0) {
    // The terminal has dropped what was typed and echoed ^C itself; the
    // reader stopped for good, so it starts again for the next line.
    WriteToTerminal("\n");
    LineReaderHooks hooks = state_->reader.hooks;
    OpenLineReader(state_->reader, STDIN_FILENO, hooks);
    return Outcome::kCutShort;
  }
  if (!got_line) {
    return Outcome::kEnd;
  }
  line.assign(buffer);
  return Outcome::kLine;
}

void LineEditor::SaveHistory() {}

#endif
