#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/path_translation.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::TempDrives;

std::vector<std::string> NamesIn(std::string_view folder, std::uint32_t mask) {
    std::vector<DirEntry> entries;
    EXPECT_TRUE(ListDirectory(DrivePath(folder), mask, entries)) << folder;
    std::vector<std::string> names;
    for (const DirEntry& e : entries) {
        names.push_back(e.name);
    }
    return names;
}

const DirEntry* Find(const std::vector<DirEntry>& entries, std::string_view name) {
    for (const DirEntry& e : entries) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

// A name as the listing orders it: folded to upper case, then its own bytes for ties.
std::pair<std::string, std::string> FoldedThenBytes(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return {folded, std::string(name)};
}

TEST(ListDirectory, SortsByUpperCaseNameThenBytes) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    for (const char* name : {"b.txt", "B.txt", "a", "_x", "Zeta", "[y", "ähnlich", "10", "9"}) {
        test::WriteFile(root + "/" + name, "x");
    }
    // Folded to upper case, '_' (0x5F) and '[' (0x5B) sort after the letters; bytes break ties.
    const std::vector<std::string> expected = {"10",   "9",  "a",  "B.txt",  "b.txt",
                                               "Zeta", "[y", "_x", "ähnlich"};
    EXPECT_EQ(NamesIn("c:\\", kAttrAnyFile), expected);
}

// Names that share long beginnings, differ only in case past the 16th byte, or are the
// beginning of one another: the listing's order is the folded order, byte order on ties, and
// every listed name is found again by FindListedEntry.
TEST(ListDirectory, SortsLongNamesWithSharedBeginningsLikeShortOnes) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    const std::vector<std::string> names = {
        "file000123.dat",
        "FILE000123.dat",
        "file000123.da",
        "file000123.dat2",
        "a_long_common_start_x",
        "a_long_common_start_X",
        "A_LONG_COMMON_START_y",
        "a_long_common_start_",
        "a_long_common_start_x.bak",
        "a_long_common_startZ",
        "a_long_common_start[",
        "abcdefghABCDEFGH",
        "abcdefghabcdefgh",
        "abcdefghabcdefgh1",
        "abcdefgh",
        "ABCDEFG",
        "abcdefghabcdefg\xc3\xa4",
        "\xc3\xa4hnlich-0123456789",
    };
    for (const std::string& name : names) {
        test::WriteFile(root + "/" + name, "x");
    }
    std::vector<std::string> expected = names;
    const auto folded = [](std::string text) {
        for (char& c : text) {
            c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        }
        return text;
    };
    std::sort(expected.begin(), expected.end(), [&](const std::string& a, const std::string& b) {
        const std::string fa = folded(a);
        const std::string fb = folded(b);
        const auto bytes = [](const std::string& t) {
            return std::vector<unsigned char>(t.begin(), t.end());
        };
        return fa != fb ? bytes(fa) < bytes(fb) : bytes(a) < bytes(b);
    });
    EXPECT_EQ(NamesIn("c:\\", kAttrAnyFile), expected);

    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(DrivePath("c:\\"), kAttrAnyFile, entries));
    for (const std::string& name : names) {
        const DirEntry* found = FindListedEntry(entries, name);
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(found->name, name);
    }
    EXPECT_EQ(FindListedEntry(entries, "file000123.DAT"), nullptr);
    EXPECT_EQ(FindListedEntry(entries, "a_long_common_start_Y"), nullptr);
}

TEST(ListDirectory, ReportsAttributesSizesAndTimes) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    const std::time_t noon = 1700049600;  // 2023-11-15 12:00:00 UTC
    test::WriteFile(root + "/plain.txt", "12345", noon);
    test::WriteFile(root + "/.hidden", "", noon);
    test::WriteFile(root + "/locked.txt", "abc", noon, 0444);
    test::MakeDir(root + "/folder");
    test::MakeDir(root + "/.config");
    test::MakeFifo(root + "/pipe");

    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(DrivePath("c:"), kAttrAnyFile, entries));
    struct Expect {
        const char* name;
        EntryKind kind;
        std::uint32_t attributes;
        std::uint64_t size;
    } table[] = {
        {"plain.txt", EntryKind::File, kAttrArchive, 5},
        {".hidden", EntryKind::File, kAttrArchive | kAttrHidden, 0},
        {"locked.txt", EntryKind::File, kAttrArchive | kAttrReadOnly, 3},
        {"folder", EntryKind::Directory, kAttrDirectory, 0},
        {".config", EntryKind::Directory, kAttrDirectory | kAttrHidden, 0},
        {"pipe", EntryKind::Special, 0, 0},
    };
    ASSERT_EQ(entries.size(), std::size(table));
    for (const Expect& x : table) {
        const DirEntry* e = Find(entries, x.name);
        ASSERT_NE(e, nullptr) << x.name;
        EXPECT_EQ(e->kind, x.kind) << x.name;
        EXPECT_EQ(e->attributes, x.attributes) << x.name;
        EXPECT_EQ(e->size, x.size) << x.name;
    }
    EXPECT_EQ(Find(entries, "plain.txt")->time, PackHostTime(noon));
}

