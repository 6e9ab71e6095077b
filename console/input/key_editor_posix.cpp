// Reading keys and keeping the screen right: the core of the key editor.

#include "console/input/key_editor_posix.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "console/input/libedit_posix.h"
#include "console/platform/stop_signals.h"
#include "console/platform/stop_signals_posix.h"

namespace {

// Set by the handlers of SIGWINCH and SIGCONT. There is one terminal, so
// one flag each.
volatile std::sig_atomic_t window_resized = 0;
volatile std::sig_atomic_t resumed = 0;

extern "C" void NoteTerminalChange(int signal) {
  if (signal == SIGCONT) {
    resumed = 1;
  } else {
    window_resized = 1;
  }
}

constexpr int kTerminalChanges[] = {SIGWINCH, SIGCONT};

// The rest of a key's sequence comes in the same write as its Escape; a
// key pressed after Escape comes far later than this.
constexpr int kSequencePatienceMilliseconds = 50;

// libedit shifts the text of a wrapped line with the terminal's
// insert-character sequences; when an insertion carries text across a row
// end, what it then draws leaves rows torn apart (tmux, 25 columns, Home and
// typing before a three-row line). Without those sequences it writes the
// rest of each changed row out, which is always right.
void DrawWithoutInsertingCharacters(EditLine* editor) {
  for (const char* capability : {"im", "ic", "ei", "ip", "IC"}) {
    Libedit().el_set(editor, EL_SETTC, capability, "", static_cast<const char*>(nullptr));
  }
}

enum class Wait { kInput, kResized, kResumed, kStopped };

bool KeyWaitMustEnd(void*) {
  return PendingStopSignal() != 0 || window_resized != 0 || resumed != 0;
}

// Like WaitForInput, but a resized window or a return from Ctrl-Z ends the
// wait too.
Wait WaitForKey(int fd) {
  if (WaitUnlessStopped(fd, POLLIN, {SIGWINCH, SIGCONT}, KeyWaitMustEnd, nullptr)) {
    return Wait::kInput;
  }
  if (PendingStopSignal() != 0) {
    return Wait::kStopped;
  }
  if (resumed != 0) {
    resumed = 0;
    window_resized = 0;
    return Wait::kResumed;
  }
  window_resized = 0;
  return Wait::kResized;
}

// Moves the cursor `count` columns right (or none).
std::string MovesRight(int count) {
  return count > 0 ? "\x1b[" + std::to_string(count) + "C" : "";
}

}  // namespace

void WriteToTerminal(std::string_view text) {
  std::fflush(stdout);
  if (write(STDOUT_FILENO, text.data(), text.size()) < 0) {
    return;
  }
}

KeyEditor& KeyEditor::Of(EditLine* editor) {
  void* keys = nullptr;
  Libedit().el_get(editor, EL_CLIENTDATA, &keys);
  return *static_cast<KeyEditor*>(keys);
}

wchar_t* KeyEditor::Prompt(EditLine* editor) {
  return Of(editor).prompt_.data();
}

int KeyEditor::ReadKey(EditLine* editor, wchar_t* key) {
  return Of(editor).ReadKey(*key);
}

int KeyEditor::Columns() const {
  int columns = 0;
  Libedit().el_get(editor_, EL_GETTC, "co", &columns);
  return columns > 0 ? columns : 80;
}

ScreenPosition KeyEditor::PositionOf(std::size_t index) const {
  const int columns = Columns();
  ScreenPosition at;
  for (const wchar_t c : prompt_) {
    text_.Advance(at, c, columns);
  }
  const LineInfoW* line = Libedit().el_wline(editor_);
  for (const wchar_t* c = line->buffer; c < line->lastchar && c < line->buffer + index; ++c) {
    text_.Advance(at, *c, columns);
  }
  return at;
}

ScreenPosition KeyEditor::CursorPosition() const {
  const LineInfoW* line = Libedit().el_wline(editor_);
  return PositionOf(static_cast<std::size_t>(line->cursor - line->buffer));
}

ScreenPosition KeyEditor::EndPosition() const {
  const LineInfoW* line = Libedit().el_wline(editor_);
  return PositionOf(static_cast<std::size_t>(line->lastchar - line->buffer));
}

