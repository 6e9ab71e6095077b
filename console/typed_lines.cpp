#include "console/typed_lines.h"

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <string>

#include "console/completion.h"
#include "console/history_file.h"
#include "console/line_editor.h"
#include "console/signals.h"

namespace {

CompletionNames NamesOf(const calculator::Session& session) {
  CompletionNames names;
  names.constants = calculator::constant_names();
  names.variables = session.variable_names();
  names.functions = calculator::function_names();
  return names;
}

// SIGTERM or SIGHUP: only Ctrl-C leaves the session going.
bool SessionMustEnd() {
  int signal = PendingStopSignal();
  return signal != 0 && signal != SIGINT;
}

// A SIGTERM or SIGHUP stays pending whatever else happens: the session must
// end.
void ForgetCtrlC() {
  if (PendingStopSignal() == SIGINT) {
    ClearPendingStopSignal();
  }
}

// Reads and answers typed lines until Ctrl-D, SIGTERM or SIGHUP.
void AnswerUntilTheEnd(Console& console, LineEditor& editor) {
  std::string line;
  for (;;) {
    console.output.Flush();
    ForgetCtrlC();
    const LineEditor::Outcome outcome = editor.ReadLine(line);
    if (SessionMustEnd() || outcome == LineEditor::Outcome::kEnd) {
      return;
    }
    if (outcome == LineEditor::Outcome::kCutShort) {
      continue;  // Ctrl-C while typing: nothing to answer
    }
    // A Ctrl-C after the editor handed the line over came too late to drop
    // it and, as the evaluation has not begun, too early to stop it: it is
    // forgotten.
    ForgetCtrlC();
    const bool answered = AnswerLine(console, line);
    if (SessionMustEnd()) {
      return;
    }
    if (!answered) {
      // The terminal itself may have echoed "^C" where the answer goes:
      // the answer starts over at the left edge and covers it.
      console.output.WriteLine("\rError : ", calculator::Interrupted().what());
    }
  }
}

}  // namespace

void AnswerTypedLines(Console& console) {
  // Typed text in the terminal's character set; LC_ALL would also change
  // how numbers are read and written.
  std::setlocale(LC_CTYPE, "");
  LineEditor editor([&console] { return NamesOf(console.session); },
                    FindHistoryLocation(std::getenv));
  AnswerUntilTheEnd(console, editor);
  console.output.Flush();
  editor.SaveHistory();
  EndOnStopSignal(console);
}
