#pragma once
// Writes a set's checksum list as its split goes: created new before the
// first piece, a line as each piece is done, the whole original's line at
// the end, committed with the pieces.

#include <memory>
#include <optional>
#include <string>

#include "checksum_list.h"
#include "file_system.h"

class ListWriter {
public:
    // Creates the list at `path` new. Empty when that fails;
    // fileSystem().lastError() tells why.
    static std::unique_ptr<ListWriter> Create(const std::string& path);

    // Makes the list as open to others as `original` is and writes its header.
    bool begin(const SetFacts& facts, const FileIdentity& original);
    // Appends one checksum line.
    bool add(const ListLine& line);
    // Makes the list durable and closes it.
    bool finish();
    // The list as this run last wrote it, so that a failed run can take it back.
    std::optional<FileIdentity> identity() { return finished_ ? finished_ : IdentityOrNamed(*file_, path_); }

private:
    ListWriter(std::string path, std::unique_ptr<File> file) : path_(std::move(path)), file_(std::move(file)) {}
    bool write(const std::string& text) { return file_->write(text.data(), static_cast<std::int64_t>(text.size())); }

    std::string path_;
    std::unique_ptr<File> file_;
    std::optional<FileIdentity> finished_;  // as it was closed
};
