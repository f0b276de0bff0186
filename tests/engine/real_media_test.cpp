// The mirror on the file systems backup disks come with, each a real image mounted for the test:
// the first run exact, the second silent, a change, a deletion, a case-only rename and a kind
// swap mirrored, and names a medium cannot hold dealt with as the medium allows.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "engine/version_store.h"
#include "engine_rig.h"
#include "platform/medium.h"
#include "platform/packed_time.h"
#include "support/media_image.h"

namespace vlm::test {
namespace {

constexpr std::time_t kOld = 1'600'000'000;
// "Meeting: notes.txt" as a medium that refuses ':' stores it: with the stand-in U+F03A.
const std::string kStoredMeeting = "Meeting\xEF\x80\xBA notes.txt";
const std::string kStoredWhat = "what\xEF\x80\xBF.txt";

std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.insert(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

// What the run changed at the destination, by its lines.
std::vector<std::string> Changes(const EngineRig& rig) {
    std::vector<std::string> changes;
    for (const char* prefix :
         {"Created file: ", "Overwritten file: ", "Removed file: ", "Removed dir: ", "Renamed: "})
        for (const std::string& line : rig.ReportedStartingWith(prefix))
            changes.push_back(line);
    return changes;
}

// Whether `image` is mounted; when not, why is noted in `skipped`, said at the test's end.
bool MountedOrNoted(const MediaImage& image, MediumKind kind, std::string& skipped) {
    if (!image.Mounted())
        skipped += std::string(MediumName(kind)) + ": " + image.Skip() + "\n";
    return image.Mounted();
}

void RunAgain(EngineRig& rig, const std::string& project) {
    rig.view.allReportLines.clear();
    rig.engine.run(project);
}

TEST(RealMediaTest, EachMediumHoldsAMirrorThatTheNextRunRecognises) {
    struct Case {
        MediumKind kind;
        bool caseless;        // "A.txt" and "a.txt" are one name there
        std::string meeting;  // how "Meeting: notes.txt" is stored; empty: refused
    };
    const std::vector<Case> cases = {
        {MediumKind::Ext4, false, "Meeting: notes.txt"},
        {MediumKind::ExFat, true, kStoredMeeting},
        {MediumKind::Fat32Fuse, true, ""},  // fusefat takes ASCII names only
        {MediumKind::Fat32Kernel, true, kStoredMeeting},
        {MediumKind::Ntfs, false, "Meeting: notes.txt"},
    };
    std::string skipped;
    for (const Case& c : cases) {
        SCOPED_TRACE(MediumName(c.kind));
        EngineRig rig;
        MediaImage image(c.kind, rig.Dst());
        if (!MountedOrNoted(image, c.kind, skipped))
            continue;
        for (int i = 1; i <= 25; ++i)
            WriteFile(rig.Src("docs/f" + std::to_string(i) + ".txt"), "file " + std::to_string(i),
                      kOld + i);
        WriteFile(rig.Src("docs/Meeting: notes.txt"), "notes", kOld);
        WriteFile(rig.Src("docs/A.txt"), "upper", kOld);
        WriteFile(rig.Src("docs/a.txt"), "lower", kOld);
        WriteFile(rig.Src("docs/report.txt"), "report", kOld);
        WriteFile(rig.Src("docs/x/inside.txt"), "x", kOld);
        WriteFile(rig.Src("docs/y"), "y", kOld);
        WriteFile(rig.Src("docs/private.txt"), "p", kOld, 0600);
        const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
        const std::string copy = rig.Dst("VLMcopy_drive_c/docs");

        rig.engine.run(project);
        const bool clean = !c.caseless && !c.meeting.empty();
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>(clean ? "OK" : "Error"));
        EXPECT_EQ(!rig.ReportedStartingWith("ERROR: c:\\docs\\a.txt and c:\\docs\\A.txt would "
                                            "both be written as A.txt")
                       .empty(),
                  c.caseless);
        std::set<std::string> names = NamesIn(copy);
        EXPECT_EQ(names.count(c.meeting), c.meeting.empty() ? 0u : 1u);
        EXPECT_EQ(ReadFile(copy + "/A.txt"), "upper");
        EXPECT_EQ(ReadFile(copy + "/f25.txt"), "file 25");

        RunAgain(rig, project);
        EXPECT_EQ(Changes(rig), std::vector<std::string>{}) << "the second run copied again";

        WriteFile(rig.Src("docs/f3.txt"), "file three, longer", kOld + 100);
        ::unlink(rig.Src("docs/f4.txt").c_str());
        ::rename(rig.Src("docs/report.txt").c_str(), rig.Src("docs/Report.TXT").c_str());
        ::unlink(rig.Src("docs/x/inside.txt").c_str());
        ::rmdir(rig.Src("docs/x").c_str());
        ::unlink(rig.Src("docs/y").c_str());
        WriteFile(rig.Src("docs/x"), "x is a file now", kOld);
        WriteFile(rig.Src("docs/y/inside.txt"), "y is a folder now", kOld);
        RunAgain(rig, project);
        EXPECT_EQ(ReadFile(copy + "/f3.txt"), "file three, longer");
        names = NamesIn(copy);
        EXPECT_EQ(names.count("f4.txt"), 0u);
        EXPECT_EQ(names.count("Report.TXT"), 1u);
        EXPECT_EQ(names.count("report.txt"), 0u);
        EXPECT_EQ(ReadFile(copy + "/x"), "x is a file now");
        EXPECT_EQ(ReadFile(copy + "/y/inside.txt"), "y is a folder now");

        RunAgain(rig, project);
        EXPECT_EQ(Changes(rig), std::vector<std::string>{}) << "the mirror did not converge";
    }
    if (!skipped.empty())
        std::cout << skipped;
    if (skipped.size() > 0 &&
        std::count(skipped.begin(), skipped.end(), '\n') == static_cast<long>(cases.size()))
        GTEST_SKIP() << skipped;
}

// Kept versions on each medium: a replaced and a removed file move into the run's version folder,
// whose name the medium holds, and the run ends "OK".
TEST(RealMediaTest, EachMediumKeepsReplacedAndRemovedFilesAsVersions) {
    std::string skipped;
    const MediumKind kinds[] = {MediumKind::Ext4, MediumKind::ExFat, MediumKind::Fat32Fuse,
                                MediumKind::Ntfs};
    for (const MediumKind kind : kinds) {
        SCOPED_TRACE(MediumName(kind));
        EngineRig rig;
        MediaImage image(kind, rig.Dst());
        if (!MountedOrNoted(image, kind, skipped))
            continue;
        WriteFile(rig.Src("docs/changed.txt"), "old", kOld);
        WriteFile(rig.Src("docs/gone.txt"), "gone", kOld);
        // Names a Windows name cannot hold (fusefat takes no non-ASCII name, so no stand-in).
        const bool oddNames = kind != MediumKind::Fat32Fuse;
        if (oddNames) {
            WriteFile(rig.Src("docs/Meeting: notes.txt"), "old meeting", kOld);
            WriteFile(rig.Src("docs/what?.txt"), "what", kOld);
        }
        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.versions = true;
        const std::string project = rig.Project(fields);
        rig.engine.run(project);
        ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));

