#pragma once
// The `vandrel` command: `vandrel split FILE SIZE`, `vandrel join PIECE` and
// `vandrel verify PIECE_OR_LIST`.

// Parses the UTF-8 arguments, runs the job they ask for on this thread and
// returns the exit status: 0 success, 1 a failed copy, a piece not right or an unwritable
// standard output, 2 a refused job or wrong arguments.
int RunVandrel(int argc, char** argv);
