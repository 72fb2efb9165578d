#include "write_guard.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

WriteGuard::~WriteGuard()
{
    if (watch_ >= 0)
        ::close(watch_);
}

bool WriteGuard::start(int fd)
{
    // A lease break is told by a signal, SIGIO unless another is set; SIGIO
    // would end the process, SIGURG is ignored unless a handler is set. The
    // break alone is what counts: F_GETLEASE tells it afterwards.
    if (::fcntl(fd, F_SETSIG, SIGURG) == 0 && ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        leasedFd_ = fd;
        return true;
    }
    if (errno == EAGAIN)
        return false;
    // Not the file's owner, or a file system without leases. The watch is put
    // through the open descriptor, so it is on the file read, whatever its
    // path names now.
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, self.c_str(), IN_MODIFY | IN_CLOSE_WRITE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
    return true;
}

bool WriteGuard::untouched()
{
    if (touched_)
        return false;
    if (leasedFd_ >= 0) {
        // A broken lease reads as F_UNLCK from the moment the break starts.
        touched_ = ::fcntl(leasedFd_, F_GETLEASE) != F_RDLCK;
    } else if (watch_ >= 0) {
        // Any event, an overflow of the queue included, may be a write.
        alignas(inotify_event) char events[sizeof(inotify_event) + 256];
        touched_ = ::read(watch_, events, sizeof events) > 0 || errno != EAGAIN;
    }
    return !touched_;
}
