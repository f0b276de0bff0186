// Trees deeper than any whole host path can name, and a destination changed under a run by
// another process. The trees are built and read back folder by folder (openat), as no whole path
// reaches their bottom.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <vector>

#include "engine/copy_pass.h"
#include "engine_rig.h"
#include "platform/host_calls.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1500000000;

void WriteAt(int folder, const std::string& name, const std::string& content) {
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << name;
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    const struct timespec times[2] = {{kOld, 0}, {kOld, 0}};
    ::futimens(fd, times);
    ::close(fd);
}

// A chain of `depth` folders named by `nameLength` letters below `hostTop`, a file at every
// fifth level and one at the bottom; returns the bottom folder's relative path, and the folder
// itself open in `bottom`.
std::string BuildDeepChain(const std::string& hostTop, int depth, std::size_t nameLength,
                           int& bottom) {
    int folder = ::open(hostTop.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string relative;
    for (int level = 0; level < depth; ++level) {
        const std::string name = std::string(nameLength - 2, 'd') + std::to_string(10 + level);
        if (level % 5 == 0)
            WriteAt(folder, "f" + std::to_string(level) + ".txt", "level " + std::to_string(level));
        ::mkdirat(folder, name.c_str(), 0755);
        const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
        relative += "/" + name;
    }
    WriteAt(folder, "bottom.txt", "the deepest file");
    bottom = folder;
    return relative;
}

// Every file below the open folder `folder`, by relative path, with its content.
void ReadTreeAt(int folder, const std::string& prefix, std::map<std::string, std::string>& out) {
    // The names first, so that only one descriptor per level is open on the way down.
    std::vector<std::string> names;
    DIR* dir = ::fdopendir(::dup(folder));
    while (const struct dirent* item = ::readdir(dir))
        names.emplace_back(item->d_name);
    ::closedir(dir);
    for (const std::string& name : names) {
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            out[prefix + name + "/"] = "";
            ReadTreeAt(sub, prefix + name + "/", out);
            ::close(sub);
            continue;
        }
        std::string content(static_cast<std::size_t>(st.st_size), '\0');
        const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
        (void)!::read(fd, content.data(), content.size());
        ::close(fd);
        out[prefix + name] = content;
    }
}

std::map<std::string, std::string> TreeAt(const std::string& hostTop) {
    std::map<std::string, std::string> tree;
    const int top = ::open(hostTop.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top >= 0) {
        ReadTreeAt(top, "", tree);
        ::close(top);
    }
    return tree;
}

std::string RunProject(EngineRig& rig, const std::string& item) {
    const std::string project = rig.Project(EngineRig::Fields({item}));
    rig.view.allReportLines.clear();
    rig.engine.run(project);
    return rig.engine.Outcome().value_or("<open row>");
}

TEST(DeepTrees, ATreeBeyondTheHostPathLimitIsMirroredKeptAndPruned) {
    struct Case {
        const char* name;
        int depth;
        std::size_t nameLength;
    } cases[] = {
        {"6,000 bytes in names of 200", 30, 200},
        {"4,400 bytes in names of 10 (more folders than are held open)", 400, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        test::WriteFile(rig.Src("s/aa.txt"), "before", kOld);
        test::MakeDir(rig.Src("s/deep"));
        int bottomFolder = -1;
        const std::string bottom =
            BuildDeepChain(rig.Src("s/deep"), c.depth, c.nameLength, bottomFolder);
        ASSERT_GT(bottom.size(), 4096u);
        // Sorted after the deep branch: the run must reach it too.
        test::WriteFile(rig.Src("s/zz.txt"), "after", kOld);

        EXPECT_EQ(RunProject(rig, "c:\\s"), "OK");
        const auto source = TreeAt(rig.Src("s"));
        // (compared whole: a difference would print thousands of bytes of names)
        EXPECT_TRUE(TreeAt(rig.Dst("VLMcopy_drive_c/s")) == source);
        EXPECT_EQ(source.count("deep" + bottom + "/bottom.txt"), 1u);

        // A second run finds nothing to do.
        EXPECT_EQ(RunProject(rig, "c:\\s"), "OK");
        EXPECT_TRUE(rig.ReportedStartingWith("Created ").empty());
        EXPECT_TRUE(rig.ReportedStartingWith("Overwritten ").empty());
        EXPECT_TRUE(rig.ReportedStartingWith("ERROR").empty());

        // The deepest file goes from the source: its copy goes too.
        ASSERT_EQ(::unlinkat(bottomFolder, "bottom.txt", 0), 0);
        ::close(bottomFolder);
        EXPECT_EQ(RunProject(rig, "c:\\s"), "OK");
        EXPECT_EQ(rig.ReportedStartingWith("Removed file: ").size(), 1u);
        EXPECT_TRUE(TreeAt(rig.Dst("VLMcopy_drive_c/s")) == TreeAt(rig.Src("s")));
    }
}

#ifdef VELMORA_FAULT_INJECTION
// Another process swaps a folder of the mirror for a link to a folder of its own while the run
// copies into it: nothing outside the destination is written, through the link or otherwise.
TEST(DestinationLinks, AFolderSwappedForALinkDuringARunIsNeverFollowed) {
    struct Case {
        const char* name;
        faults::Call before;  // the swap happens just before this call...
        int nth;              // ...made for the nth time
    } cases[] = {
        // Opens: both tops, the listings of the item's folders, those of sub, then a.txt's. A
        // rename is each copy's last step.
        {"before the folder is listed", faults::Call::Open, 6},
        {"after it was listed, before its first file is written", faults::Call::Open, 7},
        {"after the first copy in the folder", faults::Call::Rename, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
            test::WriteFile(rig.Src(std::string("s/sub/") + name), name, kOld);
        test::WriteFile(rig.Dst("elsewhere/precious.txt"), "keep me", kOld);
        test::MakeDir(rig.Dst("VLMcopy_drive_c/s/sub"));
        const std::string sub = rig.Dst("VLMcopy_drive_c/s/sub");
        faults::Reset();
        faults::Hook(c.before, c.nth, [&] {
            std::rename(sub.c_str(), rig.Dst("VLMcopy_drive_c/moved").c_str());
            test::MakeSymlink(rig.Dst("elsewhere"), sub);
        });
        try {
            copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\VLMcopy_drive_c\\s"));
        } catch (const std::exception&) {
            // a copy that fails for want of its folder may end the run: what matters is where
            // nothing was written
        }
        faults::Reset();
        const auto elsewhere = test::ReadTree(rig.Dst("elsewhere"));
        EXPECT_EQ(elsewhere.size(), 1u);
        EXPECT_EQ(test::ReadFile(rig.Dst("elsewhere/precious.txt")), "keep me");
        // The next run mends the mirror.
        EXPECT_EQ(RunProject(rig, "c:\\s"), "OK");
        EXPECT_EQ(test::ReadTree(rig.Dst("elsewhere")).size(), 1u);
        EXPECT_EQ(test::ReadTree(rig.Dst("VLMcopy_drive_c/s")), test::ReadTree(rig.Src("s")));
    }
}
#endif

}  // namespace
}  // namespace vlm
