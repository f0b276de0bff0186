// A disk mounted inside a source item and away now leaves an empty folder: its backup is all
// that is left of that disk's files, and a run leaves it alone and ends with an error.

#include <gtest/gtest.h>

#include <string>

#include "engine/destination_media.h"
#include "engine_rig.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;

TEST(UnmountedMountFolderTest, TheBackupOfAnAbsentDiskIsLeftAsItIs) {
    struct Case {
        std::string name;
        bool namedInFstab;  // else only the first run saw a disk mounted there
    };
    for (const Case& c :
         {Case{"a folder fstab names", true}, Case{"a folder the last run saw a disk on", false}}) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        const std::string nas = rig.Src("home/nas");
        const std::string mounts = rig.drives.Base() + "/mountinfo";
        const std::string root = "1 0 250:0 / / rw - ext4 /dev/velmora-root rw\n";
        test::WriteFile(mounts, root + "30 1 0:77 / " + nas + " rw - nfs4 server:/family rw\n");
        rig.drives.UseMountTable(mounts);
        if (c.namedInFstab)
            rig.drives.SetFstabMountPoints({nas});
        test::WriteFile(rig.Src("home/notes.txt"), "n", kOld);
        test::WriteFile(nas + "/Family/p1.jpg", "picture", kOld);
        const std::string project = rig.Project(EngineRig::Fields({"c:\\home"}));
        rig.engine.run(project);
        ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));

        // The share is unmounted: its folder is there, and empty.
        test::RemoveTree(nas + "/Family");
        test::WriteFile(mounts, root);
        test::WriteFile(rig.Src("home/notes.txt"), "newer", kOld + 60);
        rig.engine.run(project);

        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Error"));
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/home/nas/Family/p1.jpg")), "picture");
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/home/notes.txt")), "newer");
        EXPECT_EQ(rig.ReportedStartingWith("ERROR: c:\\home\\nas is where a disk is mounted, and "
                                           "none is: its backup is left as it is")
                      .size(),
                  1u);
    }
}

// Each run's report names the disk it found on the destination's letter, as the letter knows it.
TEST(UnmountedMountFolderTest, TheReportNamesTheDiskEachLetterIs) {
    test::TempDrives drives("");
    VolumeIdentity stick{"AAAA-0001", "STICK", "vfat"};
    VolumeIdentity share;
    share.source = "server:/export";
    share.mountType = "nfs4";
    const VolumeIdentity twin{"BBBB-0002", "TWIN", "vfat"};
    const VolumeIdentity twin2{"CCCC-0003", "TWIN", "vfat"};
    SetActiveDriveTable(DriveTable::BuildFromVolumes("[Drives]\nf=/srv/data\ng=LABEL=TWIN\n",
                                                     {{HostPath("/media/ann/STICK"), stick, "8:1"},
                                                      {HostPath("/mnt/nas"), share, "0:50"},
                                                      {HostPath("/media/ann/T1"), twin, "8:2"},
                                                      {HostPath("/media/ann/T2"), twin2, "8:3"}}));
    const std::vector<std::pair<char, std::string>> cases = {
        {'d', "Drive d: is STICK (UUID AAAA-0001) at /media/ann/STICK"},
        {'e', "Drive e: is server:/export (nfs4) at /mnt/nas"},
        {'f', "Drive f: is the folder /srv/data"},
        {'g', ""},
        {'h', ""},
    };
    for (const auto& [letter, line] : cases)
        EXPECT_EQ(DriveVolumeLine(letter), line) << letter;
    // The table of letters says why g: cannot be used.
    std::string lineOfG;
    for (const std::string& line : DriveTableLines())
        if (line.rfind("g:", 0) == 0)
            lineOfG = line;
    EXPECT_NE(lineOfG.find("\tnot usable: Drive g: is the volume labelled TWIN, and 2 connected "
                           "disks are: TWIN (UUID BBBB-0002) at /media/ann/T1 and TWIN (UUID "
                           "CCCC-0003) at /media/ann/T2."),
              std::string::npos)
        << lineOfG;
    SetActiveDriveTable(drives.Table());
}

}  // namespace
}  // namespace vlm
