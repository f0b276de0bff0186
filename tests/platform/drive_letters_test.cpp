// Which disk a letter is, read from mount tables and udev records the test writes: a letter
// handed out is remembered with what identifies its disk and never passes to another one.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "support/media_image.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

// One mounted file system of a written mount table, below the test's folder.
struct Mount {
    std::string point;   // relative to the test's folder
    std::string type;    // "ext4", "nfs4", "tmpfs"
    std::string source;  // "server:/export"; "" for a block device of its own
    std::string uuid;    // for a block device: its udev record
    std::string label;
};

struct Rig {
    test::TempDrives drives{""};
    std::string program = drives.Base() + "/program";

    Rig() { test::MakeDir(program); }

    // Writes the mount table and udev records for `mounts` and loads the table from them.
    DriveTable Load(const std::vector<Mount>& mounts, bool remember = true) {
        DriveSources sources = drives.Sources();
        sources.mountTable = HostPath(drives.Base() + "/mountinfo");
        std::string table = "1 0 250:0 / / rw - ext4 /dev/velmora-root rw\n";
        int minor = 1;
        for (const Mount& mount : mounts) {
            const std::string point = drives.Base() + "/" + mount.point;
            test::MakeDir(point);
            const bool block = mount.source.empty();
            // Block devices (major 250) have records; other file systems an anonymous device.
            const std::string device = (block ? "250:" : "0:") + std::to_string(minor++);
            if (block)
                test::WriteFile(drives.Base() + "/udev/b" + device,
                                "E:ID_FS_UUID=" + mount.uuid + "\nE:ID_FS_LABEL=" + mount.label +
                                    "\nE:ID_FS_TYPE=" + mount.type + "\n");
            table += std::to_string(minor + 20) + " 1 " + device + " / " + point + " rw - " +
                     mount.type + " " + (block ? "/dev/velmora-" + device : mount.source) + " rw\n";
        }
        test::WriteFile(sources.mountTable.Text(), table);
        return DriveTable::Load(HostPath(program), remember, sources);
    }

    // "d=mnt/nas e=- f=refused ...": each letter d: to g: as a run may use it.
    std::string Letters(const DriveTable& table) const {
        std::string text;
        for (char letter = 'd'; letter <= 'g'; ++letter) {
            std::string state = "-";
            if (!table.Refusal(letter).empty())
                state = "refused";
            else if (table.IsPresent(letter))
                state = table.RootOf(letter)->substr(drives.Base().size() + 1);
            text += std::string(text.empty() ? "" : " ") + letter + "=" + state;
        }
        return text;
    }
};