// The terminal turns each line feed into a carriage return and a line
// feed, as libedit leaves it. A line that fills its last screen line has
// put the cursor at the start of a fresh one already, where no further
// line feed belongs.
std::string KeyEditor::MovesBelowLine() const {
  const ScreenPosition cursor = CursorPosition();
  const ScreenPosition end = EndPosition();
  std::string moves(static_cast<std::size_t>(std::max(0, end.row - cursor.row)), '\n');
  if (end.column > 0 || end.row == 0) {
    moves += '\n';
  }
  return moves;
}

std::string KeyEditor::MovesToLineEnd() const {
  const ScreenPosition cursor = CursorPosition();
  const ScreenPosition end = EndPosition();
  if (end.row == cursor.row) {
    return MovesRight(end.column - cursor.column);
  }
  return std::string(static_cast<std::size_t>(std::max(0, end.row - cursor.row)), '\n') + "\r" +
         MovesRight(end.column);
}

void KeyEditor::DrawAgain(ScreenPosition drawn, bool on_clear_screen) {
  std::string moves = "\r";
  if (drawn.row > 0) {
    moves += "\x1b[" + std::to_string(drawn.row) + "A";
  }
  moves += "\x1b[J";
  if (on_clear_screen) {
    moves += "\x1b[H\x1b[2J";
  }
  WriteToTerminal(moves);
  Libedit().el_set(editor_, EL_REFRESH);
}

// Terminals today (tmux, VTE, kitty...) rewrap what they show to the new
// width, so the cursor is where the line puts it at that width.
void KeyEditor::DrawAfterResize() {
  Libedit().el_resize(editor_);
  ScreenPosition cursor = CursorPosition();
  // A line that ends exactly at the new right margin leaves the rewrapped
  // cursor at that margin, not at the start of the next row.
  const LineInfoW* line = Libedit().el_wline(editor_);
  if (line->cursor == line->lastchar && cursor.column == 0 && cursor.row > 0) {
    --cursor.row;
  }
  DrawAgain(cursor);
}

// Back from Ctrl-Z: the shell has put the terminal back in its line mode
// and left the cursor on a fresh line.
void KeyEditor::DrawAfterResume() {
  // libedit believes it is still in its own mode, which it would not set
  // again.
  Libedit().el_set(editor_, EL_PREP_TERM, 0);
  Libedit().el_set(editor_, EL_PREP_TERM, 1);
  Libedit().el_resize(editor_);
  DrawAgain(ScreenPosition{});
}

void KeyEditor::Show(const std::wstring& new_prompt, const std::wstring& text, std::size_t cursor) {
  const ScreenPosition drawn = CursorPosition();
  prompt_ = new_prompt;
  Replace(text, cursor);
  DrawAgain(drawn);
}

void KeyEditor::Replace(const std::wstring& text, std::size_t cursor) {
  const LineInfoW* line = Libedit().el_wline(editor_);
  const int length = static_cast<int>(line->lastchar - line->buffer);
  Libedit().el_cursor(editor_, static_cast<int>(line->lastchar - line->cursor));
  Libedit().el_deletestr(editor_, length);
  if (!text.empty()) {
    Libedit().el_winsertstr(editor_, text.c_str());
  }
  Libedit().el_cursor(editor_, static_cast<int>(cursor) - static_cast<int>(text.size()));
}

bool KeyEditor::KeyFollows() {
  pollfd input = {STDIN_FILENO, POLLIN, 0};
  return !unread_.empty() || poll(&input, 1, kSequencePatienceMilliseconds) > 0;
}

