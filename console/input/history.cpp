// The history of typed lines: which lines are kept, where the file is,
// and its text.
#include "console/input/history.h"

namespace {

const char kHistoryVariable[] = "CALCULATOR_HISTORY";
const char kStateHomeVariable[] = "XDG_STATE_HOME";
const char kHomeVariable[] = "HOME";
const char kDefaultStateHome[] = "/.local/state";
const char kHistoryFolder[] = "/calculator";
const char kHistoryFileName[] = "/history";
// The first line of the files that the line editor library wrote.
const char kOldHistoryMark[] = "_HiStOrY_V2_";

bool IsAbsolutePath(const char* path) {
  return path != nullptr && path[0] == '/';
}

bool IsOctalDigit(char c) {
  return c >= '0' && c <= '7';
}

char ControlCharacter(char c) {
  return c == '?' ? '\x7f' : static_cast<char>(c & 0x1f);
}

char Meta(char c) {
  return static_cast<char>(static_cast<unsigned char>(c) | 0x80u);
}

// Decodes the escape after a backslash into `text`; returns how many
// characters it took.
std::size_t DecodeEscape(std::string_view escape, std::string& text) {
  if (escape.size() >= 3 && escape[0] == 'M' && escape[1] == '-') {
    text += Meta(escape[2]);
    return 3;
  }
  if (escape.size() >= 3 && escape[0] == 'M' && escape[1] == '^') {
    text += Meta(ControlCharacter(escape[2]));
    return 3;
  }
  if (escape.size() >= 2 && escape[0] == '^') {
    text += ControlCharacter(escape[1]);
    return 2;
  }
  std::size_t digits = 0;
  unsigned value = 0;
  while (digits < 3 && digits < escape.size() && IsOctalDigit(escape[digits])) {
    value = value * 8 + static_cast<unsigned>(escape[digits] - '0');
    ++digits;
  }
  if (digits > 0) {
    text += static_cast<char>(value & 0xffu);
    return digits;
  }
  text += escape[0];
  return 1;
}

// Undoes vis(3) as the old history files used it: \ooo, \^X, \M-X, \M^X
// and a backslash before any other character.
std::string DecodeOldLine(std::string_view line) {
  std::string text;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      i += DecodeEscape(line.substr(i + 1), text);
    } else {
      text += line[i];
    }
  }
  return text;
}

}  // namespace

std::optional<HistoryLocation> FindHistoryLocation(const EnvironmentLookup& lookup) {
  if (const char* named = lookup(kHistoryVariable); named != nullptr) {
    if (named[0] == '\0') {
      return std::nullopt;
    }
    return HistoryLocation{named, ""};
  }
  std::string state_home;
  if (const char* xdg = lookup(kStateHomeVariable); IsAbsolutePath(xdg)) {
    state_home = xdg;
  } else if (const char* home = lookup(kHomeVariable); IsAbsolutePath(home)) {
    state_home = std::string(home) + kDefaultStateHome;
  } else {
    return std::nullopt;
  }
  const std::string folder = state_home + kHistoryFolder;
  return HistoryLocation{folder + kHistoryFileName, folder};
}

bool IsKeptInHistory(std::string_view line) {
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7f) {
      return false;
    }
  }
  return true;
}

bool AddHistoryLine(HistoryLines& lines, std::string line) {
  if (!lines.empty() && lines.back() == line) {
    return false;
  }
  lines.push_back(std::move(line));
  while (lines.size() > kHistoryLines) {
    lines.pop_front();
  }
  return true;
}

std::optional<HistoryLines> ParseHistory(std::string_view content) {
  HistoryParser parser;
  parser.Feed(content);
  return parser.Finish();
}

std::string FormatHistory(const HistoryLines& lines) {
  std::string content = kHistoryMark;
  content += '\n';
  for (const std::string& line : lines) {
    content += line;
    content += '\n';
  }
  return content;
}

bool HistoryParser::Feed(std::string_view bytes) {
  while (!bytes.empty() && format_ != Format::kForeign) {
    const std::size_t end = bytes.find('\n');
    Append(bytes.substr(0, end));
    if (end == std::string_view::npos) {
      break;
    }
    EndLine();
    bytes.remove_prefix(end + 1);
  }
  return format_ != Format::kForeign;
}

std::optional<HistoryLines> HistoryParser::Finish() {
  if (!partial_.empty() || too_long_) {
    EndLine();  // a last line without its line feed
  }
  if (format_ == Format::kForeign) {
    return std::nullopt;
  }
  return std::move(lines_);
}

void HistoryParser::Append(std::string_view piece) {
  const std::size_t limit = format_ == Format::kUnknown ? sizeof kHistoryMark : kLongestHistoryLine;
  if (too_long_ || partial_.size() + piece.size() > limit) {
    too_long_ = true;
    partial_.clear();
    if (format_ == Format::kUnknown) {
      format_ = Format::kForeign;
    }
    return;
  }
  partial_.append(piece);
}

void HistoryParser::EndLine() {
  if (format_ == Format::kUnknown) {
    format_ = partial_ == kHistoryMark      ? Format::kPlain
              : partial_ == kOldHistoryMark ? Format::kOld
                                            : Format::kForeign;
  } else if (!too_long_ && !partial_.empty()) {
    AddHistoryLine(lines_, format_ == Format::kOld ? DecodeOldLine(partial_) : partial_);
  }
  partial_.clear();
  too_long_ = false;
}
