// A power cut at any moment. Each scenario runs the headless runner once on a disk that records
// every change (support/power_cut_disk.h); then, for many moments of that run and for each
// ordering model, the disk is rebuilt as a power cut at that moment would have left it, the
// machine "reboots", and the same command runs again. Whatever the moment:
//   - every file of the backup, of its kept versions and of a restore is a whole copy of some
//     file the run had (never a torn one under a real name);
//   - the history holds "OK" for the cut run only when all its copies are on the disk;
//   - drives.ini, the settings and the project are the old or the new file, whole;
//   - the run after the reboot ends with the backup equal to the source, byte for byte.
// VELMORA_POWER_CUT_POINTS sets how many moments each scenario is cut at (0: every one).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/atomic_file_writer.h"
#include "platform/drive_table.h"
#include "reliability_rig.h"
#include "support/power_cut_disk.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

constexpr std::time_t kT0 = 1700000000;

std::size_t CutPointsWanted() {
    const char* text = std::getenv("VELMORA_POWER_CUT_POINTS");
    return text && *text ? static_cast<std::size_t>(std::atoi(text)) : 14;
}

std::string Bytes(std::size_t size, unsigned salt) {
    std::string bytes(size, '\0');
    unsigned x = salt * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return bytes;
}

// What the scenarios share: a source drive s: outside the disk, and on the disk the program
// folder (l:, with drives.ini, the project and the history) and the backup drive e:.
class PowerCutScene {
public:
    PowerCutScene() : base_(MakeBase()), disk_(base_) {
        test::MakeDir(Source());
        test::MakeDir(Program());
        test::MakeDir(disk_.MountPoint() + "/e");
        test::WriteFile(Program() + "/drives.ini", "[Drives]\r\ns=" + base_ +
                                                       "/s\r\ne=" + disk_.MountPoint() +
                                                       "/e\r\nl=" + Program() + "\r\n");
        // The machine's own disks are none of this test's: only mounts below its folder count.
        test::WriteFile(Program() + "/" + kDriveSourcesFile,
                        "[Sources]\nonly below=" + base_ + "\ndisk places=" + base_ +
                            "\nfstab=" + base_ + "/fstab\nudev records=" + base_ + "/udev\n");
    }
    ~PowerCutScene() {
        disk_.Unmount();
        test::RemoveTree(base_);
    }

    std::string Source() const { return base_ + "/s/data"; }
    std::string Program() const { return disk_.MountPoint() + "/prog"; }
    std::string Mirror() const { return disk_.MountPoint() + "/e/VLMcopy_drive_s/data"; }
    std::string Versions() const { return disk_.MountPoint() + "/e/VLMversions_drive_s"; }
    std::string Restored() const { return disk_.MountPoint() + "/restored"; }
    test::PowerCutDisk& Disk() { return disk_; }

    void WriteProject(bool versions) {
        test::WriteFile(Program() + "/job.vlm",
                        std::string("vlmproject=ok\r\ndestdrive=e: <Fixed>\r\ndestkind=HD\r\n"
                                    "confirm=N\r\nprecalc=N\r\nlongnames=N\r\nsync=N\r\n") +
                            (versions ? "versions=Y\r\nversiondays=30\r\n" : "versions=N\r\n") +
                            "item1=s:\\data\r\n");
    }

    std::vector<std::string> RunArgs() const {
        return {test::BuiltRunner(),
                Program() + "/job.vlm",
                "--program-folder",
                Program(),
                "--log-level",
                "extended",
                "--yes"};
    }
    std::vector<std::string> RestoreArgs() const {
        return {test::BuiltRunner(),
                Program() + "/job.vlm",
                "--program-folder",
                Program(),
                "--restore",
                "s:\\data",
                "--to",
                Restored(),
                "--yes"};
    }

    // Runs `args` on the disk as it is (not mounted); the exit code.
    int Run(const std::vector<std::string>& args) const {
        return test::WaitForExit(test::StartProgram(args, Output()), 120);
    }
    // Runs `args` on the disk mounted again after a cut: the medium it was.
    int RunAfterReboot(const std::vector<std::string>& args) {
        if (!disk_.Reboot())
            return -1;
        const int code = test::WaitForExit(test::StartProgram(args, Output()), 300);
        disk_.Unmount();
        return code;
    }
    // Runs `args` on the mounted recording disk.
    int RunRecorded(const std::vector<std::string>& args) {
        const std::vector<std::string> environment = disk_.ProgramEnvironment();
        return test::WaitForExit(test::StartProgram(args, Output(), &environment), 300);
    }
    std::string LastOutput() const { return test::ReadFile(base_ + "/output.txt"); }

