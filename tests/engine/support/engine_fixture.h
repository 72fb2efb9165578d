#pragma once
// The fixture of every engine test: a fresh directory of its own, a recording
// sink and a fault-injecting file system in place of the platform's, and a
// clean job state; all put back afterwards. Plus helpers for test files.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "faulty_file_system.h"
#include "job_result.h"
#include "recording_sink.h"

namespace fs = std::filesystem;

// UTF-8 text of a path, as the engine takes it, and back.
std::string Utf8(const fs::path& path);
fs::path PathFromUtf8(const std::string& path);

// `size` bytes that differ from byte to byte and from seed to seed.
std::string MakeContent(std::int64_t size, std::uint32_t seed = 1);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The whole file; fails the test when it cannot be read.
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
// Piece i of `content` cut into pieces of `partSize` bytes.
std::vector<std::string> Slices(const std::string& content, std::int64_t partSize);

// The checksum list a split writes for `content`, the original at
// `originalPath` cut into pieces of `partSize` bytes, last written at
// `modifiedUtcNs` (nanoseconds since 1970 UTC); with `madeInPlace`, the list
// a split in place writes.
std::string ListTextFor(const std::string& originalPath, const std::string& content, std::int64_t partSize,
                        std::int64_t modifiedUtcNs = 0,
                        bool madeInPlace = false);
// The last write time of the file at `path`, as a list records it.
std::int64_t UtcModifiedOf(const std::string& path);
// `names` with the list of the set of `originalLeaf` among them, sorted; and
// `names` without any list.
std::vector<std::string> WithList(std::vector<std::string> names, const std::string& originalLeaf);
std::vector<std::string> WithoutList(std::vector<std::string> names);

// One fault a sweep plans in every run.
struct PlannedFault {
    IoCall call;
    int nth;
    PathFilter filter;
};

// How a fault sweep fails the calls of each run.
struct FaultPlan {
    std::string name;
    // The failing call and every later call of its kind fail.
    bool persistent = false;
    // A fault every run starts with; each call after it then fails in turn.
    std::optional<PlannedFault> first;
};
inline const FaultPlan kSingleFault{"single fault", false, std::nullopt};
inline const FaultPlan kPersistentFault{"persistent fault", true, std::nullopt};

// What a folder holds: every file's leaf name and bytes ("(a folder)" for a folder).
using Folder = std::map<std::string, std::string>;

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // UTF-8 path of `name` inside the test's directory.
    std::string path(const std::string& name) const;
    // Names of the files in the test's directory, sorted.
    std::vector<std::string> filesInDir() const;
    // Every file in the test's directory with its bytes.
    Folder folder() const;

    // Runs a split or a join as its thread procedure does, keeping its result.
    void runSplit(const std::string& splitPath, std::int64_t partSize);
    void runJoin(const std::string& chosenPiece);

    // The run was refused during its checks: one message box, shown while
    // busy, no post at all, and busy 0 again.
    void expectRefused(const std::string& text, const std::string& caption) const;
    // The run reached its copy phase: exactly one message box, then exactly
    // one WM_JOB_FINISHED as the last event, every progress post before the
    // box, busy 1 throughout and 0 again afterwards.
    void expectOutcome(const std::string& text, const std::string& caption) const;

    // The run ended with one box: a refusal (no post) or the end of its copy
    // phase, each as expectRefused and expectOutcome check it. Returns its text.
    std::string expectOneEnd(const std::string& caption) const;

    // Makes every file call of a job fail in turn, as `plan` says, with the
    // in-kernel copy and with the read/write copy: runs `job` once after
    // `startOver` to count its calls (it must succeed unless the plan has a
    // first fault), then once per call with that call failing, each after
    // `startOver`, and calls `check` after each of those runs. Expects more
    // than `leastRuns` faulty runs per copy path, and prints how many it made
    // under `label`.
    void sweepFaults(const std::string& label, const FaultPlan& plan, const std::function<void()>& startOver,
                     const std::function<void()>& job, const std::function<void()>& check, int leastRuns);

    static inline const WindowHandle kWindow = reinterpret_cast<WindowHandle>(std::uintptr_t{0x5A1E});

    fs::path dir_;
    JobResult result_;
    RecordingSink sink_;
    FaultyFileSystem files_;
};

// A set of "orig.bin" in the test's folder, cut as a split cuts it.
class PieceSetTest : public EngineTest {
protected:
    // Takes `original` cut into pieces of `partSize` bytes as the set; writes nothing.
    void useSet(std::string original, std::int64_t partSize);
    // Writes the pieces from `first` on, each whole, all of one date.
    void writePieces(int first = 0);

    int count() const { return static_cast<int>(pieces_.size()); }
    std::string piece(int index) const;
    std::string output() const { return path("orig.bin"); }

    std::string original_;
    std::int64_t partSize_ = 0;
    std::vector<std::string> pieces_;
};

inline const std::string kSplitter = "File Splitter";
inline const std::string kJoiner = "File Joiner";
inline const std::string kSplitSucceeded = "File splitting completed successfully";
inline const std::string kSplitFailed = "File splitting failed! Make sure the disk you are using is not readonly!";
inline const std::string kJoinSucceeded = "File joining completed successfully";
inline const std::string kJoinFailed = "File joining failed! Make sure the disk you are using is not readonly!";
inline const std::string kJoinNoSpace =
    "You do not have enough space in the disk containing the selected file e.g free space must be at least the size of the largest file to join with others ";
inline const std::string kInvalidJoinName = "Please select one valid file to be joined with other files!";

// The join's message for a piece that does not open.
std::string NotFoundText(const std::string& pieceName);
// The join's refusal of a file at the original's path.
std::string OutputInTheWayText(const std::string& originalPath);
// The join's refusal of a piece whose size does not fit its set.
std::string DoesNotFitText(const std::string& pieceName);
// The split's refusal of a file that has a piece's name.
std::string PieceInTheWayText(const std::string& pieceName);