        WriteFile(rig.Src("docs/changed.txt"), "new, longer", kOld + 100);
        ::unlink(rig.Src("docs/gone.txt").c_str());
        if (oddNames) {
            WriteFile(rig.Src("docs/Meeting: notes.txt"), "new meeting, longer", kOld + 100);
            ::unlink(rig.Src("docs/what?.txt").c_str());
        }
        RunAgain(rig, project);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_EQ(ReadFile(rig.Dst("VLMcopy_drive_c/docs/changed.txt")), "new, longer");
        const std::set<std::string> runs = NamesIn(rig.Dst("VLMversions_drive_c"));
        std::string kept;
        for (const std::string& run : runs)  // "YYYY-MM-DD HH.MM.SS", and its ".added" list
            if (run.size() == 19 && Exists(rig.Dst("VLMversions_drive_c/" + run + "/docs")))
                kept = rig.Dst("VLMversions_drive_c/" + run + "/docs");
        ASSERT_FALSE(kept.empty()) << ::testing::PrintToString(runs);
        EXPECT_EQ(ReadFile(kept + "/changed.txt"), "old");
        EXPECT_EQ(ReadFile(kept + "/gone.txt"), "gone");
        if (!oddNames)
            continue;
        // Read and restored as outside a run, with nothing the run learnt in force: names kept
        // with stand-ins are found, and a medium without bits of its own (exFAT, NTFS show 0777)
        // gives what is restored a new file's bits.
        ForgetMedia();
        const DrivePath mirror("e:\\VLMcopy_drive_c\\docs");
        const auto store = VersionStore::For(DrivePath("c:\\docs"), mirror, false);
        ASSERT_TRUE(store);
        LearnBackupMediaForReading(mirror, *store);
        EXPECT_EQ(store->VersionsOf(mirror / kStoredMeeting).size(), 1u);
        EXPECT_EQ(store->VersionsOf(mirror / kStoredWhat).size(), 1u);
        ::chmod(rig.Src("docs/changed.txt").c_str(), 0640);
        RunAgain(rig, project);
        ASSERT_TRUE(RestoreAt(*store, mirror, 1e7, DrivePath("c:\\back"), {}).ok());
        EXPECT_EQ(ReadFile(rig.Src("back/docs/Meeting: notes.txt")), "new meeting, longer");
        struct stat st {};
        ASSERT_EQ(::stat(rig.Src("back/docs/changed.txt").c_str(), &st), 0);
        const mode_t umask = ::umask(0);
        ::umask(umask);
        EXPECT_EQ(st.st_mode & 0777, kind == MediumKind::Ext4 ? 0640 : 0666 & ~umask);
    }
    if (!skipped.empty())
        std::cout << skipped;
}

