#include "console/input/key_editor_posix.h"

#include <histedit.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <string_view>
#include <vector>

#include "console/platform/stop_signals.h"

// Last: its names stand for libedit's functions.
#include "console/libedit_calls.h"

namespace {

constexpr wchar_t kCtrlG = 0x07;
constexpr wchar_t kCtrlH = 0x08;
constexpr wchar_t kCtrlR = 0x12;
constexpr wchar_t kDelete = 0x7f;
// A byte that is not part of a character of the terminal's character set
// travels through the editor as U+DC80..U+DCFF and comes out as the byte.
constexpr wchar_t kFirstByteCharacter = 0xdc80;
constexpr wchar_t kLastByteCharacter = 0xdcff;

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

void WriteToTerminal(std::string_view text) {
  // Only screen cosmetics: a failed write changes nothing else. What
  // libedit has buffered goes first.
  std::fflush(stdout);
  if (write(STDOUT_FILENO, text.data(), text.size()) < 0) {
    return;
  }
}

wchar_t ByteCharacter(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return value < 0x80 ? static_cast<wchar_t>(value) : kFirstByteCharacter + (value - 0x80);
}

// The bytes of the terminal's character set for `text`.
std::string ToBytes(std::wstring_view text) {
  std::string bytes;
  for (const wchar_t c : text) {
    if (c >= kFirstByteCharacter && c <= kLastByteCharacter) {
      bytes += static_cast<char>(c - kFirstByteCharacter + 0x80);
      continue;
    }
    char encoded[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::size_t length = std::wcrtomb(encoded, c, &state);
    if (length != static_cast<std::size_t>(-1)) {
      bytes.append(encoded, length);
    }
  }
  return bytes;
}

// Decodes the start of `bytes`: the character and how many bytes it took,
// or 0 bytes when the character is not complete yet.
std::size_t DecodeCharacter(std::string_view bytes, wchar_t& character) {
  std::mbstate_t state{};
  const std::size_t used = std::mbrtowc(&character, bytes.data(), bytes.size(), &state);
  if (used == static_cast<std::size_t>(-2)) {
    return 0;
  }
  if (used == static_cast<std::size_t>(-1) || used == 0) {
    character = ByteCharacter(bytes[0]);
    return 1;
  }
  return used;
}

std::wstring ToWide(std::string_view bytes) {
  std::wstring text;
  while (!bytes.empty()) {
    wchar_t c = 0;
    std::size_t used = DecodeCharacter(bytes, c);
    if (used == 0) {  // cut off in the middle of a character
      c = ByteCharacter(bytes[0]);
      used = 1;
    }
    text += c;
    bytes.remove_prefix(used);
  }
  return text;
}

bool IsWordBreak(wchar_t c) {
  return c > 0 && c < 0x80 && std::strchr(kCompletionWordBreaks, static_cast<int>(c)) != nullptr;
}

std::string CommonPrefix(const std::vector<std::string>& names) {
  std::string common = names.front();
  for (const std::string& name : names) {
    const auto differ = std::mismatch(common.begin(), common.end(), name.begin(), name.end());
    common.erase(differ.first, common.end());
  }
  return common;
}

// libedit shifts the text of a wrapped line with the terminal's
// insert-character sequences; when an insertion carries text across a row
// end, what it then draws leaves rows torn apart (tmux, 25 columns, Home and
// typing before a three-row line). Without those sequences it writes the
// rest of each changed row out, which is always right.
void DrawWithoutInsertingCharacters(EditLine* editor) {
  for (const char* capability : {"im", "ic", "ei", "ip", "IC"}) {
    el_set(editor, EL_SETTC, capability, "", static_cast<const char*>(nullptr));
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

// Where libedit puts a character on the screen, counted from the start of
// the prompt.
struct ScreenPosition {
  int row = 0;
  int column = 0;
};

// libedit shows a control character as ^X and one that cannot be printed
// as \U+XXXX.
int ShownWidth(wchar_t c) {
  if (c < 0x100 && std::iswcntrl(static_cast<wint_t>(c))) {
    return 2;
  }
  if (!std::iswprint(static_cast<wint_t>(c))) {
    return c > 0xffff ? 8 : 7;
  }
  return std::max(0, wcwidth(c));
}

// Follows libedit's layout: a character that does not fit on the screen
// line goes to the next one, and a full line moves the cursor to the next.
void Advance(ScreenPosition& at, wchar_t c, int columns) {
  const auto put = [&at, columns](int width) {
    while (at.column + width > columns && at.column > 0) {
      ++at.row;
      at.column = 0;
    }
    at.column += width;
    if (at.column >= columns) {
      ++at.row;
      at.column = 0;
    }
  };
  if (c == L'\t') {
    do {
      put(1);
    } while ((at.column & 7) != 0);
    return;
  }
  const bool single_cells = (c < 0x100 && std::iswcntrl(static_cast<wint_t>(c))) ||
                            !std::iswprint(static_cast<wint_t>(c));
  if (single_cells) {
    for (int i = ShownWidth(c); i > 0; --i) {
      put(1);
    }
  } else {
    put(ShownWidth(c));
  }
}

}  // namespace

struct KeyEditor::Keys {
  EditLine* editor = nullptr;
  HistoryW* history = nullptr;
  const std::function<CompletionNames()>* names = nullptr;
  const HistoryLines* recalled = nullptr;
  std::wstring prompt;
  // The line and cursor where a Tab found several names and could add
  // nothing: a second Tab there lists them.
  std::wstring ambiguous_at;
  std::string unread;  // bytes read but not yet a whole character
  // The line of the history that Up and Down stand on; the size of the
  // history while on the line being typed, which is kept in `draft`.
  std::size_t recall_index = 0;
  std::wstring draft;
  struct sigaction previous_actions[std::size(kTerminalChanges)] = {};

  int Columns() const;
  ScreenPosition PositionOf(std::size_t index) const;
  ScreenPosition CursorPosition() const;
  std::string MovesBelowLine() const;
  void DrawAgain(ScreenPosition drawn);
  void DrawAfterResize();
  void DrawAfterResume();
  void Show(const std::wstring& new_prompt, const std::wstring& line, std::size_t cursor);
  void Replace(const std::wstring& line, std::size_t cursor);
  // Up and Down: `step` lines back or forth through the history.
  unsigned char Step(int step);
  void ListNames(const std::vector<std::string>& names);
  unsigned char Complete();
  unsigned char Search();
  bool FindOlder(const std::wstring& query, std::size_t from, std::size_t& index,
                 std::wstring& line, std::size_t& cursor) const;
  int ReadKey(wchar_t& key);
};

namespace {

KeyEditor::Keys& KeysOf(EditLine* editor) {
  void* keys = nullptr;
  el_get(editor, EL_CLIENTDATA, &keys);
  return *static_cast<KeyEditor::Keys*>(keys);
}

wchar_t* Prompt(EditLine* editor) {
  return KeysOf(editor).prompt.data();
}

int ReadKey(EditLine* editor, wchar_t* key) {
  return KeysOf(editor).ReadKey(*key);
}

// Enter: the line is done. The cursor goes below the line; a line that
// fills its last screen line has put it at the start of a fresh one
// already, where no further line feed belongs.
unsigned char AcceptLine(EditLine* editor, int /*key*/) {
  KeyEditor::Keys& keys = KeysOf(editor);
  WriteToTerminal(keys.MovesBelowLine());
  const LineInfoW* line = el_wline(editor);
  el_cursor(editor, static_cast<int>(line->lastchar - line->cursor));
  // libedit takes a line without its line feed for no line at all.
  el_winsertstr(editor, L"\n");
  return CC_NEWLINE;
}

// Ctrl-D: the end on an empty line, else the character under the cursor
// goes.
unsigned char DeleteOrEnd(EditLine* editor, int /*key*/) {
  const LineInfoW* line = el_wline(editor);
  if (line->buffer == line->lastchar) {
    return CC_EOF;
  }
  if (line->cursor == line->lastchar) {
    return CC_ERROR;
  }
  el_cursor(editor, 1);
  el_deletestr(editor, 1);
  return CC_REFRESH;
}

unsigned char RecallOlder(EditLine* editor, int /*key*/) {
  return KeysOf(editor).Step(-1);
}

unsigned char RecallNewer(EditLine* editor, int /*key*/) {
  return KeysOf(editor).Step(1);
}

unsigned char CompleteName(EditLine* editor, int /*key*/) {
  return KeysOf(editor).Complete();
}

unsigned char SearchBack(EditLine* editor, int /*key*/) {
  return KeysOf(editor).Search();
}

void AddKey(EditLine* editor, const wchar_t* key, const wchar_t* name, const wchar_t* help,
            unsigned char (*action)(EditLine*, int)) {
  el_wset(editor, EL_ADDFN, name, help, action);
  el_wset(editor, EL_BIND, key, name, nullptr);
}

void BindKeys(EditLine* editor) {
  AddKey(editor, L"^I", L"calculator-complete", L"Complete the name before the cursor",
         CompleteName);
  AddKey(editor, L"^R", L"calculator-search", L"Search the history backwards", SearchBack);
  AddKey(editor, L"^M", L"calculator-accept", L"Hand the line over", AcceptLine);
  AddKey(editor, L"^J", L"calculator-accept", L"Hand the line over", AcceptLine);
  AddKey(editor, L"^D", L"calculator-delete-or-end", L"Delete, or end on an empty line",
         DeleteOrEnd);
  // Up and Down go on from where Ctrl-R left, which libedit's own history
  // keys cannot know.
  for (const wchar_t* key : {L"^P", L"\\e[A", L"\\eOA"}) {
    AddKey(editor, key, L"calculator-older", L"The line before in the history", RecallOlder);
  }
  for (const wchar_t* key : {L"^N", L"\\e[B", L"\\eOB"}) {
    AddKey(editor, key, L"calculator-newer", L"The line after in the history", RecallNewer);
  }
  // The keys of the usual readline consoles that libedit's emacs keys lack.
  const wchar_t* const bindings[][2] = {
      {L"^W", L"ed-delete-prev-word"}, {L"\\e[1~", L"ed-move-to-beg"},
      {L"\\e[4~", L"ed-move-to-end"},  {L"\\e[7~", L"ed-move-to-beg"},
      {L"\\e[8~", L"ed-move-to-end"},  {L"\\e[H", L"ed-move-to-beg"},
      {L"\\e[F", L"ed-move-to-end"},   {L"\\eOH", L"ed-move-to-beg"},
      {L"\\eOF", L"ed-move-to-end"},   {L"\\e[3~", L"ed-delete-next-char"},
      {L"\\e[1;5C", L"em-next-word"},  {L"\\e[1;5D", L"ed-prev-word"},
  };
  for (const auto& binding : bindings) {
    el_wset(editor, EL_BIND, binding[0], binding[1], nullptr);
  }
}

}  // namespace

int KeyEditor::Keys::Columns() const {
  int columns = 0;
  el_get(editor, EL_GETTC, "co", &columns);
  return columns > 0 ? columns : 80;
}

ScreenPosition KeyEditor::Keys::PositionOf(std::size_t index) const {
  const int columns = Columns();
  ScreenPosition at;
  for (const wchar_t c : prompt) {
    Advance(at, c, columns);
  }
  const LineInfoW* line = el_wline(editor);
  for (const wchar_t* c = line->buffer; c < line->lastchar && c < line->buffer + index; ++c) {
    Advance(at, *c, columns);
  }
  return at;
}

ScreenPosition KeyEditor::Keys::CursorPosition() const {
  const LineInfoW* line = el_wline(editor);
  return PositionOf(static_cast<std::size_t>(line->cursor - line->buffer));
}

std::string KeyEditor::Keys::MovesBelowLine() const {
  const LineInfoW* line = el_wline(editor);
  const ScreenPosition cursor = CursorPosition();
  const ScreenPosition end = PositionOf(static_cast<std::size_t>(line->lastchar - line->buffer));
  // The terminal turns each line feed into a carriage return and a line
  // feed, as libedit leaves it.
  std::string moves(static_cast<std::size_t>(std::max(0, end.row - cursor.row)), '\n');
  if (end.column > 0 || end.row == 0) {
    moves += '\n';
  }
  return moves;
}

// Puts the cursor back where the prompt starts (it stands at `drawn`
// there), clears what follows and has libedit draw the prompt and the
// line again from there.
void KeyEditor::Keys::DrawAgain(ScreenPosition drawn) {
  std::string moves = "\r";
  if (drawn.row > 0) {
    moves += "\x1b[" + std::to_string(drawn.row) + "A";
  }
  moves += "\x1b[J";
  WriteToTerminal(moves);
  el_set(editor, EL_REFRESH);
}

// Terminals today (tmux, VTE, kitty...) rewrap what they show to the new
// width, so the cursor is where the line puts it at that width.
void KeyEditor::Keys::DrawAfterResize() {
  el_resize(editor);
  ScreenPosition cursor = CursorPosition();
  // A line that ends exactly at the new right margin leaves the rewrapped
  // cursor at that margin, not at the start of the next row.
  const LineInfoW* line = el_wline(editor);
  if (line->cursor == line->lastchar && cursor.column == 0 && cursor.row > 0) {
    --cursor.row;
  }
  DrawAgain(cursor);
}

// Back from Ctrl-Z: the shell has put the terminal back in its line mode
// and left the cursor on a fresh line.
void KeyEditor::Keys::DrawAfterResume() {
  // libedit believes it is still in its own mode, which it would not set
  // again.
  el_set(editor, EL_PREP_TERM, 0);
  el_set(editor, EL_PREP_TERM, 1);
  el_resize(editor);
  DrawAgain(ScreenPosition{});
}

void KeyEditor::Keys::Show(const std::wstring& new_prompt, const std::wstring& text,
                           std::size_t cursor) {
  const ScreenPosition drawn = CursorPosition();
  prompt = new_prompt;
  Replace(text, cursor);
  DrawAgain(drawn);
}

void KeyEditor::Keys::Replace(const std::wstring& text, std::size_t cursor) {
  const LineInfoW* line = el_wline(editor);
  const int length = static_cast<int>(line->lastchar - line->buffer);
  el_cursor(editor, static_cast<int>(line->lastchar - line->cursor));
  el_deletestr(editor, length);
  if (!text.empty()) {
    el_winsertstr(editor, text.c_str());
  }
  el_cursor(editor, static_cast<int>(cursor) - static_cast<int>(text.size()));
}

unsigned char KeyEditor::Keys::Step(int step) {
  const std::size_t newest = recalled->size();
  if ((step < 0 && recall_index == 0) || (step > 0 && recall_index >= newest)) {
    return CC_ERROR;
  }
  if (recall_index == newest) {
    const LineInfoW* line = el_wline(editor);
    draft.assign(line->buffer, line->lastchar);
  }
  recall_index = step < 0 ? recall_index - 1 : recall_index + 1;
  const std::wstring text = recall_index == newest ? draft : ToWide((*recalled)[recall_index]);
  Replace(text, text.size());
  return CC_REFRESH;
}

void KeyEditor::Keys::ListNames(const std::vector<std::string>& names) {
  std::size_t longest = 0;
  for (const std::string& name : names) {
    longest = std::max(longest, name.size());
  }
  const std::size_t width = longest + 2;
  const std::size_t per_line =
      std::max<std::size_t>(1, static_cast<std::size_t>(Columns()) / width);
  std::string list = MovesBelowLine();
  for (std::size_t i = 0; i < names.size(); ++i) {
    list += names[i];
    const bool line_ends = (i + 1) % per_line == 0 || i + 1 == names.size();
    list += line_ends ? std::string("\n") : std::string(width - names[i].size(), ' ');
  }
  WriteToTerminal(list);
  el_set(editor, EL_REFRESH);
}

unsigned char KeyEditor::Keys::Complete() {
  const LineInfoW* line = el_wline(editor);
  const wchar_t* start = line->cursor;
  while (start > line->buffer && !IsWordBreak(start[-1])) {
    --start;
  }
  const std::string prefix =
      ToBytes(std::wstring_view(start, static_cast<std::size_t>(line->cursor - start)));
  const Completion completion = CompleteName(prefix, (*names)());
  if (completion.matches.empty()) {
    ambiguous_at.clear();
    return CC_REFRESH_BEEP;
  }
  std::string addition = CommonPrefix(completion.matches).substr(prefix.size());
  if (completion.opens_call) {
    addition += '(';
  }
  if (!addition.empty()) {
    ambiguous_at.clear();
    el_winsertstr(editor, ToWide(addition).c_str());
    return CC_REFRESH;
  }
  if (completion.matches.size() == 1) {
    return CC_NORM;  // the name is complete already
  }
  std::wstring here(line->buffer, line->lastchar);
  here += L'\n';
  here += std::to_wstring(line->cursor - line->buffer);
  if (here != ambiguous_at) {
    ambiguous_at = here;
    return CC_NORM;  // the bell is kept for a name that nothing fits
  }
  ListNames(completion.matches);
  return CC_NORM;
}

bool KeyEditor::Keys::FindOlder(const std::wstring& query, std::size_t from, std::size_t& index,
                                std::wstring& line, std::size_t& cursor) const {
  for (std::size_t i = std::min(from, recalled->size()); i-- > 0;) {
    std::wstring candidate = ToWide((*recalled)[i]);
    const std::size_t found = candidate.find(query);
    if (found != std::wstring::npos) {
      index = i;
      line = std::move(candidate);
      cursor = found;
      return true;
    }
  }
  return false;
}

// Ctrl-R: each key typed narrows the search, Ctrl-R goes to the next older
// match, Backspace widens it again. Enter runs the line found, Ctrl-G
// goes back to the line as it was; any other key ends the search with the
// line found and then does what it always does.
unsigned char KeyEditor::Keys::Search() {
  const LineInfoW* line = el_wline(editor);
  const std::wstring original(line->buffer, line->lastchar);
  const std::size_t original_cursor = static_cast<std::size_t>(line->cursor - line->buffer);
  std::wstring query;
  std::size_t index = recalled->size();  // of the line found; the size while none
  std::wstring found = original;
  std::size_t found_cursor = original_cursor;
  bool failed = false;
  for (;;) {
    Show((failed ? L"(failed reverse-i-search)`" : L"(reverse-i-search)`") + query + L"': ", found,
         found_cursor);
    wchar_t key = 0;
    if (el_wgetc(editor, &key) != 1) {
      Show(L"", found, found_cursor);
      return CC_EOF;
    }
    if (key == kCtrlG) {
      Show(L"", original, original_cursor);
      return CC_NORM;
    }
    if (key == L'\r' || key == L'\n') {
      Show(L"", found, found_cursor);
      return AcceptLine(editor, key);
    }
    if (key == kCtrlR || (key >= 0x20 && key != kDelete)) {
      // A longer query may still match the line found; Ctrl-R looks past it.
      const std::size_t from = key == kCtrlR || index == recalled->size() ? index : index + 1;
      if (key != kCtrlR) {
        query += key;
      }
      failed = !FindOlder(query, from, index, found, found_cursor);
      if (failed) {
        el_beep(editor);
      }
    } else if (key == kDelete || key == kCtrlH) {
      if (!query.empty()) {
        query.pop_back();
      }
      index = recalled->size();
      found = original;
      found_cursor = original_cursor;
      failed = !query.empty() && !FindOlder(query, index, index, found, found_cursor);
    } else {
      Show(L"", found, found_cursor);
      // Up and Down go on from the line found.
      if (index < recalled->size()) {
        draft = original;
        recall_index = index;
      }
      const wchar_t again[] = {key, L'\0'};
      el_wpush(editor, again);
      return CC_NORM;
    }
  }
}

int KeyEditor::Keys::ReadKey(wchar_t& key) {
  for (;;) {
    if (!unread.empty()) {
      const std::size_t used = DecodeCharacter(unread, key);
      if (used > 0) {
        unread.erase(0, used);
        // libedit would take the key after a NUL (Ctrl-@, Ctrl-Space) as
        // typed text, even Enter: the NUL is dropped.
        if (key == L'\0') {
          continue;
        }
        return 1;
      }
    }
    switch (WaitForKey(STDIN_FILENO)) {
      case Wait::kStopped:
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
    unread += byte;
  }
}

KeyEditor::KeyEditor(const std::function<CompletionNames()>& names, const HistoryLines& recalled)
    : keys_(std::make_unique<Keys>()) {
  Keys& keys = *keys_;
  keys.names = &names;
  keys.recalled = &recalled;
  keys.history = history_winit();
  HistEventW event;
  history_w(keys.history, &event, H_SETSIZE, static_cast<int>(kHistoryLines));
  for (const std::string& line : recalled) {
    history_w(keys.history, &event, H_ENTER, ToWide(line).c_str());
  }
  keys.editor = el_init("calculator", stdin, stdout, stderr);
  EditLine* editor = keys.editor;
  el_set(editor, EL_CLIENTDATA, &keys);
  el_set(editor, EL_EDITOR, "emacs");
  el_set(editor, EL_SIGNAL, 0);
  DrawWithoutInsertingCharacters(editor);
  el_wset(editor, EL_PROMPT, Prompt);
  el_wset(editor, EL_HIST, history_w, keys.history);
  el_wset(editor, EL_GETCFN, ReadKey);
  BindKeys(editor);
  // The user's own bindings (~/.editrc, or the file $EDITRC names) come last.
  el_source(editor, nullptr);

  struct sigaction action = {};
  action.sa_handler = NoteTerminalChange;
  sigemptyset(&action.sa_mask);
  // Only the wait for a key is to end early: output under way goes on.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kTerminalChanges); ++i) {
    sigaction(kTerminalChanges[i], &action, &keys.previous_actions[i]);
  }
}

KeyEditor::~KeyEditor() {
  for (std::size_t i = 0; i < std::size(kTerminalChanges); ++i) {
    sigaction(kTerminalChanges[i], &keys_->previous_actions[i], nullptr);
  }
  el_end(keys_->editor);
  history_wend(keys_->history);
}

LineEditor::Outcome KeyEditor::Read(std::string& line) {
  // libedit takes the size of the window itself as it starts a line.
  window_resized = 0;
  resumed = 0;
  keys_->prompt.clear();
  keys_->recall_index = keys_->recalled->size();
  keys_->draft.clear();
  keys_->ambiguous_at.clear();
  int count = 0;
  const wchar_t* typed = el_wgets(keys_->editor, &count);
  if (typed == nullptr || count <= 0) {
    // A stop signal ends the wait for a key (see ReadKey); otherwise it is
    // Ctrl-D on an empty line or the end of input.
    const bool cut_short = PendingStopSignal() != 0;
    WriteToTerminal(cut_short && PendingStopSignal() == SIGINT ? "^C\n" : "\n");
    return cut_short ? LineEditor::Outcome::kCutShort : LineEditor::Outcome::kEnd;
  }
  std::wstring_view text(typed, static_cast<std::size_t>(count));
  if (!text.empty() && text.back() == L'\n') {
    text.remove_suffix(1);
  }
  line = ToBytes(text);
  if (PendingStopSignal() == SIGINT) {
    // Ctrl-C right after the Enter key, before the line came back: it was
    // meant for this line, which is dropped as while typing.
    WriteToTerminal("^C\n");
    return LineEditor::Outcome::kCutShort;
  }
  return LineEditor::Outcome::kLine;
}

void KeyEditor::Recall(const std::string& line) {
  HistEventW event;
  history_w(keys_->history, &event, H_ENTER, ToWide(line).c_str());
}
