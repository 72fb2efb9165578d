#include "write_guard.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// True on a network file system whose client grants a lease only while the
// server lets it cache the file (an NFSv4 delegation, an SMB oplock), so that
// a refusal there does not mean that a program has the file open for writing.
bool LeasesNeedTheServer(int fd)
{
    constexpr long kNfs = 0x6969;
    constexpr long kSmb = 0x517B;
    constexpr long kCifs = 0xFF534D42;
    constexpr long kSmb2 = 0xFE534D42;
    struct statfs volume {};
    if (::fstatfs(fd, &volume) != 0)
        return true;
    const long type = static_cast<long>(volume.f_type);
    return type == kNfs || type == kSmb || type == kCifs || type == kSmb2;
}

}  // namespace

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
    if (errno == EAGAIN && !LeasesNeedTheServer(fd))
        return false;
    // Not the file's owner, a file system without leases, or a network one
    // whose server granted no lease. The watch is put through the open
    // descriptor, so it is on the file read, whatever its path names now.
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
