// Mount folders with nothing mounted on them: an unplugged disk leaves its empty folder behind,
// and neither a drive pinned there nor a source item in it may pass for the disk.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "platform/mount_table.h"
#include "platform/path_translation.h"
#include "platform/volumes.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::TempDrives;
using test::TmpfsMount;

// One mountinfo line for a mount on `point`.
std::string MountLine(int id, const std::string& point, const std::string& type = "ext4") {
    return std::to_string(id) + " 1 8:1 / " + point + " rw,relatime shared:1 - " + type +
           " /dev/sdx rw\n";
}

TEST(MountFoldersTest, FstabListsItsMountPointsOnly) {
    const std::string fstab =
        "# /etc/fstab: static file system information.\n"
        "UUID=1234 / ext4 errors=remount-ro 0 1\n"
        "UUID=5678 /home ext4 defaults 0 2\n"
        "UUID=9abc none swap sw 0 0\n"
        "/dev/sr0 /media/cdrom0 udf,iso9660 user,noauto 0 0\n"
        "LABEL=BACKUP /srv/my\\040backup/ ext4 noauto 0 0\n"
        "\n"
        "   # indented comment\n"
        "tmpfs relative tmpfs defaults 0 0\n";
    std::vector<std::string> points;
    for (const HostPath& point : ParseFstabMountPoints(fstab))
        points.push_back(point.Text());
    EXPECT_EQ(points, (std::vector<std::string>{"/", "/home", "/media/cdrom0", "/srv/my backup"}));
    EXPECT_TRUE(ParseFstabMountPoints("").empty());
}

TEST(MountFoldersTest, DecidesWhetherAPathLiesOnAnUnmountedMountFolder) {
    const std::string base = MountLine(1, "/") + MountLine(2, "/proc", "proc");
    const std::vector<HostPath> fstab = {HostPath("/"), HostPath("/home"), HostPath("/srv/backup")};
    struct Case {
        const char* name;
        std::string path;
        std::string mountinfo;
        std::string plainFolder;
        bool unmounted;
    };
    const std::vector<Case> cases = {
        {"udisks folder, disk in", "/media/alice/BACKUP",
         base + MountLine(3, "/media/alice/BACKUP", "vfat"), "", false},
        {"udisks folder, disk out", "/media/alice/BACKUP", base, "", true},
        {"inside an unplugged disk", "/media/alice/BACKUP/docs", base, "", true},
        {"inside a plugged disk", "/media/alice/BACKUP/docs",
         base + MountLine(3, "/media/alice/BACKUP", "vfat"), "", false},
        {"a neighbour is mounted, not this one", "/media/alice/OTHER",
         base + MountLine(3, "/media/alice/BACKUP", "vfat"), "", true},
        {"name that only begins like a mounted one", "/media/alice/BACKUP2",
         base + MountLine(3, "/media/alice/BACKUP", "vfat"), "", true},
        {"usbmount folder, disk out", "/media/usb0", base, "", true},
        {"/media itself on a tmpfs, disk out", "/media/usb0",
         base + MountLine(3, "/media", "tmpfs"), "", true},
        {"run/media per-user folder, disk out", "/run/media/bob/STICK/x", base, "", true},
        {"run/media user folder itself is no mount folder", "/run/media/bob", base, "", false},
        {"mnt folder, disk out", "/mnt/usb", base, "", true},
        {"mnt folder, disk in", "/mnt/usb/deep/er", base + MountLine(3, "/mnt/usb", "xfs"), "",
         false},
        {"the roots themselves", "/mnt", base, "", false},
        {"fstab mount point, not mounted", "/srv/backup/daily", base, "", true},
        {"fstab mount point, mounted", "/srv/backup/daily", base + MountLine(3, "/srv/backup"), "",
         false},
        {"fstab lists only a prefix of the name", "/srv/backups", base, "", false},
        {"ordinary folder", "/home/alice/docs", base + MountLine(3, "/home"), "", false},
        {"declared plain folder", "/media/alice/BACKUP/docs", base, "/media/alice/BACKUP", false},
        {"plain folder does not cover a mount folder below it", "/srv/backup/x", base, "/srv",
         true},
        {"no mount table to ask", "/media/alice/BACKUP", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<MountEntry> mounts = ParseMountInfo(c.mountinfo);
        EXPECT_EQ(
            LiesOnUnmountedMountPoint(HostPath(c.path), mounts, fstab, HostPath(c.plainFolder)),
            c.unmounted);
    }
}

TEST(MountFoldersTest, PlainFoldersSectionOfDrivesIni) {
    const std::string ini =
        "[Drives]\r\ne=/media/alice/BACKUP\r\nf=/media/alice/PLAIN\r\ng=/media/alice/G\r\n"
        "[Plain folders]\r\nf=yes\r\ng=no\r\n";
    DriveTable table = DriveTable::Build(ini, {});
    table.SetFstabMountPoints({});
    // Whatever this host mounts, nothing is mounted on these invented folders.
    EXPECT_TRUE(table.LiesOnUnmountedMount('e', HostPath("/media/alice/BACKUP")));
    EXPECT_FALSE(table.LiesOnUnmountedMount('f', HostPath("/media/alice/PLAIN/x")));
    EXPECT_TRUE(table.LiesOnUnmountedMount('g', HostPath("/media/alice/G")));
}

// A real mount: a folder that fstab lists, pinned as e:, is a drive only while a file system is
// mounted on it; declared a plain folder it is one always.
TEST(MountFoldersTest, PinnedMountFolderIsPresentOnlyWhileMounted) {
    TempDrives drives("ce");
    const std::string disk = drives.HostRoot('e');
    drives.SetFstabMountPoints({disk});
    EXPECT_FALSE(ActiveDriveTable().IsPresent('e'));
    EXPECT_EQ(PresentDriveLetters().find('e'), std::string::npos);
    EXPECT_TRUE(ActiveDriveTable().IsPresent('c'));
    EXPECT_TRUE(IsOnMissingDisk(DrivePath("e:\\docs")));
    EXPECT_FALSE(IsOnMissingDisk(DrivePath("c:\\docs")));

    {
        TmpfsMount mount(disk);
        if (!mount.Mounted())
            GTEST_SKIP() << mount.Error();
        EXPECT_TRUE(ActiveDriveTable().IsPresent('e'));
        EXPECT_NE(PresentDriveLetters().find('e'), std::string::npos);
        EXPECT_FALSE(IsOnMissingDisk(DrivePath("e:\\docs")));
        ASSERT_TRUE(mount.Unmount());
        EXPECT_FALSE(ActiveDriveTable().IsPresent('e'));
    }

    drives.SetPlainFolder('e', true);
    EXPECT_TRUE(ActiveDriveTable().IsPresent('e'));
    EXPECT_FALSE(IsOnMissingDisk(DrivePath("e:\\docs")));
}

}  // namespace
}  // namespace vlm