// On a medium without case, a file and a folder renamed only in case are found under their old
// names when no removal pass runs before the copy (a CD-type project never removes): the folder
// is used as it is, and the file's old copy is kept as a version before the new one replaces it.
TEST(RealMediaTest, ACaseOnlyRenameWithoutARemovalPassKeepsTheOldCopy) {
    std::string skipped;
    for (const MediumKind kind : {MediumKind::ExFat, MediumKind::Fat32Fuse}) {
        SCOPED_TRACE(MediumName(kind));
        EngineRig rig;
        MediaImage image(kind, rig.Dst());
        if (!MountedOrNoted(image, kind, skipped))
            continue;
        WriteFile(rig.Src("docs/sub/report.txt"), "old", kOld);
        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.versions = true;
        fields.destkind = "CDR";
        fields.precalc = false;
        const std::string project = rig.Project(fields);
        rig.engine.run(project);
        ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));

        ASSERT_EQ(::rename(rig.Src("docs/sub").c_str(), rig.Src("docs/Sub").c_str()), 0);
        ASSERT_EQ(::unlink(rig.Src("docs/Sub/report.txt").c_str()), 0);
        WriteFile(rig.Src("docs/Sub/Report.txt"), "new, longer", kOld + 100);
        RunAgain(rig, project);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        // (read under the new names: FUSE may still hold the old name's size)
        EXPECT_EQ(ReadFile(rig.Dst("VLMcopy_drive_c/docs/Sub/Report.txt")), "new, longer");
        std::string kept;
        for (const std::string& run : NamesIn(rig.Dst("VLMversions_drive_c")))
            if (run.size() == 19)
                kept = rig.Dst("VLMversions_drive_c/" + run + "/docs/Sub/Report.txt");
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(ReadFile(kept), "old");
    }
    if (!skipped.empty())
        std::cout << skipped;
}

