#include "platform/path_translation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/drive_table.h"
#include "platform/mount_table.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::TempDrives;

TEST(ToHostPath, TranslatesDrivePaths) {
    TempDrives drives("ce");
    const std::string c = drives.HostRoot('c');
    const std::string e = drives.HostRoot('e');
    const std::string standIn(kBackslashStandIn);
    struct Case {
        std::string drivePath;
        std::string host;
    } cases[] = {
        {"c:", c},
        {"c:\\", c},
        {"C:\\Data\\Docs", c + "/Data/Docs"},
        {"c:\\Data\\Docs\\", c + "/Data/Docs"},
        {"e:\\a b\\ü.txt", e + "/a b/ü.txt"},
        {"e:\\x" + standIn + "y", e + "/x\\y"},
        {"e:\\...\\.hidden", e + "/.../.hidden"},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(ToHostPath(k.drivePath), std::optional<std::string>(k.host)) << k.drivePath;
    }
}

// Every character a Windows name cannot hold has a stand-in of its own: two host names never
// meet at one drive name, and every name comes back as it was.
TEST(NameMapping, IsOneToOneAndRefusesWhatItCannotTellApart) {
    std::vector<std::string> driveNames;
    for (int code = 1; code < 128; ++code) {
        const char c = static_cast<char>(code);
        if (c == '/' || c == '.')
            continue;
        const std::string host = std::string("a") + c + "b";
        const auto drive = HostNameToDriveName(host);
        ASSERT_TRUE(drive.has_value()) << code;
        EXPECT_EQ(drive->find(c) == std::string::npos, NeedsStandIn(c)) << code;
        EXPECT_FALSE(HoldsControlCharacter(*drive)) << code;
        EXPECT_EQ(DriveNameToHostName(*drive), std::optional<std::string>(host)) << code;
        driveNames.push_back(*drive);
    }
    std::sort(driveNames.begin(), driveNames.end());
    EXPECT_EQ(std::adjacent_find(driveNames.begin(), driveNames.end()), driveNames.end());
    EXPECT_EQ(StandInFor('\\'), std::string(kBackslashStandIn));

    // A host name that already holds a character of the range has no drive name; a drive name
    // with a stand-in for nothing (here U+F041, 'A') names no host file.
    EXPECT_FALSE(HostNameToDriveName("x" + std::string(kBackslashStandIn)).has_value());
    EXPECT_FALSE(HostNameToDriveName("x\xEF\x81\x81").has_value());
    EXPECT_FALSE(DriveNameToHostName("x\xEF\x81\x81").has_value());
    EXPECT_EQ(ShownName("e:\\pi" + StandInFor('|') + "pe\\a" + StandInFor('\n') + "b"),
              "e:\\pi|pe\\a" + StandInFor('\n') + "b");
}

TEST(ToHostPath, RefusesPathsThatCouldLeaveTheirDrive) {
    TempDrives drives("c");
    for (const char* refused :
         {"", "c", "1:\\a", "\\\\server\\share", "c:a", "c:/a", "x:\\a", "c:\\.", "c:\\..",
          "c:\\a\\..\\..\\etc", "c:\\a\\.\\b", "c:\\a\\\\b", "c:\\\\", "c:\\a\\\\",
          "c:\\a/../../etc", "c:\\a/b"}) {
        EXPECT_EQ(ToHostPath(refused), std::nullopt) << refused;
    }
}

TEST(ToHostPath, RootSlashGivesPlainPaths) {
    TempDrives drives("");
    drives.PinTo('c', "/");
    EXPECT_EQ(ToHostPath("c:\\etc\\passwd"), std::optional<std::string>("/etc/passwd"));
    EXPECT_EQ(ToHostPath("c:\\"), std::optional<std::string>("/"));
    EXPECT_EQ(ToDrivePath("/etc"), std::optional<std::string>("c:\\etc"));
    EXPECT_EQ(ToDrivePath("/"), std::optional<std::string>("c:\\"));
}

