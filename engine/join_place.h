#pragma once
// Where a join's files lie. The journal, the checksum list and the pieces stay
// in the pieces' folder; the rebuilt file and the private file a copied piece
// 0 is written under lie in the output's folder: the pieces' own, or the one
// `--into` names, which the journal records so that a later join of a
// remaining piece finds the output again.

#include <string>

#include "piece_names.h"

struct JoinPlace {
    std::string output;       // the rebuilt file
    std::string privateFile;  // the name a copied piece 0 is written under
    std::string journal;      // beside the pieces
    // The output's folder as the journal records it: "." for the pieces' own
    // folder, a path relative to it for a folder inside it, else absolute.
    std::string folderRecord = ".";

    bool besidePieces() const { return folderRecord == "."; }
};

// The place of a join of `set` whose output's folder the journal records as
// `folderRecord` ("." beside the pieces).
JoinPlace PlaceOfRecord(const PieceSet& set, const std::string& folderRecord);

// The record of the folder `folder` (as the user named it, relative to the
// working folder or absolute) for the set `set`. A folder inside the pieces'
// folder is recorded relative to it, so that the journal still finds the
// output when the tree moves as one (a disk that takes another drive letter
// or mount point); any other folder is recorded absolute, as a path relative
// to the pieces would break as soon as the pieces alone move.
std::string FolderRecordOf(const PieceSet& set, const std::string& folder);

// True when two records name the same folder, however their separators
// and "." steps are spelled.
bool SameFolderRecord(const std::string& one, const std::string& other);

// Makes the output's name durable and the names removed from the pieces'
// folder so far: both folders when they differ. The one call a join makes
// before it deletes a piece.
bool CommitOutputAndPieceNames(const JoinPlace& place);
