#include <cstdio>
#include <unistd.h>

#include "console.h"
#include "console_platform.h"

namespace {

FILE* StreamFile(OutputStream stream) { return stream == OutputStream::Output ? stdout : stderr; }

}  // namespace

bool IsTerminal(OutputStream stream)
{
    return ::isatty(::fileno(StreamFile(stream))) == 1;
}

bool WriteToStream(OutputStream stream, std::string_view text)
{
    FILE* file = StreamFile(stream);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fflush(file) == 0 && written;
}
