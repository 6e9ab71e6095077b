// Which key does what: the key functions of the key editor, under the names
// that ~/.editrc can bind them by, and the keys of the usual readline
// consoles that libedit's emacs keys lack.

#include <algorithm>
#include <initializer_list>
#include <set>
#include <string>

#include "console/input/key_editor_posix.h"
#include "console/input/libedit_posix.h"

namespace {

// The key functions as libedit calls them.
template <unsigned char (KeyEditor::*kAction)()>
unsigned char Call(EditLine* editor, int /*key*/) {
  return (KeyEditor::Of(editor).*kAction)();
}

template <int kStep>
unsigned char StepBy(EditLine* editor, int /*key*/) {
  return KeyEditor::Of(editor).Step(kStep);
}

struct KeyFunction {
  const wchar_t* name;  // as ~/.editrc binds it
  const wchar_t* help;
  unsigned char (*action)(EditLine*, int);
  std::initializer_list<const wchar_t*> keys;
};

// Words as a calculator's line has them: names and numbers. An operator or
// a parenthesis is no part of a word.
bool IsWordCharacter(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
         c == L'.' || c >= 0x80;
}

// Where the word at or after the cursor ends.
const wchar_t* NextWordEnd(const LineInfoW* line) {
  const wchar_t* at = line->cursor;
  while (at < line->lastchar && !IsWordCharacter(*at)) {
    ++at;
  }
  while (at < line->lastchar && IsWordCharacter(*at)) {
    ++at;
  }
  return at;
}

unsigned char MoveToNextWordEnd(EditLine* editor, int /*key*/) {
  const LineInfoW* line = Libedit().el_wline(editor);
  const wchar_t* end = NextWordEnd(line);
  if (end == line->cursor) {
    return CC_ERROR;
  }
  Libedit().el_cursor(editor, static_cast<int>(end - line->cursor));
  return CC_CURSOR;
}

unsigned char MoveToWordStart(EditLine* editor, int /*key*/) {
  const LineInfoW* line = Libedit().el_wline(editor);
  const wchar_t* at = line->cursor;
  while (at > line->buffer && !IsWordCharacter(at[-1])) {
    --at;
  }
  while (at > line->buffer && IsWordCharacter(at[-1])) {
    --at;
  }
  if (at == line->cursor) {
    return CC_ERROR;
  }
  Libedit().el_cursor(editor, static_cast<int>(at - line->cursor));
  return CC_CURSOR;
}

unsigned char DeleteToNextWordEnd(EditLine* editor, int /*key*/) {
  const LineInfoW* line = Libedit().el_wline(editor);
  const int count = static_cast<int>(NextWordEnd(line) - line->cursor);
  if (count == 0) {
    return CC_ERROR;
  }
  Libedit().el_cursor(editor, count);
  Libedit().el_deletestr(editor, count);
  return CC_REFRESH;
}

// The keys' escape sequences as libedit's bind reads them: Escape as \e, a
// caret (rxvt's Ctrl-Delete) quoted.
std::wstring AsBindKey(const std::string& sequence) {
  std::wstring key;
  for (const char c : sequence) {
    if (c == '\x1b') {
      key += L"\\e";
    } else if (c == '^' || c == '\\') {
      key += L'\\';
      key += static_cast<wchar_t>(c);
    } else {
      key += static_cast<wchar_t>(c);
    }
  }
  return key;
}

// Every sequence that the keys of xterm, tmux, screen, rxvt and the Linux
// console send: the cursor and editing keys and F1 to F20, alone and with
// Shift, Alt and Ctrl (the modifier parameters 2 to 16), and Alt with a
// cursor key as an Escape before it.
std::set<std::string> KnownSequences() {
  std::set<std::string> sequences;
  const std::string csi = "\x1b[";
  const std::string ss3 = "\x1bO";
  const std::string letters = "ABCDEFHPQRSZ";
  for (const char letter : letters) {
    sequences.insert(csi + letter);
    sequences.insert("\x1b" + csi + letter);
    for (int modifier = 2; modifier <= 16; ++modifier) {
      sequences.insert(csi + "1;" + std::to_string(modifier) + letter);
      sequences.insert(csi + std::to_string(modifier) + letter);
      sequences.insert(ss3 + std::to_string(modifier) + letter);
      sequences.insert(ss3 + "1;" + std::to_string(modifier) + letter);
    }
  }
  // The keypad and rxvt's Ctrl with a cursor key.
  for (char final = 0x40; final <= 0x7e; ++final) {
    sequences.insert(ss3 + final);
    if (final <= 'D' && final >= 'A') {
      sequences.insert("\x1b" + ss3 + final);
    }
  }
  for (const int number : {1,  2,  3,  4,  5,  6,  7,  8,  11, 12, 13, 14, 15, 17,
                           18, 19, 20, 21, 23, 24, 25, 26, 28, 29, 31, 32, 33, 34}) {
    const std::string key = csi + std::to_string(number);
    for (const char final : {'~', '^', '$', '@'}) {
      sequences.insert(key + final);
    }
    sequences.insert("\x1b" + key + '~');
    for (int modifier = 2; modifier <= 16; ++modifier) {
      sequences.insert(key + ";" + std::to_string(modifier) + "~");
    }
  }
  for (char final = 'A'; final <= 'E'; ++final) {
    sequences.insert(csi + "[" + final);  // the Linux console's F1 to F5
  }
  return sequences;
}

}  // namespace

