#include <cstdio>
#include <unistd.h>

#include "console.h"

namespace {

FILE* StreamFile(OutputStream stream) { return stream == OutputStream::Output ? stdout : stderr; }

}  // namespace

bool IsTerminal(OutputStream stream)
{
    return ::isatty(::fileno(StreamFile(stream))) == 1;
}

void WriteText(OutputStream stream, std::string_view text)
{
    FILE* file = StreamFile(stream);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}
