#include <gtest/gtest.h>

#include <cerrno>

#include "platform/file_system.h"
#include "platform/host_calls.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

#ifdef VELMORA_FAULT_INJECTION
using faults::Call;
#endif
using test::TempDrives;

class AtomicFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFaults();
        test::WriteFile(drives_.HostRoot('c') + "/data.txt", "old content", kOldTime);
    }
    void TearDown() override { ResetFaults(); }

    static void ResetFaults() {
#ifdef VELMORA_FAULT_INJECTION
        faults::Reset();
#endif
    }

    // The folder still holds only the old file, unchanged.
    void ExpectOldFileAlone() {
        const std::vector<test::TreeEntry> tree = test::ReadTree(drives_.HostRoot('c'));
        ASSERT_EQ(tree.size(), 1u) << "a temporary file was left behind";
        EXPECT_EQ(tree[0].path, "data.txt");
        EXPECT_EQ(tree[0].mtime, kOldTime);
        EXPECT_EQ(test::ReadFile(drives_.HostRoot('c') + "/data.txt"), "old content");
    }

    static constexpr std::time_t kOldTime = 1500000000;
    TempDrives drives_{"c"};
};

TEST_F(AtomicFileWriterTest, ReplacesTheTargetInOneStep) {
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Begin(DrivePath("c:\\data.txt")));
    const std::string temp = writer.TemporaryPath().Text();
    EXPECT_TRUE(IsTemporaryFileName(writer.TemporaryPath().Name()));
    ASSERT_TRUE(writer.Write("new "));
    ASSERT_TRUE(writer.Write("content"));
    EXPECT_EQ(test::ReadFile(drives_.HostRoot('c') + "/data.txt"), "old content");
    const PackedTime stamp = PackHostTime(1400000000);
    ASSERT_TRUE(writer.Commit(stamp));
    EXPECT_EQ(test::ReadFile(drives_.HostRoot('c') + "/data.txt"), "new content");
    EXPECT_EQ(GetFileTimePacked(DrivePath("c:\\data.txt")), std::optional<PackedTime>(stamp));
    EXPECT_FALSE(test::Exists(temp));
}

TEST_F(AtomicFileWriterTest, CreatesAMissingTarget) {
    EXPECT_TRUE(WriteFileAtomically(DrivePath("c:\\fresh.txt"), "hello"));
    EXPECT_EQ(ReadWholeFile(DrivePath("c:\\fresh.txt")), std::optional<std::string>("hello"));
}

TEST_F(AtomicFileWriterTest, DestroyedWithoutCommitLeavesTheTarget) {
    {
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.Begin(DrivePath("c:\\data.txt")));
        ASSERT_TRUE(writer.Write("half"));
    }
    ExpectOldFileAlone();
}

TEST_F(AtomicFileWriterTest, RefusesFoldersAndReadOnlyTargets) {
    test::MakeDir(drives_.HostRoot('c') + "/dir");
    test::WriteFile(drives_.HostRoot('c') + "/locked", "x", std::nullopt, 0444);
    AtomicFileWriter writer;
    EXPECT_EQ(writer.Begin(DrivePath("c:\\dir")).Error().code, EISDIR);
    EXPECT_EQ(writer.Begin(DrivePath("c:\\locked")).Error().code, EACCES);
    EXPECT_FALSE(writer.Begin(DrivePath("c:\\missing\\file")));
    EXPECT_EQ(test::ReadTree(drives_.HostRoot('c')).size(), 3u);
}

TEST_F(AtomicFileWriterTest, TargetTurnedReadOnlyBeforeCommitIsKept) {
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Begin(DrivePath("c:\\data.txt")));
    ASSERT_TRUE(writer.Write("new"));
    test::SetMode(drives_.HostRoot('c') + "/data.txt", 0444);
    EXPECT_FALSE(writer.Commit());
    test::SetMode(drives_.HostRoot('c') + "/data.txt", 0644);
    ExpectOldFileAlone();
}

