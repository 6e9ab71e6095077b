// Ctrl-R, the search back through the history, and Tab, the completion of
// names: the keys of the key editor that hold a dialogue of their own.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "console/input/key_editor_posix.h"
#include "console/input/libedit_posix.h"

namespace {

constexpr wchar_t kCtrlG = 0x07;
constexpr wchar_t kCtrlH = 0x08;
constexpr wchar_t kCtrlR = 0x12;
constexpr wchar_t kEscape = 0x1b;
constexpr wchar_t kDelete = 0x7f;

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

}  // namespace

void KeyEditor::ListNames(const std::vector<std::string>& names) {
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
  Libedit().el_set(editor_, EL_REFRESH);
}

// Tab adds what the names that fit share (and the parenthesis of a
// function named whole); when several fit and it can add nothing, a Tab
// pressed right after a Tab lists them. The bell is kept for a name that
// nothing fits.
unsigned char KeyEditor::Complete() {
  const LineInfoW* line = Libedit().el_wline(editor_);
  const wchar_t* start = line->cursor;
  while (start > line->buffer && !IsWordBreak(start[-1])) {
    --start;
  }
  const std::string prefix =
      text_.ToBytes(std::wstring_view(start, static_cast<std::size_t>(line->cursor - start)));
  const Completion completion = CompleteName(prefix, names_());
  if (completion.matches.empty()) {
    return CC_REFRESH_BEEP;
  }
  std::string addition = CommonPrefix(completion.matches).substr(prefix.size());
  if (completion.opens_call) {
    addition += '(';
  }
  if (!addition.empty()) {
    Libedit().el_winsertstr(editor_, text_.ToWide(addition).c_str());
    return CC_REFRESH;
  }
  if (completion.matches.size() > 1 && key_before_ == L'\t') {
    ListNames(completion.matches);
  }
  return CC_NORM;
}

bool KeyEditor::FindOlder(const std::wstring& query, std::size_t from, std::size_t& index,
                          std::wstring& line, std::size_t& cursor) const {
  for (std::size_t i = std::min(from, recalled_.size()); i-- > 0;) {
    std::wstring candidate = text_.ToWide(recalled_[i]);
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
// goes back to the line as it was, Escape ends the search with the line
// found; any other key ends it too and then does what it always does.
unsigned char KeyEditor::Search() {
  const LineInfoW* line = Libedit().el_wline(editor_);
  const std::wstring original(line->buffer, line->lastchar);
  const std::size_t original_cursor = static_cast<std::size_t>(line->cursor - line->buffer);
  std::wstring query;
  std::size_t index = recalled_.size();  // of the line found; the size while none
  std::wstring found = original;
  std::size_t found_cursor = original_cursor;
  bool failed = false;
  for (;;) {
    Show((failed ? L"(failed reverse-i-search)`" : L"(reverse-i-search)`") + query + L"': ", found,
         found_cursor);
    wchar_t key = 0;
    if (Libedit().el_wgetc(editor_, &key) != 1) {
      Show(L"", found, found_cursor);
      return CC_EOF;
    }
    if (key == kCtrlG) {
      Show(L"", original, original_cursor);
      return CC_NORM;
    }
    if (key == L'\r' || key == L'\n') {
      Show(L"", found, found_cursor);
      return Accept();
    }
    if (key == kCtrlR || (key >= 0x20 && key != kDelete)) {
      // A longer query may still match the line found; Ctrl-R looks past it.
      const std::size_t from = key == kCtrlR || index == recalled_.size() ? index : index + 1;
      if (key != kCtrlR) {
        query += key;
      }
      failed = !FindOlder(query, from, index, found, found_cursor);
      if (failed) {
        Libedit().el_beep(editor_);
      }
    } else if (key == kDelete || key == kCtrlH) {
      if (!query.empty()) {
        query.pop_back();
      }
      index = recalled_.size();
      found = original;
      found_cursor = original_cursor;
      failed = !query.empty() && !FindOlder(query, index, index, found, found_cursor);
    } else {
      // An Escape on its own only ends the search; one that starts a key's
      // sequence (an arrow, Home) goes back with it to libedit.
      const bool key_acts = key != kEscape || KeyFollows();
      Show(L"", found, found_cursor);
      // Up and Down go on from the line found.
      if (index < recalled_.size()) {
        draft_ = original;
        recall_index_ = index;
      }
      if (key_acts) {
        const wchar_t again[] = {key, L'\0'};
        Libedit().el_wpush(editor_, again);
      }
      return CC_NORM;
    }
  }
}
