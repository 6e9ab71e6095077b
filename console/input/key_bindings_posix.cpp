// Which key does what: the key functions of the key editor, under the names
// that ~/.editrc can bind them by, and the keys of the usual readline
// consoles that libedit's emacs keys lack.

#include <initializer_list>
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

}  // namespace

// Enter: the line is done, and the cursor goes below it.
unsigned char KeyEditor::Accept() {
  WriteToTerminal(MovesBelowLine());
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

void BindKeys(EditLine* editor) {
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
  };
  const LibeditFunctions& libedit = Libedit();
  for (const KeyFunction& function : functions) {
    libedit.el_wset(editor, EL_ADDFN, function.name, function.help, function.action);
    for (const wchar_t* key : function.keys) {
      libedit.el_wset(editor, EL_BIND, key, function.name, nullptr);
    }
  }
  const wchar_t* const bindings[][2] = {
      {L"^W", L"ed-delete-prev-word"}, {L"\\e[1~", L"ed-move-to-beg"},
      {L"\\e[4~", L"ed-move-to-end"},  {L"\\e[7~", L"ed-move-to-beg"},
      {L"\\e[8~", L"ed-move-to-end"},  {L"\\e[H", L"ed-move-to-beg"},
      {L"\\e[F", L"ed-move-to-end"},   {L"\\eOH", L"ed-move-to-beg"},
      {L"\\eOF", L"ed-move-to-end"},   {L"\\e[3~", L"ed-delete-next-char"},
      {L"\\e[1;5C", L"em-next-word"},  {L"\\e[1;5D", L"ed-prev-word"},
  };
  for (const auto& binding : bindings) {
    libedit.el_wset(editor, EL_BIND, binding[0], binding[1], nullptr);
  }
  // The user's own bindings come last.
  libedit.el_source(editor, nullptr);
}
