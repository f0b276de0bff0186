#include "util/file_helpers.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/host_calls.h"
#include "platform/locale_text.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::Exists;
using test::MakeDir;
using test::MakeFifo;
using test::MakeSizedFile;
using test::MakeSymlink;
using test::ReadFile;
using test::SetMode;
using test::TempDrives;
using test::WriteFile;

constexpr std::time_t kSomeTime = 1700000000;  // 2023-11-14, an even second

// A text of `size` bytes that differs at every position of a block, so that a misplaced block
// shows.
std::string Pattern(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 997) % 26);
    return text;
}

// The names in a host folder, to see that no temporary file was left behind.
std::vector<std::string> NamesIn(const std::string& drivePath) {
    std::vector<DirEntry> entries;
    EXPECT_TRUE(ListDirectory(DrivePath(drivePath), kAttrAnyFile, entries));
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name);
    return names;
}

class FileHelpers : public ::testing::Test {
protected:
    void TearDown() override {
#ifdef VELMORA_FAULT_INJECTION
        faults::Reset();
#endif
    }

    TempDrives drives{"ce"};
    ScriptedDialogs dialogs;
};

TEST_F(FileHelpers, ItemKindAndSizeOfEachKindOfItem) {
    WriteFile(drives.Host("c:\\file.txt"), "12345");
    WriteFile(drives.Host("c:\\.hidden"), "123");
    MakeDir(drives.Host("c:\\folder"));
    WriteFile(drives.Host("c:\\folder\\inner.bin"), std::string(1000, 'x'));
    MakeSymlink(drives.Host("c:\\file.txt"), drives.Host("c:\\link-to-file"));
    MakeSymlink(drives.Host("c:\\folder"), drives.Host("c:\\link-to-folder"));
    MakeSymlink(drives.Host("c:\\gone"), drives.Host("c:\\dangling"));
    MakeFifo(drives.Host("c:\\fifo"));

    struct Case {
        const char* path;
        char kind;
        std::int64_t fileSize;
        std::uint64_t itemSize;
    };
    for (const Case& c : std::vector<Case>{
             {"c:\\nothing", 'n', 0, 0},
             {"c:\\file.txt", 'f', 5, 5},
             {"c:\\.hidden", 'f', 3, 3},
             {"c:\\folder", 'd', 0, 1000},
             {"c:\\folder\\", 'd', 0, 1000},
             // A path the person names is followed when it is a link.
             {"c:\\link-to-file", 'f', 5, 5},
             {"c:\\link-to-folder", 'd', 0, 1000},
             {"c:\\dangling", 'n', 0, 0},
             {"c:\\fifo", 'f', 0, 0},
             {"q:\\unmapped", 'n', 0, 0},
         }) {
        EXPECT_EQ(ItemKind(DrivePath(c.path)), c.kind) << c.path;
        EXPECT_EQ(FileSizeOf(DrivePath(c.path)), c.fileSize) << c.path;
        EXPECT_EQ(ItemSize(DrivePath(c.path)), c.itemSize) << c.path;
    }
}

TEST_F(FileHelpers, DirSizeCountsHiddenFilesAndNeverFollowsLinksOrSpecialFiles) {
    WriteFile(drives.Host("c:\\tree\\a.txt"), std::string(100, 'a'));
    WriteFile(drives.Host("c:\\tree\\.hidden"), std::string(20, 'h'));
    WriteFile(drives.Host("c:\\tree\\sub\\deeper\\b.txt"), std::string(3, 'b'));
    MakeDir(drives.Host("c:\\tree\\empty"));
    WriteFile(drives.Host("c:\\outside\\big.bin"), std::string(5000, 'o'));
    MakeSymlink(drives.Host("c:\\outside"), drives.Host("c:\\tree\\link-to-outside"));
    MakeSymlink(drives.Host("c:\\outside\\big.bin"), drives.Host("c:\\tree\\link-to-big"));
    // A walk that opened this would hang.
    MakeFifo(drives.Host("c:\\tree\\sub\\fifo"));

    EXPECT_EQ(DirSize(DrivePath("c:\\tree")), 123u);
    EXPECT_EQ(DirSize(DrivePath("c:\\tree\\")), 123u);
    EXPECT_EQ(DirSize(DrivePath("c:\\tree\\empty")), 0u);
    EXPECT_EQ(DirSize(DrivePath("c:\\no-such-folder")), 0u);
}