TEST(ListDirectory, MaskSelectsFoldersAndHiddenEntries) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    test::WriteFile(root + "/file", "");
    test::WriteFile(root + "/.hiddenfile", "");
    test::WriteFile(root + "/readonly", "", std::nullopt, 0444);
    test::MakeDir(root + "/dir");
    test::MakeDir(root + "/.hiddendir");
    struct Case {
        std::uint32_t mask;
        std::vector<std::string> names;
    } cases[] = {
        {63, {".hiddendir", ".hiddenfile", "dir", "file", "readonly"}},
        {39, {".hiddenfile", "file", "readonly"}},
        {0, {"file", "readonly"}},
        {kAttrDirectory, {"dir", "file", "readonly"}},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(NamesIn("c:\\", k.mask), k.names) << "mask " << k.mask;
    }
}

TEST(ListDirectory, LinkToFolderIsListedAsLinkAndNotEntered) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    test::WriteFile(root + "/real/inside.txt", "data");
    test::MakeSymlink(root + "/real", root + "/shortcut");
    test::MakeSymlink(root + "/nowhere", root + "/dangling");

    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(DrivePath("c:\\"), kAttrAnyFile, entries));
    const DirEntry* link = Find(entries, "shortcut");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->kind, EntryKind::Link);
    EXPECT_EQ(link->attributes & kAttrDirectory, 0u);
    const DirEntry* dangling = Find(entries, "dangling");
    ASSERT_NE(dangling, nullptr);
    EXPECT_EQ(dangling->kind, EntryKind::Link);
    // Without the directory bit the link is not listed as a folder with mask 16 alone either.
    EXPECT_EQ(QueryEntry(DrivePath("c:\\shortcut"))->kind, EntryKind::Link);
    // A named path follows the link.
    EXPECT_TRUE(DirectoryExists(DrivePath("c:\\shortcut")));
    EXPECT_FALSE(FileExists(DrivePath("c:\\shortcut")));
}

TEST(ListDirectory, NameWithBackslashStaysOneComponent) {
    TempDrives drives("c");
    test::WriteFile(drives.HostRoot('c') + "/a\\b.txt", "x");
    const std::string shown = "a" + std::string(kBackslashStandIn) + "b.txt";
    EXPECT_EQ(NamesIn("c:", kAttrAnyFile), std::vector<std::string>{shown});
    EXPECT_TRUE(FileExists(DrivePath("c:\\" + shown)));
    EXPECT_TRUE(DeleteFile(DrivePath("c:\\" + shown)));
    EXPECT_TRUE(NamesIn("c:", kAttrAnyFile).empty());
}

