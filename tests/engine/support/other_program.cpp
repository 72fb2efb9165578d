#include "other_program.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/text.h"
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef _WIN32

namespace {

HANDLE OpenToWrite(const std::string& path)
{
    return CreateFileW(ToWidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool OtherWriter::start(const std::string& path, std::function<void()> write)
{
    const HANDLE handle = OpenToWrite(path);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    write();
    CloseHandle(handle);
    return true;
}

HeldForWriting::HeldForWriting(const std::string& path) : handle_(reinterpret_cast<std::intptr_t>(OpenToWrite(path))) {}

HeldForWriting::~HeldForWriting()
{
    if (held())
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

#else

bool OtherWriter::start(const std::string& path, std::function<void()> write)
{
    // Without O_NONBLOCK the opening would wait for the lease here, on the
    // job's own thread; with it, it is refused at once, but the break starts all the same.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        write();
        ::close(fd);
        return true;
    }
    if (errno != EWOULDBLOCK)
        return false;
    waiting_ = std::thread([path, write = std::move(write)] {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        write();
        if (fd >= 0)
            ::close(fd);
    });
    return true;
}

HeldForWriting::HeldForWriting(const std::string& path) : handle_(::open(path.c_str(), O_WRONLY | O_CLOEXEC)) {}

HeldForWriting::~HeldForWriting()
{
    if (held())
        ::close(static_cast<int>(handle_));
}

#endif

void OtherWriter::finish()
{
    if (waiting_.joinable())
        waiting_.join();
}
