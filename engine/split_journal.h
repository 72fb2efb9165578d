#pragma once
// The journal of a split: the join's journal, kind split, beside the pieces
// (JournalPath of the input's name in their folder): beside the input, or in
// the folder a split --into writes to, where a join of the pieces finds it
// and the input's folder is recorded (`outputFolder`, absolute). It is created
// before the first piece and names each piece, durably, before the piece is
// created, so that what a split cut short left is told apart from anyone
// else's files: while the input is at its path and unchanged, the pieces it
// names and the set's list are the split's own, whatever their bytes.

#include <optional>
#include <set>
#include <string>

#include "file_system.h"
#include "join_journal.h"

// The input as a split's journal records it: volume, file id, size, and the
// last write time as UTC nanoseconds, so that it reads the same on any platform.
FileIdentity RecordedInput(const FileIdentity& identity);

// True when `journal` is a split's and `now` (what its input's path names
// today) is the input it records, unchanged.
bool SplitJournalProvesInput(const Journal& journal, const std::optional<FileIdentity>& now);

// The path whose piece names and list are the split's: the input's leaf in
// `piecesFolder`.
std::string PiecesOriginalPath(const std::string& inputPath, const std::string& piecesFolder);

// What a split's journal records as the input's folder, for a split whose
// pieces go to `piecesFolder` (empty: beside the input): "." beside them,
// else the input's folder made absolute, so that it names the same folder
// whatever the working folder of the run that reads it.
std::string RecordedInputFolder(const std::string& inputPath, const std::string& piecesFolder);

// The input of the split `journal` records, its pieces named after `piecesOriginal`.
std::string InputPathOf(const std::string& piecesOriginal, const Journal& journal);

// Every name `journal` claims, its pieces named after `piecesOriginal`: the
// pieces it began, and the list when it writes one.
std::set<std::string> ClaimedNames(const std::string& piecesOriginal, const Journal& journal);

// Takes back what an interrupted split left, its pieces named after
// `piecesOriginal`: deletes every claimed name that is there, whatever its
// bytes, commits their folder, then deletes the journal. False, with the file
// and the operating system's reason, at the first step that fails; the
// journal then stays, claiming the rest.
bool TakeBackInterruptedSplit(const std::string& piecesOriginal, OpenJournal& journal, std::string& file,
                              std::string& reason);

// The input's path when an unlocked split's journal lies beside the set of
// `originalPath` and its input is at its path, unchanged: a split cut short
// left the pieces, and the original is whole. Reads, locks for the look and
// releases; writes nothing.
std::optional<std::string> SplitLeftPiecesOf(const std::string& originalPath);
