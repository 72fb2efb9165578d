#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console.h"
#include "console_platform.h"

namespace {
// errno of the first failed write to standard output; 0 while none failed.
int outputWriteError = 0;
}  // namespace

void WriteText(OutputStream stream, std::string_view text)
{
    errno = 0;
    if (!WriteToStream(stream, text) && stream == OutputStream::Output && outputWriteError == 0)
        outputWriteError = errno != 0 ? errno : EIO;
}

bool CloseStandardOutput(std::string& reason)
{
    errno = 0;
    const bool closed = std::fclose(stdout) == 0;
    const int error = outputWriteError != 0 ? outputWriteError : (closed ? 0 : (errno != 0 ? errno : EIO));
    if (error == 0)
        return true;
    reason = std::strerror(error);
    return false;
}
