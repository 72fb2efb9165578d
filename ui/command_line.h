#pragma once
// The piece path that the shell passes when the user opens a piece file, or
// asks for its pieces to be checked.

#include <string>

// The path in `text`, the command line after the program name: the double
// quotes around it are removed when it has them, and white space around it
// and inside the quotes' ends is dropped. An unquoted path is taken whole.
std::wstring PiecePathFromCommandLine(std::wstring text);

// What a command line asks of the program: a join of the piece it names, or,
// when it starts with "/verify" and a blank (in any case), the check of the
// pieces of the piece that follows, quoted or not.
enum class CommandLineJob { Join, Verify };
struct CommandLineRequest {
    CommandLineJob job = CommandLineJob::Join;
    std::wstring path;
};
CommandLineRequest RequestFromCommandLine(const std::wstring& text);