// The quick listing tells the same names, order and kinds as the full one, with only the bits
// that need no stat of the entry; links and special files are still never taken for what they
// point at.
TEST(ListDirectory, NamesAndKindsAgreeWithTheFullListing) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    test::WriteFile(root + "/plain.txt", "12345", 1700049600);
    test::WriteFile(root + "/.hidden", "x");
    test::WriteFile(root + "/locked.txt", "abc", std::nullopt, 0444);
    test::WriteFile(root + "/a\\b.txt", "x");
    test::MakeDir(root + "/folder");
    test::MakeDir(root + "/.config");
    test::MakeFifo(root + "/pipe");
    test::MakeSymlink(root + "/folder", root + "/to-folder");
    test::MakeSymlink(root + "/plain.txt", root + "/to-file");

    const std::uint32_t kKnownWithoutStat = kAttrDirectory | kAttrHidden | kAttrArchive;
    for (const std::uint32_t mask : {kAttrAnyFile, 39u, 0u}) {
        SCOPED_TRACE(::testing::Message() << "mask " << mask);
        std::vector<DirEntry> full;
        std::vector<DirEntry> quick;
        ASSERT_TRUE(ListDirectory(DrivePath("c:\\"), mask, full));
        ASSERT_TRUE(ListDirectory(DrivePath("c:\\"), mask, quick, ListDetail::NamesAndKinds));
        ASSERT_EQ(quick.size(), full.size());
        for (std::size_t i = 0; i < full.size(); ++i) {
            SCOPED_TRACE(full[i].name);
            EXPECT_EQ(quick[i].name, full[i].name);
            EXPECT_EQ(quick[i].kind, full[i].kind);
            EXPECT_EQ(quick[i].attributes, full[i].attributes & kKnownWithoutStat);
            EXPECT_EQ(quick[i].size, 0u);
            EXPECT_EQ(quick[i].time, 0u);
        }
    }
    std::vector<DirEntry> quick;
    ASSERT_TRUE(ListDirectory(DrivePath("c:\\"), kAttrAnyFile, quick, ListDetail::NamesAndKinds));
    EXPECT_EQ(quick.size(), 9u);
    EXPECT_EQ(Find(quick, "to-folder")->kind, EntryKind::Link);
    EXPECT_EQ(Find(quick, "pipe")->kind, EntryKind::Special);
    EXPECT_EQ(Find(quick, ".config")->attributes, kAttrDirectory | kAttrHidden);
}

TEST(FindListedEntry, FindsExactlyTheNameAsked) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    for (const char* name : {"b.txt", "B.txt", "a", "_x", "[y", "ähnlich", "10", "9", "a\\b"}) {
        test::WriteFile(root + "/" + name, "x");
    }
    test::MakeDir(root + "/Dir");
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(DrivePath("c:\\"), kAttrAnyFile, entries, ListDetail::NamesAndKinds));
    const std::string standIn = "a" + std::string(kBackslashStandIn) + "b";
    struct Case {
        std::string name;
        bool found;
    } cases[] = {
        {"b.txt", true},   {"B.txt", true},  {"a", true},    {"_x", true},    {"[y", true},
        {"ähnlich", true}, {"10", true},     {"9", true},    {standIn, true}, {"Dir", true},
        {"A", false},      {"b.TXT", false}, {"dir", false}, {"1", false},    {"", false},
        {"zz", false},     {"a\\b", false},
    };
    for (const Case& k : cases) {
        const DirEntry* entry = FindListedEntry(entries, k.name);
        EXPECT_EQ(entry != nullptr, k.found) << k.name;
        if (entry != nullptr) {
            EXPECT_EQ(entry->name, k.name);
        }
    }
    EXPECT_EQ(FindListedEntry(entries, "Dir")->kind, EntryKind::Directory);
    EXPECT_EQ(FindListedEntry({}, "a"), nullptr);
}

// A walk asks a listing for the names of another folder in their shared order, one cursor
// for the whole walk: a name is found however the asking jumps, repeats or goes back.
TEST(FolderListing, FindFromFindsNamesAskedInOrderAndOutOfIt) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    for (const char* name : {"a", "B", "b", "c.txt", "Dir", "file10", "file9", "zz"}) {
        test::WriteFile(root + "/" + name, "x");
    }
    FolderListing listing;
    ASSERT_TRUE(listing.Read(DrivePath("c:\\"), kAttrAnyFile, ListDetail::NamesAndKinds));
    struct Ask {
        const char* name;
        bool found;
    } asks[] = {
        {"0", false},      {"a", true},      {"A", false},   {"B", true},
        {"B", true},       {"b", true},      {"c", false},   {"c.txt", true},
        {"dir", false},    {"file10", true}, {"a", true},    {"file9", true},
        {"file99", false}, {"zz", true},     {"zzz", false}, {"c.txt", true},
    };
    std::size_t cursor = 0;
    for (const Ask& ask : asks) {
        const std::size_t at = listing.FindFrom(ask.name, cursor);
        EXPECT_EQ(at != FolderListing::npos, ask.found) << ask.name;
        if (at != FolderListing::npos) {
            EXPECT_EQ(listing.Name(at), ask.name);
        }
        EXPECT_EQ(listing.Find(ask.name), at) << ask.name;
    }
}

