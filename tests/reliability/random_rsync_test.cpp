// Seeded random rounds of changes to a source tree; after each round a run and
// `rsync -a --delete`, both from the same starting state, must leave the same tree: names,
// kinds, sizes, contents, exact file times and permission bits (a copy keeps its owner's write
// bit, as the read-only attribute is not carried to a backup). Any difference fails with the
// seed and the round. VELMORA_RSYNC_SEED replays a seed, VELMORA_RSYNC_ROUNDS sets the rounds
// (200 by default; the long variant runs more seeds).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "../engine/engine_rig.h"
#include "reliability_rig.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using test::EngineRig;

int EnvNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

// Names the changes draw from: plain, with blanks, hidden, non-ASCII, and two that differ only
// in case (the host's lookup keeps them apart, and so must a mirror).
const char* const kNames[] = {
    "a.txt",
    "Ab",
    "aB",
    "report 2026.doc",
    ".hidden",
    ".config",
    "Grüße aus Köln",
    "日本語.txt",
    "naïve",
    "x-1",
    "data.bin",
    "sub",
    "folder",
    "archive.tar.gz",
    // Every character a drive name holds as a stand-in.
    "back\\slash",
    "co:lon",
    "st*r?",
    "\"quoted\"",
    "<angle>",
    "pi|pe",
    "tab\tname",
    "new\nline",
};

// What rsync -a keeps and a run must keep too: every entry with its exact time and its mode.
struct ExactEntry {
    test::TreeEntry entry;
    long nanoseconds = 0;
    mode_t mode = 0;
    bool operator==(const ExactEntry&) const = default;
};

void PrintTo(const ExactEntry& e, std::ostream* out) {
    test::PrintTo(e.entry, out);
    *out << " ns=" << e.nanoseconds << " mode=" << std::oct << e.mode << std::dec;
}

std::vector<ExactEntry> ExactView(const std::string& root) {
    std::vector<ExactEntry> view;
    for (test::TreeEntry& entry : test::ReadTree(root)) {
        struct stat st {};
        EXPECT_EQ(::lstat((root + "/" + entry.path).c_str(), &st), 0) << entry.path;
        ExactEntry exact{entry, 0, 0};
        exact.entry.readOnly = false;
        if (entry.kind == 'f') {
            exact.entry.mtime = st.st_mtim.tv_sec;
            exact.nanoseconds = st.st_mtim.tv_nsec;
        }
        if (entry.kind == 'f' || entry.kind == 'd')
            exact.mode = (st.st_mode & 07777) | S_IWUSR;
        view.push_back(exact);
    }
    return view;
}

class RandomTree {
public:
    RandomTree(std::string root, unsigned seed) : root_(std::move(root)), random_(seed) {}

    // One round: one to six changes of the kinds a person's files go through.
    std::vector<std::string> ChangeRound() {
        std::vector<std::string> done;
        const int changes = 1 + Below(6);
        for (int i = 0; i < changes; ++i)
            done.push_back(OneChange());
        return done;
    }

private:
    int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    std::time_t EvenTime() { return 1500000000 + 2 * static_cast<std::time_t>(Below(50000000)); }
    // A time with nanoseconds, in a 2-second step of its own: such a change is always seen.
    void StampExactly(const std::string& path) {
        struct timespec times[2] = {{0, UTIME_OMIT}, {EvenTime(), Below(1000000000)}};
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    mode_t SomeMode() {
        static const mode_t kModes[] = {0644, 0600, 0640, 0755, 0700, 0444, 0664};
        return kModes[Below(static_cast<int>(std::size(kModes)))];
    }
    std::string Name() { return kNames[Below(static_cast<int>(std::size(kNames)))]; }
    std::string Bytes() {
        std::string bytes(static_cast<std::size_t>(Below(4) == 0 ? 0 : Below(20000)), '\0');
        for (char& c : bytes)
            c = static_cast<char>(random_());
        return bytes;
    }

    std::vector<std::string> Items(bool files, bool folders) {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            if ((files && entry.is_regular_file()) || (folders && entry.is_directory()))
                found.push_back(entry.path().string());
        }
        std::sort(found.begin(), found.end());  // the listing order must not steer the seed
        return found;
    }
    std::string Pick(const std::vector<std::string>& items) {
        return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
    }
    std::string SomeFolder() {
        auto folders = Items(false, true);
        folders.push_back(root_);
        return Pick(folders);
    }
    // A path in `folder` where nothing is yet.
    std::string FreePath(const std::string& folder) {
        for (int attempt = 0;; ++attempt) {
            std::string path = folder + "/" + Name();
            if (attempt > 5)
                path += "." + std::to_string(attempt);
            if (!test::Exists(path))
                return path;
        }
    }
    void Remove(const std::string& path) { test::RemoveTree(path); }