TEST(ToDrivePath, UsesTheDeepestRootAndLowerCaseLetters) {
    TempDrives drives("");
    drives.PinTo('C', "/");
    drives.PinTo('E', drives.Base() + "/media/stick");
    drives.PinTo('f', drives.Base() + "/media/stick/inner");
    drives.PinTo('g', drives.Base() + "/media/stickier");
    const std::string standIn(kBackslashStandIn);
    const std::string base = drives.Base();
    std::string baseOnC = "c:" + base;
    std::replace(baseOnC.begin(), baseOnC.end(), '/', '\\');
    struct Case {
        std::string host;
        std::optional<std::string> drive;
    } cases[] = {
        {base + "/media/stick", "e:\\"},
        {base + "/media/stick/", "e:\\"},
        {base + "/media/stick/Mirror/Data", "e:\\Mirror\\Data"},
        {base + "/media/stick/inner/x", "f:\\x"},
        {base + "/media/stick/innerx", "e:\\innerx"},
        {base + "/media/stickier/y", "g:\\y"},
        {base + "/media/stick/a\\b", "e:\\a" + standIn + "b"},
        {base + "/media", baseOnC + "\\media"},
        {"relative/path", std::nullopt},
        {base + "/media/../etc", std::nullopt},
        {base + "/media/./stick", std::nullopt},
        {base + "//media", std::nullopt},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(ToDrivePath(k.host), k.drive) << k.host;
    }
}

TEST(ToDrivePath, PathUnderNoDriveIsRefused) {
    TempDrives drives("e");
    EXPECT_EQ(ToDrivePath("/usr/bin"), std::nullopt);
}

TEST(PathTranslation, BackslashNamesRoundTrip) {
    TempDrives drives("e");
    const std::string host = drives.HostRoot('e') + "/we\\ird\\name";
    const std::optional<std::string> drive = ToDrivePath(host);
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->find('\\', 3), std::string::npos) << "the name must stay one component";
    EXPECT_EQ(ToHostPath(*drive), std::optional<std::string>(host));
}

TEST(DriveTable, PinnedDriveWithoutFolderIsNotPresent) {
    TempDrives drives("c");
    drives.Pin('t', /*create=*/false);
    EXPECT_TRUE(ActiveDriveTable().IsPresent('c'));
    EXPECT_TRUE(ActiveDriveTable().IsPresent('C'));
    EXPECT_FALSE(ActiveDriveTable().IsPresent('t'));
    EXPECT_TRUE(ActiveDriveTable().RootOf('t'));
    EXPECT_FALSE(ActiveDriveTable().IsPresent('q'));
    EXPECT_FALSE(ActiveDriveTable().RootOf('q'));
    EXPECT_FALSE(ActiveDriveTable().RootOf('1'));
    // A file is not a drive's folder either.
    test::WriteFile(drives.Base() + "/f", "x");
    drives.PinTo('f', drives.Base() + "/f");
    EXPECT_FALSE(ActiveDriveTable().IsPresent('f'));
}

TEST(DriveTable, TempDrivesRestoresThePreviousTable) {
    DriveTable outer;
    outer.Pin('k', "/somewhere");
    SetActiveDriveTable(outer);
    {
        TempDrives drives("c");
        EXPECT_FALSE(ActiveDriveTable().RootOf('k'));
    }
    EXPECT_EQ(ActiveDriveTable().RootOf('k'), std::optional<std::string>("/somewhere"));
    SetActiveDriveTable(DriveTable{});
}

TEST(DriveTable, LoadReadsPinsFromDrivesIni) {
    TempDrives drives("");
    const std::string program = drives.Base() + "/program";
    test::WriteFile(program + "/drives.ini",
                    "; pinned drives\r\n[Other]\r\ne=/wrong\r\n[drives]\r\n"
                    " E = /media/alice/BACKUP/ \r\nT=" +
                        drives.Base() + "/t\r\nc=" + drives.Base() +
                        "/c\r\nk=relative/ignored\r\n");
    const DriveTable table = DriveTable::Load(HostPath(program + "/"), true, drives.Sources());
    EXPECT_EQ(table.RootOf('e'), std::optional<std::string>("/media/alice/BACKUP"));
    EXPECT_EQ(table.RootOf('t'), std::optional<std::string>(drives.Base() + "/t"));
    EXPECT_EQ(table.RootOf('c'), std::optional<std::string>(drives.Base() + "/c"));
    EXPECT_FALSE(table.RootOf('k'));
    EXPECT_FALSE(table.IsPresent('t'));
}

