#pragma once

// The texts of the check of a set's pieces: its caption, each piece's verdict
// as one word or phrase, the summary and the refusals.

#include <cstddef>
#include <string>

namespace verify_messages {

inline constexpr const char* kVerifyCaption = "Check pieces";

inline constexpr const char* kVerifyInvalidName =
    "Please select one piece (NAME.INDEX.COUNT.plit) or the checksum list (NAME.plit.sha256) of the pieces to check!";

// What each piece was found to be.
inline constexpr const char* kPieceOk = "ok";
inline constexpr const char* kPieceDamaged = "damaged";
inline constexpr const char* kPieceMissing = "missing";
inline constexpr const char* kPieceUnreadable = "could not be read";
inline constexpr const char* kPieceInRebuiltFile = "in the rebuilt file";
inline constexpr const char* kPieceDamagedInRebuiltFile = "damaged in the rebuilt file";

// The set has no list: nothing tells what its pieces must hold.
inline std::string VerifyNoList(const std::string& listPath)
{
    return "The pieces cannot be checked: there is no checksum list \"" + listPath +
           "\". Only a split by this version of Vandrel writes one.";
}

inline std::string VerifyListUnreadable(const std::string& listPath)
{
    return "The checksum list \"" + listPath + "\" could not be read, so the pieces were not checked.";
}

// A list that no split could have written, or one of another set.
inline std::string VerifyListDamaged(const std::string& listPath)
{
    return "The file \"" + listPath + "\" is not a checksum list of Vandrel's, so the pieces were not checked.";
}

inline std::string VerifyListUnfit(const std::string& listPath)
{
    return "The checksum list \"" + listPath + "\" does not fit the pieces beside it, so they were not checked.";
}

// "3 pieces", "1 piece".
inline std::string Pieces(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " piece" : " pieces");
}

// Every piece is right: some of them, perhaps all, already in the rebuilt file.
inline std::string VerifyAllRight(std::size_t count, std::size_t inRebuiltFile, const std::string& originalLeaf)
{
    std::string text = count == 1 ? "The 1 piece of \"" + originalLeaf + "\" is right"
                                  : "All " + Pieces(count) + " of \"" + originalLeaf + "\" are right";
    if (inRebuiltFile == count)
        text += ", all of them in the rebuilt file";
    else if (inRebuiltFile > 0)
        text += ", " + std::to_string(inRebuiltFile) + " of them in the rebuilt file";
    return text + ".";
}

// How many are not right; the message box lists them below this line.
inline std::string VerifyNotRight(std::size_t wrong, std::size_t count, const std::string& originalLeaf)
{
    return std::to_string(wrong) + " of the " + Pieces(count) + " of \"" + originalLeaf + "\" " +
           (wrong == 1 ? "is" : "are") + " not right:";
}

}  // namespace verify_messages
