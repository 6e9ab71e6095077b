// The terminal model: rows that wrap and rejoin, cursor moves and clears,
// as today's terminals apply them to the program's output.
#include "terminal_screen.h"

#include <algorithm>

namespace terminal_test {
namespace {

struct Row {
  std::vector<std::string> cells;  // a character each; empty: blank
  bool wrapped = false;            // the text goes on in the next row
};

// The rows of the history and of the window below it; the window is the
// last `rows_` of them, and the cursor is always in it.
class Screen {
 public:
  Screen(int columns, int rows) : columns_(columns), rows_(rows), lines_(rows) {}

  void Put(char c) {
    if (column_ >= columns_) {  // the wrap waits for the next character
      lines_[row_].wrapped = true;
      LineFeed();
      column_ = 0;
    }
    Cell(column_++) = std::string(1, c);
  }

  // A byte that goes on the character before: the rest of its UTF-8.
  void Continue(char c) {
    if (column_ > 0) {
      Cell(std::min(column_, columns_) - 1) += c;
    }
  }

  // ESC 7 and ESC 8: the cursor's place in the window, kept and taken back.
  void SaveCursor() {
    saved_row_ = row_ - Top();
    saved_column_ = column_;
  }
  void RestoreCursor() {
    row_ = Top() + saved_row_;
    column_ = saved_column_;
  }

  void Control(char c) {
    if (c == '\r') {
      column_ = 0;
    } else if (c == '\n') {
      LineFeed();
    } else if (c == '\b' && column_ > 0) {
      column_ = std::min(column_, columns_) - 1;
    }
  }

  // ESC [ count final
  void Sequence(int count, char final) {
    const int at = std::min(column_, columns_);
    std::vector<std::string>& cells = lines_[row_].cells;
    switch (final) {
      case 'A':
        row_ = std::max(Top(), row_ - count);
        break;
      case 'B':
        row_ = std::min(static_cast<int>(lines_.size()) - 1, row_ + count);
        break;
      case 'C':
        column_ = std::min(columns_ - 1, column_ + count);
        break;
      case 'D':
        column_ = std::max(0, at - count);
        break;
      case 'H':
        row_ = Top();
        column_ = 0;
        break;
      case 'J':
        if (count == 2) {
          ClearScreen();
          break;
        }
        for (std::size_t below = static_cast<std::size_t>(row_) + 1; below < lines_.size();
             ++below) {
          lines_[below] = Row{};
        }
        [[fallthrough]];
      case 'K':
        if (cells.size() > static_cast<std::size_t>(at)) {
          cells.resize(static_cast<std::size_t>(at));
        }
        lines_[row_].wrapped = false;  // the row no longer reaches its end
        break;
      case 'P':
        if (cells.size() > static_cast<std::size_t>(at)) {
          cells.erase(cells.begin() + at,
                      cells.begin() + std::min<std::size_t>(cells.size(), at + count));
        }
        break;
      case '@':
        if (cells.size() > static_cast<std::size_t>(at)) {
          cells.insert(cells.begin() + at, static_cast<std::size_t>(count), std::string());
          cells.resize(std::min(cells.size(), static_cast<std::size_t>(columns_)));
        }
        break;
      default:
        break;
    }
  }

  // The rows a wrap joined are joined again and wrapped at the new width;
  // the cursor stays on its character. The window shows the last rows, so
  // fewer rows bring the history back into view.
  void Resize(int columns, int rows) {
    std::vector<Row> reflowed;
    int cursor_row = 0;
    int cursor_column = 0;
    for (std::size_t first = 0; first < lines_.size();) {
      std::vector<std::string> text;
      std::size_t last = first;
      int cursor_at = -1;  // in `text`
      for (;; ++last) {
        if (static_cast<int>(last) == row_) {
          cursor_at = static_cast<int>(text.size()) + std::min(column_, columns_);
        }
        const std::vector<std::string>& cells = lines_[last].cells;
        text.insert(text.end(), cells.begin(), cells.end());
        if (!lines_[last].wrapped || last + 1 == lines_.size()) {
          break;
        }
        text.resize(static_cast<std::size_t>(columns_) * (last - first + 1));
      }
      const int start = static_cast<int>(reflowed.size());
      const int length = static_cast<int>(text.size());
      int count = std::max(1, (length + columns - 1) / columns);
      if (cursor_at >= 0) {
        // Right after the last character of a full row, the cursor waits
        // at its end.
        const bool at_margin = cursor_at == length && length > 0 && length % columns == 0;
        cursor_row = start + (at_margin ? cursor_at / columns - 1 : cursor_at / columns);
        cursor_column = at_margin ? columns : cursor_at % columns;
        count = std::max(count, cursor_row - start + 1);
      }
      for (int i = 0; i < count; ++i) {
        Row row;
        const int from = std::min(length, i * columns);
        const int to = std::min(length, from + columns);
        row.cells.assign(text.begin() + from, text.begin() + to);
        row.wrapped = i + 1 < count && to < length;
        reflowed.push_back(row);
      }
      first = last + 1;
    }
    // Rows that the new width or height adds take the place of blank rows
    // below the cursor before they push rows into the history.
    const std::size_t history_and_window =
        lines_.size() - static_cast<std::size_t>(rows_) + static_cast<std::size_t>(rows);
    while (reflowed.size() > history_and_window &&
           static_cast<int>(reflowed.size()) - 1 > cursor_row && reflowed.back().cells.empty()) {
      reflowed.pop_back();
    }
    columns_ = columns;
    rows_ = rows;
    lines_ = std::move(reflowed);
    while (static_cast<int>(lines_.size()) < rows_) {
      lines_.emplace_back();
    }
    row_ = cursor_row;
    column_ = cursor_column;
  }