    // Remembers the bytes of every file of the source now: the only bytes a backup, a version
    // or a restore may ever hold.
    void NoteSourceBytes() {
        for (const auto& [path, bytes] : test::Snapshot(Source()))
            if (bytes != "<dir>")
                wholeFiles_.insert(bytes);
    }
    const std::set<std::string>& WholeFiles() const { return wholeFiles_; }

private:
    static std::string MakeBase() {
        char pattern[] = "/tmp/velmora-power-cut-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        return made ? made : "/tmp";
    }
    test::ProgramOutput Output() const { return {base_ + "/output.txt", ""}; }

    std::string base_;
    test::PowerCutDisk disk_;
    std::set<std::string> wholeFiles_;
};

void FirstSource(const std::string& root) {
    for (int i = 0; i < 8; ++i)
        test::WriteFile(root + "/docs/note" + std::to_string(i) + ".txt", Bytes(40 + 300 * i, i),
                        kT0 + i);
    // Larger than one write of the disk, so a copy is several writes.
    test::WriteFile(root + "/photos/big0.jpg", Bytes(300 * 1024, 100), kT0 + 100);
    test::WriteFile(root + "/photos/big1.jpg", Bytes(200 * 1024 + 7, 101), kT0 + 101);
    test::WriteFile(root + "/empty.txt", "", kT0 + 200);
    test::WriteFile(root + "/old/gone.txt", Bytes(900, 300), kT0 + 300);
}

// A day of work: changed (one with the same size), removed, and new files.
void ChangeSource(const std::string& root) {
    test::WriteFile(root + "/docs/note1.txt", Bytes(340, 1001), kT0 + 1001);
    test::WriteFile(root + "/docs/note2.txt", Bytes(1500, 1002), kT0 + 1002);
    test::WriteFile(root + "/photos/big0.jpg", Bytes(300 * 1024, 1100), kT0 + 1100);
    test::RemoveTree(root + "/old");
    test::RemoveTree(root + "/docs/note5.txt");
    test::WriteFile(root + "/docs/new.txt", Bytes(2000, 1200), kT0 + 1200);
    test::WriteFile(root + "/fresh/deep/a.bin", Bytes(150 * 1024, 1201), kT0 + 1201);
}

// Each file of `tree` (temporary files of the safe writer aside) holds bytes some source file
// held: none is torn. The first that does not, or empty.
std::string TornFileIn(const std::string& tree, const std::set<std::string>& whole) {
    for (const auto& [path, bytes] : test::Snapshot(tree)) {
        if (bytes == "<dir>" ||
            IsTemporaryFileName(std::filesystem::path(path).filename().string()))
            continue;
        if (path.find(" (before restore ") != std::string::npos)
            continue;  // set aside by a restore: judged as the file it was
        // The list of what a run added is appended to: a cut may leave its last bytes zeros,
        // which its reader takes for no name.
        if (path.ends_with(".added"))
            continue;
        if (whole.count(bytes) == 0)
            return tree + "/" + path + " = " + bytes;
    }
    return {};
}

// A file of the program's own is the one it was before the run or the one after, whole.
void ExpectOldOrNew(const std::string& path, const std::map<std::string, std::string>& before,
                    const std::map<std::string, std::string>& after, const std::string& name) {
    const auto now = test::Snapshot(std::filesystem::path(path).parent_path());
    const auto it = now.find(name);
    const auto old = before.find(name);
    const auto fresh = after.find(name);
    const bool isOld =
        old == before.end() ? it == now.end() : it != now.end() && it->second == old->second;
    const bool isNew = fresh != after.end() && it != now.end() && it->second == fresh->second;
    EXPECT_TRUE(isOld || isNew) << name << " is neither the old nor the new file: "
                                << (it == now.end() ? "missing" : it->second);
}

// The history's text is whole: rows of fields ending in "|", each line ended.
std::string TornHistory(const std::string& text) {
    if (text.find('\0') != std::string::npos)
        return "holds zero bytes";
    if (!text.empty() && text.substr(text.size() - 2) != "\r\n")
        return "its last line is cut";
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        const std::string line = text.substr(start, end - start);
        if (line.empty() || line.back() != '|')
            return "a cut row: " + line;
        start = end + 2;
    }
    return {};
}