// A wide folder, its files made in an order unlike the listing's: the compact listing holds
// the same entries in the same order as the full one, each with its own size, time and bits
// (the sort moves every entry's details with its name).
TEST(FolderListing, AWideFolderKeepsEveryEntrysDetailsWithItsName) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    std::vector<std::string> names;
    for (int i = 0; i < 1500; ++i) {
        // Shared beginnings longer than the sort's packed key, and case twins.
        const std::string number = std::to_string((i * 7919) % 1500);
        names.push_back((i % 3 == 0 ? "Photo_2026_12_07_" : "photo_2026_12_07_") + number);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        test::WriteFile(root + "/" + names[i], std::string(i % 97, 'x'),
                        std::time_t{1600000000} + static_cast<std::time_t>(i) * 2,
                        i % 5 == 0 ? 0444 : 0640);
    }
    std::vector<DirEntry> entries;
    FolderListing listing;
    ASSERT_TRUE(ListDirectory(DrivePath("c:\\"), kAttrAnyFile, entries));
    ASSERT_TRUE(listing.Read(DrivePath("c:\\"), kAttrAnyFile));
    ASSERT_EQ(listing.size(), names.size());
    ASSERT_EQ(entries.size(), names.size());
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < listing.size(); ++i) {
        if (i > 0) {
            ASSERT_LT(FoldedThenBytes(listing.Name(i - 1)), FoldedThenBytes(listing.Name(i)));
        }
        const DirEntry entry = listing.Entry(i);
        const std::size_t made = static_cast<std::size_t>(
            std::find(names.begin(), names.end(), entry.name) - names.begin());
        ASSERT_LT(made, names.size()) << entry.name;
        EXPECT_EQ(entry.name, entries[i].name);
        EXPECT_EQ(entry.size, made % 97) << entry.name;
        EXPECT_EQ(entry.modified.seconds, 1600000000 + static_cast<std::int64_t>(made) * 2)
            << entry.name;
        EXPECT_EQ(entry.permissions, made % 5 == 0 ? 0444u : 0640u) << entry.name;
        EXPECT_EQ(entry.attributes, entries[i].attributes) << entry.name;
        EXPECT_EQ(entry.time, entries[i].time) << entry.name;
        EXPECT_EQ(listing.FindFrom(entry.name, cursor), i);
    }
}

TEST(ListDirectory, FailsForMissingFoldersAndFiles) {
    TempDrives drives("c");
    test::WriteFile(drives.HostRoot('c') + "/file", "");
    std::vector<DirEntry> entries{DirEntry{}};
    EXPECT_EQ(ListDirectory(DrivePath("c:\\missing"), kAttrAnyFile, entries).Error().code, ENOENT);
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(ListDirectory(DrivePath("c:\\file"), kAttrAnyFile, entries));
    EXPECT_FALSE(ListDirectory(DrivePath("c:\\.."), kAttrAnyFile, entries));
}

TEST(DeleteFile, OnALinkRemovesOnlyTheLink) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    test::WriteFile(root + "/real/inside.txt", "data");
    test::WriteFile(root + "/target.txt", "keep");
    test::MakeSymlink(root + "/real", root + "/dirlink");
    test::MakeSymlink(root + "/target.txt", root + "/filelink");

    EXPECT_TRUE(DeleteFile(DrivePath("c:\\dirlink")));
    EXPECT_TRUE(DeleteFile(DrivePath("c:\\filelink")));
    EXPECT_FALSE(test::Exists(root + "/dirlink"));
    EXPECT_FALSE(test::Exists(root + "/filelink"));
    EXPECT_EQ(test::ReadFile(root + "/real/inside.txt"), "data");
    EXPECT_EQ(test::ReadFile(root + "/target.txt"), "keep");
}

TEST(DeleteFile, RefusesFoldersAndMissingItems) {
    TempDrives drives("c");
    test::MakeDir(drives.HostRoot('c') + "/dir");
    EXPECT_FALSE(DeleteFile(DrivePath("c:\\dir")));
    EXPECT_TRUE(test::Exists(drives.HostRoot('c') + "/dir"));
    EXPECT_EQ(DeleteFile(DrivePath("c:\\missing")).Error().code, ENOENT);
}

