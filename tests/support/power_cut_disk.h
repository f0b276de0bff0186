#pragma once
// Test support: a disk that loses power. A folder is mounted through the recording file system
// (power_cut/power_cut_fs.cpp); whatever runs on it, every change and every flush is recorded.
// Afterwards the folder can be rebuilt as the disk would hold it had the power gone after any
// number of the recorded changes: every flushed change, and of the others what an ordering
// model allows.
//
//   test::PowerCutDisk disk(base);               // <base>/disk is the mount point
//   ... fill disk.MountPoint() ...
//   disk.Mount();  run the program with disk.ProgramEnvironment();  disk.Unmount();
//   disk.RebuildAsCut(cut, test::PowerModel::Ordered, seed);   // <base>/disk as left

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vlm::test {

// What a disk keeps of the changes not flushed when the power goes.
enum class PowerModel {
    // As ext4 with data=ordered and delayed allocation: any of them, but a rename, a size or a
    // time of a file lasts only together with the data written to it before.
    Ordered,
    // A careless medium (FUSE, FAT): any of them, each applied in its order. Seed 0 takes the
    // worst: every change of names, sizes and times lasts, and no data that was not flushed
    // (written bytes read back as zeros).
    Weak,
};

// How a rebuild went: of the changes before the cut, how many were flushed, and of the others
// how many were kept.
struct CutSummary {
    std::size_t flushed = 0, kept = 0, lost = 0;
};

class PowerCutDisk {
public:
    explicit PowerCutDisk(std::string base);
    ~PowerCutDisk();
    PowerCutDisk(const PowerCutDisk&) = delete;
    PowerCutDisk& operator=(const PowerCutDisk&) = delete;

    // Whether this machine can mount it (root, /dev/fuse, the built file system); else why not.
    static std::string Unavailable();

    // The folder the program sees, mounted or not.
    const std::string& MountPoint() const { return mountPoint_; }
    // Takes what the mount point holds now as the disk's content at power-on, and mounts the
    // recording file system over it. False (with a test failure) when it does not come up.
    bool Mount();
    // Mounts the disk again after a cut, as the machine does after its reboot: what the mount
    // point holds is what the disk holds; nothing is recorded.
    bool Reboot();
    // Unmounts; the mount point then holds the disk as it was at the end, every change kept.
    void Unmount();
    // The environment for a program started on the mounted disk: this process's, with the
    // shim that records a syncfs or sync.
    std::vector<std::string> ProgramEnvironment() const;

    // How many changes and flushes the last mounting recorded.
    std::size_t RecordCount() const;
    // The places worth cutting at: `wanted` of them spread over the record, and next to every
    // flush; all of them when `wanted` is 0.
    std::vector<std::size_t> CutPoints(std::size_t wanted) const;
    // Makes the mount point hold the disk as after a power cut once `cut` records had been
    // made: the content at power-on, every flushed change, and the unflushed ones `model`
    // keeps (chosen by `seed`).
    CutSummary RebuildAsCut(std::size_t cut, PowerModel model, unsigned seed) const;

private:
    bool Serve(const std::string& record);

    std::string base_, backing_, start_, mountPoint_, record_;
    pid_t server_ = -1;
};

}  // namespace vlm::test
