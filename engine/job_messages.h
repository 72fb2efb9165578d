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

// Another job holds the file a job would read or write.
inline std::string FileInUseByAnotherJob(const std::string& path)
{
    return "The file \"" + path + "\" is in use by another job. Wait until it ends, then try again.";
}

}  // namespace job_messages
