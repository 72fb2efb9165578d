#include "command_line.h"

#include <cwctype>
#include <string_view>

namespace {

std::wstring Trimmed(const std::wstring& text)
{
    constexpr const wchar_t* kWhiteSpace = L" \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::wstring::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

}  // namespace

std::wstring PiecePathFromCommandLine(std::wstring text)
{
    text = Trimmed(text);
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        text = text.substr(1, text.size() - 2);
    return Trimmed(text);
}

CommandLineRequest RequestFromCommandLine(const std::wstring& text)
{
    static constexpr std::wstring_view kVerify = L"/verify ";
    bool verify = text.size() >= kVerify.size();
    for (std::size_t at = 0; verify && at < kVerify.size(); ++at)
        verify = std::towlower(text[at]) == kVerify[at];
    if (verify)
        return {CommandLineJob::Verify, PiecePathFromCommandLine(text.substr(kVerify.size()))};
    return {CommandLineJob::Join, PiecePathFromCommandLine(text)};
}