// Sizes around the piece the kernel copies at a time, empty and one byte included.
TEST_F(AtomicFileWriterTest, CopyFromCopiesEveryByteOfFilesOfEverySize) {
    const std::size_t piece = 8u << 20;
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{65537}, piece, piece + 1, 2 * piece + 4095}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            content[i] = static_cast<char>((i * 131 + i / 4099) & 0xFF);
        }
        test::WriteFile(drives_.HostRoot('c') + "/source.bin", content, kOldTime);
        HostFile source;
        ASSERT_TRUE(source.Open(DrivePath("c:\\source.bin"), HostFile::Mode::Read));
        EXPECT_EQ(source.StatusWhenOpened().size, size);
        EXPECT_EQ(source.StatusWhenOpened().modified, source.Stat()->modified);
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.Begin(DrivePath("c:\\copy.bin"), Durability::Deferred));
        ASSERT_EQ(writer.CopyFrom(source).outcome, AtomicFileWriter::CopyOutcome::Done) << size;
        ASSERT_TRUE(writer.Commit(HostTime{kOldTime, 123456789}));
        EXPECT_TRUE(test::ReadFile(drives_.HostRoot('c') + "/copy.bin") == content) << size;
        EXPECT_EQ(GetFileHostTime(DrivePath("c:\\copy.bin")), (HostTime{kOldTime, 123456789}));
    }
}

// Where the kernel cannot copy between two file systems (here a file of /proc, which also
// claims to be empty), the bytes go through a buffer until the real end of the file.
TEST_F(AtomicFileWriterTest, CopyFromReadsWhatTheKernelCannotCopy) {
    drives_.PinTo('p', "/proc/self");
    HostFile source;
    ASSERT_TRUE(source.Open(DrivePath("p:\\status"), HostFile::Mode::Read));
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Begin(DrivePath("c:\\status.txt"), Durability::Deferred));
    ASSERT_EQ(writer.CopyFrom(source).outcome, AtomicFileWriter::CopyOutcome::Done);
    ASSERT_TRUE(writer.Commit());
    const std::string copied = test::ReadFile(drives_.HostRoot('c') + "/status.txt");
    EXPECT_EQ(copied.rfind("Name:", 0), 0u) << copied;
    EXPECT_NE(copied.find("\nPid:"), std::string::npos);
}

TEST_F(AtomicFileWriterTest, TellsARefusedTargetFromAFolderThatCannotBeWritten) {
    test::MakeDir(drives_.HostRoot('c') + "/dir");
    AtomicFileWriter writer;
    EXPECT_FALSE(writer.Begin(DrivePath("c:\\dir")));
    EXPECT_TRUE(writer.TargetRefused());
    EXPECT_FALSE(writer.Begin(DrivePath("c:\\missing\\file")));
    EXPECT_FALSE(writer.TargetRefused());
    EXPECT_TRUE(writer.Begin(DrivePath("c:\\data.txt")));
    EXPECT_FALSE(writer.TargetRefused());
}

#ifdef VELMORA_FAULT_INJECTION
// Every failing step of a whole-file write leaves the old file as it was and no temporary file,
// whether the file is flushed on its own or later with its whole file system.
TEST_F(AtomicFileWriterTest, InjectedFailuresLoseNothing) {
    struct Case {
        Durability durability;
        Call call;
        int nth;
        int error;
    } cases[] = {
        {Durability::SyncEachFile, Call::Open, 1, EACCES},
        {Durability::SyncEachFile, Call::Write, 1, ENOSPC},
        {Durability::SyncEachFile, Call::Write, 2, EIO},
        {Durability::SyncEachFile, Call::Sync, 1, EIO},
        {Durability::SyncEachFile, Call::Close, 1, EIO},
        {Durability::SyncEachFile, Call::SetTime, 1, EROFS},
        {Durability::SyncEachFile, Call::Rename, 1, EIO},
        {Durability::Deferred, Call::Open, 1, EACCES},
        {Durability::Deferred, Call::Write, 1, ENOSPC},
        {Durability::Deferred, Call::Write, 2, EIO},
        {Durability::Deferred, Call::Close, 1, EIO},
        {Durability::Deferred, Call::SetTime, 1, EROFS},
        {Durability::Deferred, Call::Rename, 1, EIO},
    };
    const std::string big(300000, 'b');
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message()
                     << (k.durability == Durability::Deferred ? "deferred" : "synced") << " call "
                     << static_cast<int>(k.call) << " #" << k.nth << " errno " << k.error);
        faults::Reset();
        faults::Arm(k.call, k.nth, k.error);
        AtomicFileWriter writer;
        FileStatus status = writer.Begin(DrivePath("c:\\data.txt"), k.durability);
        // Two writes so that the second one can fail on its own.
        if (status)
            status = writer.Write("new");
        if (status)
            status = writer.Write(big);
        if (status)
            status = writer.Commit(PackHostTime(1400000000));
        EXPECT_FALSE(status);
        EXPECT_EQ(status.Error().code, k.error);
        EXPECT_EQ(status.Error().path, "c:\\data.txt");
        EXPECT_GE(faults::Count(k.call), k.nth) << "the armed call was never made";
        faults::Reset();
        ExpectOldFileAlone();
    }
}

