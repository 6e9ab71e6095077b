// Every way the program ends, and the status its parent sees.
#pragma once

enum class ExitStatus : int {
  kSuccess = 0,   // every input read and every answer written
  kFailure = 1,   // reading or writing failed, or memory ran out
  kBadUsage = 2,  // a wrong option, or a FILE that cannot be read
};

// A stop signal ends the program by that signal itself, so that the parent
// sees it (EndBySignal). Where the signal is blocked, the shell's
// convention for it: 128 and the signal's number. The Windows console has
// no signals: a stopped program ends with the status Windows gives a
// console program that Ctrl-C ended (STATUS_CONTROL_C_EXIT).
constexpr int kSignalStatusBase = 128;
constexpr unsigned kWindowsControlCStatus = 0xC000013A;