// Root may write anything on the host; these rules must hold all the same.
TEST(ReadOnly, FileIsNeitherDeletedNorWrittenNorReplacedNorStamped) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    const std::time_t old = 1600000000;
    test::WriteFile(root + "/locked.txt", "original", old, 0444);
    test::WriteFile(root + "/other.txt", "intruder");

    EXPECT_EQ(DeleteFile(DrivePath("c:\\locked.txt")).Error().code, EACCES);

    HostFile file;
    EXPECT_EQ(file.Open(DrivePath("c:\\locked.txt"), HostFile::Mode::Truncate).Error().code,
              EACCES);
    EXPECT_EQ(file.Open(DrivePath("c:\\locked.txt"), HostFile::Mode::Append).Error().code, EACCES);

    EXPECT_FALSE(RenameReplacing(DrivePath("c:\\other.txt"), DrivePath("c:\\locked.txt")));
    EXPECT_FALSE(WriteFileAtomically(DrivePath("c:\\locked.txt"), "new"));
    EXPECT_FALSE(SetFileTimePacked(DrivePath("c:\\locked.txt"), PackHostTime(old + 86400)));

    EXPECT_EQ(test::ReadFile(root + "/locked.txt"), "original");
    const std::vector<test::TreeEntry> tree = test::ReadTree(root);
    ASSERT_EQ(tree.size(), 2u);  // no temporary file left either
    EXPECT_EQ(tree[0].path, "locked.txt");
    EXPECT_EQ(tree[0].mtime, old);
    EXPECT_TRUE(tree[0].readOnly);
    EXPECT_EQ(tree[1].path, "other.txt");
    EXPECT_TRUE(file.Open(DrivePath("c:\\locked.txt"), HostFile::Mode::Read));
}

TEST(ReadOnly, FolderIsNotRemovedButCanBeListed) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    test::MakeDir(root + "/locked");
    test::SetMode(root + "/locked", 0555);
    EXPECT_EQ(RemoveDirectory(DrivePath("c:\\locked")).Error().code, EACCES);
    EXPECT_TRUE(test::Exists(root + "/locked"));
    EXPECT_EQ(GetFileAttributes(DrivePath("c:\\locked")), kAttrDirectory | kAttrReadOnly);
    EXPECT_TRUE(NamesIn("c:\\locked", kAttrAnyFile).empty());
}

TEST(Directories, CreateAndRemove) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    EXPECT_TRUE(CreateDirectory(DrivePath("c:\\new")));
    EXPECT_TRUE(DirectoryExists(DrivePath("c:\\new")));
    EXPECT_EQ(CreateDirectory(DrivePath("c:\\new")).Error().code, EEXIST);
    EXPECT_FALSE(CreateDirectory(DrivePath("c:\\missing\\child")));
    EXPECT_FALSE(CreateDirectory(DrivePath("c:\\new\\..\\escape")));

    test::WriteFile(root + "/new/file", "");
    EXPECT_FALSE(RemoveDirectory(DrivePath("c:\\new")));  // not empty
    EXPECT_EQ(RemoveDirectory(DrivePath("c:\\new\\file")).Error().code, ENOTDIR);
    EXPECT_TRUE(DeleteFile(DrivePath("c:\\new\\file")));
    EXPECT_TRUE(RemoveDirectory(DrivePath("c:\\new")));
    EXPECT_FALSE(test::Exists(root + "/new"));
}

TEST(Attributes, QueriesOfNamedPaths) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    test::WriteFile(root + "/f.txt", "x");
    test::WriteFile(root + "/.h", "x");
    struct Case {
        const char* path;
        std::uint32_t attributes;
        bool file, dir;
    } cases[] = {
        {"c:\\f.txt", kAttrArchive, true, false},
        {"c:\\.h", kAttrArchive | kAttrHidden, true, false},
        {"c:\\", kAttrDirectory, false, true},
        {"c:", kAttrDirectory, false, true},
        {"c:\\missing", kInvalidAttributes, false, false},
        {"c:\\f.txt\\..", kInvalidAttributes, false, false},
        {"q:\\unmapped", kInvalidAttributes, false, false},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(GetFileAttributes(DrivePath(k.path)), k.attributes) << k.path;
        EXPECT_EQ(FileExists(DrivePath(k.path)), k.file) << k.path;
        EXPECT_EQ(DirectoryExists(DrivePath(k.path)), k.dir) << k.path;
    }
}

