// The console's descriptors: the standard ones, the FILEs it reads, and the
// reads and writes on them. descriptors_posix.cpp and
// descriptors_windows.cpp each define all of it.
#pragma once

#include <cstddef>
#include <string>

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;

// Lines are typed by a person only when both ends are a terminal; output
// redirected to a file gets no editing and no escape sequences.
bool AtTerminal();

// A standard descriptor that was closed when the program started is opened
// on the null device the wrong way round, so that reading or writing it
// fails with EBADF as it would closed, and no FILE opened later takes its
// number. Standard input is read as bytes: where the C library knows a text
// mode, a ^Z in it is data like any other byte.
void ReserveStandardDescriptors();

// Whether the file `name` (UTF-8) can be opened for reading, found by
// opening it and closing it at once (a FIFO only by its permission: its
// writer would see a reader come and go): 0, or the errno that opening it
// gives; a directory is EISDIR.
int CheckFileForReading(const std::string& name);

// Opens the file `name` (UTF-8) for reading. Returns 0 and sets `fd`, or
// the errno of the failure; a directory is EISDIR.
int OpenFileForReading(const std::string& name, int& fd);

// Reads up to `size` bytes of `fd`: how many, 0 at its end, or -1 with
// errno set (EINTR and EAGAIN included).
std::ptrdiff_t ReadSome(int fd, char* buffer, std::size_t size);
// Writes up to `size` bytes to `fd`: how many, or -1 with errno set.
std::ptrdiff_t WriteSome(int fd, const char* bytes, std::size_t size);
// Closes `fd`: 0, or the errno of a close that failed.
int CloseDescriptor(int fd);

// Waits until `fd` has input or has reached its end, whatever signals come:
// no stop signal ends this wait (WaitForInputUnlessStopped does).
void WaitUntilReadableThroughSignals(int fd);

// The largest write to `fd` that goes out whole or not at all: the pipe
// buffer's atomic size for a pipe, 0 (no such size) for anything else.
std::size_t WholeWriteSize(int fd);

// When `fd` is a regular file, removes the last `count` bytes written to it
// (a line cut short by a full disk or a file-size limit), and the next
// write goes where they began. Anything else is left alone.
void TakeBackFromFile(int fd, std::size_t count);
