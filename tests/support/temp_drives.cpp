#include "support/temp_drives.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/path_translation.h"

namespace vlm::test {

namespace {

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

std::string HashHex(const std::string& bytes) {
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

void Fail(const std::string& what, const std::string& path) {
    ADD_FAILURE() << what << " " << path << ": " << std::strerror(errno);
}

}  // namespace

TempDrives::TempDrives(std::string_view letters) : previous_(ActiveDriveTable()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/velmora-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        Fail("cannot create temporary folder", pattern);
    }
    base_ = pattern;
    table_.SetSources(Sources());
    for (char letter : letters) {
        Pin(letter);
    }
    Activate();
}

TempDrives::~TempDrives() {
    SetActiveDriveTable(previous_);
    RemoveTree(base_);
}

std::string TempDrives::HostRoot(char letter) const {
    return table_.RootOf(letter).value_or(std::string());
}

std::string TempDrives::Host(std::string_view drivePath) const {
    std::optional<std::string> host = ToHostPath(drivePath);
    if (!host) {
        ADD_FAILURE() << "drive path refused: " << drivePath;
        return base_ + "/refused";
    }
    return *host;
}

void TempDrives::Pin(char letter, bool create) {
    const std::string folder = base_ + "/" + static_cast<char>(std::tolower(letter));
    if (create) {
        MakeDir(folder);
    }
    PinTo(letter, folder);
}

void TempDrives::PinTo(char letter, const std::string& hostFolder) {
    table_.Pin(letter, hostFolder);
    Activate();
}

void TempDrives::Unpin(char letter) {
    table_.Unpin(letter);
    Activate();
}

void TempDrives::SetFstabMountPoints(std::vector<std::string> hostFolders) {
    std::vector<HostPath> points;
    for (const std::string& folder : hostFolders)
        points.emplace_back(folder);
    table_.SetFstabMountPoints(std::move(points));
    Activate();
}

void TempDrives::SetPlainFolder(char letter, bool plain) {
    table_.SetPlainFolder(letter, plain);
    Activate();
}

TmpfsMount::TmpfsMount(std::string hostFolder) : folder_(std::move(hostFolder)) {
    if (::mount("velmora-test", folder_.c_str(), "tmpfs", 0, "size=4m") == 0) {
        mounted_ = true;
    } else {
        error_ = std::string("cannot mount a tmpfs on ") + folder_ + ": " + std::strerror(errno);
    }
}

TmpfsMount::~TmpfsMount() {
    Unmount();
}

bool TmpfsMount::Unmount() {
    if (mounted_ && ::umount2(folder_.c_str(), MNT_DETACH) == 0)
        mounted_ = false;
    return !mounted_;
}

void TempDrives::UseMountTable(const std::string& mountInfoFile) {
    DriveSources sources = table_.Sources();
    sources.mountTable = HostPath(mountInfoFile);
    table_.SetSources(std::move(sources));
    Activate();
}

DriveSources TempDrives::Sources() const {
    DriveSources sources;
    sources.onlyBelow = HostPath(base_);
    sources.places.root = HostPath(base_);
    sources.fstab = HostPath(base_ + "/fstab");
    sources.udevRecords = HostPath(base_ + "/udev");
    return sources;
}

void TempDrives::WriteSourcesInto(const std::string& programFolder) const {
    WriteFile(programFolder + "/" + kDriveSourcesFile,
              "[Sources]\nonly below=" + base_ + "\ndisk places=" + base_ + "\nfstab=" + base_ +
                  "/fstab\nudev records=" + base_ + "/udev\n");
}

void TempDrives::Activate() {
    SetActiveDriveTable(table_);
}

void WriteFile(const std::string& hostPath, std::string_view content,
               std::optional<std::time_t> mtime, std::optional<mode_t> mode) {
    MakeDir(ParentOf(hostPath));
    const int fd = ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail("cannot create", hostPath);
        return;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n <= 0) {
            Fail("cannot write", hostPath);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (mtime) {
        SetMtime(hostPath, *mtime);
    }
    if (mode) {
        SetMode(hostPath, *mode);
    }
}

void MakeSizedFile(const std::string& hostPath, std::uint64_t size) {
    WriteFile(hostPath, "");
    if (::truncate(hostPath.c_str(), static_cast<off_t>(size)) != 0) {
        Fail("cannot size", hostPath);
    }
}

void MakeDir(const std::string& hostPath) {
    struct stat st {};
    if (hostPath.empty() || ::stat(hostPath.c_str(), &st) == 0) {
        return;
    }
    MakeDir(ParentOf(hostPath));
    if (::mkdir(hostPath.c_str(), 0755) != 0 && errno != EEXIST) {
        Fail("cannot create folder", hostPath);
    }
}

void MakeSymlink(const std::string& target, const std::string& linkPath) {
    MakeDir(ParentOf(linkPath));
    if (::symlink(target.c_str(), linkPath.c_str()) != 0) {
        Fail("cannot create link", linkPath);
    }
}

void MakeFifo(const std::string& hostPath) {
    MakeDir(ParentOf(hostPath));
    if (::mkfifo(hostPath.c_str(), 0644) != 0) {
        Fail("cannot create FIFO", hostPath);
    }
}

void SetMtime(const std::string& hostPath, std::time_t mtime) {
    struct timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = mtime;
    if (::utimensat(AT_FDCWD, hostPath.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        Fail("cannot set time of", hostPath);
    }
}

void SetMode(const std::string& hostPath, mode_t mode) {
    if (::chmod(hostPath.c_str(), mode) != 0) {
        Fail("cannot set mode of", hostPath);
    }
}

std::string ReadFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << hostPath;
        return {};
    }
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

bool Exists(const std::string& hostPath) {
    struct stat st {};
    return ::lstat(hostPath.c_str(), &st) == 0;
}

void RemoveTree(const std::string& hostPath) {
    struct stat st {};
    if (hostPath.empty() || ::lstat(hostPath.c_str(), &st) != 0) {
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        ::chmod(hostPath.c_str(), 0755);
        if (DIR* dir = ::opendir(hostPath.c_str())) {
            std::vector<std::string> names;
            while (struct dirent* item = ::readdir(dir)) {
                const std::string name = item->d_name;
                if (name != "." && name != "..") {
                    names.push_back(name);
                }
            }
            ::closedir(dir);
            for (const std::string& name : names) {
                RemoveTree(hostPath + "/" + name);
            }
        }
        ::rmdir(hostPath.c_str());
    } else {
        ::unlink(hostPath.c_str());
    }
}

void PrintTo(const TreeEntry& entry, std::ostream* out) {
    *out << entry.kind << " " << entry.path;
    if (entry.kind == 'f') {
        *out << " size=" << entry.size << " hash=" << entry.content;
    } else if (entry.kind == 'l') {
        *out << " -> " << entry.content;
    }
    *out << " mtime=" << entry.mtime << (entry.readOnly ? " read-only" : "");
}

std::vector<TreeEntry> ReadTree(const std::string& hostRoot, TreeOptions options) {
    std::vector<TreeEntry> entries;
    std::function<void(const std::string&)> walk = [&](const std::string& relative) {
        const std::string folder = relative.empty() ? hostRoot : hostRoot + "/" + relative;
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) {
            Fail("cannot list", folder);
            return;
        }
        std::vector<std::string> names;
        while (struct dirent* item = ::readdir(dir)) {
            const std::string name = item->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
        for (const std::string& name : names) {
            TreeEntry entry;
            entry.path = relative.empty() ? name : relative + "/" + name;
            const std::string host = hostRoot + "/" + entry.path;
            struct stat st {};
            if (::lstat(host.c_str(), &st) != 0) {
                continue;
            }
            entry.readOnly = !S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
            if (S_ISREG(st.st_mode)) {
                entry.kind = 'f';
                entry.size = static_cast<std::uint64_t>(st.st_size);
                entry.content = HashHex(ReadFile(host));
                // A copy carries the 2-second file-system stamp, so times are compared at that
                // resolution.
                entry.mtime = options.withFileTimes ? st.st_mtime - st.st_mtime % 2 : 0;
            } else if (S_ISDIR(st.st_mode)) {
                entry.kind = 'd';
                entry.mtime = options.withFolderTimes ? st.st_mtime : 0;
            } else if (S_ISLNK(st.st_mode)) {
                entry.kind = 'l';
                char target[4096];
                const ssize_t n = ::readlink(host.c_str(), target, sizeof target);
                entry.content = n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "";
            } else {
                entry.kind = 's';
            }
            const bool descend = entry.kind == 'd';
            entries.push_back(entry);
            if (descend) {
                walk(entry.path);
            }
        }
    };
    walk("");
    std::sort(entries.begin(), entries.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.path < b.path; });
    return entries;
}

}  // namespace vlm::test
