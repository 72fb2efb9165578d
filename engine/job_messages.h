#pragma once

// The texts and captions of the jobs' message boxes, word for word as users
// have always seen them (three of them end in a blank), and the texts of the
// refusals that keep a user's files from being written over.

#include <string>

namespace job_messages {

inline constexpr const char* kSplitCaption = "File Splitter";
inline constexpr const char* kSplitNotOpened = "Please select a file to split!";
inline constexpr const char* kSplitNoSpace =
    "You do not have enough space in the disk containing the selected file e.g free space must be at least the size of file to split ";
inline constexpr const char* kSplitInvalidSize = "The size you entered, for file parts after split, is invalid ";
inline constexpr const char* kSplitSizeNotBelowFile =
    "The size you entered, for file parts after split, is invalid: part size must be less than file size ";
inline constexpr const char* kSplitSucceeded = "File splitting completed successfully";
inline constexpr const char* kSplitFailed = "File splitting failed! Make sure the disk you are using is not readonly!";
// The input changed, moved or grew while it was being read: it is kept.
inline constexpr const char* kSplitInputChanged = "The file splitting operation failed!";

// A file already has the name of one of the pieces.
inline std::string SplitPieceInTheWay(const std::string& pieceName)
{
    return "The file \"" + pieceName + "\" already exists. Move it away, then start the split again.";
}

// Another program has the input open for writing (or keeps others from
// reading it): the pieces could not be sure to hold its bytes.
inline std::string SplitInputInUse(const std::string& path)
{
    return "The file \"" + path + "\" is open in another program that may write to it. Close it there, then start the split again.";
}

// A split stopped on request: its pieces, list and journal are taken back.
inline std::string SplitStopped(const std::string& path)
{
    return "File splitting was stopped. \"" + path + "\" is as it was, and the pieces made so far were removed.";
}

// A split's journal beside the input records another state of it: the input
// was changed since the split that wrote it was cut short.
inline std::string SplitJournalOfChangedInput(const std::string& journalPath, const std::string& path)
{
    return "The file \"" + journalPath + "\" records a split of \"" + path + "\" that did not finish, and \"" +
           path + "\" has changed since. Nothing was changed. Delete the pieces that split left and \"" +
           journalPath + "\", then start the split again.";
}

// A file at the split's journal name that is not the journal of a split of
// this input: a join's, another version's, or no journal at all.
inline std::string SplitJournalUnfit(const std::string& journalPath, const std::string& path)
{
    return "The file \"" + journalPath + "\" is not the journal of a split of \"" + path +
           "\". Nothing was changed. If a join of these pieces did not finish, start the join again to finish "
           "it; otherwise move \"" + journalPath + "\" away, then start the split again.";
}

// The folder the pieces should go into is missing or not a folder.
inline std::string SplitIntoNotAFolder(const std::string& folder)
{
    return "The folder \"" + folder + "\" does not exist or is not a folder. Choose an existing folder for the "
           "pieces, then start the split again.";
}

// The disk the pieces go to cannot hold a file of the part size (FAT).
inline std::string SplitPartTooLargeForDisk(const std::string& partSizeText, const std::string& folder,
                                            const std::string& largestText)
{
    return "The part size of " + partSizeText + " bytes is too large for the disk of \"" + folder +
           "\": it holds files of at most " + largestText + " bytes. Choose a smaller part size (fat32 is the "
           "largest such a disk holds), then start the split again.";
}

// The window's one question before a split in place: the disk cannot hold
// the file and its pieces side by side.
inline std::string SplitInPlaceQuestion(const std::string& path)
{
    return "The disk holding \"" + path + "\" cannot hold both the file and its pieces.\n\n"
           "Vandrel can split it in place: the file will shrink as its pieces are made, from the last piece to "
           "the first, and will itself become the first piece. If the split is interrupted, starting it again "
           "finishes it, and joining the pieces gives the whole file back.\n\nSplit the file in place?";
}

// A split in place that failed or was stopped part way: the input holds its
// first `held` pieces, and pieces `held` to N-1 lie beside it, `firstPiece`
// the first of them. Nothing is lost, but the input is no longer whole.
inline std::string SplitInPlaceInterrupted(bool stopped, const std::string& path, const std::string& heldText,
                                           const std::string& countText, const std::string& firstPiece)
{
    return std::string(stopped ? "File splitting was stopped" : "File splitting failed") + " part way: \"" + path +
           "\" now holds the first " + heldText + " of its " + countText + " pieces, and the others are beside it. "
           "No byte is lost. Start the split of \"" + path + "\" again to finish it, or join \"" + firstPiece +
           "\" to get the whole file back.";
}

// Not even one piece and the journal fit beside the input.
inline std::string SplitInPlaceNoSpace(const std::string& path, const std::string& neededText,
                                       const std::string& availableText)
{
    return "There is not enough space on the disk of \"" + path + "\" to split it in place: that needs " +
           neededText + " bytes free (one piece, the list and the journal), and " + availableText +
           " are available. Free some space, then start the split again.";
}

// A split in place was asked for a file that has other names or is a link:
// cutting it would change what those names show.
inline std::string SplitInPlaceNotPlain(const std::string& path)
{
    return "\"" + path + "\" has another name (a hard link) or is a symbolic link, so it cannot be split in "
           "place: cutting it would change the file its other names show. Split a copy of it, or split it onto "
           "a disk with room for the pieces.";
}

// The input's disk numbers its files anew at each mount (FAT, exFAT, FUSE),
// so that what a split in place cut short left could not be proven its own.
inline std::string SplitInPlaceIdsNotStable(const std::string& path)
{
    return "\"" + path + "\" cannot be split in place: its disk numbers its files anew each time it is "
           "mounted, so a split cut short could not be told apart from other files. Nothing was changed. Split it "
           "onto a disk with room for the pieces, or free room for a copy of it.";
}

// A split in place of this input is under way, with another part size.
inline std::string SplitInPlacePartSize(const std::string& path, const std::string& partSizeText)
{
    return "\"" + path + "\" is being split in place into pieces of " + partSizeText +
           " bytes. Nothing was changed. Start the split again with that part size to finish it, or join its "
           "pieces to get the whole file back.";
}

// A split in place of this input is under way, and the split was asked to
// keep the input or to write its pieces elsewhere, which it cannot do.
inline std::string SplitInPlaceOptions(const std::string& path)
{
    return "\"" + path + "\" is being split in place, which keeps no copy of it and leaves its pieces beside it. "
           "Nothing was changed. Start the split again without --keep and --into to finish it, or join its pieces "
           "to get the whole file back.";
}

// A join of a set split in place was asked to keep the pieces or to write
// elsewhere: the input holds the first pieces itself and takes the others back
// where it is.
inline std::string JoinInPlaceOptions(const std::string& path)
{
    return "\"" + path + "\" was split in place and still holds its first pieces: a join gives it the others back "
           "where it is, deleting each once it is in. Nothing was changed. Start the join again without --keep "
           "and --into.";
}

// A join was giving a split-in-place input its pieces back when it was cut.
inline std::string SplitInPlaceBeingUndone(const std::string& path, const std::string& pieceName)
{
    return "The pieces of \"" + path + "\" were being joined back into it when that join was interrupted. "
           "Nothing was changed. Join \"" + pieceName + "\" to finish it.";
}

// What an interrupted split in place left does not add up: the input or a
// piece is not what its journal records.
inline std::string SplitInPlaceDamaged(const std::string& journalPath, const std::string& file)
{
    return "The file \"" + journalPath + "\" records a split in place, but \"" + file +
           "\" is not what it records. Nothing was changed. Keep every piece and \"" + journalPath +
           "\", and rebuild the file by hand from them.";
}

inline constexpr const char* kJoinCaption = "File Joiner";
inline constexpr const char* kJoinInvalidName = "Please select one valid file to be joined with other files!";
inline constexpr const char* kJoinNoSpace =
    "You do not have enough space in the disk containing the selected file e.g free space must be at least the size of the largest file to join with others ";
inline constexpr const char* kJoinSucceeded = "File joining completed successfully";
inline constexpr const char* kJoinFailed = "File joining failed! Make sure the disk you are using is not readonly!";

// The message for a piece of the set that cannot be opened.
inline std::string JoinPieceNotFound(const std::string& pieceName)
{
    return " The file \"" + pieceName + "\" was not found, make sure all files to be joined are in the same directory";
}

// A file is already at the path the join would rebuild.
inline std::string JoinOutputInTheWay(const std::string& originalPath)
{
    return "The file \"" + originalPath + "\" already exists. Move or rename it, then start the join again.";
}

// A piece whose size cannot belong to the set: a short or empty piece, a
// truncated download, the leftovers of a split that did not finish.
inline std::string JoinPieceDoesNotFit(const std::string& pieceName)
{
    return "The file \"" + pieceName + "\" does not fit with the other pieces: its size is not that of a piece of this set.";
}

// Piece 0 is gone and a file is where the rebuilt file goes, but no journal
// of this join proves that it is the rebuilt file.
inline std::string JoinForeignOutput(const std::string& originalPath, const std::string& firstPieceName)
{
    return "The file \"" + originalPath + "\" is where the pieces would be joined, and \"" + firstPieceName +
           "\" is missing; nothing shows that this file holds the pieces already joined. Nothing was changed. If it "
           "is another file, move it away and put back \"" + firstPieceName +
           "\". If it is what an earlier version left of a join, finish that join by hand as the README tells.";
}

// A journal that does not fit the files beside it: another set, another
// output, another version, or no journal at all.
inline std::string JoinJournalUnfit(const std::string& journalPath)
{
    return "The file \"" + journalPath + "\" does not fit the files beside it. Nothing was changed. If files of "
           "this join were moved or copied, put them back as they were; otherwise move \"" + journalPath +
           "\" away, then start the join again.";
}

// A journal of a split, not of a join.
inline std::string JoinJournalOfAnotherKind(const std::string& journalPath)
{
    return "The file \"" + journalPath + "\" records a split of these files that did not finish. Nothing was "
           "changed. Start that split again to finish it.";
}

// An unlocked split's journal beside the pieces, whose input is still at its
// path and unchanged: a split cut short left the pieces, and the original is whole.
inline std::string JoinSplitLeftovers(const std::string& originalPath)
{
    return "These pieces were left by a split of \"" + originalPath + "\" that did not finish; \"" +
           originalPath + "\" itself is whole. Nothing was changed. Start the split again, or delete the pieces.";
}

// The journal names the output, but the file system cannot keep a file's
// number from one mount to the next (FAT, exFAT), so it proves nothing.
inline std::string JoinIdsNotStable(const std::string& originalPath)
{
    return "The file \"" + originalPath + "\" may hold a join that did not finish, but this disk cannot prove it: "
           "its file system numbers files anew. Nothing was changed. Finish the join by hand as the README tells.";
}

// A file the join had to delete could not be: the join stopped right after it.
inline std::string JoinFileNotDeleted(const std::string& path, const std::string& originalPath)
{
    return "The file \"" + path + "\" could not be deleted, so the join stopped there; its bytes are safe in \"" +
           originalPath + "\". Close any program that uses it, make it deletable, then start the join again.";
}

// A piece whose bytes are not those its checksum list gives: it is kept as
// it is, and so are the pieces after it.
inline std::string JoinPieceDamaged(const std::string& pieceName)
{
    return "The file \"" + pieceName + "\" is damaged: its bytes are not those it was made with. Copy it again "
           "from where it came from, then start the join again.";
}

// The rebuilt file holds pieces already taken whose bytes are no longer those
// the checksum list gives: the disk changed them after they were joined.
inline std::string JoinOutputDamaged(const std::string& originalPath)
{
    return "The file \"" + originalPath + "\" is damaged: the pieces it holds already are no longer the bytes they "
           "were made with. Nothing was changed. Check the disk, then put the pieces back from where they came from.";
}

// A checksum list that cannot be read, or is not the list of these pieces.
inline std::string JoinListUnfit(const std::string& listPath)
{
    return "The file \"" + listPath + "\" is not the checksum list of these pieces, or it is damaged. Nothing was "
           "changed. Copy it again with the pieces from where they came from, then start the join again.";
}

// Every piece matched its line but the whole file does not match the list's
// own line for it: the list disagrees with itself.
inline std::string JoinListDisagrees(const std::string& listPath, const std::string& originalPath)
{
    return "The file \"" + listPath + "\" does not agree with itself: every piece matched its line, but the "
           "rebuilt file \"" + originalPath + "\" does not match the line of the whole file. \"" + originalPath +
           "\" is whole and the list and the last piece are kept. Check the rebuilt file; if it is right, delete \"" +
           listPath + "\" and start the join again to finish.";
}

// A join asked to stop (Ctrl-C, a signal) stopped after its last whole piece:
// the rebuilt file holds the first `held` of `count` pieces, and a join of
// `resumeWith` finishes it.
inline std::string JoinStopped(const std::string& outputPath, int held, int count, const std::string& resumeWith)
{
    return "The join stopped: \"" + outputPath + "\" holds " + std::to_string(held) + " of " +
           std::to_string(count) + " pieces, and the others are kept. Join \"" + resumeWith +
           "\" to finish it.";
}

// A join asked to stop before the rebuilt file held a whole piece: the set is
// as it was.
inline std::string JoinStoppedBeforeAPiece(const std::string& pieceName)
{
    return "The join stopped before it took a piece. Nothing was changed; join \"" + pieceName +
           "\" to start again.";
}

// The rebuilt file is larger than the file system it would be written to can
// hold (FAT12/16/32: 4 GiB - 1 byte).
inline std::string JoinTooLargeForDisk(const std::string& outputPath, long long size, long long largest)
{
    return "The file \"" + outputPath + "\" would be " + std::to_string(size) +
           " bytes long, but the disk it would be written to holds files of at most " + std::to_string(largest) +
           " bytes. Nothing was changed. Join the pieces on a disk that holds larger files (NTFS, exFAT), or "
           "write the rebuilt file to one with --into.";
}

// The folder the rebuilt file is to be written into is not there.
inline std::string JoinIntoFolderMissing(const std::string& folder)
{
    return "The folder \"" + folder + "\" was not found. Nothing was changed. Create it, or name another "
           "folder, then start the join again.";
}

// An interrupted join recorded another folder for its rebuilt file than the
// one named now.
inline std::string JoinIntoOtherFolder(const std::string& journalPath, const std::string& folder)
{
    return "The file \"" + journalPath + "\" records a join into the folder \"" + folder +
           "\" that did not finish. Nothing was changed. Join again into that folder, or without naming one, "
           "to finish it.";
}

// Another job holds the file a job would read or write.
inline std::string FileInUseByAnotherJob(const std::string& path)
{
    return "The file \"" + path + "\" is in use by another job. Wait until it ends, then try again.";
}

}  // namespace job_messages
