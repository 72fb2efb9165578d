#include "path_text.h"

#include "join_journal.h"

namespace fs = std::filesystem;

fs::path PathOfUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8Of(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool IsPathSeparator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

std::string JoinedPath(std::string folder, const std::string& name)
{
#ifdef _WIN32
    const char separator = folder.find('\\') == std::string::npos && folder.find('/') != std::string::npos ? '/' : '\\';
#else
    const char separator = '/';
#endif
    if (!folder.empty() && !IsPathSeparator(folder.back()))
        folder += separator;
#ifdef _WIN32
    std::string spelled = name;
    for (char& c : spelled)
        if (c == '/' || c == '\\')
            c = separator;
    return folder + spelled;
#else
    return folder + name;
#endif
}

std::string FolderPartOf(const std::string& path)
{
    return path.substr(0, path.size() - LeafOf(path).size());
}

std::string AbsolutePathOf(const std::string& path)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(PathOfUtf8(path), error);
    return error ? path : Utf8Of(absolute);
}
