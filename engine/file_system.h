#pragma once
// The engine's one way to files, so that a test can make any open, read,
// write, flush, close or delete fail. Paths are UTF-8; sizes are 64-bit.

#include <cstdint>
#include <memory>
#include <string>

class File {
public:
    // Closes the file if close() was not called; that result is lost, so every
    // path that keeps data calls close() and checks it.
    virtual ~File() = default;

    // Length in bytes, -1 when it cannot be told.
    virtual std::int64_t size() = 0;
    // True when the file is a plain file on disk, not a device, pipe or directory.
    virtual bool isRegularFile() = 0;
    // Reads up to `count` bytes at the current position. Returns the number
    // read, 0 at the end of the file, -1 on a read error.
    virtual std::int64_t read(void* buffer, std::int64_t count) = 0;
    // Writes all `count` bytes, or returns false.
    virtual bool write(const void* buffer, std::int64_t count) = 0;
    // Commits everything written so far to the disk itself.
    virtual bool flush() = 0;
    // Closes the file; false when the platform reports a failure.
    virtual bool close() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens an existing plain file for reading, sharing it freely with other
    // processes. Empty when it does not open or is not a plain file (a
    // directory, a device).
    virtual std::unique_ptr<File> openForReading(const std::string& path) = 0;
    // Creates the file for writing, or truncates an existing one to zero
    // length, sharing it freely. Empty when that fails.
    virtual std::unique_ptr<File> createForWriting(const std::string& path) = 0;
    // Deletes the file; false when it could not be deleted.
    virtual bool remove(const std::string& path) = 0;
    // QueryVolumeFreeBytes for `path`.
    virtual std::int64_t volumeFreeBytes(const std::string& path) = 0;
};

// The file system in use; the platform's own unless one was set.
FileSystem& fileSystem();
// Puts `replacement` in place of the platform's own; nullptr puts it back.
void setFileSystem(FileSystem* replacement);
// The platform's own (file_system_win.cpp / file_system_posix.cpp).
FileSystem& platformFileSystem();
