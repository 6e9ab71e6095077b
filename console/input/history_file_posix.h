// Where the lines typed at a terminal are kept from one session to the next,
// and how the file is read and written.
//
// The file is plain text: a first line that marks it as this program's
// history, then one typed line per line, oldest first. Sessions that end at
// the same time take turns under a lock; each re-reads the file, adds its
// own lines and replaces the file atomically, so that a crash at any moment
// leaves either the old file or the new one.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
extern const char kHistoryMark[];
// A longer line in the file is not taken back: no one types it, and it
// would let a damaged file fill the memory.
constexpr std::size_t kLongestHistoryLine = 65536;

using HistoryLines = std::deque<std::string>;

// Appends `line` to `lines` unless it repeats the last one, and keeps only
// the newest kHistoryLines. Returns whether it was appended.
bool AddHistoryLine(HistoryLines& lines, std::string line);

// Turns the content of a history file into its lines. The old format of
// the line editor library (a first line "_HiStOrY_V2_", characters encoded
// as in vis(3)) is read too. Nothing when the content is neither.
std::optional<HistoryLines> ParseHistory(std::string_view content);

// The content that SaveHistoryLines writes.
std::string FormatHistory(const HistoryLines& lines);

// Opens the history at the start of a session: creates the folder (0700)
// and the file (0600) when missing, then reads the newest lines. Nothing,
// after one warning on standard error, when the history cannot be kept: a
// symbolic link, anything but a regular file, a file of someone else's or
// one that is not a history is never read or written.
std::optional<HistoryLines> LoadHistoryLines(const HistoryLocation& location);

// Adds `typed` (the lines of this session, oldest first) to the lines that
// the file holds now, each unless it repeats the line before it there, and
// replaces the file with the newest kHistoryLines. A lock that another
// process holds is waited for two seconds at most, and no longer once a
// stop signal has come. On failure the file stays as it was, no temporary
// file stays behind, and one warning goes to standard error; returns
// whether the lines were saved.
bool SaveHistoryLines(const HistoryLocation& location, const std::vector<std::string>& typed);