// A paste, marked by the terminal: its text goes into the line as it
// is, a Tab as a Tab, and a line break hands the line over as Enter does.
// What follows the break waits for the next line (KeyEditor::Read).
unsigned char KeyEditor::Paste() {
  const std::size_t end = paste_.find_first_of("\r\n");
  std::string text = paste_.substr(0, end);
  // As typed: a NUL is no part of any line.
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  std::size_t rest = end == std::string::npos ? paste_.size() : end + 1;
  if (end != std::string::npos && paste_[end] == '\r' && rest < paste_.size() &&
      paste_[rest] == '\n') {
    ++rest;
  }
  paste_.erase(0, rest);
  if (!text.empty()) {
    Libedit().el_winsertstr(editor_, text_.ToWide(text).c_str());
  }
  if (end != std::string::npos) {
    // Once the text is drawn.
    ready_.insert(0, 1, L'\r');
  }
  return CC_REFRESH;
}

// Enter: the line is done, and the cursor goes below it.
unsigned char KeyEditor::Accept() {
  WriteToTerminal(scrolling_ ? WholeLineBelowView() : MovesBelowLine());
  const LineInfoW* line = Libedit().el_wline(editor_);
  Libedit().el_cursor(editor_, static_cast<int>(line->lastchar - line->cursor));
  // libedit takes a line without its line feed for no line at all.
  Libedit().el_winsertstr(editor_, L"\n");
  return CC_NEWLINE;
}

// Ctrl-D: the end on an empty line, else the character under the cursor
// goes.
unsigned char KeyEditor::DeleteOrEnd() {
  const LineInfoW* line = Libedit().el_wline(editor_);
  if (line->buffer == line->lastchar) {
    return CC_EOF;
  }
  if (line->cursor == line->lastchar) {
    return CC_ERROR;
  }
  Libedit().el_cursor(editor_, 1);
  Libedit().el_deletestr(editor_, 1);
  return CC_REFRESH;
}

// Up and Down go on from where Ctrl-R left, which libedit's own history
// keys cannot know.
unsigned char KeyEditor::Step(int step) {
  const std::size_t newest = recalled_.size();
  if ((step < 0 && recall_index_ == 0) || (step > 0 && recall_index_ >= newest)) {
    return CC_ERROR;
  }
  if (recall_index_ == newest) {
    const LineInfoW* line = Libedit().el_wline(editor_);
    draft_.assign(line->buffer, line->lastchar);
  }
  recall_index_ = step < 0 ? recall_index_ - 1 : recall_index_ + 1;
  const std::wstring text =
      recall_index_ == newest ? draft_ : text_.ToWide(recalled_[recall_index_]);
  Replace(text, text.size());
  return CC_REFRESH;
}

