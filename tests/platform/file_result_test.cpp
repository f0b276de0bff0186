#include "platform/file_result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <vector>

#include "platform/file_system.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

// A failure carries its errno and path up to whoever reads it, and a host call that failed
// without an errno is still a failure.
TEST(FileResult, CarriesTheErrnoThePathAndTheHostText) {
    struct Case {
        FileError error;
        int code;
        const char* text;
    };
    const std::vector<Case> cases = {
        {{ENOSPC, "e:\\big.iso"}, ENOSPC, "No space left on device"},
        {{EACCES, "c:\\locked"}, EACCES, "Permission denied"},
        {{0, "c:\\said nothing"}, EIO, "Input/output error"},
    };
    for (const Case& k : cases) {
        const FileStatus status = k.error;
        const FileResult<int> result = k.error;
        EXPECT_FALSE(status);
        EXPECT_FALSE(result);
        for (const FileError& carried : {status.Error(), result.Error()}) {
            EXPECT_EQ(carried.code, k.code);
            EXPECT_EQ(carried.path, k.error.path);
            EXPECT_EQ(carried.Text(), k.text);
        }
        EXPECT_EQ(result.value_or(7), 7);
        EXPECT_FALSE(result.Status());
    }
    const FileResult<int> value = 5;
    EXPECT_TRUE(value);
    EXPECT_EQ(*value, 5);
    EXPECT_EQ(value.Error().code, 0);
    EXPECT_TRUE(FileStatus());
}

// A path the drive table cannot place, or no path at all, is a path where nothing is: every
// service answers ENOENT and touches nothing.
TEST(FileResult, ARefusedDrivePathIsNothingThere) {
    test::TempDrives drives("c");
    test::WriteFile(drives.HostRoot('c') + "/f", "x");
    const std::vector<DrivePath> refused = {DrivePath("c:\\..\\c\\f"), DrivePath("q:\\f"),
                                            DrivePath()};
    for (const DrivePath& path : refused) {
        SCOPED_TRACE(path.Text());
        std::vector<DirEntry> entries;
        HostFile file;
        AtomicFileWriter writer;
        const std::vector<FileStatus> statuses = {
            QueryEntry(path).Status(),
            DeleteFile(path),
            CreateDirectory(path),
            RenameReplacing(DrivePath("c:\\f"), path),
            ListDirectory(path, kAttrAnyFile, entries),
            file.Open(path, HostFile::Mode::Truncate),
            writer.Begin(path),
            ReadWholeFile(path).Status(),
        };
        for (const FileStatus& status : statuses)
            EXPECT_EQ(status.Error().code, ENOENT);
        EXPECT_FALSE(FileExists(path));
    }
    EXPECT_EQ(test::ReadFile(drives.HostRoot('c') + "/f"), "x");
}

}  // namespace
}  // namespace vlm