// The settings and histories live in the program's folder: it always has a drive path.
TEST(DriveTable, AProgramFolderUnderNoPinnedDriveGetsTheLastFreeLetter) {
    TempDrives drives("");
    const std::string program = drives.Base() + "/program";
    test::WriteFile(program + "/drives.ini", "[Drives]\nc=" + drives.Base() + "/c\nz=/elsewhere\n");
    const DriveTable table = DriveTable::Load(HostPath(program), true, drives.Sources());
    EXPECT_EQ(table.RootOf('y'), std::optional<std::string>(program));
    EXPECT_EQ(table.RootOf('z'), std::optional<std::string>("/elsewhere"));
    SetActiveDriveTable(table);
    EXPECT_EQ(ToDrivePath(program + "/velmora.ini"), std::optional<std::string>("y:\\velmora.ini"));
    SetActiveDriveTable(DriveTable{});

    // Under c: = "/" it is reached through c: and takes no letter of its own.
    const DriveTable plain = DriveTable::Load(HostPath(drives.Base()), true, drives.Sources());
    EXPECT_FALSE(plain.RootOf('z'));
}

TEST(DriveTable, LoadWithoutDrivesIniMapsCToTheHostRoot) {
    TempDrives drives("");
    const DriveTable table = DriveTable::Load(HostPath(drives.Base()), true, drives.Sources());
    EXPECT_EQ(table.RootOf('c'), std::optional<std::string>("/"));
    EXPECT_TRUE(table.IsPresent('c'));
    EXPECT_FALSE(table.RootOf('a'));
    EXPECT_FALSE(table.RootOf('b'));
}

TEST(DriveTable, MountedVolumesTakeTheFreeLettersFromD) {
    std::vector<HostPath> mounts;
    for (const char* point : {"/", "/run/media/u/CARD", "/home", "/mnt/backup", "/media/a/STICK",
                              "/media", "/mnt/pinned", "/mediax/y", "/media/a/STICK"})
        mounts.emplace_back(point);
    const DriveTable table = DriveTable::Build("[Drives]\nd=/srv/data\nf=/mnt/pinned\n", mounts);
    struct Case {
        char letter;
        std::optional<std::string> root;
    } cases[] = {
        {'c', "/"},           {'d', "/srv/data"},         {'e', "/media/a/STICK"},
        {'f', "/mnt/pinned"},  // pinned, and not given a second letter
        {'g', "/mnt/backup"}, {'h', "/run/media/u/CARD"}, {'i', std::nullopt},
        {'a', std::nullopt},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(table.RootOf(k.letter), k.root) << k.letter;
    }
}

TEST(MountTable, ParsesMountInfoLines) {
    const std::string text =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 8:17 / /media/alice/MY\\040STICK rw,nosuid shared:5 - vfat /dev/sdb1 rw\n"
        "41 22 0:40 / /run/media/bob/CD rw master:2 - iso9660 /dev/sr0 ro\n"
        "garbage line\n";
    const std::vector<MountEntry> mounts = ParseMountInfo(text);
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[1].mountPoint.Text(), "/media/alice/MY STICK");
    EXPECT_EQ(mounts[1].fsType, "vfat");
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_EQ(mounts[2].fsType, "iso9660");

    EXPECT_EQ(MountContaining(mounts, HostPath("/media/alice/MY STICK/x"))->fsType, "vfat");
    EXPECT_EQ(MountContaining(mounts, HostPath("/media/alice/MY STICKER"))->fsType, "ext4");
    EXPECT_EQ(MountContaining(mounts, HostPath("/run/media/bob/CD"))->fsType, "iso9660");
}

}  // namespace
}  // namespace vlm
