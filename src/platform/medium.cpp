#include "platform/medium.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <random>
#include <vector>

#include "platform/host_calls.h"
#include "platform/mount_table.h"
#include "platform/path_translation.h"
#include "platform/volume_identity.h"

namespace vlm {

namespace {

// Local file systems that keep every POSIX name, bit, owner and nanosecond: nothing to ask.
bool IsPosixFileSystem(std::string_view type) {
    for (std::string_view known : {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "ramfs", "f2fs",
                                   "zfs", "jfs", "reiserfs", "nilfs2", "bcachefs", "overlay"})
        if (type == known)
            return true;
    return false;
}

// Of those, the ones that never let a rename or a time of a file reach the medium before the
// data written to it: a journal with ordered data, a log, copy-on-write, or memory only.
bool KeepsWriteOrder(std::string_view type) {
    for (std::string_view ordered : {"ext3", "ext4", "xfs", "btrfs", "tmpfs", "ramfs", "f2fs",
                                     "zfs", "nilfs2", "bcachefs", "overlay"})
        if (type == ordered)
            return true;
    return false;
}

// The media of cameras, sticks and cards: names without case, none of the characters a Windows
// name cannot hold, no permission bits, coarse times of 1980 to 2107 only. FAT12/16/32 keep a
// file's size in 32 bits; exFAT in 64.
bool IsFatFamily(std::string_view type, MediumTraits& traits) {
    if (type == "vfat" || type == "msdos" || type == "fat" || type == "fuse.fusefat") {
        traits.timeStepNs = 2'000'000'000;
        traits.largestFile = 0xFFFF'FFFFull;
        return true;
    }
    if (type == "exfat" || type == "fuse.exfat") {
        traits.timeStepNs = 10'000'000;
        return true;
    }
    return false;
}

std::string ProbeName() {
    static std::mt19937_64 random{std::random_device{}()};
    static const char* digits = "0123456789abcdef";
    std::string name = ".~vlm";
    std::uint64_t value = random();
    for (int i = 0; i < 12; ++i, value >>= 4)
        name += digits[value & 15];
    return name + ".tmp";
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Whether the medium takes a file whose name holds `c`.
bool TakesCharacter(int folder, const std::string& probe, char c) {
    const std::string name = probe.substr(0, probe.size() - 4) + c + ".tmp";
    const int fd =
        host::OpenAt(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    host::Close(fd);
    host::UnlinkAt(folder, name.c_str(), 0);
    return true;
}

// The time step the medium keeps, from what it made of 1,000,000,001.123456789 s.
std::int64_t TimeStepOf(const struct stat& st) {
    constexpr std::int64_t kOdd = 1'000'000'001;
    if (st.st_mtim.tv_sec != kOdd)
        return 2'000'000'000;  // FAT: even seconds
    const long ns = st.st_mtim.tv_nsec;
    if (ns == 123'456'789)
        return 1;
    if (ns == 123'456'700)
        return 100;  // NTFS
    if (ns == 0)
        return 1'000'000'000;
    return ns % 10'000'000 == 0 ? 10'000'000 : 1'000'000;  // exFAT keeps 10 ms
}

void Probe(const std::string& hostFolder, MediumTraits& traits) {
    const int folder = host::Open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        traits.notWritable = errno;
        return;
    }
    const std::string probe = ProbeName();
    const int fd =
        host::OpenAt(folder, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        traits.notWritable = errno;
        host::Close(folder);
        return;
    }
    struct stat st {};
    traits.keepsPermissions = ::fchmod(fd, 0600) == 0 && ::fstat(fd, &st) == 0 &&
                              (st.st_mode & 0777) == 0600 && ::fchmod(fd, 0644) == 0 &&
                              ::fstat(fd, &st) == 0 && (st.st_mode & 0777) == 0644;
    const struct timespec times[2] = {{1'000'000'001, 123'456'789}, {1'000'000'001, 123'456'789}};
    (void)host::SetTimesOf(fd, times);
    host::Close(fd);
    // Looked at anew by its name: a FUSE file system may show the times it was given until the
    // file is asked again.
    if (::fstatat(folder, probe.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        traits.timeStepNs = TimeStepOf(st);
    traits.caseInsensitive = ::fstatat(folder, Upper(probe).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    for (const char c : std::string_view("\\:*?\"<>|\x01", 9 + 1)) {
        if (!TakesCharacter(folder, probe, c)) {
            traits.storesStandIns = true;
            break;
        }
    }
    host::UnlinkAt(folder, probe.c_str(), 0);
    host::Close(folder);
}

struct Registry {
    std::mutex lock;
    std::vector<std::pair<std::string, MediumTraits>> media;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

MediumTraits LearnMedium(const HostPath& hostPath, bool mayProbe) {
    const std::string& hostFolder = hostPath.Text();
    MediumTraits traits;
    const std::vector<MountEntry> mounts = ReadMountTable();
    if (const MountEntry* mount = MountContaining(mounts, hostPath)) {
        traits.fileSystem = mount->fsType;
        // FUSE's block-device mounts do not say what they hold; the volume does.
        if (mount->fsType == "fuseblk" || mount->fsType == "fuse") {
            const std::string type = IdentifyVolume(*mount).fsType;
            if (!type.empty())
                traits.fileSystem = type;
        }
        if (mount->readOnly) {
            traits.notWritable = EROFS;
            return traits;
        }
    }
    // Every medium not known to keep the order of writes (FAT, exFAT, NTFS, anything through
    // FUSE or the network, ext2) is taken not to.
    traits.keepsWriteOrder = KeepsWriteOrder(traits.fileSystem);
    if (IsPosixFileSystem(traits.fileSystem)) {
        if (::access(hostFolder.c_str(), W_OK) != 0)
            traits.notWritable = errno;
        return traits;
    }
    if (IsFatFamily(traits.fileSystem, traits)) {
        traits.fatYearsOnly = true;
        traits.caseInsensitive = true;
        traits.storesStandIns = true;
        traits.keepsPermissions = false;
        traits.setsTimesAfterClose = true;
        traits.refusesNames = true;
        if (::access(hostFolder.c_str(), W_OK) != 0)
            traits.notWritable = errno;
        return traits;
    }
    // What a probe cannot see in one file's life: the time is given again after the close.
    traits.setsTimesAfterClose = true;
    traits.refusesNames = true;
    if (mayProbe) {
        Probe(hostFolder, traits);
    } else if (traits.fileSystem == "ntfs" || traits.fileSystem == "ntfs3") {
        // Unprobed, NTFS is taken as mounted by default: every file shows the mount's mask.
        traits.keepsPermissions = false;
        traits.timeStepNs = 100;
    } else {
        // Times unknown: compared as coarsely as any medium may keep them, so that nothing
        // unasked looks changed for a step it cannot store.
        traits.timeStepNs = 2'000'000'000;
    }
    return traits;
}

MediumTraits LearnMediumOf(const DrivePath& drivePath, bool mayProbe) {
    const std::optional<HostPath> host = ToHostPath(drivePath);
    if (!host)
        return {};
    MediumTraits traits = LearnMedium(*host, mayProbe);
    UseMediumBelow(*host, traits);
    return traits;
}

void UseMediumBelow(const HostPath& hostPath, const MediumTraits& traits) {
    const std::string& hostFolder = hostPath.Text();
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    for (auto& [folder, known] : registry.media) {
        if (folder == hostFolder) {
            known = traits;
            return;
        }
    }
    registry.media.emplace_back(hostFolder, traits);
}

void ForgetMedia() {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.media.clear();
}

namespace {

// The answer `ask` gives of the traits in force for `hostPath` (those of the deepest folder they
// were learnt for), or `none` where none were learnt: every file written asks, so the traits are
// looked at where they are kept, never copied.
template <typename Ask>
bool AskMedium(std::string_view hostPath, bool none, Ask ask) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    const MediumTraits* best = nullptr;
    std::size_t bestLength = 0;
    for (const auto& [folder, traits] : registry.media) {
        const bool below =
            hostPath.size() >= folder.size() && hostPath.compare(0, folder.size(), folder) == 0 &&
            (hostPath.size() == folder.size() || hostPath[folder.size()] == '/' || folder == "/");
        if (below && (best == nullptr || folder.size() >= bestLength)) {
            best = &traits;
            bestLength = folder.size();
        }
    }
    return best != nullptr ? ask(*best) : none;
}

}  // namespace

bool StoresStandInsAt(const HostPath& hostPath) {
    return AskMedium(hostPath.Text(), false,
                     [](const MediumTraits& t) { return t.storesStandIns; });
}

bool SetsTimesAfterCloseAt(const HostPath& hostPath) {
    return AskMedium(hostPath.Text(), false,
                     [](const MediumTraits& t) { return t.setsTimesAfterClose; });
}

bool KeepsFatYearsOnlyAt(const HostPath& hostPath) {
    return AskMedium(hostPath.Text(), false, [](const MediumTraits& t) { return t.fatYearsOnly; });
}

bool KeepsWriteOrderAt(const HostPath& hostPath) {
    return AskMedium(hostPath.Text(), true,
                     [](const MediumTraits& t) { return t.keepsWriteOrder; });
}

bool IsNameRefusalAt(int code, const HostPath& hostPath) {
    if (code == ENAMETOOLONG)
        return true;
    // An SFTP server answers a name or path too long for it (ENAMETOOLONG, EINVAL on its side)
    // with "bad message", which sshfs hands on as EBADMSG. Elsewhere EBADMSG is a damaged medium
    // (ext4's checksum errors), which is no name refused.
    if (code == EBADMSG)
        return AskMedium(hostPath.Text(), false,
                         [](const MediumTraits& t) { return t.fileSystem == "fuse.sshfs"; });
    if (code != EINVAL && code != EILSEQ && code != EPERM && code != ENOENT)
        return false;
    return AskMedium(hostPath.Text(), false, [](const MediumTraits& t) { return t.refusesNames; });
}

bool KeepsPermissionsAt(const HostPath& hostPath) {
    return AskMedium(hostPath.Text(), true,
                     [](const MediumTraits& t) { return t.keepsPermissions; });
}

bool SameAgeOnMedium(const MediumTraits& traits, const FileAge& copy, const FileAge& source) {
    if (traits.fatYearsOnly)
        return SameFileAgeInFatYears(copy, source);
    const std::int64_t step = std::max<std::int64_t>(traits.timeStepNs, 1);
    if (step > kFinestComparedStepNs)
        return SameFileAge(copy, source);
    // A step of at most 100 ns divides a second: the seconds, then the steps within them.
    return copy.exact.seconds == source.exact.seconds &&
           copy.exact.nanoseconds / step == source.exact.nanoseconds / step;
}

std::string DescribeMedium(const MediumTraits& traits) {
    std::string text = traits.fileSystem.empty() ? "unknown file system" : traits.fileSystem;
    text += traits.caseInsensitive ? ": names without case" : ": names with case";
    if (traits.storesStandIns)
        text += ", names kept with stand-ins for \\ : * ? \" < > |";
    text += traits.keepsPermissions ? ", permission bits and owners" : ", no permission bits";
    const std::int64_t step = traits.timeStepNs;
    text += ", times in steps of " + (step >= 1'000'000'000
                                          ? std::to_string(step / 1'000'000'000) + " s"
                                      : step >= 1'000'000 ? std::to_string(step / 1'000'000) + " ms"
                                                          : std::to_string(step) + " ns");
    if (traits.fatYearsOnly)
        text += " of the years 1980 to 2107";
    if (traits.largestFile != 0)
        text += ", files of up to " + std::to_string(traits.largestFile) + " bytes";
    return text;
}

}  // namespace vlm