int KeyEditor::ReadKey(wchar_t& key) {
  for (;;) {
    if (!unread_.empty()) {
      const std::size_t used = text_.DecodeCharacter(unread_, key);
      if (used > 0) {
        unread_.erase(0, used);
        // libedit would take the key after a NUL (Ctrl-@, Ctrl-Space) as
        // typed text, even Enter: the NUL is dropped.
        if (key == L'\0') {
          continue;
        }
        key_before_ = last_key_;
        last_key_ = key;
        return 1;
      }
    }
    switch (WaitForKey(STDIN_FILENO)) {
      case Wait::kStopped:
        // The line is dropped: what follows goes below all of it.
        WriteToTerminal(MovesToLineEnd());
        return 0;
      case Wait::kResized:
        DrawAfterResize();
        continue;
      case Wait::kResumed:
        DrawAfterResume();
        continue;
      case Wait::kInput:
        break;
    }
    char byte = 0;
    const ssize_t count = read(STDIN_FILENO, &byte, 1);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count != 1) {
      return count == 0 ? 0 : -1;
    }
    unread_ += byte;
  }
}

KeyEditor::KeyEditor(const std::function<CompletionNames()>& names, const HistoryLines& recalled)
    : names_(names), recalled_(recalled) {
  const LibeditFunctions& libedit = Libedit();
  history_ = libedit.history_winit();
  HistEventW event;
  libedit.history_w(history_, &event, H_SETSIZE, static_cast<int>(kHistoryLines));
  for (const std::string& line : recalled) {
    libedit.history_w(history_, &event, H_ENTER, text_.ToWide(line).c_str());
  }
  editor_ = libedit.el_init("calculator", stdin, stdout, stderr);
  libedit.el_set(editor_, EL_CLIENTDATA, this);
  libedit.el_set(editor_, EL_EDITOR, "emacs");
  libedit.el_set(editor_, EL_SIGNAL, 0);
  DrawWithoutInsertingCharacters(editor_);
  libedit.el_wset(editor_, EL_PROMPT, Prompt);
  libedit.el_wset(editor_, EL_HIST, libedit.history_w, history_);
  libedit.el_wset(editor_, EL_GETCFN, static_cast<int (*)(EditLine*, wchar_t*)>(ReadKey));
  BindKeys(editor_);

  struct sigaction action = {};
  action.sa_handler = NoteTerminalChange;
  sigemptyset(&action.sa_mask);
  // Only the wait for a key is to end early: output under way goes on.
  action.sa_flags = SA_RESTART;
  static_assert(std::size(kTerminalChanges) ==
                sizeof previous_actions_ / sizeof previous_actions_[0]);
  for (std::size_t i = 0; i < std::size(kTerminalChanges); ++i) {
    sigaction(kTerminalChanges[i], &action, &previous_actions_[i]);
  }
}

KeyEditor::~KeyEditor() {
  for (std::size_t i = 0; i < std::size(kTerminalChanges); ++i) {
    sigaction(kTerminalChanges[i], &previous_actions_[i], nullptr);
  }
  Libedit().el_end(editor_);
  Libedit().history_wend(history_);
}

LineSource::Outcome KeyEditor::Read(std::string& line) {
  // libedit takes the size of the window itself as it starts a line.
  window_resized = 0;
  resumed = 0;
  prompt_.clear();
  recall_index_ = recalled_.size();
  draft_.clear();
  int count = 0;
  const wchar_t* typed = Libedit().el_wgets(editor_, &count);
  if (typed == nullptr || count <= 0) {
    // A stop signal ends the wait for a key (see ReadKey); otherwise it is
    // Ctrl-D on an empty line or the end of input.
    const bool cut_short = PendingStopSignal() != 0;
    WriteToTerminal(cut_short && PendingStopSignal() == SIGINT ? "^C\n" : "\n");
    return cut_short ? LineSource::Outcome::kCutShort : LineSource::Outcome::kEnd;
  }
  std::wstring_view text(typed, static_cast<std::size_t>(count));
  if (!text.empty() && text.back() == L'\n') {
    text.remove_suffix(1);
  }
  line = text_.ToBytes(text);
  if (PendingStopSignal() == SIGINT) {
    // Ctrl-C right after the Enter key, before the line came back: it was
    // meant for this line, which is dropped as while typing.
    WriteToTerminal("^C\n");
    return LineSource::Outcome::kCutShort;
  }
  return LineSource::Outcome::kLine;
}

void KeyEditor::Recall(const std::string& line) {
  HistEventW event;
  Libedit().history_w(history_, &event, H_ENTER, text_.ToWide(line).c_str());
}
