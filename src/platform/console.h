#pragma once
// The console the program was started from, for the terminal user interface.

namespace platform {

enum class ConsoleStream { Input, Output, Error };

// True when the stream is an interactive terminal (not a file, a pipe or nothing).
bool IsTerminal(ConsoleStream stream);

// Columns of the terminal on standard error; 80 when it cannot be told.
int TerminalWidth();

}  // namespace platform
