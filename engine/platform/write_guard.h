#pragma once
// Sees other programs' writes to a file that a job reads and will delete,
// whatever the file system's timestamps can tell (Linux).

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

    // False once another program opened the file for writing, cut it or wrote
    // to it: the lease was broken, or the watch saw a write or a writer's close.
    bool untouched();

private:
    int leasedFd_ = -1;  // the file, while its read lease is what guards it
    int watch_ = -1;     // the inotify instance watching it otherwise
    bool touched_ = false;
};
