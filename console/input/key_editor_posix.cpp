// Reading keys and keeping the screen right: the core of the key editor.

#include "console/input/key_editor_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
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

// Clears from the start of the cursor's row to the end of the window. Not
// by ESC [ J alone: at the top left corner tmux takes that for a clear
// screen and moves what the window shows into its history, where the line
// would stay as a copy. The row first, then, with the cursor kept, the
// rest below it.
const char kClearToEnd[] =
    "\r\x1b[K\x1b"
    "7\x1b[B\x1b[J\x1b"
    "8";

const char kPasteOn[] = "\x1b[?2004h";
const char kPasteOff[] = "\x1b[?2004l";
const char kPasteEnd[] = "\x1b[201~";
// Whether the terminal marks pasted text now: Ctrl-Z turns it off first.
volatile std::sig_atomic_t bracketed_paste = 0;

// Ctrl-Z: the shell gets its terminal back without bracketed paste, which
// it may not know; DrawAfterResume turns it on again.
extern "C" void StopAtCtrlZ(int) {
  const int saved_errno = errno;
  if (bracketed_paste != 0) {
    // Not to block on a terminal whose output is suspended (Ctrl-S).
    const int flags = fcntl(STDOUT_FILENO, F_GETFL);
    fcntl(STDOUT_FILENO, F_SETFL, flags | O_NONBLOCK);
    const ssize_t ignored = write(STDOUT_FILENO, kPasteOff, sizeof kPasteOff - 1);
    (void)ignored;
    fcntl(STDOUT_FILENO, F_SETFL, flags);
  }
  struct sigaction stop = {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction mine = {};
  sigaction(SIGTSTP, &stop, &mine);
  sigset_t ctrl_z;
  sigemptyset(&ctrl_z);
  sigaddset(&ctrl_z, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &ctrl_z, nullptr);
  raise(SIGTSTP);
  // Continued.
  sigaction(SIGTSTP, &mine, nullptr);
  errno = saved_errno;
}

// The length of the escape sequence at the start of `bytes`, which starts
// with an Escape: a control sequence (ESC [, with parameters and
// intermediate bytes up to its final byte), ESC O and its final byte (with
// parameters, as some terminals send modifiers), the Linux console's
// ESC [ [ and a letter, and any of these after one more Escape (Alt with
// the key). 0 while more of it is to come; npos when the Escape starts no
// sequence (Escape alone, or Alt with a character, as Esc p).
std::size_t SequenceLength(std::string_view bytes) {
  std::size_t at = 1;
  if (bytes.size() > at && bytes[at] == '\x1b') {
    ++at;
  }
  if (bytes.size() <= at) {
    return 0;
  }
  if (bytes[at] != '[' && bytes[at] != 'O') {
    return std::string_view::npos;
  }
  const bool linux_function_key = bytes[at] == '[' && bytes.size() > at + 1 && bytes[at + 1] == '[';
  at += linux_function_key ? 2 : 1;
  if (linux_function_key) {
    return bytes.size() > at ? at + 1 : 0;
  }
  for (; at < bytes.size(); ++at) {
    const unsigned char c = static_cast<unsigned char>(bytes[at]);
    // rxvt ends Shift with a key by a $.
    if ((c >= 0x40 && c <= 0x7e) || c == '$') {
      return at + 1;  // the final byte
    }
    if (c < 0x20 || c > 0x3f) {
      return at;  // cut short by another key: what came is dropped
    }
  }
  return 0;
}

std::wstring Widened(std::string_view ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

// The rest of a key's sequence comes in the same write as its Escape; a
// key pressed after Escape comes far later than this.
constexpr int kSequencePatienceMilliseconds = 50;
// A terminal answers a question about its cursor at once.
constexpr int kReportPatienceMilliseconds = 200;

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

// Like WaitForInputUnlessStopped, but a resized window or a return from
// Ctrl-Z ends the wait too.
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

// libedit's output, held until the key editor shows it.
ssize_t Hold(void* held, const char* bytes, std::size_t size) {
  static_cast<std::string*>(held)->append(bytes, size);
  return static_cast<ssize_t>(size);
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

int KeyEditor::Lines() const {
  int lines = 0;
  Libedit().el_get(editor_, EL_GETTC, "li", &lines);
  return lines > 0 ? lines : 24;
}

bool KeyEditor::LineIsTall() const {
  return EndPosition().row + 1 >= Lines();
}

void KeyEditor::Present() {
  std::fflush(held_file_);
  std::string drawn;
  drawn.swap(held_);
  const bool tall = LineIsTall();
  if (!tall && !scrolling_) {
    WriteToTerminal(drawn);
    screen_row_ = CursorPosition().row;
    return;
  }
  if (tall) {
    if (!scrolling_) {
      // What libedit drew last goes, from the top of it in reach.
      std::string moves = "\r";
      if (screen_row_ > 0) {
        moves += "\x1b[" + std::to_string(screen_row_) + "A";
      }
      WriteToTerminal(moves + kClearToEnd);
      scrolling_ = true;
      view_first_ = 0;
    }
    DrawView();
    return;
  }
  // Short again: libedit draws it whole on the view's row.
  scrolling_ = false;
  WriteToTerminal(kClearToEnd);
  Libedit().el_set(editor_, EL_REFRESH);
  std::fflush(held_file_);
  WriteToTerminal(held_);
  held_.clear();
  screen_row_ = CursorPosition().row;
}

void KeyEditor::DrawView() {
  const LineInfoW* line = Libedit().el_wline(editor_);
  std::wstring text = prompt_;
  text.append(line->buffer, line->lastchar);
  const std::size_t cursor = prompt_.size() + static_cast<std::size_t>(line->cursor - line->buffer);
  // The last column stays free, where a character would wrap the row.
  const int width = std::max(2, Columns() - 1);
  const auto width_of = [this, &text](std::size_t from, std::size_t to) {
    ScreenPosition at;
    for (std::size_t i = from; i < to; ++i) {
      text_.Advance(at, text[i], INT_MAX / 2);
    }
    return at.column;
  };
  // The characters further back than the row is wide cannot show (but for
  // combining ones, which only cost a few of them): a long jump is not
  // walked one by one.
  view_first_ = std::min(view_first_, cursor);
  view_first_ = std::max(view_first_, cursor - std::min(cursor, static_cast<std::size_t>(width)));
  while (view_first_ < cursor && width_of(view_first_, cursor) >= width) {
    ++view_first_;
  }
  ScreenPosition at;
  at.column = width_of(view_first_, cursor);
  view_cursor_column_ = at.column;
  std::size_t last = cursor;
  for (; last < text.size(); ++last) {
    ScreenPosition next = at;
    text_.Advance(next, text[last], INT_MAX / 2);
    if (next.column >= width) {
      break;
    }
    at = next;
  }
  view_end_column_ = at.column;
  const std::wstring_view shown = std::wstring_view(text).substr(view_first_, last - view_first_);
  WriteToTerminal("\r" + ShownText(shown) + "\x1b[K\r" + MovesRight(view_cursor_column_));
}

std::string KeyEditor::WholeLineBelowView() const {
  const LineInfoW* line = Libedit().el_wline(editor_);
  std::wstring text = prompt_;
  text.append(line->buffer, line->lastchar);
  // Off the right margin, where a full row leaves it.
  return "\r" + ShownText(text) + (EndPosition().column == 0 ? " \r\x1b[K" : "\x1b[K\n");
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
  if (scrolling_) {
    return "\n";
  }
  const ScreenPosition cursor = CursorPosition();
  const ScreenPosition end = EndPosition();
  std::string moves(static_cast<std::size_t>(std::max(0, end.row - cursor.row)), '\n');
  if (end.column > 0 || end.row == 0) {
    moves += '\n';
  }
  return moves;
}

std::string KeyEditor::MovesToLineEnd() const {
  if (scrolling_) {
    return "\r" + MovesRight(view_end_column_);
  }
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
  if (drawn.row > 0 && !scrolling_) {
    moves += "\x1b[" + std::to_string(drawn.row) + "A";
  }
  moves += kClearToEnd;
  if (on_clear_screen) {
    moves += "\x1b[H\x1b[2J";
  }
  WriteToTerminal(moves);
  screen_row_ = 0;
  Libedit().el_set(editor_, EL_REFRESH);
  Present();
}

// Terminals today (tmux, VTE, kitty...) rewrap what they show to the new
// width, so the cursor is where the line puts it at that width.
void KeyEditor::DrawAfterResize() {
  if (scrolling_) {
    // A narrower window has rewrapped the view's row.
    const int old_column = view_cursor_column_;
    window_resized = 0;
    Libedit().el_resize(editor_);
    if (const int rewrapped = old_column / Columns(); rewrapped > 0) {
      WriteToTerminal("\x1b[" + std::to_string(rewrapped) + "A");
    }
    DrawAgain(ScreenPosition{});
    return;
  }
  ScreenPosition cursor;
  int row = -1;
  // A window dragged to its size is resized many times over: the place of
  // the cursor is only of use for the size it was asked at.
  for (int tries = 0; tries < 10; ++tries) {
    window_resized = 0;
    Libedit().el_resize(editor_);
    cursor = CursorPosition();
    // A line that ends exactly at the new right margin leaves the
    // rewrapped cursor at that margin, not at the start of the next row.
    const LineInfoW* line = Libedit().el_wline(editor_);
    if (line->cursor == line->lastchar && cursor.column == 0 && cursor.row > 0) {
      --cursor.row;
    }
    row = CursorRowOnScreen();
    if (window_resized == 0) {
      break;
    }
  }
  // Where the line grew past the top of the window, tmux has moved its
  // first rows into its history, out of the cursor's reach: drawn again
  // whole, they would be there twice.
  if (row >= 0 && row < cursor.row && !LineIsTall()) {
    DrawBelowHiddenRows(cursor, cursor.row - row);
    return;
  }
  DrawAgain(cursor);
}

int KeyEditor::CursorRowOnScreen() {
  WriteToTerminal("\x1b[6n");
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kReportPatienceMilliseconds);
  std::size_t searched = 0;
  for (;;) {
    // The report: ESC [ row ; column R.
    for (std::size_t at = unread_.find("\x1b[", searched); at != std::string::npos;
         at = unread_.find("\x1b[", at + 1)) {
      std::size_t end = at + 2;
      while (end < unread_.size() &&
             ((unread_[end] >= '0' && unread_[end] <= '9') || unread_[end] == ';')) {
        ++end;
      }
      if (end < unread_.size() && unread_[end] == 'R' && unread_.find(';', at) < end) {
        const int row = std::atoi(unread_.c_str() + at + 2);
        unread_.erase(at, end + 1 - at);
        return row - 1;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    if (left.count() <= 0 || PendingStopSignal() != 0 ||
        poll(&input, 1, static_cast<int>(left.count())) <= 0) {
      return -1;
    }
    char byte = 0;
    if (read(STDIN_FILENO, &byte, 1) != 1) {
      return -1;
    }
    unread_ += byte;
  }
}

std::string KeyEditor::ShownText(std::wstring_view text) const {
  std::string shown;
  for (const wchar_t c : text) {
    if (c == L'\t') {
      shown += '\t';
    } else if (c < 0x20 || c == 0x7f) {
      shown += '^';
      shown += static_cast<char>(c ^ 0x40);
    } else if (!std::iswprint(static_cast<wint_t>(c))) {
      char code[16];
      std::snprintf(code, sizeof code, "\\U+%04X", static_cast<unsigned>(c));
      shown += code;
    } else {
      shown += text_.ToBytes(std::wstring(1, c));
    }
  }
  return shown;
}

void KeyEditor::DrawBelowHiddenRows(ScreenPosition cursor, int hidden) {
  // libedit draws the whole line where nobody sees it, so that it knows the
  // rows as they are and goes on from them.
  FILE* nowhere = std::fopen("/dev/null", "w");
  if (nowhere == nullptr) {
    DrawAgain(cursor);
    return;
  }
  std::string moves = "\r";
  if (cursor.row - hidden > 0) {
    moves += "\x1b[" + std::to_string(cursor.row - hidden) + "A";
  }
  WriteToTerminal(moves + kClearToEnd);
  Libedit().el_set(editor_, EL_SETFP, 1, nowhere);
  Libedit().el_set(editor_, EL_REFRESH);
  std::fflush(nowhere);
  Libedit().el_set(editor_, EL_SETFP, 1, held_file_ != nullptr ? held_file_ : stdout);
  std::fclose(nowhere);
  // The rows in view.
  const int columns = Columns();
  const LineInfoW* line = Libedit().el_wline(editor_);
  std::wstring text = prompt_;
  text.append(line->buffer, line->lastchar);
  ScreenPosition at;
  std::size_t first = 0;
  while (first < text.size()) {
    ScreenPosition next = at;
    text_.Advance(next, text[first], columns);
    // A character that fills its row leaves the cursor on the next one.
    const int drawn_row = next.column == 0 && next.row > at.row ? next.row - 1 : next.row;
    if (drawn_row >= hidden) {
      break;
    }
    at = next;
    ++first;
  }
  std::string rows = ShownText(std::wstring_view(text).substr(first));
  const ScreenPosition end = EndPosition();
  if (end.column == 0 && first < text.size()) {
    rows += " \r\x1b[K";  // off the right margin, where a full row leaves it
  }
  if (end.row > cursor.row) {
    rows += "\x1b[" + std::to_string(end.row - cursor.row) + "A";
  }
  rows += "\r" + MovesRight(cursor.column);
  WriteToTerminal(rows);
  screen_row_ = cursor.row - hidden;
}

// Back from Ctrl-Z: the shell has put the terminal back in its line mode
// and left the cursor on a fresh line.
void KeyEditor::DrawAfterResume() {
  // libedit believes it is still in its own mode, which it would not set
  // again.
  Libedit().el_set(editor_, EL_PREP_TERM, 0);
  Libedit().el_set(editor_, EL_PREP_TERM, 1);
  Libedit().el_resize(editor_);
  SetBracketedPaste(true);
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
  return !ready_.empty() || !unread_.empty() || poll(&input, 1, kSequencePatienceMilliseconds) > 0;
}

int KeyEditor::ReadByte() {
  for (;;) {
    switch (WaitForKey(STDIN_FILENO)) {
      case Wait::kStopped:
        // The line is dropped: what follows goes below all of it.
        WriteToTerminal(MovesToLineEnd());
        return 0;
      case Wait::kResized: {
        // Keys typed while the terminal was asked where its cursor is.
        const std::size_t typed = unread_.size();
        DrawAfterResize();
        if (unread_.size() != typed) {
          return 1;
        }
        continue;
      }
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
    return 1;
  }
}

bool KeyEditor::TakeSequence() {
  const std::size_t length = SequenceLength(unread_);
  if (length == 0) {
    return false;
  }
  if (length == std::string::npos) {
    ready_ += L'\x1b';
    unread_.erase(0, 1);
    return true;
  }
  const std::string sequence = unread_.substr(0, length);
  unread_.erase(0, length);
  if (sequence == kPasteStart) {
    pasting_ = true;
  } else if (sequences_.count(sequence) != 0) {
    ready_ += Widened(sequence);
  } else {
    Libedit().el_beep(editor_);
  }
  return true;
}

bool KeyEditor::TakePaste() {
  // Only where the new bytes could complete the end's sequence.
  const std::size_t from = paste_.size() < sizeof kPasteEnd ? 0 : paste_.size() - sizeof kPasteEnd;
  paste_ += unread_;
  unread_.clear();
  const std::size_t end = paste_.find(kPasteEnd, from);
  if (end == std::string::npos) {
    return false;
  }
  // Keys typed right after the paste.
  unread_ = paste_.substr(end + sizeof kPasteEnd - 1);
  paste_.erase(end);
  pasting_ = false;
  ready_ += Widened(kPasteStart);
  return true;
}

int KeyEditor::ReadKey(wchar_t& key) {
  // Before each key, which may act on the screen (Enter after a paste).
  Present();
  for (;;) {
    if (!ready_.empty()) {
      key = ready_.front();
      ready_.erase(0, 1);
      key_before_ = last_key_;
      last_key_ = key;
      return 1;
    }
    if (pasting_) {
      if (TakePaste()) {
        continue;
      }
    } else if (!unread_.empty() && unread_[0] == '\x1b') {
      if (TakeSequence()) {
        continue;
      }
      pollfd input = {STDIN_FILENO, POLLIN, 0};
      if (poll(&input, 1, kSequencePatienceMilliseconds) <= 0 && PendingStopSignal() == 0) {
        // Nothing more came: an Escape alone is a key; the start of a
        // sequence cut off is no key at all.
        if (unread_.size() == 1) {
          ready_ += L'\x1b';
        } else {
          Libedit().el_beep(editor_);
        }
        unread_.clear();
        continue;
      }
    } else if (!unread_.empty()) {
      const std::size_t used = text_.DecodeCharacter(unread_, key);
      if (used > 0) {
        unread_.erase(0, used);
        // libedit would take the key after a NUL (Ctrl-@, Ctrl-Space) as
        // typed text, even Enter: the NUL is dropped.
        if (key != L'\0') {
          ready_ += key;
        }
        continue;
      }
    }
    const int count = ReadByte();
    if (count != 1) {
      return count;
    }
  }
}

void KeyEditor::SetBracketedPaste(bool on) {
  WriteToTerminal(on ? kPasteOn : kPasteOff);
  bracketed_paste = on ? 1 : 0;
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
  held_file_ = fopencookie(&held_, "w", cookie_io_functions_t{nullptr, Hold, nullptr, nullptr});
  if (held_file_ != nullptr) {
    libedit.el_set(editor_, EL_SETFP, 1, held_file_);
  }
  libedit.el_set(editor_, EL_CLIENTDATA, this);
  libedit.el_set(editor_, EL_EDITOR, "emacs");
  libedit.el_set(editor_, EL_SIGNAL, 0);
  DrawWithoutInsertingCharacters(editor_);
  libedit.el_wset(editor_, EL_PROMPT, Prompt);
  libedit.el_wset(editor_, EL_HIST, libedit.history_w, history_);
  libedit.el_wset(editor_, EL_GETCFN, static_cast<int (*)(EditLine*, wchar_t*)>(ReadKey));
  sequences_ = BindKeys(editor_);

  struct sigaction action = {};
  action.sa_handler = NoteTerminalChange;
  sigemptyset(&action.sa_mask);
  // Only the wait for a key is to end early: output under way goes on.
  action.sa_flags = SA_RESTART;
  static_assert(std::size(kTerminalChanges) + 1 ==
                sizeof previous_actions_ / sizeof previous_actions_[0]);
  for (std::size_t i = 0; i < std::size(kTerminalChanges); ++i) {
    sigaction(kTerminalChanges[i], &action, &previous_actions_[i]);
  }
  // Unless Ctrl-Z is ignored (a shell without job control).
  struct sigaction ctrl_z = {};
  ctrl_z.sa_handler = StopAtCtrlZ;
  sigemptyset(&ctrl_z.sa_mask);
  ctrl_z.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, nullptr, &previous_actions_[std::size(kTerminalChanges)]);
  if (previous_actions_[std::size(kTerminalChanges)].sa_handler != SIG_IGN) {
    sigaction(SIGTSTP, &ctrl_z, nullptr);
  }
}

KeyEditor::~KeyEditor() {
  for (std::size_t i = 0; i < std::size(kTerminalChanges); ++i) {
    sigaction(kTerminalChanges[i], &previous_actions_[i], nullptr);
  }
  sigaction(SIGTSTP, &previous_actions_[std::size(kTerminalChanges)], nullptr);
  Libedit().el_end(editor_);
  Libedit().history_wend(history_);
  if (held_file_ != nullptr) {
    std::fclose(held_file_);
    WriteToTerminal(held_);
  }
}

LineSource::Outcome KeyEditor::Read(std::string& line) {
  // libedit takes the size of the window itself as it starts a line.
  window_resized = 0;
  resumed = 0;
  prompt_.clear();
  recall_index_ = recalled_.size();
  draft_.clear();
  // The rest of a paste of several lines, one line each time.
  if (!paste_.empty()) {
    Libedit().el_wpush(editor_, Widened(kPasteStart).c_str());
  }
  int count = 0;
  // Off again before anything else can write to the terminal.
  SetBracketedPaste(true);
  const wchar_t* typed = Libedit().el_wgets(editor_, &count);
  // What libedit drew last, unless the line was shown on one row.
  std::fflush(held_file_);
  if (!scrolling_) {
    WriteToTerminal(held_);
  }
  held_.clear();
  scrolling_ = false;
  SetBracketedPaste(false);
  if (PendingStopSignal() != 0 || typed == nullptr || count <= 0) {
    paste_.clear();  // a dropped line drops the rest of its paste
  }
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
