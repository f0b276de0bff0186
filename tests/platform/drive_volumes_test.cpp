// Letters that belong to volumes: the identity udev or libblkid gives a volume, the pins that
// name it, and the table that keeps a letter on its disk wherever it is mounted.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "platform/drive_table.h"
#include "platform/packed_time.h"
#include "platform/utf8_text.h"
#include "platform/volume_identity.h"
#include "support/media_image.h"
#include "support/scoped_env.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

VolumeIdentity Volume(std::string uuid, std::string label = "") {
    return {std::move(uuid), std::move(label), "ext4"};
}

TEST(DriveVolumesTest, TheTableGivesEachVolumeItsOwnLetter) {
    struct Case {
        std::string name;
        std::string ini;
        std::vector<MountedVolume> volumes;
        std::string expected;    // letter=root ... of d: to h:, "-" for unmapped
        std::string remembered;  // letters newly remembered
    };
    const std::vector<Case> cases = {
        {"a new volume is remembered on the first free letter",
         "",
         {{HostPath("/mnt/usb"), Volume("AAAA-0001")}},
         "d=/mnt/usb e=- f=- g=- h=-",
         "d"},
        {"a remembered volume keeps its letter when another is mounted first",
         "[Drives]\r\ne=UUID=aaaa-0001\r\n",
         {{HostPath("/mnt/card"), Volume("CCCC-0003")},
          {HostPath("/mnt/usb"), Volume("AAAA-0001")}},
         "d=/mnt/card e=/mnt/usb f=- g=- h=-",
         "d"},
        {"an unplugged remembered volume keeps its letter from others",
         "[Drives]\r\nd=UUID=AAAA-0001\r\n",
         {{HostPath("/mnt/card"), Volume("CCCC-0003")}},
         "d=- e=/mnt/card f=- g=- h=-",
         "e"},
        {"a label pin finds its volume wherever it is mounted",
         "[Drives]\r\nf=LABEL=BACKUP\r\n",
         {{HostPath("/home/a/disk"), Volume("BBBB", "BACKUP")}},
         "d=- e=- f=/home/a/disk g=- h=-",
         ""},
        {"volumes without a UUID or a source to know them by take no letter",
         "[Drives]\r\nd=UUID=AAAA-0001\r\n",
         {{HostPath("/mnt/b"), Volume("")}, {HostPath("/mnt/a"), Volume("")}},
         "d=- e=- f=- g=- h=-",
         ""},
        {"one volume mounted twice has one letter",
         "",
         {{HostPath("/mnt/one"), Volume("DDDD")}, {HostPath("/mnt/two"), Volume("DDDD")}},
         "d=/mnt/one e=- f=- g=- h=-",
         "d"},
    };
    for (const Case& c : cases) {
        const DriveTable table = DriveTable::BuildFromVolumes(c.ini, c.volumes);
        std::string got;
        for (char letter = 'd'; letter <= 'h'; ++letter)
            got += std::string(got.empty() ? "" : " ") + letter + "=" +
                   table.RootOf(letter).value_or("-");
        EXPECT_EQ(got, c.expected) << c.name;
        std::string remembered;
        for (const auto& [letter, pin] : table.NewlyRemembered())
            remembered += letter;
        EXPECT_EQ(remembered, c.remembered) << c.name;
    }
}

TEST(DriveVolumesTest, IdentitiesAndPinsAreReadAsTheDesktopWritesThem) {
    const VolumeIdentity udev = ParseUdevRecord(
        "S:disk/by-uuid/1234\nE:ID_FS_UUID=0A3E-C26D\nE:ID_FS_LABEL=MY_STICK\n"
        "E:ID_FS_LABEL_ENC=MY\\x20STICK\nE:ID_FS_TYPE=vfat\n");
    EXPECT_EQ(udev.uuid, "0A3E-C26D");
    EXPECT_EQ(udev.label, "MY STICK");
    EXPECT_EQ(udev.fsType, "vfat");
    struct Case {
        std::string value;
        bool isVolume;
        bool matchesUdev;
    };
    for (const Case& c : std::vector<Case>{{"UUID=0a3e-c26d", true, true},
                                           {"LABEL=MY STICK", true, true},
                                           {"LABEL=my stick", true, false},
                                           {"UUID=", false, false},
                                           {"/media/uuid=x", false, false}}) {
        VolumeReference reference;
        EXPECT_EQ(ParseVolumeReference(c.value, reference), c.isVolume) << c.value;
        if (c.isVolume) {
            EXPECT_EQ(reference.Matches(udev), c.matchesUdev) << c.value;
        }
    }
    EXPECT_EQ(FoldCase("Ärger.TXT"), "ärger.txt");
}

