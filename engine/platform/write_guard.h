#pragma once
// Sees other programs' writes to a file that a job reads and will delete, or
// cuts in place, whatever the file system's timestamps can tell (Linux).

#include <functional>

class WriteGuard {
public:
    WriteGuard() = default;
    ~WriteGuard();
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;

    // Starts guarding the file open read-only at `fd`, for as long as `fd` is
    // open: a read lease where this process may take one (it owns the file or
    // has CAP_LEASE), else an inotify watch. False when the lease is refused
    // because the file is open for writing somewhere already (on a local file
    // system, where that is the one reason). Where neither can be had,
    // nothing watches and untouched() stays true.
    bool start(int fd);

    // The first step of guarding a file that the job will cut: watches the
    // file open read-only at `reading` from now on, and answers false when it
    // is open for writing somewhere already, as far as a read lease can tell
    // (where none may be taken, nothing tells, and the answer is true).
    bool startCutting(int reading);
    // The second step, once the same file is open for reading and writing at
    // `fd` and `reading` is closed: a write lease where this process may take
    // one and no other program has the file open at all, else the watch goes
    // on. A writer that came and went between the two steps counts as one
    // that wrote.
    void guardCutting(int fd);

    // False once another program opened the file for writing, cut it or wrote
    // to it: the lease was broken for a writer, or the watch saw a write or a
    // writer's close. A write lease is broken by a reader too: the reader's
    // opening waits until this call (which the job makes before each cut and
    // at its end) lets the lease go and watches instead, or until the
    // system's lease break time (/proc/sys/fs/lease-break-time, 45 s) is up.
    bool untouched();

    // Makes `change` (a cut or a new last write time of the file, which
    // inotify tells as one IN_MODIFY) as the job's own: a watch takes it for
    // no other program's write. Answers what `change` answers, errno kept.
    // inotify merges an event with an identical one still queued, so a write
    // by another program in the instant between the check before the change
    // and the drain after it reads as part of it; its close for writing
    // (IN_CLOSE_WRITE) still tells. A watch does not see writes through a
    // mapping, or from another machine.
    bool own(const std::function<bool()>& change);

private:
    // Releases the write lease, which a reader breaks, and watches instead.
    void letReaderIn();
    // Takes in what the watch has queued; false when that is anything but
    // at most `own` events the job's own change made.
    bool watchQuiet(int own);

    int leasedFd_ = -1;    // the file, while its lease is what guards it
    int leaseType_ = -1;   // that lease: F_RDLCK for a read, F_WRLCK for a cut
    int watch_ = -1;       // the inotify instance watching it otherwise
    bool touched_ = false;
};