TEST(Sizes, SparseFileOfFiveGibibytesHasItsTrueSize) {
    TempDrives drives("c");
    const std::uint64_t fiveGiB = 5368709120ull;
    test::MakeSizedFile(drives.HostRoot('c') + "/big.bin", fiveGiB);
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(DrivePath("c:\\"), kAttrAnyFile, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, fiveGiB);
    EXPECT_EQ(QueryEntry(DrivePath("c:\\big.bin"))->size, fiveGiB);
    HostFile file;
    ASSERT_TRUE(file.Open(DrivePath("c:\\big.bin"), HostFile::Mode::Read));
    EXPECT_EQ(file.Size(), std::optional<std::uint64_t>(fiveGiB));
    ASSERT_TRUE(file.Seek(fiveGiB - 1));
    char byte = 'x';
    std::size_t got = 0;
    EXPECT_TRUE(file.Read(&byte, 1, got));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(byte, '\0');
}

TEST(HostFile, WritesAppendsAndReads) {
    TempDrives drives("c");
    HostFile out;
    ASSERT_TRUE(out.Open(DrivePath("c:\\log.txt"), HostFile::Mode::Append));
    ASSERT_TRUE(out.Write("one\n", 4));
    ASSERT_TRUE(out.Close());
    ASSERT_TRUE(out.Open(DrivePath("c:\\log.txt"), HostFile::Mode::Append));
    ASSERT_TRUE(out.Write("two\n", 4));
    EXPECT_TRUE(out.Close());
    EXPECT_TRUE(out.Close());  // twice is harmless
    EXPECT_EQ(ReadWholeFile(DrivePath("c:\\log.txt")), std::optional<std::string>("one\ntwo\n"));

    ASSERT_TRUE(out.Open(DrivePath("c:\\log.txt"), HostFile::Mode::Truncate));
    ASSERT_TRUE(out.Write("x", 1));
    HostFile moved = std::move(out);
    EXPECT_FALSE(out.IsOpen());
    EXPECT_TRUE(moved.Close());
    EXPECT_EQ(ReadWholeFile(DrivePath("c:\\log.txt")), std::optional<std::string>("x"));
}

TEST(HostFile, NeverOpensFoldersOrSpecialFiles) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    test::MakeDir(root + "/dir");
    test::MakeFifo(root + "/pipe");
    HostFile file;
    for (HostFile::Mode mode :
         {HostFile::Mode::Read, HostFile::Mode::Truncate, HostFile::Mode::Append}) {
        EXPECT_FALSE(file.Open(DrivePath("c:\\dir"), mode));
        // Opening a FIFO must neither hang nor succeed.
        EXPECT_FALSE(file.Open(DrivePath("c:\\pipe"), mode));
    }
    EXPECT_FALSE(file.Open(DrivePath("c:\\missing"), HostFile::Mode::Read));
    EXPECT_EQ(ReadWholeFile(DrivePath("c:\\dir")), std::nullopt);
}

TEST(RenameReplacing, ReplacesWritableFilesButNotFolders) {
    TempDrives drives("c");
    const std::string root = drives.HostRoot('c');
    test::WriteFile(root + "/new", "new");
    test::WriteFile(root + "/old", "old");
    test::MakeDir(root + "/dir");
    EXPECT_EQ(RenameReplacing(DrivePath("c:\\new"), DrivePath("c:\\dir")).Error().code, EISDIR);
    EXPECT_TRUE(RenameReplacing(DrivePath("c:\\new"), DrivePath("c:\\old")));
    EXPECT_EQ(test::ReadFile(root + "/old"), "new");
    EXPECT_FALSE(test::Exists(root + "/new"));
}

TEST(FileTimes, SetAndGetRoundTrip) {
    TempDrives drives("c");
    test::WriteFile(drives.HostRoot('c') + "/f", "x");
    const PackedTime stamp = PackHostTime(1234567890);
    ASSERT_TRUE(SetFileTimePacked(DrivePath("c:\\f"), stamp));
    EXPECT_EQ(GetFileTimePacked(DrivePath("c:\\f")), std::optional<PackedTime>(stamp));
    EXPECT_EQ(QueryEntry(DrivePath("c:\\f"))->time, stamp);
    EXPECT_EQ(GetFileDateTime(DrivePath("c:\\f")),
              std::optional<DateTime>(HostTimeToDateTime(UnpackToHostTime(stamp))));
    EXPECT_FALSE(SetFileTimePacked(DrivePath("c:\\missing"), stamp));
}

}  // namespace
}  // namespace vlm