// The walk a worker thread makes for the folder tree: the same sum, or nothing once stopped.
TEST_F(FileHelpers, DirSizeUnlessStoppedGivesTheSameSumOrNothing) {
    test::WriteFile(drives.Host("c:\\tree\\a.txt"), "12345");
    test::WriteFile(drives.Host("c:\\tree\\sub\\b.txt"), "123");
    struct Case {
        const char* path;
        bool stopped;
        std::optional<std::uint64_t> expected;
    };
    const Case cases[] = {
        {"c:\\tree", false, 8u},
        {"c:\\tree\\sub", false, 3u},
        {"c:\\no-such-folder", false, 0u},
        {"c:\\tree", true, std::nullopt},
        {"c:\\no-such-folder", true, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::atomic<bool> stop{c.stopped};
        EXPECT_EQ(DirSizeUnlessStopped(DrivePath(c.path), stop), c.expected)
            << c.path << " " << c.stopped;
        if (!c.stopped) {
            EXPECT_EQ(DirSize(DrivePath(c.path)), *c.expected) << c.path;
        }
    }
}

TEST_F(FileHelpers, SizesAreTrue64BitSizes) {
    const std::uint64_t fiveGiB = 5ull << 30;
    MakeSizedFile(drives.Host("c:\\big\\sparse.img"), fiveGiB);
    WriteFile(drives.Host("c:\\big\\small.txt"), "xy");

    EXPECT_EQ(FileSizeOf(DrivePath("c:\\big\\sparse.img")), static_cast<std::int64_t>(fiveGiB));
    EXPECT_EQ(ItemSize(DrivePath("c:\\big\\sparse.img")), fiveGiB);
    EXPECT_EQ(DirSize(DrivePath("c:\\big")), fiveGiB + 2);
    EXPECT_EQ(ItemSize(DrivePath("c:\\big")), fiveGiB + 2);
}

TEST_F(FileHelpers, ItemDateTextShowsWhenAFolderWasMadeAndAFileLastWritten) {
    WriteFile(drives.Host("c:\\dated.txt"), "x", kSomeTime);
    MakeDir(drives.Host("c:\\dated-folder"));
    test::SetMtime(drives.Host("c:\\dated-folder"), kSomeTime + 60);

    EXPECT_EQ(ItemDateText(DrivePath("c:\\dated.txt")),
              DateTimeText(HostTimeToDateTime(kSomeTime)));
    // A folder shows when it was made: its birth time where the file system records one (the
    // last write, set back above, does not count then), else its last-write time.
    struct statx stx {};
    ASSERT_EQ(::statx(AT_FDCWD, drives.Host("c:\\dated-folder").c_str(), 0, STATX_BTIME, &stx), 0);
    const std::time_t made = (stx.stx_mask & STATX_BTIME) != 0
                                 ? static_cast<std::time_t>(stx.stx_btime.tv_sec)
                                 : kSomeTime + 60;
    const long madeNs = (stx.stx_mask & STATX_BTIME) != 0 ? stx.stx_btime.tv_nsec : 0;
    EXPECT_EQ(ItemDateText(DrivePath("c:\\dated-folder")),
              DateTimeText(HostTimeToDateTime(made, madeNs)));
    EXPECT_EQ(ItemDateText(DrivePath("c:\\nothing")), "");
}

TEST_F(FileHelpers, ForceDirChainCreatesEveryMissingFolder) {
    EXPECT_TRUE(ForceDirChain(DrivePath("c:\\a\\b\\c")));
    EXPECT_EQ(ItemKind(DrivePath("c:\\a")), 'd');
    EXPECT_EQ(ItemKind(DrivePath("c:\\a\\b")), 'd');
    EXPECT_EQ(ItemKind(DrivePath("c:\\a\\b\\c")), 'd');

    struct Case {
        const char* path;
        bool result;
    };
    for (const Case& c : std::vector<Case>{
             {"c:\\a\\b\\c", true},    // already there
             {"c:\\a\\b\\c\\", true},  // trailing backslash
             {"c:\\a\\x\\y\\", true},  // partly there
             {"c:", true},             // the drive itself
             {"c:\\", true},
             {"q:\\a\\b", false},           // drive not present
             {"c:\\a\\..\\escape", false},  // refused by the translation
             {"c:\\a\\\\b", false},         // empty component
             {"relative\\path", false},
             {"", false},
         }) {
        EXPECT_EQ(ForceDirChain(DrivePath(c.path)), c.result) << c.path;
    }
    EXPECT_EQ(ItemKind(DrivePath("c:\\a\\x\\y")), 'd');
    EXPECT_FALSE(Exists(drives.Base() + "/escape"));
}

TEST_F(FileHelpers, ForceDirChainStopsAtAFile) {
    WriteFile(drives.Host("c:\\blocker"), "keep");
    EXPECT_FALSE(ForceDirChain(DrivePath("c:\\blocker\\sub")));
    EXPECT_EQ(ReadFile(drives.Host("c:\\blocker")), "keep");
}

TEST_F(FileHelpers, DeleteDirTreeGoesOnPastAReadOnlyFile) {
    WriteFile(drives.Host("c:\\t\\a.txt"), "a");
    WriteFile(drives.Host("c:\\t\\.hidden"), "h");
    WriteFile(drives.Host("c:\\t\\keep\\locked.txt"), "ro", std::nullopt, 0444);
    WriteFile(drives.Host("c:\\t\\keep\\z.txt"), "z");
    WriteFile(drives.Host("c:\\t\\sub\\deep\\b.txt"), "b");

    EXPECT_FALSE(DeleteDirTree(DrivePath("c:\\t")));

    // Everything but the read-only file and the folders holding it is gone.
    std::vector<std::string> left;
    for (const auto& entry : test::ReadTree(drives.Host("c:\\t")))
        left.push_back(entry.path);
    EXPECT_EQ(left, (std::vector<std::string>{"keep", "keep/locked.txt"}));
    EXPECT_EQ(ReadFile(drives.Host("c:\\t\\keep\\locked.txt")), "ro");
    EXPECT_EQ(dialogs.Beeps(), 0);
}

TEST_F(FileHelpers, DeleteDirTreeRemovesLinksWithoutFollowingThem) {
    WriteFile(drives.Host("c:\\outside\\precious.txt"), "precious");
    WriteFile(drives.Host("e:\\mirror\\old.txt"), "old");
    MakeSymlink(drives.Host("c:\\outside"), drives.Host("e:\\mirror\\link-to-outside"));
    MakeSymlink(drives.Host("c:\\outside\\precious.txt"), drives.Host("e:\\mirror\\file-link"));
    MakeSymlink(drives.Host("c:\\gone"), drives.Host("e:\\mirror\\dangling"));
    MakeFifo(drives.Host("e:\\mirror\\fifo"));

    EXPECT_TRUE(DeleteDirTree(DrivePath("e:\\mirror\\")));

    EXPECT_FALSE(Exists(drives.Host("e:\\mirror")));
    EXPECT_EQ(ReadFile(drives.Host("c:\\outside\\precious.txt")), "precious");
}

TEST_F(FileHelpers, DeleteDirTreeRefusesWhatIsNotARealFolder) {
    WriteFile(drives.Host("c:\\outside\\precious.txt"), "precious");
    MakeSymlink(drives.Host("c:\\outside"), drives.Host("c:\\link"));
    WriteFile(drives.Host("c:\\file.txt"), "file");

    for (const char* path : {"c:\\absent", "c:\\link", "c:\\file.txt", "c:", "c:\\", "q:\\x", ""}) {
        EXPECT_FALSE(DeleteDirTree(DrivePath(path))) << path;
    }
    EXPECT_EQ(ReadFile(drives.Host("c:\\outside\\precious.txt")), "precious");
    EXPECT_TRUE(Exists(drives.Host("c:\\link")));
    EXPECT_EQ(ReadFile(drives.Host("c:\\file.txt")), "file");
    EXPECT_EQ(dialogs.Beeps(), 0);
}

TEST_F(FileHelpers, CopyFileKeepAgeCopiesContentAndTime) {
    // Larger than one buffer, and not a multiple of it.
    const std::string content = Pattern(3 * 524287 + 1234);
    WriteFile(drives.Host("c:\\src\\data.bin"), content, kSomeTime, 0444);
    WriteFile(drives.Host("e:\\dst\\data.bin"), "old content");

    const auto sourceBefore = test::ReadTree(drives.Host("c:\\src"));

    CopyFileKeepAge(DrivePath("c:\\src\\data.bin"), DrivePath("e:\\dst\\data.bin"));

    EXPECT_EQ(ReadFile(drives.Host("e:\\dst\\data.bin")), content);
    // The next run sees the two as equal.
    EXPECT_EQ(GetFileTimePacked(DrivePath("e:\\dst\\data.bin")),
              GetFileTimePacked(DrivePath("c:\\src\\data.bin")));
    EXPECT_EQ(FileSizeOf(DrivePath("e:\\dst\\data.bin")),
              FileSizeOf(DrivePath("c:\\src\\data.bin")));
    // The source is untouched, and its read-only attribute is not copied.
    EXPECT_EQ(test::ReadTree(drives.Host("c:\\src")), sourceBefore);
    EXPECT_EQ(GetFileTimePacked(DrivePath("c:\\src\\data.bin")), PackHostTime(kSomeTime));
    EXPECT_EQ(GetFileAttributes(DrivePath("e:\\dst\\data.bin")) & kAttrReadOnly, 0u);
    EXPECT_EQ(NamesIn("e:\\dst"), std::vector<std::string>{"data.bin"});
    EXPECT_TRUE(dialogs.Boxes().empty());
}

// A source written to while it is copied must never leave a copy that mixes old and new bytes
// under a time that later runs take for the source's: the copy is made again, and a file that
// never holds still is not copied at all, its old copy kept.
TEST_F(FileHelpers, CopyFileKeepAgeNeverKeepsACopyOfAFileThatChangedMeanwhile) {
    struct Case {
        const char* name;
        int changes;  // how many of the copies see the source written to
        bool copied;
    };
    for (const Case& c : {Case{"changes once", 1, true}, Case{"never holds still", 99, false}}) {
        SCOPED_TRACE(c.name);
        WriteFile(drives.Host("c:\\log.txt"), Pattern(4096), kSomeTime);
        WriteFile(drives.Host("e:\\log.txt"), "last week's copy", kSomeTime - 100);
        // Appends to the source after the first piece of a copy, as a program writing its log
        // would; a count that does not grow is the first piece of the next copy.
        struct Writer final : CopyWatcher {
            Writer(std::string p, int n) : path(std::move(p)), left(n) {}
            bool Copied(std::uint64_t bytes) override {
                if (left > 0 && bytes <= last) {
                    --left;
                    std::ofstream(path, std::ios::app) << "more";
                }
                last = bytes;
                return true;
            }
            std::string path;
            int left;
            std::uint64_t last = UINT64_MAX;
        };
        Writer watcher(drives.Host("c:\\log.txt"), c.changes);

        if (c.copied) {
            CopyFileKeepAge(DrivePath("c:\\log.txt"), DrivePath("e:\\log.txt"), &watcher);
            EXPECT_EQ(ReadFile(drives.Host("e:\\log.txt")), ReadFile(drives.Host("c:\\log.txt")));
        } else {
            EXPECT_THROW(
                CopyFileKeepAge(DrivePath("c:\\log.txt"), DrivePath("e:\\log.txt"), &watcher),
                CopyError);
            EXPECT_EQ(ReadFile(drives.Host("e:\\log.txt")), "last week's copy");
        }
        EXPECT_EQ(NamesIn("e:\\"), std::vector<std::string>{"log.txt"});
    }
}

// A disk image keeps its holes in the backup: the same bytes, without writing every zero.
TEST_F(FileHelpers, CopyFileKeepAgeKeepsTheHolesOfASparseFile) {
    constexpr off_t kSize = 8 << 20;
    const std::string data = Pattern(65536);
    struct Case {
        const char* name;
        std::vector<off_t> dataAt;  // where 64 KiB of data lie; holes elsewhere
    };
    for (const Case& c : {Case{"data, hole, data, hole", {0, 3 << 20}},
                          Case{"a hole first and at the end", {1 << 20}},
                          Case{"all hole", {}}}) {
        SCOPED_TRACE(c.name);
        const std::string source = drives.Host("c:\\disk.img");
        {
            const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0);
            for (const off_t at : c.dataAt)
                ASSERT_EQ(::pwrite(fd, data.data(), data.size(), at), static_cast<ssize_t>(data.size()));
            ASSERT_EQ(::ftruncate(fd, kSize), 0);
            ::close(fd);
        }
        CopyFileKeepAge(DrivePath("c:\\disk.img"), DrivePath("e:\\disk.img"));

        const std::string copy = drives.Host("e:\\disk.img");
        EXPECT_EQ(ReadFile(copy), ReadFile(source));
        struct stat st {};
        ASSERT_EQ(::stat(copy.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, kSize);
        EXPECT_LT(st.st_blocks * 512, 1 << 20) << "the holes were written out";
    }
}

TEST_F(FileHelpers, CopyFileKeepAgeCopiesAnEmptyFile) {
    WriteFile(drives.Host("c:\\empty.txt"), "", kSomeTime);
    CopyFileKeepAge(DrivePath("c:\\empty.txt"), DrivePath("e:\\empty.txt"));
    EXPECT_EQ(ReadFile(drives.Host("e:\\empty.txt")), "");
    EXPECT_EQ(GetFileTimePacked(DrivePath("e:\\empty.txt")), PackHostTime(kSomeTime));
}

TEST_F(FileHelpers, CopyFileKeepAgeWithAMissingSourceKeepsTheOldDestination) {
    WriteFile(drives.Host("e:\\dst\\data.bin"), "old content");

    // A source that is gone is no failure of the backup: its own error, and no box.
    try {
        CopyFileKeepAge(DrivePath("c:\\missing.bin"), DrivePath("e:\\dst\\data.bin"));
        ADD_FAILURE() << "no SourceVanished";
    } catch (const SourceVanished& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Could not copy c:\\missing.bin", 0), 0u)
            << error.what();
        EXPECT_EQ(error.Notice(), "");
    }
    EXPECT_TRUE(dialogs.TextsOf(BoxType::Error).empty());
    EXPECT_EQ(ReadFile(drives.Host("e:\\dst\\data.bin")), "old content");
}

TEST_F(FileHelpers, CopyFileKeepAgeWithAnUnreadableSourceKeepsTheOldDestination) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    WriteFile(drives.Host("c:\\secret.bin"), "secret", kSomeTime, 0000);
    WriteFile(drives.Host("e:\\secret.bin"), "old content");

    EXPECT_THROW(CopyFileKeepAge(DrivePath("c:\\secret.bin"), DrivePath("e:\\secret.bin")),
                 CopyError);
    EXPECT_EQ(ReadFile(drives.Host("e:\\secret.bin")), "old content");
    EXPECT_EQ(NamesIn("e:"), std::vector<std::string>{"secret.bin"});
}