  // The window's rows.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (auto row_in = lines_.begin() + Top(); row_in != lines_.end(); ++row_in) {
      const Row& row = *row_in;
      std::string line;
      for (const std::string& cell : row.cells) {
        line += cell.empty() ? " " : cell;
      }
      line.erase(line.find_last_not_of(' ') + 1);
      lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) {
      lines.pop_back();
    }
    return lines;
  }

 private:
  int Top() const { return static_cast<int>(lines_.size()) - rows_; }

  std::string& Cell(int column) {
    std::vector<std::string>& cells = lines_[row_].cells;
    if (cells.size() <= static_cast<std::size_t>(column)) {
      cells.resize(static_cast<std::size_t>(column) + 1);
    }
    return cells[static_cast<std::size_t>(column)];
  }

  void LineFeed() {
    if (++row_ == static_cast<int>(lines_.size())) {
      lines_.emplace_back();  // the top row goes into the history
    }
  }

  // What the window holds, down to its last row with text, goes into the
  // history; the cursor keeps its place in the window.
  void ClearScreen() {
    int used = 0;
    for (int row = Top(); row < static_cast<int>(lines_.size()); ++row) {
      if (!lines_[row].cells.empty()) {
        used = row - Top() + 1;
      }
    }
    lines_.resize(lines_.size() + static_cast<std::size_t>(used));
    for (int row = Top(); row < static_cast<int>(lines_.size()); ++row) {
      lines_[row] = Row{};
    }
    row_ += used;
  }

  int columns_;
  int rows_;
  std::vector<Row> lines_;
  int row_ = 0;
  int column_ = 0;
  int saved_row_ = 0;
  int saved_column_ = 0;
};

}  // namespace

std::vector<std::string> ScreenLines(const std::string& output, int columns, int rows,
                                     const std::vector<console_test::TerminalResize>& resizes) {
  Screen screen(columns, rows);
  auto resize = resizes.begin();
  for (std::size_t i = 0; i < output.size(); ++i) {
    for (; resize != resizes.end() && resize->at <= i; ++resize) {
      screen.Resize(resize->columns, resize->rows);
    }
    const char c = output[i];
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\x1b' && i + 1 < output.size() && output[i + 1] == '[') {
      std::size_t end = i + 2;
      while (end < output.size() && (output[end] < 0x40 || output[end] > 0x7e)) {
        ++end;
      }
      if (end == output.size()) {
        break;
      }
      const std::string parameters = output.substr(i + 2, end - i - 2);
      const bool plain =
          !parameters.empty() && parameters.find_first_not_of("0123456789") == std::string::npos;
      screen.Sequence(plain ? std::stoi(parameters) : 1,
                      parameters.empty() || plain ? output[end] : '?');
      i = end;
    } else if (c == '\x1b') {
      ++i;  // a two-byte sequence
      if (i < output.size() && output[i] == '7') {
        screen.SaveCursor();
      } else if (i < output.size() && output[i] == '8') {
        screen.RestoreCursor();
      }
    } else if (byte < 0x20) {
      screen.Control(c);
    } else if ((byte & 0xc0) == 0x80) {
      screen.Continue(c);
    } else {
      screen.Put(c);
    }
  }
  for (; resize != resizes.end(); ++resize) {
    screen.Resize(resize->columns, resize->rows);
  }
  return screen.Lines();
}

std::vector<std::string> ScreenOf(const console_test::TerminalProgram& program) {
  return ScreenLines(program.Output(), console_test::TerminalProgram::kColumns,
                     console_test::TerminalProgram::kRows, program.Resizes());
}

}  // namespace terminal_test