// A 1970 and a 2110 file, and on FAT32 a file of 4 GiB + 1 byte before a small one: times are
// clamped into what FAT and exFAT keep and exact elsewhere, the large file is named and left out
// (by the dry run and the estimate too), the file after it is backed up, the next run copies
// nothing.
TEST(RealMediaTest, TimesAndSizesBeyondTheMediumAreDealtWithOnce) {
    const MediumKind kinds[] = {MediumKind::Ext4, MediumKind::ExFat, MediumKind::Fat32Fuse,
                                MediumKind::Fat32Kernel, MediumKind::Ntfs};
    for (const MediumKind kind : kinds) {
        SCOPED_TRACE(MediumName(kind));
        const bool fat32 = kind == MediumKind::Fat32Fuse || kind == MediumKind::Fat32Kernel;
        EngineRig rig;
        MediaImage image(kind, rig.Dst());
        if (!image.Mounted())
            continue;
        WriteFile(rig.Src("docs/epoch.txt"), "1970", 0);
        WriteFile(rig.Src("docs/future.txt"), "2110", 4'431'024'000);
        if (fat32) {
            MakeSizedFile(rig.Src("docs/big.vhd"), (std::uint64_t{1} << 32) + 1);
            WriteFile(rig.Src("docs/zz.txt"), "after", kOld);
        }
        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.precalc = true;
        const std::string project = rig.Project(fields);
        const std::string tooLarge =
            "ERROR: c:\\docs\\big.vhd (4.294.967.297 bytes) is larger than";
        const std::optional<std::string> outcome(fat32 ? "Error" : "OK");
        rig.engine.DryRun(project);
        EXPECT_EQ(rig.ReportedStartingWith(tooLarge).size(), fat32 ? 1u : 0u);
        RunAgain(rig, project);  // (fusefat tells no sizes: no space warning is asked either)
        EXPECT_EQ(rig.engine.Outcome(), outcome);
        EXPECT_EQ(rig.ReportedStartingWith(tooLarge).size(), fat32 ? 1u : 0u);
        // (4 GiB short, had the estimate counted the large file)
        EXPECT_TRUE(rig.ReportedStartingWith("Estimated future free size: -4.").empty());
        const std::string copy = rig.Dst("VLMcopy_drive_c/docs");
        EXPECT_EQ(NamesIn(copy).size(), fat32 ? 3u : 2u);  // no big.vhd, no temporary file
        if (fat32) {
            EXPECT_EQ(ReadFile(copy + "/zz.txt"), "after");
        }
        struct stat epoch {};
        ASSERT_EQ(::stat((copy + "/epoch.txt").c_str(), &epoch), 0);
        const bool exact = kind == MediumKind::Ext4 || kind == MediumKind::Ntfs;
        EXPECT_NEAR(epoch.st_mtime, exact ? 0 : kFatYearsFirst, exact ? 0 : 86'400);
        RunAgain(rig, project);
        EXPECT_EQ(Changes(rig), std::vector<std::string>{}) << "the second run copied again";
        EXPECT_EQ(rig.engine.Outcome(), outcome);
    }
}

// A destination mounted read-only is said once, at the start, and no file asks its question.
TEST(RealMediaTest, AReadOnlyDestinationEndsTheRunAtItsStart) {
    EngineRig rig;
    MediaImage image(MediumKind::Ext4, rig.Dst(), "VLMTEST", true);
    if (!image.Mounted())
        GTEST_SKIP() << image.Skip();
    WriteFile(rig.Src("docs/a.txt"), "a", kOld);
    rig.engine.run(rig.Project(EngineRig::Fields({"c:\\docs"})));
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Error"));
    const auto fatal = rig.ReportedStartingWith("FATAL ERROR: Nothing can be written to ");
    ASSERT_EQ(fatal.size(), 1u);
    EXPECT_NE(fatal[0].find("Read-only file system"), std::string::npos) << fatal[0];
    EXPECT_EQ(rig.dialogs.Boxes().size(), 1u);
}

}  // namespace
}  // namespace vlm::test