// Ctrl-L: the line is drawn again at the top of a clear screen. Terminals
// keep what a clear screen held above it (tmux, VTE) and bring it back into
// view when a wider window needs fewer rows: the line is erased first, so
// that what comes back is what was above it, never a second copy of it.
unsigned char KeyEditor::ClearScreen() {
  DrawAgain(CursorPosition(), true);
  return CC_NORM;
}

std::set<std::string> BindKeys(EditLine* editor) {
  const KeyFunction functions[] = {
      {L"calculator-complete",
       L"Complete the name before the cursor",
       Call<&KeyEditor::Complete>,
       {L"^I"}},
      {L"calculator-search", L"Search the history backwards", Call<&KeyEditor::Search>, {L"^R"}},
      {L"calculator-accept", L"Hand the line over", Call<&KeyEditor::Accept>, {L"^M", L"^J"}},
      {L"calculator-delete-or-end",
       L"Delete, or end on an empty line",
       Call<&KeyEditor::DeleteOrEnd>,
       {L"^D"}},
      {L"calculator-older",
       L"The line before in the history",
       StepBy<-1>,
       {L"^P", L"\\e[A", L"\\eOA"}},
      {L"calculator-newer",
       L"The line after in the history",
       StepBy<1>,
       {L"^N", L"\\e[B", L"\\eOB"}},
      {L"calculator-clear-screen",
       L"Clear the screen and draw the line at its top",
       Call<&KeyEditor::ClearScreen>,
       {L"^L"}},
      // Ctrl and Alt with Right, Left and Delete: xterm, then rxvt, then
      // Alt as an Escape before the key.
      {L"calculator-next-word",
       L"Move to the end of the next name or number",
       MoveToNextWordEnd,
       {L"\\e[1;5C", L"\\e[1;3C", L"\\e[5C", L"\\e[3C", L"\\eOc", L"\\e\\e[C", L"\\e\\eOC"}},
      {L"calculator-previous-word",
       L"Move to the start of the name or number before the cursor",
       MoveToWordStart,
       {L"\\e[1;5D", L"\\e[1;3D", L"\\e[5D", L"\\e[3D", L"\\eOd", L"\\e\\e[D", L"\\e\\eOD"}},
      {L"calculator-delete-next-word",
       L"Delete to the end of the next name or number",
       DeleteToNextWordEnd,
       {L"\\e[3;5~", L"\\e[3;3~", L"\\e[3\\^", L"\\e\\e[3~"}},
      {L"calculator-paste",
       L"Insert the text that the terminal marks as pasted",
       Call<&KeyEditor::Paste>,
       {L"\\e[200~"}},
  };
  const LibeditFunctions& libedit = Libedit();
  // A key without a binding of its own rings the bell and leaves nothing
  // in the line.
  std::set<std::string> sequences = KnownSequences();
  for (const std::string& sequence : sequences) {
    libedit.el_wset(editor, EL_BIND, AsBindKey(sequence).c_str(), L"ed-unassigned", nullptr);
  }
  for (const KeyFunction& function : functions) {
    libedit.el_wset(editor, EL_ADDFN, function.name, function.help, function.action);
    for (const wchar_t* key : function.keys) {
      libedit.el_wset(editor, EL_BIND, key, function.name, nullptr);
    }
  }
  const struct {
    const wchar_t* function;
    std::initializer_list<const wchar_t*> keys;
  } bindings[] = {
      {L"ed-delete-prev-word", {L"^W"}},
      {L"ed-next-char", {L"\\e[C", L"\\eOC"}},
      {L"ed-prev-char", {L"\\e[D", L"\\eOD"}},
      {L"ed-move-to-beg", {L"\\e[1~", L"\\e[7~", L"\\e[H", L"\\eOH"}},
      {L"ed-move-to-end", {L"\\e[4~", L"\\e[8~", L"\\e[F", L"\\eOF"}},
      {L"ed-delete-next-char", {L"\\e[3~"}},
  };
  for (const auto& binding : bindings) {
    for (const wchar_t* key : binding.keys) {
      libedit.el_wset(editor, EL_BIND, key, binding.function, nullptr);
    }
  }
  // The user's own bindings come last.
  libedit.el_source(editor, nullptr);
  return sequences;
}
