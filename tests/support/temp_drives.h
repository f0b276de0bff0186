#pragma once
// Test support: drive letters over a fresh temporary folder, and small helpers that build and
// read back real trees on the host.
//
//   vlm::test::TempDrives drives("ce");          // c: and e: are <tmp>/c and <tmp>/e
//   vlm::test::WriteFile(drives.Host("c:\\a.txt"), "hello");
//   ... run code that works on drive paths ...
//   EXPECT_EQ(vlm::test::ReadTree(drives.HostRoot('e')), expected);

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_table.h"

namespace vlm::test {

// A fresh temporary folder with drive letters pinned to sub-folders of it, made the active
// drive table for as long as the object lives. The previous table comes back on destruction,
// and the whole folder is removed (read-only items included).
class TempDrives {
public:
    // Pins every letter of `letters` to <Base()>/<letter>, creating those folders.
    explicit TempDrives(std::string_view letters = "cde");
    ~TempDrives();
    TempDrives(const TempDrives&) = delete;
    TempDrives& operator=(const TempDrives&) = delete;

    // The temporary folder that holds everything (host path).
    const std::string& Base() const { return base_; }
    // The host folder of `letter` (as pinned).
    std::string HostRoot(char letter) const;
    // The host path of a drive path; fails the test when the table refuses it.
    std::string Host(std::string_view drivePath) const;

    // Pins `letter` to <Base()>/<letter>, creating the folder when `create` (a pin without its
    // folder is a drive that is not present).
    void Pin(char letter, bool create = true);
    // Pins `letter` to any host folder.
    void PinTo(char letter, const std::string& hostFolder);
    void Unpin(char letter);
    // The mount points the table takes fstab to list, and the [Plain folders] of drives.ini.
    void SetFstabMountPoints(std::vector<std::string> hostFolders);
    void SetPlainFolder(char letter, bool plain);
    // The mount table the table reads: a file the test writes in mountinfo's form.
    void UseMountTable(const std::string& mountInfoFile);

    const DriveTable& Table() const { return table_; }
    // What the table reads of the mounts: only those below Base(), with the places for disks
    // (media, run/media, mnt) inside Base() too. The machine's own disks are never seen.
    DriveSources Sources() const;
    // drive-sources.ini in `programFolder`, naming Sources(): a program started over that
    // folder, or a table loaded from it, sees only this test's mounts.
    void WriteSourcesInto(const std::string& programFolder) const;

private:
    void Activate();

    std::string base_;
    DriveTable table_;
    DriveTable previous_;
};

// A tmpfs mounted on an existing folder for as long as the object lives. Mounting needs a
// privilege a test may not have: then Mounted() is false and Error() says why, for the skip.
class TmpfsMount {
public:
    explicit TmpfsMount(std::string hostFolder);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }
    // Unmounts now; true when it went.
    bool Unmount();

private:
    std::string folder_;
    bool mounted_ = false;
    std::string error_;
};

// Builders on host paths. Each fails the test (ADD_FAILURE) when the host refuses.
// Creates the missing parent folders of `hostPath` too.
void WriteFile(const std::string& hostPath, std::string_view content,
               std::optional<std::time_t> mtime = std::nullopt,
               std::optional<mode_t> mode = std::nullopt);
// A sparse file of `size` bytes.
void MakeSizedFile(const std::string& hostPath, std::uint64_t size);
void MakeDir(const std::string& hostPath);  // with missing parents
void MakeSymlink(const std::string& target, const std::string& linkPath);
void MakeFifo(const std::string& hostPath);
void SetMtime(const std::string& hostPath, std::time_t mtime);  // does not follow a link
void SetMode(const std::string& hostPath, mode_t mode);
std::string ReadFile(const std::string& hostPath);
bool Exists(const std::string& hostPath);  // without following a link
// Removes a whole tree, making read-only folders writable first (test clean-up only).
void RemoveTree(const std::string& hostPath);

// One item of a tree read back from the host.
struct TreeEntry {
    std::string path;        // relative to the root, '/' separated
    char kind = 'f';         // 'f' file, 'd' folder, 'l' link, 's' special
    std::uint64_t size = 0;  // files only
    std::string content;     // files: an FNV-1a hash in hex; links: the link's target
    std::time_t mtime = 0;   // files and folders; 0 for links and special files
    bool readOnly = false;   // owner-write bit clear

    bool operator==(const TreeEntry&) const = default;
};
void PrintTo(const TreeEntry& entry, std::ostream* out);

struct TreeOptions {
    bool withFolderTimes = false;  // folder mtimes change whenever an entry is added or removed
    bool withFileTimes = true;
};

// Every item below `hostRoot` (not the root itself), sorted by path. Links are not followed.
std::vector<TreeEntry> ReadTree(const std::string& hostRoot, TreeOptions options = {});

}  // namespace vlm::test
