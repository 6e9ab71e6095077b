// The editing keys at a terminal, on libedit's own interface: Tab
// completion, Ctrl-R search, Enter, Ctrl-D, Ctrl-L and the history keys are
// this program's, so that they ring no needless bell, leave no key
// sequence in the line and draw no stray characters or blank lines.
//
// key_editor_posix.cpp reads the keys and keeps the screen right (a
// resized window, a return from Ctrl-Z, Ctrl-C); key_bindings_posix.cpp
// binds the keys to what they do; search_and_completion_posix.cpp is
// Ctrl-R and Tab.
#pragma once

#include <histedit.h>
#include <signal.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "console/input/completion.h"
#include "console/input/history.h"
#include "console/input/line_source.h"
#include "console/input/terminal_text_posix.h"

class KeyEditor {
 public:
  // `recalled` are the lines that Up and Ctrl-R offer, oldest first; it
  // must outlive the editor and grows as lines are typed.
  KeyEditor(const std::function<CompletionNames()>& names, const HistoryLines& recalled);
  ~KeyEditor();
  KeyEditor(const KeyEditor&) = delete;
  KeyEditor& operator=(const KeyEditor&) = delete;

  // Reads one line into `line`, without its line feed: kLine, kCutShort
  // after a stop signal, or kEnd at Ctrl-D on an empty line or the end of
  // the terminal.
  LineSource::Outcome Read(std::string& line);
  // Offers `line` to Up and Ctrl-R from now on.
  void Recall(const std::string& line);

  // What the keys do, for libedit; each returns what libedit is to do next
  // (CC_NORM, CC_REFRESH, ...).
  static KeyEditor& Of(EditLine* editor);
  unsigned char Accept();
  unsigned char DeleteOrEnd();
  // Up and Down: `step` lines back or forth through the history.
  unsigned char Step(int step);
  unsigned char ClearScreen();
  unsigned char Complete();
  unsigned char Search();
  // The text of a bracketed paste, up to its first line break, which then
  // hands the line over as Enter does.
  unsigned char Paste();

 private:
  static wchar_t* Prompt(EditLine* editor);
  static int ReadKey(EditLine* editor, wchar_t* key);
  int ReadKey(wchar_t& key);
  // Reads the next byte typed into `unread_`: 1, 0 at the end of the
  // terminal or a stop, -1 on an error.
  int ReadByte();
  // Whether another key has come or comes at once, as the rest of a key's
  // sequence does after its Escape.
  bool KeyFollows();
  // Takes the escape sequence at the start of `unread_`, once it is
  // complete: the keys for libedit go to `ready_`, the text of a paste to
  // `paste_`, and a sequence without a binding only rings the bell. False
  // while more of it is to come.
  bool TakeSequence();
  bool TakePaste();
  void SetBracketedPaste(bool on);

  int Columns() const;
  int Lines() const;
  ScreenPosition PositionOf(std::size_t index) const;
  ScreenPosition CursorPosition() const;
  ScreenPosition EndPosition() const;
  // Moves from the cursor to below the line, or to the end of its text.
  std::string MovesBelowLine() const;
  std::string MovesToLineEnd() const;
  // Puts the cursor back where the prompt starts (it stands at `drawn`
  // there), clears what follows and has libedit draw the prompt and the
  // line again from there, or at the top of a clear screen.
  void DrawAgain(ScreenPosition drawn, bool on_clear_screen = false);
  void DrawAfterResize();
  // Asks the terminal which row of the window the cursor is on: from 0 at
  // the top, or -1 when it does not answer at once. Keys typed meanwhile
  // are kept.
  int CursorRowOnScreen();
  // Draws the rows of the line from `hidden` on at the top of the window,
  // the cursor on its row of them: the rows before are out of the cursor's
  // reach, in the terminal's history.
  void DrawBelowHiddenRows(ScreenPosition cursor, int hidden);
  // A line that would fill the window is shown on one row instead, the
  // part around the cursor: libedit keeps only its last rows in view and
  // moves the cursor by relative moves, which cannot reach the rows above
  // the window.
  bool LineIsTall() const;
  // Shows what libedit has drawn since the last time, or, for a tall line,
  // draws the row around the cursor in its place.
  void Present();
  void DrawView();
  // Writes the whole line out below where the view stood, as Enter leaves
  // it.
  std::string WholeLineBelowView() const;
  // The characters of the prompt and the line as libedit shows them.
  std::string ShownText(std::wstring_view text) const;
  void DrawAfterResume();
  void Show(const std::wstring& new_prompt, const std::wstring& line, std::size_t cursor);
  void Replace(const std::wstring& line, std::size_t cursor);
  void ListNames(const std::vector<std::string>& names);
  bool FindOlder(const std::wstring& query, std::size_t from, std::size_t& index,
                 std::wstring& line, std::size_t& cursor) const;

  // libedit draws into `held_`, which Present shows or drops.
  std::string held_;
  FILE* held_file_ = nullptr;
  bool scrolling_ = false;      // the line is shown on one row
  std::size_t view_first_ = 0;  // its first character shown
  int view_cursor_column_ = 0;
  int view_end_column_ = 0;
  int screen_row_ = 0;  // the cursor's row as libedit drew it last
  EditLine* editor_ = nullptr;
  HistoryW* history_ = nullptr;
  const std::function<CompletionNames()>& names_;
  const HistoryLines& recalled_;
  TerminalText text_;
  std::wstring prompt_;
  std::string unread_;  // bytes read but not yet a whole character
  std::wstring ready_;  // keys of a whole sequence, for libedit
  // The escape sequences that reach libedit whole; any other is dropped.
  std::set<std::string> sequences_;
  bool pasting_ = false;  // between the start and the end of a paste
  std::string paste_;     // pasted text not yet in the line
  // The last key read, and the one before it: a Tab right after a Tab
  // lists the names.
  wchar_t last_key_ = 0;
  wchar_t key_before_ = 0;
  // The line of the history that Up and Down stand on; the size of the
  // history while on the line being typed, which is kept in `draft_`.
  std::size_t recall_index_ = 0;
  std::wstring draft_;
  struct sigaction previous_actions_[3] = {};
};

// Writes screen cosmetics straight to the terminal, after what libedit has
// buffered: a failed write changes nothing else.
void WriteToTerminal(std::string_view text);

// What the terminal sends at the start of a bracketed paste.
inline constexpr char kPasteStart[] = "\x1b[200~";

// Binds the keys of KeyEditor, then the user's own (~/.editrc, or the file
// $EDITRC names). Returns the escape sequences bound: every key sequence
// that xterm, tmux, screen and the Linux console send, each bound to what
// it does or to the bell.
std::set<std::string> BindKeys(EditLine* editor);