TEST_F(FileHelpers, CopyFileKeepAgeRefusesAReadOnlyDestination) {
    WriteFile(drives.Host("c:\\new.txt"), "new", kSomeTime);
    WriteFile(drives.Host("e:\\new.txt"), "protected", std::nullopt, 0444);

    EXPECT_THROW(CopyFileKeepAge(DrivePath("c:\\new.txt"), DrivePath("e:\\new.txt")), CopyError);
    EXPECT_EQ(ReadFile(drives.Host("e:\\new.txt")), "protected");
    EXPECT_EQ(NamesIn("e:"), std::vector<std::string>{"new.txt"});
}

// The copy takes its bits and its exact time from the open source, whatever its kind of
// permissions; the next run must find nothing to do.
TEST_F(FileHelpers, CopyFileKeepAgeCarriesExactTimesAndPermissionBits) {
    struct Case {
        const char* name;
        mode_t mode;
        long nanoseconds;
        std::size_t size;
    } cases[] = {
        {"id_rsa", 0600, 999999999, 1679},
        {"script.sh", 0755, 1, 40},
        {"shared.txt", 0664, 500000000, 0},
        {"locked.txt", 0444, 123456789, 8 << 20},  // copy stays writable by its owner
    };
    for (const Case& c : cases) {
        const std::string source = drives.HostRoot('c') + "/" + c.name;
        WriteFile(source, Pattern(c.size), kSomeTime, c.mode);
        const struct timespec times[2] = {{0, UTIME_OMIT}, {kSomeTime, c.nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
        const std::string target = std::string("e:\\") + c.name;
        CopyFileKeepAge(DrivePath(std::string("c:\\") + c.name), DrivePath(target));
        EXPECT_EQ(ReadFile(drives.Host(target)), Pattern(c.size)) << c.name;
        EXPECT_EQ(GetFileHostTime(DrivePath(target)),
                  (HostTime{kSomeTime, static_cast<int>(c.nanoseconds)}))
            << c.name;
        EXPECT_EQ(GetFilePermissions(DrivePath(target)),
                  static_cast<std::uint32_t>(c.mode | S_IWUSR))
            << c.name;
    }
    EXPECT_EQ(NamesIn("e:").size(), 4u);
    EXPECT_TRUE(dialogs.Boxes().empty());
}

// A folder or a read-only file where the copy belongs is refused as such, without the box of a
// destination that cannot be written.
TEST_F(FileHelpers, CopyFileKeepAgeRefusesAFolderOrReadOnlyFileAtTheDestinationWithoutABox) {
    WriteFile(drives.Host("c:\\a.txt"), "new", kSomeTime);
    MakeDir(drives.Host("e:\\a.txt"));
    WriteFile(drives.Host("c:\\b.txt"), "new", kSomeTime);
    WriteFile(drives.Host("e:\\b.txt"), "kept", std::nullopt, 0444);
    for (const auto& [name, why] : {std::pair{"a.txt", "the destination is a folder"},
                                    std::pair{"b.txt", "the destination is read-only"}}) {
        try {
            CopyFileKeepAge(DrivePath(std::string("c:\\") + name),
                            DrivePath(std::string("e:\\") + name));
            ADD_FAILURE() << "no CopyError for " << name;
        } catch (const CopyError& error) {
            EXPECT_NE(std::string(error.what()).find(why), std::string::npos) << error.what();
        }
    }
    EXPECT_TRUE(dialogs.Boxes().empty());
    EXPECT_EQ(ReadFile(drives.Host("e:\\b.txt")), "kept");
    EXPECT_EQ(NamesIn("e:"), (std::vector<std::string>{"a.txt", "b.txt"}));
}

#ifdef VELMORA_FAULT_INJECTION
TEST_F(FileHelpers, CopyFileKeepAgeOnAFullDiskKeepsTheOldDestination) {
    const std::string content = Pattern(2 * 524287);
    WriteFile(drives.Host("c:\\data.bin"), content, kSomeTime);
    WriteFile(drives.Host("e:\\dst\\data.bin"), "old content", kSomeTime - 3600);

    for (int failingWrite : {1, 2}) {
        faults::Arm(faults::Call::Write, failingWrite, ENOSPC);
        try {
            CopyFileKeepAge(DrivePath("c:\\data.bin"), DrivePath("e:\\dst\\data.bin"));
            ADD_FAILURE() << "no CopyError";
        } catch (const CopyError& error) {
            EXPECT_NE(std::string(error.what()).find("e:\\dst\\data.bin"), std::string::npos);
            EXPECT_NE(std::string(error.what()).find("No space left on device"), std::string::npos)
                << error.what();
        }
        faults::Reset();
        EXPECT_EQ(ReadFile(drives.Host("e:\\dst\\data.bin")), "old content") << failingWrite;
        EXPECT_EQ(GetFileTimePacked(DrivePath("e:\\dst\\data.bin")),
                  PackHostTime(kSomeTime - 3600));
        EXPECT_EQ(NamesIn("e:\\dst"), std::vector<std::string>{"data.bin"});
    }
}

TEST_F(FileHelpers, CopyFileKeepAgeWithAReadErrorKeepsTheOldDestination) {
    WriteFile(drives.Host("c:\\data.bin"), Pattern(3 * 524287), kSomeTime);
    WriteFile(drives.Host("e:\\data.bin"), "old content");

    for (faults::Call call : {faults::Call::Open, faults::Call::Read}) {
        faults::Arm(call, call == faults::Call::Read ? 2 : 1, EIO);
        EXPECT_THROW(CopyFileKeepAge(DrivePath("c:\\data.bin"), DrivePath("e:\\data.bin")),
                     CopyError);
        faults::Reset();
        EXPECT_EQ(ReadFile(drives.Host("e:\\data.bin")), "old content");
        EXPECT_EQ(NamesIn("e:"), std::vector<std::string>{"data.bin"});
    }
    EXPECT_EQ(GetFileTimePacked(DrivePath("c:\\data.bin")), PackHostTime(kSomeTime));
}

TEST_F(FileHelpers, CopyFileKeepAgeTellsWhyASourceCouldNotBeReadOrACopyNotBegun) {
    WriteFile(drives.Host("c:\\data.bin"), Pattern(3 * 524287), kSomeTime);
    const std::string advice =
        ". Please close the program causing this or check network settings with your system "
        "administrator!";
    struct Case {
        faults::Call call;
        int nth;
        std::string notice;
    };
    for (const Case& c : std::vector<Case>{
             {faults::Call::Open, 1,
              "Fatal error! Could not open file for reading: c:\\data.bin" + advice},
             {faults::Call::Read, 2,
              "Fatal error! Could not perform blockread: c:\\data.bin" + advice},
             // The second open is the one of the new copy.
             {faults::Call::Open, 2,
              "Fatal error! Could not open file for writing: e:\\data.bin. Possibly bad section "
              "on destination. Try renaming, moving or removing the source or change destination "
              "media. Exiting procedure!"},
         }) {
        dialogs.ClearRecord();
        faults::Arm(c.call, c.nth, EIO);
        try {
            CopyFileKeepAge(DrivePath("c:\\data.bin"), DrivePath("e:\\data.bin"));
            ADD_FAILURE() << "no CopyError for " << c.notice;
        } catch (const CopyError& error) {
            EXPECT_EQ(error.Notice(), c.notice);
        }
        faults::Reset();
        // Whoever catches the failure shows the notice; the helper shows nothing.
        EXPECT_TRUE(dialogs.Boxes().empty());
        EXPECT_FALSE(Exists(drives.Host("e:\\data.bin")));
    }
}

TEST_F(FileHelpers, CopyFileKeepAgeWhenTheRenameFailsKeepsTheOldDestination) {
    WriteFile(drives.Host("c:\\data.bin"), "new content", kSomeTime);
    WriteFile(drives.Host("e:\\data.bin"), "old content");

    faults::Arm(faults::Call::Rename, 1, EIO);
    EXPECT_THROW(CopyFileKeepAge(DrivePath("c:\\data.bin"), DrivePath("e:\\data.bin")), CopyError);
    faults::Reset();

    EXPECT_EQ(ReadFile(drives.Host("e:\\data.bin")), "old content");
    EXPECT_EQ(NamesIn("e:"), std::vector<std::string>{"data.bin"});
}

// A run's copies are not flushed one by one (the run flushes its drive once at the end); the
// copy is still the old file or the complete new one when closing or stamping it fails.
TEST_F(FileHelpers, CopyFileKeepAgeDefersTheFlushAndStillLosesNothing) {
    WriteFile(drives.Host("c:\\data.bin"), Pattern(524287 + 10), kSomeTime);
    WriteFile(drives.Host("e:\\data.bin"), "old content", kSomeTime - 3600);

    for (faults::Call call : {faults::Call::Close, faults::Call::SetTime}) {
        faults::Reset();
        // The source's close comes first; the second close is the copy's.
        faults::Arm(call, call == faults::Call::Close ? 2 : 1, EIO);
        EXPECT_THROW(CopyFileKeepAge(DrivePath("c:\\data.bin"), DrivePath("e:\\data.bin")),
                     CopyError);
        EXPECT_GE(faults::Count(call), call == faults::Call::Close ? 2 : 1);
        faults::Reset();
        EXPECT_EQ(ReadFile(drives.Host("e:\\data.bin")), "old content");
        EXPECT_EQ(GetFileTimePacked(DrivePath("e:\\data.bin")), PackHostTime(kSomeTime - 3600));
        EXPECT_EQ(NamesIn("e:"), std::vector<std::string>{"data.bin"});
    }

    faults::Reset();
    CopyFileKeepAge(DrivePath("c:\\data.bin"), DrivePath("e:\\data.bin"));
    EXPECT_EQ(faults::Count(faults::Call::Sync), 0);
    EXPECT_EQ(ReadFile(drives.Host("e:\\data.bin")), Pattern(524287 + 10));
    EXPECT_EQ(GetFileTimePacked(DrivePath("e:\\data.bin")), PackHostTime(kSomeTime));
    EXPECT_EQ(NamesIn("e:"), std::vector<std::string>{"data.bin"});
}

#endif

}  // namespace
}  // namespace vlm
