#include "console/input/line_source.h"

#include <clocale>
#include <cstdlib>
#include <string>

#include "console/input/completion.h"
#include "console/input/history_file_posix.h"
#include "console/input/typed_lines.h"

namespace {

CompletionNames NamesOf(const calculator::Session& session) {
  CompletionNames names;
  names.constants = calculator::constant_names();
  names.variables = session.variable_names();
  names.functions = calculator::function_names();
  return names;
}

// Typed text in the terminal's character set; LC_ALL would also change how
// numbers are read and written.
void UseTerminalCharacterSet() {
  std::setlocale(LC_CTYPE, "");
}

class TypedLines : public LineSource {
 public:
  TypedLines(Output& output, const calculator::Session& session)
      : output_(output),
        editor_([&session] { return NamesOf(session); }, FindHistoryLocation(std::getenv)) {}

  Outcome Next(std::string_view& line) override {
    output_.BeforeWait();
    if (output_.failed()) {
      return Outcome::kEnd;
    }
    switch (editor_.ReadLine(line_)) {
      case LineEditor::Outcome::kLine:
        line = line_;
        return Outcome::kLine;
      case LineEditor::Outcome::kCutShort:
        return Outcome::kCutShort;
      case LineEditor::Outcome::kEnd:
        break;
    }
    return Outcome::kEnd;
  }

  bool typed() const override { return true; }
  void Finish() override { editor_.SaveHistory(); }

 private:
  Output& output_;
  LineEditor editor_;
  std::string line_;
};

}  // namespace

std::unique_ptr<LineSource> OpenLineSource(const Input& input, bool at_terminal, Output& output,
                                           LineReader& reader, const calculator::Session& session) {
  if (input.is_standard_input && at_terminal) {
    UseTerminalCharacterSet();  // before the editor starts
    return std::make_unique<TypedLines>(output, session);
  }
  return OpenReadLines(input.fd, output, reader);
}
