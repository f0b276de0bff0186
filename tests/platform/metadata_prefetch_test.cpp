#include "platform/metadata_prefetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::TempDrives;

// Every entry of the tree below `root` is looked at exactly once, whatever the number of
// workers sharing the tree; a link is looked at itself and never gone through, so what lies
// behind a link (a folder outside the tree, or the tree's own top) is not walked.
TEST(MetadataPrefetch, LooksAtEveryEntryOnceAndGoesThroughNoLink) {
    TempDrives drives("cd");
    const std::string root = drives.HostRoot('c');
    const std::string outside = drives.HostRoot('d');
    for (int i = 0; i < 40; ++i) {
        test::WriteFile(outside + "/elsewhere" + std::to_string(i), "x");
    }
    // 3 folders at the top, 2 files each, one folder inside each with 3 files: 3 + 6 + 3 + 9.
    for (const char* top : {"A", "b", "C"}) {
        test::WriteFile(root + "/" + top + "/one", "1");
        test::WriteFile(root + "/" + top + "/two", "2");
        for (const char* name : {"x", "y", "z"}) {
            test::WriteFile(root + "/" + top + "/inner/" + name, "3");
        }
    }
    test::MakeSymlink(outside, root + "/A/to-outside");
    test::MakeSymlink(root, root + "/b/to-top");
    test::MakeFifo(root + "/C/pipe");
    const std::uint64_t expected = 3 + 6 + 3 + 9 + 3;  // and the two links and the pipe
    struct Case {
        const char* folder;
        int workers;
        std::uint64_t looked;
    } cases[] = {
        {"c:\\", 1, expected}, {"c:\\", 2, expected}, {"c:\\", 5, expected},
        {"c:\\A", 2, 4 + 3},   {"c:\\nothing", 2, 0}, {"q:\\", 2, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.folder << ", " << k.workers << " workers");
        MetadataPrefetch prefetch({DrivePath(k.folder)}, k.workers);
        prefetch.Stop();  // waits for the workers, which end at the end of their small tree
        // Stop may come before a worker began: then the run goes on without read-ahead.
        EXPECT_LE(prefetch.EntriesLooked(), k.looked);
        MetadataPrefetch whole;
        whole.Start({DrivePath(k.folder)}, k.workers);
        while (whole.EntriesLooked() < k.looked) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        whole.Stop();
        EXPECT_EQ(whole.EntriesLooked(), k.looked);
    }
}

// A tree that is in memory already gives read-ahead nothing to win: each worker ends after its
// first entries instead of walking the whole tree beside the run. (A tree just written is in
// memory.)
TEST(MetadataPrefetch, ATreeInMemoryIsNotWalkedToTheEnd) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    for (int folder = 0; folder < 30; ++folder) {
        for (int file = 0; file < 200; ++file) {
            test::WriteFile(root + "/f" + std::to_string(folder) + "/" + std::to_string(file), "");
        }
    }
    MetadataPrefetch prefetch;
    prefetch.Start({DrivePath("c:\\")}, 2);
    // The workers end by themselves; the destructor of `prefetch` would otherwise wait for
    // the whole tree.
    while (prefetch.EntriesLooked() < 2 * 1024) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    prefetch.Stop();
    EXPECT_EQ(prefetch.EntriesLooked(), 2u * 1024u);
}

// No worker goes on after Stop: what was counted when Stop returned stays the count.
TEST(MetadataPrefetch, NoWorkerOutlivesStop) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    for (int folder = 0; folder < 20; ++folder) {
        for (int file = 0; file < 20; ++file) {
            test::WriteFile(root + "/f" + std::to_string(folder) + "/" + std::to_string(file), "");
        }
    }
    for (int round = 0; round < 20; ++round) {
        MetadataPrefetch prefetch({DrivePath("c:\\"), DrivePath("c:\\f3")}, 2);
        prefetch.Stop();
        const std::uint64_t atStop = prefetch.EntriesLooked();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(prefetch.EntriesLooked(), atStop);
        prefetch.Start({DrivePath("c:\\")}, 1);  // a stopped read-ahead can be started again
    }
}

}  // namespace
}  // namespace vlm