// Only the program's own files are flushed one by one; a deferred write leaves the flush to
// whoever wrote many files, and is otherwise the same old-or-complete replacement.
TEST_F(AtomicFileWriterTest, DeferredDurabilityCommitsWithoutAFlush) {
    // A large deferred file is sent on to the medium piece by piece while it is written; its
    // bytes must arrive whole all the same.
    std::string large(20u << 20, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>('a' + (i * 7 + i / 4093) % 26);
    struct Case {
        Durability durability;
        const std::string* content;
        int flushes;
    } cases[] = {
        {Durability::SyncEachFile, nullptr, 1},
        {Durability::Deferred, nullptr, 0},
        {Durability::Deferred, &large, 0},
    };
    const std::string small = "new content";
    for (const Case& k : cases) {
        const std::string& content = k.content != nullptr ? *k.content : small;
        SCOPED_TRACE(content.size());
        faults::Reset();
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.Begin(DrivePath("c:\\data.txt"), k.durability));
        const std::string temp = writer.TemporaryPath().Text();
        for (std::size_t at = 0; at < content.size(); at += 524287)
            ASSERT_TRUE(writer.Write(std::string_view(content).substr(at, 524287)));
        ASSERT_TRUE(writer.Commit(PackHostTime(1400000000)));
        EXPECT_EQ(faults::Count(Call::Sync), k.flushes);
        EXPECT_TRUE(test::ReadFile(drives_.HostRoot('c') + "/data.txt") == content);
        EXPECT_EQ(GetFileTimePacked(DrivePath("c:\\data.txt")),
                  std::optional<PackedTime>(PackHostTime(1400000000)));
        EXPECT_FALSE(test::Exists(temp));
    }
    faults::Reset();
    EXPECT_TRUE(WriteFileAtomically(DrivePath("c:\\data.txt"), "saved"));
    EXPECT_EQ(faults::Count(Call::Sync), 1) << "the program's own files are flushed at once";
}

TEST(SyncFileSystemOf, FlushesTheFileSystemOfAFolderOrFile) {
    TempDrives drives("c");
    test::WriteFile(drives.HostRoot('c') + "/f", "content");
    faults::Reset();
    EXPECT_TRUE(SyncFileSystemOf(DrivePath("c:\\")));
    EXPECT_TRUE(SyncFileSystemOf(DrivePath("c:\\f")));
    EXPECT_EQ(faults::Count(Call::SyncFileSystem), 2);

    faults::Arm(Call::SyncFileSystem, 1, EIO);
    EXPECT_EQ(SyncFileSystemOf(DrivePath("c:\\")).Error().code, EIO);
    faults::Reset();
    EXPECT_EQ(SyncFileSystemOf(DrivePath("c:\\missing")).Error().code, ENOENT);
    EXPECT_FALSE(SyncFileSystemOf(DrivePath("c:\\..\\f"))) << "a refused path is never opened";
}

TEST_F(AtomicFileWriterTest, FirstWriteFailingWithDiskFull) {
    faults::Arm(Call::Write, 1, ENOSPC);
    const FileStatus written = WriteFileAtomically(DrivePath("c:\\data.txt"), "new content");
    EXPECT_EQ(written.Error().code, ENOSPC);
    EXPECT_EQ(written.Error().Text(), "No space left on device");
    faults::Reset();
    ExpectOldFileAlone();
}

