#pragma once

// Reading a person's answers from a descriptor (standard input, or a pipe in tests) without blocking
// for longer than asked. POSIX and Windows each have their own source file.
namespace fernpad::app::terminal {

// True when `fd` is an interactive terminal or console (not a pipe, a file or the null device).
bool IsTerminal(int fd);

// Waits up to `milliseconds` for input on `fd`: 1 when a read will not block (also at the end of the
// input), 0 when the time ran out, -1 on an error.
int WaitReadable(int fd, int milliseconds);

// Reads one byte: 1 read, 0 at the end of the input, -1 on an error.
int ReadByte(int fd, char& c);

}  // namespace fernpad::app::terminal
