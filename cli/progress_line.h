#pragma once
// The text of the progress bar that `vandrel` draws on a terminal.

#include <cstdint>
#include <string>

// One line: a bar, the percentage, the bytes done of the total, the speed and
// the time left, e.g. "[#######.......]  50%  512.0 MB of 1.0 GB  410.2 MB/s  0:01 left".
// `done` beyond `total` (a join counts one read per piece more) shows as
// complete. Speed and time left show as "--" until some time has passed.
std::string FormatProgressLine(std::int64_t done, std::int64_t total, double elapsedSeconds);

// A byte count in the largest unit of the piece size (B, KB, MB, GB) that it fills.
std::string FormatBytes(std::int64_t bytes);

// A duration as m:ss, or h:mm:ss from an hour on.
std::string FormatDuration(std::int64_t seconds);