    std::string OneChange() {
        const auto files = Items(true, false);
        switch (files.empty() ? 0 : Below(10)) {
            case 0: {
                const std::string path = FreePath(SomeFolder());
                test::WriteFile(path, Bytes(), EvenTime(), SomeMode());
                StampExactly(path);
                return "create " + path;
            }
            case 1: {  // another size, another time
                const std::string path = Pick(files);
                test::SetMode(path, 0644);
                std::string bytes = Bytes();
                if (bytes.size() == fs::file_size(path))
                    bytes.push_back('+');
                test::WriteFile(path, bytes, EvenTime());
                return "resize " + path;
            }
            case 2: {  // only the time
                const std::string path = Pick(files);
                StampExactly(path);
                return "touch " + path;
            }
            case 3: {
                const auto folders = Items(false, true);
                const std::string path = Pick(Below(3) == 0 && !folders.empty() ? folders : files);
                Remove(path);
                return "delete " + path;
            }
            case 4: {  // rename, maybe into another folder
                const auto items = Items(true, true);
                const std::string from = Pick(items);
                const std::string to = FreePath(Below(2) ? SomeFolder() : root_);
                if (to.rfind(from + "/", 0) == 0)
                    return "rename skipped";
                fs::rename(from, to);
                return "rename " + from + " -> " + to;
            }
            case 5: {  // a file becomes a folder, or a folder a file
                const auto items = Items(true, true);
                const std::string path = Pick(items);
                const bool wasFolder = fs::is_directory(path);
                Remove(path);
                if (wasFolder)
                    test::WriteFile(path, Bytes(), EvenTime());
                else
                    test::WriteFile(path + "/" + Name(), Bytes(), EvenTime());
                return std::string(wasFolder ? "folder->file " : "file->folder ") + path;
            }
            case 6: {
                const std::string path = SomeFolder() + "/." + std::to_string(Below(1000));
                test::WriteFile(path, Bytes(), EvenTime());
                return "hidden " + path;
            }
            case 7: {  // deep nesting
                std::string path = SomeFolder();
                const int depth = 6 + Below(8);
                for (int level = 0; level < depth; ++level) {
                    path += "/d" + std::to_string(level);
                    // A file swapped in earlier may stand where the chain goes on.
                    if (test::Exists(path) && !fs::is_directory(path))
                        return "deep skipped at " + path;
                }
                test::WriteFile(path + "/" + Name(), Bytes(), EvenTime());
                return "deep " + path;
            }
            case 8: {
                const std::string path = Pick(files);
                test::SetMode(path, 0444);
                return "read-only " + path;
            }
            default: {
                const std::string path = FreePath(SomeFolder());
                test::MakeDir(path);
                if (Below(2) == 0)
                    test::SetMode(path, 0700);
                return "empty folder " + path;
            }
        }
    }

    std::string root_;
    std::mt19937 random_;
};

bool HaveRsync() {
    return std::system("rsync --version >/dev/null 2>&1") == 0;
}

TEST(RandomRsyncTest, EveryRoundLeavesWhatRsyncLeaves) {
    if (!HaveRsync())
        GTEST_SKIP() << "rsync is not installed";
    const unsigned seed = static_cast<unsigned>(EnvNumber("VELMORA_RSYNC_SEED", 8));
    const int rounds = EnvNumber("VELMORA_RSYNC_ROUNDS", 200);
    EngineRig rig;
    test::AnsweringDialogs dialogs;
    test::MakeDir(rig.Src("src"));
    const std::string project = rig.Project(EngineRig::Fields({"c:\\src"}));
    rig.view.level = LogLevel::Normal;
    const std::string mirror = rig.Dst("VLMcopy_drive_c/src");
    const std::string peer = rig.drives.Base() + "/peer";
    test::MakeDir(peer);
    RandomTree tree(rig.Src("src"), seed);

    int changes = 0;
    for (int round = 1; round <= rounds; ++round) {
        const std::vector<std::string> done = tree.ChangeRound();
        changes += static_cast<int>(done.size());
        std::string what;
        for (const auto& change : done)
            what += "\n  " + change;
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round) +
                     " (VELMORA_RSYNC_SEED=" + std::to_string(seed) + " replays it):" + what);

        rig.view.allReportLines.clear();
        rig.engine.run(project);
        ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"))
            << ::testing::PrintToString(rig.view.allReportLines);
        const std::string command = "rsync -a --delete '" + rig.Src("src") + "/' '" + peer + "/'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        const auto ours = ExactView(mirror);
        const auto theirs = ExactView(peer);
        ASSERT_EQ(ours, theirs);
        ASSERT_TRUE(dialogs.texts.empty()) << dialogs.texts.front();
    }
    std::printf("[ rsync    ] seed %u: %d rounds, %d changes, every round equal to rsync\n", seed,
                rounds, changes);
}

}  // namespace
}  // namespace vlm