// Two saves one real hour apart inside the hour that the change from summer time repeats show
// the same local time; they are different instants all the same.
TEST(DriveVolumesTest, TimesAreComparedAsInstants) {
    test::ScopedEnv zone("TZ", "America/New_York");
    ::tzset();
    const std::int64_t edt = 1'793'511'000;  // 2026-11-01 01:30 EDT
    const FileAge first = FileAgeOf({edt, 0});
    const FileAge anHourLater = FileAgeOf({edt + 3600, 0});
    EXPECT_EQ(first.packed, anHourLater.packed);  // the wall clock cannot tell them apart
    EXPECT_FALSE(SameFileAge(first, anHourLater));
    EXPECT_TRUE(SameFileAge(first, FileAgeOf({edt + 1, 999'999'999})));
    EXPECT_FALSE(SameFileAge(first, FileAgeOf({edt + 2, 0})));
}

// The letter follows its volume from one mount folder to another, waits for it while it is
// away, and a volume seen for the first time never takes it.
TEST(DriveVolumesTest, ALetterFollowsItsVolumeBetweenMountFolders) {
    test::TempDrives base("c");
    const std::string program = base.Base() + "/program";
    const std::string one = base.Base() + "/one";
    const std::string two = base.Base() + "/two";
    for (const std::string& folder : {program, one, two, one + ".b", two + ".b"})
        ::mkdir(folder.c_str(), 0755);
    test::MediaImage a(test::MediumKind::Ext4, one, "DISKA");
    test::MediaImage b(test::MediumKind::Ext4, two + ".b", "DISKB");
    if (!a.Mounted() || !b.Mounted())
        GTEST_SKIP() << a.Skip() << b.Skip();
    test::WriteFile(program + "/drives.ini", "[Drives]\ne=UUID=" + a.Uuid() + "\nf=LABEL=DISKB\n");
    DriveTable table = DriveTable::Load(HostPath(program), true, base.Sources());
    EXPECT_EQ(table.RootOf('e'), one);
    EXPECT_EQ(table.RootOf('f'), two + ".b");

    a.Unmount();
    b.Unmount();
    ASSERT_TRUE(a.MountOn(two));
    ASSERT_TRUE(b.MountOn(one + ".b"));
    table = DriveTable::Load(HostPath(program), true, base.Sources());
    EXPECT_EQ(table.RootOf('e'), two);
    EXPECT_EQ(table.RootOf('f'), one + ".b");

    a.Unmount();
    table = DriveTable::Load(HostPath(program), true, base.Sources());
    EXPECT_FALSE(table.IsPresent('e'));
    EXPECT_EQ(table.AwaitedVolume('e'), "the volume with UUID " + a.Uuid());

    // A new disk in a place for disks gets a letter of its own, remembered at once.
    const std::string place = base.Base() + "/mnt/card";
    test::MakeDir(place);
    {
        test::MediaImage card(test::MediumKind::Ext4, place, "CARD");
        ASSERT_TRUE(card.Mounted()) << card.Skip();
        table = DriveTable::Load(HostPath(program), true, base.Sources());
        ASSERT_EQ(table.NewlyRemembered().size(), 1u);
        const char letter = table.NewlyRemembered()[0].first;
        EXPECT_NE(letter, 'e');
        EXPECT_NE(letter, 'f');
        EXPECT_EQ(table.RootOf(letter), place);
        EXPECT_NE(test::ReadFile(program + "/drives.ini")
                      .find(std::string(1, letter) + "=UUID=" + card.Uuid()),
                  std::string::npos);
        EXPECT_TRUE(
            DriveTable::Load(HostPath(program), true, base.Sources()).NewlyRemembered().empty());
    }
}

}  // namespace
}  // namespace vlm
