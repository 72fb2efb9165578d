#pragma once
// A file system over the platform's own that makes a chosen call fail, counts
// every call, and can report a made-up free-space figure.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "file_system.h"

enum class IoCall { OpenForReading, CreateForWriting, Read, Write, Flush, Close, Remove, Size, IsRegularFile };
inline constexpr std::array<IoCall, 9> kAllIoCalls = {
    IoCall::OpenForReading, IoCall::CreateForWriting, IoCall::Read, IoCall::Write,        IoCall::Flush,
    IoCall::Close,          IoCall::Remove,           IoCall::Size, IoCall::IsRegularFile};
const char* IoCallName(IoCall call);

using PathFilter = std::function<bool(const std::string& path)>;
// Matches every path that contains `part`.
PathFilter PathContains(std::string part);
// Matches `path` alone.
PathFilter PathIs(std::string path);

class FaultyFileSystem : public FileSystem {
public:
    // Makes the `nth` call (from 1) of kind `call` fail, counting only calls on
    // paths that `filter` matches (all paths when it is empty). A failed open
    // gives no file; a failed read gives -1 (or 0, an early end, when
    // `readFaultIsEarlyEnd`); a failed write stores half of its bytes and
    // returns false; a failed close still closes; a failed remove leaves the
    // file; a failed size gives -1; a failed isRegularFile gives false.
    void failCall(IoCall call, int nth, PathFilter filter = {});
    bool readFaultIsEarlyEnd = false;

    // The figure volumeFreeBytes reports; the platform's own when unset.
    std::optional<std::int64_t> freeBytes;

    // Runs before every call, with its kind and path (before any fault).
    std::function<void(IoCall, const std::string&)> beforeCall;

    // Calls of kind `call` made so far, on any path.
    int calls(IoCall call) const { return counts_[static_cast<std::size_t>(call)]; }
    // True once a planned fault has been injected.
    bool faultInjected() const { return faultInjected_; }

    std::unique_ptr<File> openForReading(const std::string& path) override;
    std::unique_ptr<File> createForWriting(const std::string& path) override;
    bool remove(const std::string& path) override;
    std::int64_t volumeFreeBytes(const std::string& path) override;

    // Counts the call and tells whether it must fail. Used by the files too.
    bool fails(IoCall call, const std::string& path);

private:
    struct Fault {
        IoCall call;
        int nth;
        PathFilter filter;
        int seen = 0;
    };
    std::vector<Fault> faults_;
    std::array<int, kAllIoCalls.size()> counts_{};
    bool faultInjected_ = false;
};
