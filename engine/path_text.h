#pragma once
// Paths as the engine keeps them, UTF-8 text, and the few things it asks of
// their form: the folder part, a name joined to a folder, the absolute form.

#include <filesystem>
#include <string>

// UTF-8 text as a path of the platform, and back.
std::filesystem::path PathOfUtf8(const std::string& text);
std::string Utf8Of(const std::filesystem::path& path);

// True for the characters that separate a path's parts: the slash, and on
// Windows the backslash too.
bool IsPathSeparator(char c);

// `folder` and `name` joined by the separator `folder` spells its own with
// (a backslash on Windows unless it uses slashes alone), so that a path the
// user gave keeps its form.
std::string JoinedPath(std::string folder, const std::string& name);

// The folder part of `path`, its last separator kept (so that "C:\" and "/"
// stay roots); empty for a bare name.
std::string FolderPartOf(const std::string& path);

// `path` made absolute from the working folder; as given when that fails.
std::string AbsolutePathOf(const std::string& path);