TEST(DriveLettersTest, ALetterStaysWithTheDiskItWasGivenTo) {
    struct Case {
        std::string name;
        std::string ini;  // drives.ini before; "@" stands for the test's folder; "dir" makes it
                          // a folder no file can replace
        std::vector<Mount> mounts;
        std::string letters;
        std::vector<std::string> iniAfter;  // lines drives.ini then holds
        std::string refusalNames;           // a text the refusal of e: (or d:) holds
    };
    const std::vector<Case> cases = {
        {"a disk with a UUID is remembered by it",
         "",
         {{"media/ann/STICK", "vfat", "", "AAAA-0001", "STICK"}},
         "d=media/ann/STICK e=- f=- g=-",
         {"d=UUID=AAAA-0001", "d=STICK"},
         ""},
        {"a remembered disk's letter waits for it and goes to no other",
         "[Drives]\nd=UUID=AAAA-0001\n",
         {{"media/ann/STICK", "ext4", "", "BBBB-0002", "OTHER"}},
         "d=- e=media/ann/STICK f=- g=-",
         {"d=UUID=AAAA-0001", "e=UUID=BBBB-0002"},
         ""},
        {"a share without a UUID is remembered by its source and type",
         "",
         {{"mnt/nas", "nfs4", "server:/export", "", ""}},
         "d=mnt/nas e=- f=- g=-",
         {"d=SOURCE=server:/export TYPE=nfs4"},
         ""},
        {"a share's letter goes to no tmpfs mounted where it was",
         "[Drives]\nd=SOURCE=server:/export TYPE=nfs4\n",
         {{"mnt/nas", "tmpfs", "scratch", "", ""}},
         "d=- e=mnt/nas f=- g=-",
         {"e=SOURCE=scratch TYPE=tmpfs"},
         ""},
        {"mounts named alike cannot be told apart and take no letter",
         "",
         {{"mnt/a", "tmpfs", "tmpfs", "", ""}, {"mnt/b", "tmpfs", "tmpfs", "", ""}},
         "d=- e=- f=- g=-",
         {},
         ""},
        {"two disks of one label: the pin takes neither",
         "[Drives]\ne=LABEL=BACKUP\n",
         {{"media/ann/BACKUP", "exfat", "", "AAAA-0001", "BACKUP"},
          {"media/ann/BACKUP1", "exfat", "", "BBBB-0002", "BACKUP"}},
         "d=- e=refused f=- g=-",
         {"e=LABEL=BACKUP"},
         "BACKUP (UUID AAAA-0001) at @/media/ann/BACKUP and BACKUP (UUID BBBB-0002) at "
         "@/media/ann/BACKUP1"},
        {"two disks of one cloned UUID: the pin takes neither",
         "[Drives]\ne=UUID=AAAA-0001\n",
         {{"media/ann/A", "ext4", "", "AAAA-0001", "ONE"},
          {"media/ann/B", "ext4", "", "AAAA-0001", "TWO"}},
         "d=- e=refused f=- g=-",
         {},
         "ONE (UUID AAAA-0001) at @/media/ann/A and TWO (UUID AAAA-0001) at @/media/ann/B"},
        {"a pin to a label takes any one disk so labelled",
         "[Drives]\ne=LABEL=BACKUP\n",
         {{"media/ann/BACKUP", "exfat", "", "CCCC-0003", "BACKUP"}},
         "d=- e=media/ann/BACKUP f=- g=-",
         {"e=LABEL=BACKUP"},
         ""},
        {"a letter drives.ini cannot keep is no letter a run may use",
         "dir",
         {{"media/ann/STICK", "vfat", "", "AAAA-0001", "STICK"}},
         "d=refused e=- f=- g=-",
         {},
         "cannot be remembered"},
        {"a letter pinned to a folder stays that folder",
         "[Drives]\ne=@/mnt/nas\n",
         {{"mnt/nas", "nfs4", "server:/export", "", ""}},
         "d=- e=mnt/nas f=- g=-",
         {"e=@/mnt/nas"},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        const auto here = [&rig](std::string text) {
            for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@'))
                text.replace(at, 1, rig.drives.Base());
            return text;
        };
        if (c.ini == "dir")
            test::MakeDir(rig.program + "/drives.ini");
        else if (!c.ini.empty())
            test::WriteFile(rig.program + "/drives.ini", here(c.ini));
        const DriveTable table = rig.Load(c.mounts);
        EXPECT_EQ(rig.Letters(table), c.letters);
        if (c.ini != "dir") {
            const std::string iniFile = rig.program + "/drives.ini";
            const std::string after = test::Exists(iniFile) ? test::ReadFile(iniFile) : "";
            for (const std::string& line : c.iniAfter)
                EXPECT_NE(after.find(here(line)), std::string::npos) << after;
            // Loaded again from what it wrote, every letter is where it was.
            EXPECT_EQ(rig.Letters(rig.Load(c.mounts)), c.letters);
        }
        if (!c.refusalNames.empty()) {
            const char refused = c.letters[2] == 'r' ? 'd' : 'e';
            EXPECT_NE(table.Refusal(refused).find(here(c.refusalNames)), std::string::npos)
                << table.Refusal(refused);
        }
    }
}

// A program started over a program folder with drive-sources.ini reads the mounts, records and
// places it names, and sees none of the machine's disks: a disk under the real /media in its
// mount table takes no letter, and no udev record or device of the machine is read for it.
TEST(DriveLettersTest, TheSourcesFileOfAProgramFolderHidesTheMachinesDisks) {
    test::TempDrives drives("");
    const std::string base = drives.Base();
    const std::string program = base + "/program";
    test::MakeDir(program);
    test::MakeDir(base + "/media/ann/STICK");
    test::WriteFile(base + "/udev/b250:1", "E:ID_FS_UUID=AAAA-0001\nE:ID_FS_LABEL=STICK\n");
    test::WriteFile(base + "/mountinfo",
                    "1 0 250:0 / / rw - ext4 /dev/velmora-root rw\n"
                    "2 1 8:17 / /media/decoy rw - exfat /dev/sdb1 rw\n"
                    "3 1 0:50 / /mnt/share rw - nfs4 server:/export rw\n"
                    "4 1 250:1 / " +
                        base + "/media/ann/STICK rw - vfat /dev/velmora-a rw\n");
    drives.WriteSourcesInto(program);
    test::WriteFile(program + "/drive-sources.ini", test::ReadFile(program + "/drive-sources.ini") +
                                                        "mount table=" + base + "/mountinfo\n");
    const DriveTable table = DriveTable::Load(HostPath(program));
    EXPECT_EQ(table.RootOf('d'), base + "/media/ann/STICK");
    for (char letter = 'e'; letter <= 'x'; ++letter)
        EXPECT_FALSE(table.RootOf(letter)) << letter;
    EXPECT_EQ(table.Sources().places.root.Text(), base);

    const DriveSources parsed = DriveSources::Parse(
        "[Sources]\nmount table=/t/m\nfstab=/t/f\nudev records=/t/u\ndisk places=/t\n"
        "only below=/t\n");
    EXPECT_EQ(parsed.mountTable.Text() + parsed.fstab.Text() + parsed.udevRecords.Text() +
                  parsed.places.root.Text() + parsed.onlyBelow.Text(),
              "/t/m/t/f/t/u/t/t");
    // Without the file, the machine's own.
    EXPECT_EQ(DriveSources::ForProgramFolder(HostPath(base)).mountTable.Text(),
              "/proc/self/mountinfo");
}

// A disk a run saw mounted inside a source item is remembered in the program folder: the next
// start knows its empty folder for a mount folder, though no fstab names it.
TEST(DriveLettersTest, AMountFolderSeenInsideAnItemIsKnownAtTheNextStart) {
    Rig rig;
    const std::string nas = rig.drives.Base() + "/home/nas";
    SetActiveDriveTable(rig.Load({{"home/nas", "nfs4", "server:/family", "", ""}}));
    EXPECT_TRUE(RememberMountFoldersBelow({HostPath(rig.drives.Base() + "/home")}));
    EXPECT_EQ(test::ReadFile(rig.program + "/" + kMountFoldersFile), nas + "\n");
    EXPECT_FALSE(ActiveDriveTable().LiesOnUnmountedMount('c', HostPath(nas)));

    const DriveTable later = rig.Load({});  // the share is unmounted now
    EXPECT_TRUE(later.LiesOnUnmountedMount('c', HostPath(nas + "/Family")));
    EXPECT_FALSE(later.LiesOnUnmountedMount('c', HostPath(rig.drives.Base() + "/home/x")));
    SetActiveDriveTable(rig.drives.Table());
}

// A dry run writes nothing, and sees the letter it could not keep as a run would.
TEST(DriveLettersTest, ADryRunGivesTheLetterItWouldKeepWithoutWritingIt) {
    Rig rig;
    const std::vector<Mount> stick = {{"media/ann/STICK", "vfat", "", "AAAA-0001", "STICK"}};
    EXPECT_EQ(rig.Letters(rig.Load(stick, false)), "d=media/ann/STICK e=- f=- g=-");
    EXPECT_FALSE(test::Exists(rig.program + "/drives.ini"));
    test::MakeDir(rig.program + "/drives.ini");
    EXPECT_EQ(rig.Letters(rig.Load(stick, false)), "d=refused e=- f=- g=-");
}

// Real file systems, mounted in the test's own folder: an ext4 image and a tmpfs keep their
// letters when they are mounted again the other way round.
TEST(DriveLettersTest, RealLoopAndTmpfsMountsKeepTheirLetters) {
    test::TempDrives drives("");
    const std::string program = drives.Base() + "/program";
    const std::string stick = drives.Base() + "/media/ann/STICK";
    const std::string share = drives.Base() + "/mnt/share";
    for (const std::string& folder : {program, stick, share})
        test::MakeDir(folder);
    std::string tmpfsName;
    {
        test::MediaImage disk(test::MediumKind::Ext4, stick, "STICK");
        if (!disk.Mounted())
            GTEST_SKIP() << disk.Skip();
        test::TmpfsMount tmpfs(share);
        if (!tmpfs.Mounted())
            GTEST_SKIP() << tmpfs.Error();
        const DriveTable first = DriveTable::Load(HostPath(program), true, drives.Sources());
        EXPECT_EQ(first.RootOf('d'), stick);
        EXPECT_TRUE(first.IsPresent('d'));
        EXPECT_EQ(first.RootOf('e'), share);
        EXPECT_TRUE(first.IsPresent('e'));
        const std::string ini = test::ReadFile(program + "/drives.ini");
        EXPECT_NE(ini.find("d=UUID=" + disk.Uuid()), std::string::npos) << ini;
        EXPECT_NE(ini.find("e=SOURCE=velmora-test TYPE=tmpfs"), std::string::npos) << ini;

        // Unplugged and mounted the other way round: each letter follows its own disk.
        disk.Unmount();
        ASSERT_TRUE(tmpfs.Unmount());
        ASSERT_TRUE(disk.MountOn(share));
        test::TmpfsMount again(stick);
        ASSERT_TRUE(again.Mounted()) << again.Error();
        const DriveTable swapped = DriveTable::Load(HostPath(program), true, drives.Sources());
        EXPECT_EQ(swapped.RootOf('d'), share);
        EXPECT_EQ(swapped.RootOf('e'), stick);
        EXPECT_TRUE(swapped.NewlyRemembered().empty());
    }
}

}  // namespace
}  // namespace vlm
