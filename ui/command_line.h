#pragma once
// The piece path that the shell passes when the user opens a piece file.

#include <string>

// The path in `text`, the command line after the program name: the double
// quotes around it are removed when it has them, and white space around it
// and inside the quotes' ends is dropped. An unquoted path is taken whole.
std::wstring PiecePathFromCommandLine(std::wstring text);
