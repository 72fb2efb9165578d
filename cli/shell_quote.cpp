#include "shell_quote.h"

std::string ShellQuoted(std::string_view word, Shell shell)
{
    if (shell == Shell::Windows) {
        // Backslashes before the closing quote are doubled, or the program's
        // start-up code would read the last one as escaping the quote (D:\).
        const std::size_t kept = word.find_last_not_of('\\') + 1;
        const std::size_t trailing = word.size() - kept;
        return "\"" + std::string(word) + std::string(trailing, '\\') + "\"";
    }
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
