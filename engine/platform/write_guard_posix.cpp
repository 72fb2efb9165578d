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

// Takes a lease of `type` on the file open at `fd`. A lease break is told by
// a signal, SIGIO unless another is set; SIGIO would end the process, SIGURG
// is ignored unless a handler is set. The break alone is what counts:
// F_GETLEASE tells it afterwards.
bool TakeLease(int fd, int type)
{
    return ::fcntl(fd, F_SETSIG, SIGURG) == 0 && ::fcntl(fd, F_SETLEASE, type) == 0;
}

// True when a lease was refused because a program has the file open for
// writing (a read lease), or open at all (a write lease).
bool RefusedForAnOpening(int fd)
{
    return errno == EAGAIN && !LeasesNeedTheServer(fd);
}

// An inotify instance watching the file open at `fd` for writes, cuts and
// writers' closes, or -1. The watch is put through the open descriptor, so
// it is on that file, whatever its path names now.
int WatchWrites(int fd)
{
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (watch >= 0 && ::inotify_add_watch(watch, self.c_str(), IN_MODIFY | IN_CLOSE_WRITE) < 0) {
        ::close(watch);
        return -1;
    }
    return watch;
}

}  // namespace

WriteGuard::~WriteGuard()
{
    if (watch_ >= 0)
        ::close(watch_);
}

bool WriteGuard::start(int fd)
{
    if (TakeLease(fd, F_RDLCK)) {
        leasedFd_ = fd;
        leaseType_ = F_RDLCK;
        return true;
    }
    if (RefusedForAnOpening(fd))
        return false;
    // Not the file's owner, a file system without leases, or a network one
    // whose server granted no lease.
    watch_ = WatchWrites(fd);
    return true;
}

bool WriteGuard::startCutting(int reading)
{
    // Watching first: whatever a writer does from here on is seen, whichever
    // guard follows.
    watch_ = WatchWrites(reading);
    if (!TakeLease(reading, F_RDLCK))
        return !RefusedForAnOpening(reading);
    // Let go at once: the job's own opening for writing would break it.
    ::fcntl(reading, F_SETLEASE, F_UNLCK);
    return true;
}

void WriteGuard::guardCutting(int fd)
{
    if (!TakeLease(fd, F_WRLCK))
        return;  // open elsewhere (for reading, or by a writer that came since), or no lease to be had: the watch goes on
    // No other program has the file open now; what the watch saw since the
    // first step is a writer that came and went.
    touched_ = watch_ >= 0 && !watchQuiet(0);
    if (watch_ >= 0)
        ::close(watch_);
    watch_ = -1;
    leasedFd_ = fd;
    leaseType_ = F_WRLCK;
}

bool WriteGuard::untouched()
{
    if (touched_)
        return false;
    if (leasedFd_ >= 0) {
        // While a lease is broken, F_GETLEASE tells the lease it is broken to:
        // none for a writer's opening or a cut by name, a read lease for a
        // reader's opening (of a write lease), which the kernel leaves in
        // place when the break time is up. A lease already taken away reads
        // as none.
        const int now = ::fcntl(leasedFd_, F_GETLEASE);
        if (now == leaseType_)
            return true;
        if (leaseType_ == F_WRLCK && now == F_RDLCK)
            letReaderIn();
        else
            touched_ = true;
    }
    if (!touched_ && watch_ >= 0)
        touched_ = !watchQuiet(0);
    return !touched_;
}

bool WriteGuard::own(const std::function<bool()>& change)
{
    if (watch_ < 0 || touched_)
        return change();
    // What is queued before the change is another program's; one event after
    // it is the change's own.
    touched_ = !watchQuiet(0);
    const bool changed = change();
    const int error = errno;
    if (!touched_)
        touched_ = !watchQuiet(1);
    errno = error;
    return changed;
}

void WriteGuard::letReaderIn()
{
    // Watching before the lease goes, so that a writer whose opening waited
    // behind the reader's is seen writing. Where no watch can be had, the
    // lease stays: the reader waits out the break time rather than nothing
    // guarding the file.
    watch_ = WatchWrites(leasedFd_);
    if (watch_ < 0)
        return;
    ::fcntl(leasedFd_, F_SETLEASE, F_UNLCK);
    leasedFd_ = -1;
}

bool WriteGuard::watchQuiet(int own)
{
    // Any event but the job's own change, an overflow of the queue included, may be a write.
    alignas(inotify_event) char events[4096];
    int seen = 0;
    bool onlyModified = true;
    for (;;) {
        const ssize_t got = ::read(watch_, events, sizeof events);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 && errno == EAGAIN && onlyModified && seen <= own;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            onlyModified = onlyModified && event->mask == IN_MODIFY;
            ++seen;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}
