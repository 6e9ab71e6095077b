// The editing keys at a terminal, on libedit's own interface: Tab
// completion, Ctrl-R search, Enter and Ctrl-D are this program's, so that
// they ring no needless bell, leave no key sequence in the line and draw no
// stray characters or blank lines.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "console/input/completion.h"
#include "console/input/history_file_posix.h"
#include "console/input/typed_lines.h"

class KeyEditor {
 public:
  // `recalled` are the lines that Up and Ctrl-R offer, oldest first; it
  // must outlive the editor and grows as lines are typed.
  KeyEditor(const std::function<CompletionNames()>& names, const HistoryLines& recalled);
  ~KeyEditor();
  KeyEditor(const KeyEditor&) = delete;
  KeyEditor& operator=(const KeyEditor&) = delete;

  LineEditor::Outcome Read(std::string& line);
  // Offers `line` to Up and Ctrl-R from now on.
  void Recall(const std::string& line);

  // Opaque; public only for libedit's callbacks.
  struct Keys;

 private:
  std::unique_ptr<Keys> keys_;
};
