#pragma once
// Names in the engine's text files (the journal, the checksum list), escaped
// as sha256sum escapes them, so that any name but one with a NUL stays on its
// line: "\\" for a backslash, "\n" for a newline, "\r" for a carriage return.

#include <optional>
#include <string>
#include <string_view>

std::string EscapedName(std::string_view name);
// Empty when `text` holds an escape that EscapedName never writes.
std::optional<std::string> UnescapedName(std::string_view text);
