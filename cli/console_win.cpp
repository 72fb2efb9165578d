#include <windows.h>

#include <cstdio>

#include "console.h"
#include "console_platform.h"
#include "platform/text.h"

namespace {

HANDLE StreamHandle(OutputStream stream)
{
    return GetStdHandle(stream == OutputStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

FILE* StreamFile(OutputStream stream) { return stream == OutputStream::Output ? stdout : stderr; }

}  // namespace

// GetConsoleMode rather than _isatty, which also says yes to the NUL device.
bool IsTerminal(OutputStream stream)
{
    DWORD mode = 0;
    return GetConsoleMode(StreamHandle(stream), &mode) != 0;
}

// Redirected output stays UTF-8, with the C runtime's CR LF line ends.
bool WriteToStream(OutputStream stream, std::string_view text)
{
    FILE* file = StreamFile(stream);
    std::fflush(file);
    if (IsTerminal(stream)) {
        const std::wstring wide = ToWidePath(std::string(text));
        DWORD written = 0;
        return WriteConsoleW(StreamHandle(stream), wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)
            && written == wide.size();
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fflush(file) == 0 && written;
}