struct Scenario {
    const char* id;  // the test's name
    const char* name;
    bool versions;
    // What is on the disk before the recorded run (through runs that are not recorded).
    std::function<void(PowerCutScene&)> before;
    bool restore;  // the recorded command is a restore, not a run
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

class PowerCutTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(PowerCutTest, EveryMomentLeavesWholeFilesAndTheNextRunMends) {
    if (const std::string why = test::PowerCutDisk::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    const Scenario& scenario = GetParam();
    PowerCutScene scene;
    scene.WriteProject(scenario.versions);
    FirstSource(scene.Source());
    scene.NoteSourceBytes();
    scenario.before(scene);
    const auto mirrorBefore = test::Snapshot(scene.Mirror());
    const std::string program = scene.Program();
    const auto programBefore = test::Snapshot(program);
    const std::vector<std::string> command =
        scenario.restore ? scene.RestoreArgs() : scene.RunArgs();

    ASSERT_TRUE(scene.Disk().Mount());
    const int recorded = scene.RunRecorded(command);
    scene.Disk().Unmount();
    ASSERT_EQ(recorded, 0) << scene.LastOutput();
    const auto programAfter = test::Snapshot(program);
    const auto source = test::Snapshot(scene.Source());
    const std::size_t historyRowsBefore = [&] {
        const auto it = programBefore.find("runoverview.his");
        return it == programBefore.end() ? 0
                                         : std::count(it->second.begin(), it->second.end(), '\n');
    }();

    const auto points = scene.Disk().CutPoints(CutPointsWanted());
    int historyOk = 0;
    for (const std::size_t cut : points) {
        for (const auto& [model, seed] : std::vector<std::pair<test::PowerModel, unsigned>>{
                 {test::PowerModel::Ordered, 1}, {test::PowerModel::Weak, 0}}) {
            const char* modelName = model == test::PowerModel::Ordered ? "ordered" : "weak";
            SCOPED_TRACE(std::string(scenario.name) + ", cut after " + std::to_string(cut) +
                         " of " + std::to_string(scene.Disk().RecordCount()) + " records, " +
                         modelName);
            const test::CutSummary summary = scene.Disk().RebuildAsCut(cut, model, seed);
            (void)summary;

            // As the power cut left the disk.
            EXPECT_EQ(TornFileIn(scene.Mirror(), scene.WholeFiles()), "");
            EXPECT_EQ(TornFileIn(scene.Versions(), scene.WholeFiles()), "");
            EXPECT_EQ(TornFileIn(scene.Restored(), scene.WholeFiles()), "");
            for (const char* name : {"drives.ini", "job.vlm", "velmora.ini"})
                ExpectOldOrNew(program + "/" + name, programBefore, programAfter, name);
            const std::string history = test::Exists(program + "/runoverview.his")
                                            ? test::ReadFile(program + "/runoverview.his")
                                            : std::string();
            EXPECT_EQ(TornHistory(history), "");
            const std::size_t rows = std::count(history.begin(), history.end(), '\n');
            if (!scenario.restore && rows > historyRowsBefore &&
                history.substr(0, history.find("\r\n")).find("|OK|") != std::string::npos) {
                ++historyOk;
                const auto mirror = test::Snapshot(scene.Mirror());
                EXPECT_TRUE(mirror == source)
                    << "the history says OK, but the backup is not all on the disk:"
                    << test::Differences(mirror, source);
            }

            // The reboot, and the same command again.
            ASSERT_EQ(scene.RunAfterReboot(command), 0) << scene.LastOutput();
            if (scenario.restore) {
                auto restored = test::Snapshot(scene.Restored() + "/data");
                // What the cut restore had set aside, and the temporary file it was writing when
                // the power went (a restore leaves what it finds in the folder it restores to).
                std::erase_if(restored, [](const auto& entry) {
                    return entry.first.find(" (before restore ") != std::string::npos ||
                           IsTemporaryFileName(
                               std::filesystem::path(entry.first).filename().string());
                });
                EXPECT_TRUE(restored == mirrorBefore) << test::Differences(restored, mirrorBefore);
            } else {
                const auto mirror = test::Snapshot(scene.Mirror());
                EXPECT_TRUE(mirror == source)
                    << test::Differences(mirror, source) << "\nThe run after the reboot:\n"
                    << scene.LastOutput();
                EXPECT_EQ(TornFileIn(scene.Versions(), scene.WholeFiles()), "");
            }
            if (HasFatalFailure() || ::testing::Test::HasFailure())
                return;  // the first moment that fails tells it; the rest would repeat it
        }
    }
    std::printf(
        "[ power cut ] %s: %zu moments x 2 models, %d rebuilt disks with the run's "
        "history row \"OK\"\n",
        scenario.name, points.size(), historyOk);
}

void Backup(PowerCutScene& scene) {
    ASSERT_EQ(scene.Run(scene.RunArgs()), 0) << scene.LastOutput();
}

void BackupThenChange(PowerCutScene& scene) {
    Backup(scene);
    ChangeSource(scene.Source());
    scene.NoteSourceBytes();
}

void TwoBackupsBetweenChanges(PowerCutScene& scene) {
    BackupThenChange(scene);
    Backup(scene);
}

std::string ScenarioId(const ::testing::TestParamInfo<Scenario>& info) {
    return info.param.id;
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, PowerCutTest,
    ::testing::Values(
        Scenario{"FirstCopy", "a first copy", false, [](PowerCutScene&) {}, false},
        Scenario{"ChangesAndRemovals", "changes and removals", false, BackupThenChange, false},
        Scenario{"KeptVersions", "changes with kept versions", true, BackupThenChange, false},
        Scenario{"Restore", "a restore", true, TwoBackupsBetweenChanges, true}),
    ScenarioId);

}  // namespace
}  // namespace vlm
