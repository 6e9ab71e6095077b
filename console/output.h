// Console output: every line goes out whole, with its newline, in one system
// call, so each answer is on the output before the next line is read.
#pragma once

// Writes `first` followed by `second` and a newline as one line.
void WriteLine(const char* first, const char* second);
