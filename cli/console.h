#pragma once
// The two output streams of the console program.

#include <string>
#include <string_view>

enum class OutputStream { Output, Error };

// True when the stream is an interactive terminal (a console window on
// Windows), not a file, a pipe or the null device.
bool IsTerminal(OutputStream stream);

// Writes UTF-8 `text` as it stands and flushes it, so that lines on the two
// streams keep their order. A Windows console gets it as UTF-16, so that
// every path shows as typed. A failed write is remembered for
// CloseStandardOutput.
void WriteText(OutputStream stream, std::string_view text);

// Closes standard output. False, with the operating system's reason, when a
// write to it failed or the close itself did (a full disk, a closed pipe).
bool CloseStandardOutput(std::string& reason);
