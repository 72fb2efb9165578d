#include "file_size_limit.h"

#include <gtest/gtest.h>

namespace {

// A mount table as Linux writes it: a root, a FUSE FAT stick whose mount
// point has a space, a tmpfs hidden under a later vfat mount, and a prefix
// that is no parent ("/mnt/usb" is not under "/mnt/us").
constexpr const char* kMountInfo =
    "21 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "30 21 0:40 / /mnt/my\\040stick rw,nosuid shared:9 - fuse.fusefat /dev/loop3 rw,user_id=0\n"
    "31 21 0:41 / /mnt/us rw - xfs /dev/loop4 rw\n"
    "32 21 0:42 / /media/card rw - tmpfs tmpfs rw\n"
    "33 21 8:17 / /media/card rw,relatime - vfat /dev/sdb1 rw,fmask=0022\n"
    "34 21 0:43 / /srv/a rw master:3 unbindable - btrfs /dev/sdc rw\n";

TEST(FileSizeLimit, TheLongestMountPointHoldingThePathTellsTheType)
{
    const struct {
        const char* path;
        const char* type;
    } rows[] = {
        {"/home/user/film.avi", "ext4"},   {"/mnt/my stick", "fuse.fusefat"},
        {"/mnt/my stick/a/b", "fuse.fusefat"}, {"/mnt/usb/x", "ext4"},
        {"/mnt/us/x", "xfs"},              {"/media/card/DCIM", "vfat"},
        {"/srv/a", "btrfs"},               {"/", "ext4"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FileSystemTypeInMountInfo(kMountInfo, row.path), row.type) << row.path;
    EXPECT_EQ(FileSystemTypeInMountInfo("garbage\n\n- -\n", "/x"), "");
}

TEST(FileSizeLimit, OnlyTheFatFamilyStopsShortOfSixtyFourBits)
{
    for (const char* fat : {"vfat", "msdos", "fuse.fusefat", "FAT", "FAT32", "fat16"})
        EXPECT_EQ(LargestFileOfType(fat), kFatLargestFile) << fat;
    for (const char* other : {"exFAT", "NTFS", "ext4", "xfs", "btrfs", "tmpfs", "fuseblk", ""})
        EXPECT_EQ(LargestFileOfType(other), kNoFileSizeLimit) << other;
}

}  // namespace
