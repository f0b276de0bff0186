// A copy is as old as its original at the step its medium keeps times in: to the nanosecond on
// the POSIX file systems, to 100 ns on NTFS, in 2-second steps where times are coarser or unknown.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "engine/copy_pass.h"
#include "engine/engine_rig.h"
#include "platform/medium.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

constexpr std::int64_t kSecond = 1'700'000'000;  // even: the first second of a 2-second step

MediumTraits MediumOf(std::int64_t stepNs, bool fatYears = false) {
    MediumTraits traits;
    traits.timeStepNs = stepNs;
    traits.fatYearsOnly = fatYears;
    return traits;
}

// Which differences between a copy's time and its original's are a change, medium by medium:
// a difference the medium can hold must never be missed, one it cannot hold never invented.
TEST(TimeResolutionTest, ACopyIsAsOldAsItsOriginalAtItsMediumsStep) {
    struct Case {
        const char* medium;
        MediumTraits traits;
        HostTime copy;
        HostTime source;
        bool same;
    };
    const HostTime base{kSecond, 0};
    const Case cases[] = {
        {"ext4, equal", MediumOf(1), base, base, true},
        {"ext4, 1 ns later", MediumOf(1), base, {kSecond, 1}, false},
        {"ext4, a second later", MediumOf(1), base, {kSecond + 1, 0}, false},
        {"ext4, 1.5 s later",
         MediumOf(1),
         {kSecond, 200'000'000},
         {kSecond + 1, 700'000'000},
         false},
        {"NTFS, within 100 ns",
         MediumOf(100),
         {kSecond, 123'456'700},
         {kSecond, 123'456'789},
         true},
        {"NTFS, 100 ns later",
         MediumOf(100),
         {kSecond, 123'456'700},
         {kSecond, 123'456'800},
         false},
        {"NTFS, a second later", MediumOf(100), base, {kSecond + 1, 0}, false},
        {"exFAT, within 2 s", MediumOf(10'000'000, true), base, {kSecond + 1, 990'000'000}, true},
        {"exFAT, the next step", MediumOf(10'000'000, true), base, {kSecond + 2, 0}, false},
        {"FAT, within 2 s", MediumOf(2'000'000'000, true), base, {kSecond + 1, 0}, true},
        {"FAT, before 1980", MediumOf(2'000'000'000, true), {kFatYearsFirst, 0}, {0, 0}, true},
        {"whole seconds, within 2 s", MediumOf(1'000'000'000), base, {kSecond + 1, 5}, true},
        {"milliseconds, within 2 s", MediumOf(1'000'000), base, {kSecond, 500'000'000}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SameAgeOnMedium(c.traits, {c.copy}, {c.source}), c.same) << c.medium;
}

void SetTime(const std::string& hostPath, std::int64_t seconds, long nanoseconds) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, hostPath.c_str(), times, 0), 0) << hostPath;
}

// A document saved twice within two seconds, the same size both times: on a medium that keeps
// nanoseconds the second save is copied; a copy given its original's time is left alone.
TEST(TimeResolutionTest, ASameSizeChangeWithinTwoSecondsIsCopiedOnAFineMedium) {
    test::EngineRig rig;
    test::WriteFile(rig.Src("s/doc.txt"), "first");
    SetTime(rig.Src("s/doc.txt"), kSecond, 100'000'000);
    test::MakeDir(rig.Dst("d"));
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    ASSERT_EQ(test::ReadFile(rig.Dst("d/doc.txt")), "first");

    rig.view.allReportLines.clear();
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_TRUE(rig.Reported("c:\\s\\doc.txt not changed since last backup"));

    test::WriteFile(rig.Src("s/doc.txt"), "again");
    SetTime(rig.Src("s/doc.txt"), kSecond, 900'000'000);
    rig.view.allReportLines.clear();
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_TRUE(rig.Reported("updating (new age)..."));
    EXPECT_EQ(test::ReadFile(rig.Dst("d/doc.txt")), "again");
}

}  // namespace
}  // namespace vlm