// A kernel copy counts as a read and a write: either failing ends the copy, says which side
// failed, and leaves the old file and no temporary file.
TEST_F(AtomicFileWriterTest, CopyFromFailsOnEitherSideAndLosesNothing) {
    test::WriteFile(drives_.HostRoot('c') + "/source.bin", std::string(100000, 'x'), kOldTime);
    for (const auto& [call, outcome] :
         {std::pair{Call::Read, AtomicFileWriter::CopyOutcome::ReadFailed},
          std::pair{Call::Write, AtomicFileWriter::CopyOutcome::WriteFailed}}) {
        for (const int nth : {1, 2}) {
            HostFile source;
            ASSERT_TRUE(source.Open(DrivePath("c:\\source.bin"), HostFile::Mode::Read));
            AtomicFileWriter writer;
            ASSERT_TRUE(writer.Begin(DrivePath("c:\\data.txt"), Durability::Deferred));
            faults::Arm(call, nth, ENOSPC);
            const AtomicFileWriter::CopyResult copied = writer.CopyFrom(source);
            EXPECT_EQ(copied.outcome, outcome) << nth;
            EXPECT_EQ(copied.error.code, ENOSPC);
            EXPECT_EQ(copied.error.path, call == Call::Read ? "c:\\source.bin" : "c:\\data.txt");
            faults::Reset();
            EXPECT_FALSE(writer.Commit());
            source.Close();
            const auto tree = test::ReadTree(drives_.HostRoot('c'));
            ASSERT_EQ(tree.size(), 2u) << "a temporary file was left behind";
            EXPECT_EQ(test::ReadFile(drives_.HostRoot('c') + "/data.txt"), "old content");
        }
    }
}

TEST(FaultSeam, CountsAndFailsOnlyTheArmedCalls) {
    TempDrives drives("c");
    faults::Reset();
    faults::Arm(Call::MakeDir, 2, EROFS, 2);
    EXPECT_TRUE(CreateDirectory(DrivePath("c:\\one")));
    EXPECT_EQ(CreateDirectory(DrivePath("c:\\two")).Error().code, EROFS);
    EXPECT_FALSE(CreateDirectory(DrivePath("c:\\three")));
    EXPECT_TRUE(CreateDirectory(DrivePath("c:\\four")));
    EXPECT_EQ(faults::Count(Call::MakeDir), 4);
    EXPECT_EQ(faults::Count(Call::Delete), 0);

    faults::Arm(Call::Delete, 1, EIO, -1);  // from now on, every time
    test::WriteFile(drives.HostRoot('c') + "/f", "");
    EXPECT_FALSE(DeleteFile(DrivePath("c:\\f")));
    EXPECT_FALSE(DeleteFile(DrivePath("c:\\f")));
    EXPECT_EQ(faults::Count(Call::Delete), 2);
    faults::Reset();
    EXPECT_TRUE(DeleteFile(DrivePath("c:\\f")));
    EXPECT_EQ(faults::Count(Call::Delete), 1);
    EXPECT_EQ(test::ReadTree(drives.HostRoot('c')).size(), 2u);  // "one" and "four"
}

TEST(FaultSeam, FailedReadsAndListingsAreReported) {
    TempDrives drives("c");
    test::WriteFile(drives.HostRoot('c') + "/f", "content");
    faults::Reset();
    faults::Arm(Call::Read, 1, EIO);
    EXPECT_EQ(ReadWholeFile(DrivePath("c:\\f")).Error().code, EIO);
    faults::Arm(Call::Open, 1, EACCES);
    std::vector<DirEntry> entries;
    EXPECT_EQ(ListDirectory(DrivePath("c:\\"), kAttrAnyFile, entries).Error().code, EACCES);
    faults::Reset();
    EXPECT_EQ(ReadWholeFile(DrivePath("c:\\f")), std::optional<std::string>("content"));
}
#endif  // VELMORA_FAULT_INJECTION

TEST(TemporaryNames, AreRecognised) {
    struct Case {
        const char* name;
        bool temporary;
    } cases[] = {
        {".~vlm0123456789ab.tmp", true},
        {".~vlm.tmp", false},
        {"~vlm1.tmp", false},
        {".~vlm1.tmpx", false},
        {"data.tmp", false},
        {".~vlmx.TMP", false},
        // A person's own files that only look alike are never the program's.
        {".~vlmnotes.tmp", false},
        {".~vlm0123abcd.tmp", false},
        {".~vlm0123456789AB.tmp", false},
        {".~vlm0123456789abc.tmp", false},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(IsTemporaryFileName(k.name), k.temporary) << k.name;
    }
}

}  // namespace
}  // namespace vlm
