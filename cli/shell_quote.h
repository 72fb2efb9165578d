#pragma once
// Words of a command the user can paste into the shell as they are printed.

#include <string>
#include <string_view>

enum class Shell {
    Posix,    // sh, bash: 'single quotes', a quote in the word as '\''
    Windows,  // cmd.exe, PowerShell: "double quotes"; no Windows name holds one
};

#ifdef _WIN32
inline constexpr Shell kNativeShell = Shell::Windows;
// The command's name in the Windows build, beside Vandrel.exe.
inline constexpr std::string_view kCommandName = "vandrel-cli";
#else
inline constexpr Shell kNativeShell = Shell::Posix;
inline constexpr std::string_view kCommandName = "vandrel";
#endif

// `word` quoted for `shell`, so that it reaches the program as one argument.
std::string ShellQuoted(std::string_view word, Shell shell = kNativeShell);
