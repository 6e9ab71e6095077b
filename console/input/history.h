// The history of typed lines: which lines it keeps, where it is kept, and
// the text of its file. Reading and replacing the file itself is
// history_file_posix.h.
//
// The file is plain text: a first line that marks it as this program's
// history, then one typed line per line, oldest first.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Looks a variable up in the environment; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

struct HistoryLocation {
  std::string file;
  // The folder to create if it is missing; empty when the user named the
  // file, whose folder must then already be there.
  std::string folder;
};

// CALCULATOR_HISTORY names the file, and set but empty turns the history
// off. Otherwise the file is calculator/history under $XDG_STATE_HOME, or
// under ~/.local/state when that is not set to an absolute path. Nothing
// when there is nowhere to keep it.
std::optional<HistoryLocation> FindHistoryLocation(const EnvironmentLookup& lookup);

// The newest lines kept in the file and recalled in a session.
constexpr std::size_t kHistoryLines = 1000;
// The first line of the file.
inline constexpr char kHistoryMark[] =
    "# calculator history: one typed line per line, oldest first";
// A longer line in the file is not taken back: no one types it, and it
// would let a damaged file fill the memory.
constexpr std::size_t kLongestHistoryLine = 65536;

using HistoryLines = std::deque<std::string>;

// Whether a typed line belongs in the history: not one that holds a
// control character other than a tab, such as the ESC of a key that the
// terminal's own line input took as text, or a line feed (Ctrl-V Ctrl-J),
// which would come back from the file as two lines.
bool IsKeptInHistory(std::string_view line);

// Appends `line` to `lines` unless it repeats the last one, and keeps only
// the newest kHistoryLines. Returns whether it was appended.
bool AddHistoryLine(HistoryLines& lines, std::string line);

// Takes the content of a history file piece by piece, so that a huge file
// never has to be in memory at once. The old format of the line editor
// library (a first line "_HiStOrY_V2_", characters encoded as in vis(3)) is
// read too.
class HistoryParser {
 public:
  // False once the content is known not to be a history.
  bool Feed(std::string_view bytes);
  // The lines; nothing when the content is not a history.
  std::optional<HistoryLines> Finish();

 private:
  enum class Format { kUnknown, kPlain, kOld, kForeign };

  void Append(std::string_view piece);
  void EndLine();

  Format format_ = Format::kUnknown;
  std::string partial_;
  bool too_long_ = false;
  HistoryLines lines_;
};

// Turns the whole content of a history file into its lines.
std::optional<HistoryLines> ParseHistory(std::string_view content);

// The content that SaveHistoryLines writes.
std::string FormatHistory(const HistoryLines& lines);
