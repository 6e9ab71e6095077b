// The program's own messages on standard error, "calculator: " and what
// happened, GNU style: one function writes them all.
#pragma once

// The name the program gives itself in messages, whatever path started it.
extern const char kProgramName[];

// Writes "calculator: ", the printf-style text and a newline on standard
// error.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void WriteProgramMessage(const char* format, ...);
