// The history file at the start and the end of a session. Sessions that
// end at the same time take turns under a lock; each re-reads the file,
// adds its own lines and replaces the file atomically, so that a crash at
// any moment leaves either the old file or the new one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/input/history.h"

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
// stop signal has come during the wait (one that came before, which may be
// what ended the session, does not shorten it). On failure the file stays as it was, no temporary
// file stays behind, and one warning goes to standard error; returns
// whether the lines were saved.
bool SaveHistoryLines(const HistoryLocation& location, const std::vector<std::string>& typed);
