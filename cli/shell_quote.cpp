#include "shell_quote.h"

std::string ShellQuoted(std::string_view word, Shell shell)
{
    const char quote = shell == Shell::Posix ? '\'' : '"';
    std::string quoted(1, quote);
    for (const char c : word)
        quoted += shell == Shell::Posix && c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + quote;
}
