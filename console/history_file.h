// Where the lines typed at a terminal are kept from one session to the next.
#pragma once

#include <functional>
#include <optional>
#include <string>

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

// Creates the folder (mode 0700, with its missing parents) and the file (mode
// 0600) when they are missing. Returns 0, or the errno of what failed.
int PrepareHistoryFile(const HistoryLocation& location);

// The one warning given when the history cannot be kept.
void WarnHistoryNotKept(const std::string& file, int error);
