// Which failures of making an entry are the medium refusing its name, by the file system that
// holds it: such a name leaves one entry out of the backup, any other failure stops the run.

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/medium.h"

namespace vlm {
namespace {

TEST(MediumRefusal, ANameRefusalDependsOnTheFileSystemThatAnswers) {
    struct Case {
        const char* fileSystem;
        bool refusesNames;
        int code;
        bool refusal;
    } cases[] = {
        {"ext4", false, ENAMETOOLONG, true},
        {"ext4", false, EBADMSG, false},  // a checksum error: a damaged medium
        {"ext4", false, EPERM, false},
        {"vfat", true, EPERM, true},  // FAT through FUSE refuses a name so
        {"vfat", true, EBADMSG, false},
        {"fuse.sshfs", false, EBADMSG, true},  // the SFTP server's "bad message"
        {"fuse.sshfs", false, EIO, false},
    };
    const HostPath folder("/velmora-test-medium");
    for (const Case& c : cases) {
        MediumTraits traits;
        traits.fileSystem = c.fileSystem;
        traits.refusesNames = c.refusesNames;
        ForgetMedia();
        UseMediumBelow(folder, traits);
        EXPECT_EQ(IsNameRefusalAt(c.code, folder / "deep/name"), c.refusal)
            << c.fileSystem << " errno " << c.code;
    }
    ForgetMedia();
}

}  // namespace
}  // namespace vlm
