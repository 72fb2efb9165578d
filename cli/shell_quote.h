#pragma once
// Words of a command the user can paste into the shell as they are printed.

#include <string>
#include <string_view>

enum class Shell {
    Posix,    // sh, bash: 'single quotes', a quote in the word as '\''
    Windows,  // cmd.exe, PowerShell: "double quotes" (no Windows name holds one), a
              // backslash before the closing one doubled
};

#ifdef _WIN32
inline constexpr Shell kNativeShell = Shell::Windows;
#else
inline constexpr Shell kNativeShell = Shell::Posix;
#endif

// The command's name where `shell` runs: vandrel-cli on Windows, beside Vandrel.exe.
constexpr std::string_view CommandName(Shell shell = kNativeShell)
{
    return shell == Shell::Windows ? "vandrel-cli" : "vandrel";
}

// `word` quoted for `shell`, so that it reaches the program as one argument.
std::string ShellQuoted(std::string_view word, Shell shell = kNativeShell);
