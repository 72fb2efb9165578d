#pragma once
// What the join's checks find out about a set and hand to its copy phase, and
// the measurements they share.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "copy_buffer.h"
#include "file_system.h"
#include "job_result.h"
#include "piece_names.h"

// A piece as the checks measured it.
struct Piece {
    std::string name;
    FileIdentity identity;
};

// What the checks decided: where the output stands and what to append to it.
struct JoinPlan {
    std::unique_ptr<File> output;  // open and locked
    bool outputCreated = false;    // made by this run, so it may be removed again
    std::int32_t firstIndex = 0;   // index of `pieces.front()`; the output holds the pieces before it
    std::int64_t partSize = 0;
    std::int64_t renamedBytes = 0; // bytes of a piece 0 that became the output by a rename
    bool partSizeRecorded = false; // the output carries the part size (RecordPartSize)
    std::vector<Piece> pieces;     // the pieces still to append, in index order
};

// A refusal of the checks (or an end they reached themselves), or the plan
// that passed them.
struct Checked {
    std::optional<JoinPlan> plan;
    JobResult ended;
};

// Shows a refusal under the join's caption.
Checked RefuseJoin(const std::string& text, std::string file = {}, std::string reason = {});
// The output could not be made or prepared: a failure of the copy phase,
// reported as one, with nothing appended and no piece touched.
Checked FailBeforeCopy(const std::string& originalPath);

// Measures pieces `first` up to (not including) `end` of `set`. Empty when one
// does not open; then `missing` is its index.
std::optional<std::vector<Piece>> MeasurePieces(const PieceSet& set, std::int32_t first, std::int32_t end,
                                                std::int32_t& missing);
// The index of the first piece from `first` on that exists, or `end`.
std::int32_t FirstExistingPiece(const PieceSet& set, std::int32_t first, std::int32_t end);

// The first of `pieces` (the last ones of their set) whose size cannot be that
// of its place: every piece but the last holds `partSize` bytes, the last one
// from 1 to `partSize`.
const Piece* FirstMisfit(const std::vector<Piece>& pieces, std::int64_t partSize);

enum class ZerosCount { AsTheirBytes, AsMismatch };

// True when `count` bytes of `output` from `outputOffset` are those of the
// piece at `name` from its start. With ZerosCount::AsTheirBytes a zero byte in
// the output matches any byte: after a power cut a file may keep its new
// length with zeros where its unflushed bytes were.
bool OutputHoldsPiece(File& output, std::int64_t outputOffset, const std::string& name, std::int64_t count,
                      ZerosCount zeros, CopyBuffer& buffer);

// True when the output's bytes from `from` on are the first bytes of
// `pieces`, taken end to end (or zeros in their place): what an interrupted
// join appended after the last piece it deleted.
bool TailIsInPieces(File& output, std::int64_t from, const std::vector<Piece>& pieces, CopyBuffer& buffer);

// A two-piece set's part size, kept with piece 0 before a rename makes it the
// output and with the output until the join ends: were the join cut short,
// only the last piece would be left, and no file's size would tell where
// piece 0's bytes end in the output.
//
// Records the part size with `first` (piece 0, unchanged since it was
// measured), durable before the call returns. False, with nothing recorded,
// where the file system keeps no attributes.
bool RecordPartSize(const Piece& first);
// The part size recorded with `output`, when it carries one.
std::optional<std::int64_t> RecordedPartSize(File& output);
// Drops the record once the join has ended; a record left behind is never read
// again, as no piece of the set is left to resume from.
void ForgetPartSize(File& output);
