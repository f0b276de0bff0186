#include "support/power_cut_disk.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "support/power_cut/power_cut_log.h"
#include "support/runner_process.h"
#include "support/temp_drives.h"

extern char** environ;

namespace vlm::test {

namespace fs = std::filesystem;
using power_cut::Op;
using power_cut::Record;

namespace {

// Moves every entry of `from` into `to` (one file system: renames).
void MoveContent(const std::string& from, const std::string& to) {
    for (const auto& entry : fs::directory_iterator(from))
        fs::rename(entry.path(), fs::path(to) / entry.path().filename());
}

// Copies the content of `from` into `to` with times, modes and links as they are.
void CopyContent(const std::string& from, const std::string& to) {
    const int rc = WaitForExit(StartProgram({"cp", "-a", from + "/.", to + "/"}), 120);
    ASSERT_EQ(rc, 0) << "cp -a " << from << " " << to;
}

void Empty(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder))
        RemoveTree(entry.path().string());
}

bool IsMountPoint(const std::string& folder) {
    struct stat self {
    }, parent{};
    return stat(folder.c_str(), &self) == 0 && stat((folder + "/..").c_str(), &parent) == 0 &&
           self.st_dev != parent.st_dev;
}

bool IsBelow(const std::string& path, const std::string& folder) {
    return path == folder || path.rfind(folder + "/", 0) == 0;
}

// Where each file and folder is in the rebuilt folder, by its identity: a change is made to the
// file it was made to, wherever that file is now. A change to a file whose creation was lost, or
// that a lost rename left under its old name, goes there or nowhere, as on the disk.
class Places {
public:
    explicit Places(const std::vector<Record>& records, std::size_t cut) {
        // What was on the disk at power-on is where the first change to it found it.
        std::set<std::uint64_t> seen;
        for (std::size_t i = 0; i < cut; ++i) {
            const Record& r = records[i];
            if (r.id == 0 || r.IsFlush() || !seen.insert(r.id).second)
                continue;
            if (r.op == Op::Link)
                where_[r.id] = r.other;
            else if (r.op != Op::Create && r.op != Op::Mkdir && r.op != Op::Symlink)
                where_[r.id] = r.path;
        }
    }
    // Where the change `r` applies; empty when its file is not there.
    std::string Of(const Record& r) const {
        if (r.op == Op::Create || r.op == Op::Mkdir || r.op == Op::Symlink || r.op == Op::Link)
            return r.path;
        const auto it = where_.find(r.id);
        return it == where_.end() ? std::string() : it->second;
    }
    // After `r` was carried out at `at`.
    void Applied(const Record& r, const std::string& at) {
        switch (r.op) {
            case Op::Create:
            case Op::Mkdir:
            case Op::Symlink:
                Drop(at);
                where_[r.id] = at;
                break;
            case Op::Rename:
                Drop(r.other);
                for (auto& [id, path] : where_)
                    if (IsBelow(path, at))
                        path = r.other + path.substr(at.size());
                break;
            case Op::Unlink:
            case Op::Rmdir:
                where_.erase(r.id);
                break;
            default:
                break;
        }
    }

private:
    void Drop(const std::string& at) {
        std::erase_if(where_, [&](const auto& entry) { return IsBelow(entry.second, at); });
    }
    std::map<std::uint64_t, std::string> where_;
};

std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Carries out one recorded change on the folder `root`, at `at`: where the file or folder it
// changes is in the rebuilt folder.
bool Apply(int root, const Record& r, const std::string& at, bool dataAsZeros) {
    const char* path = at.c_str();
    switch (r.op) {
        case Op::Create:
            if (S_ISREG(static_cast<mode_t>(r.a))) {
                const int fd = openat(root, path, O_WRONLY | O_CREAT | O_NOFOLLOW,
                                      static_cast<mode_t>(r.a) & 07777);
                return fd >= 0 && close(fd) == 0;
            }
            return mknodat(root, path, static_cast<mode_t>(r.a), static_cast<dev_t>(r.b)) == 0;
        case Op::Mkdir:
            return mkdirat(root, path, static_cast<mode_t>(r.a) & 07777) == 0;
        case Op::Symlink:
            return symlinkat(r.other.c_str(), root, path) == 0;
        case Op::Link:
            return linkat(root, r.other.c_str(), root, path, 0) == 0;
        case Op::Rename:
            return renameat2(root, path, root, r.other.c_str(), static_cast<unsigned>(r.a)) == 0;
        case Op::Unlink:
            return unlinkat(root, path, 0) == 0;
        case Op::Rmdir:
            return unlinkat(root, path, AT_REMOVEDIR) == 0;
        case Op::Write: {
            const int fd = openat(root, path, O_WRONLY | O_NOFOLLOW);
            if (fd < 0)
                return false;
            bool done;
            if (dataAsZeros) {
                // The size lasted, the bytes did not.
                struct stat st {};
                const off_t end =
                    static_cast<off_t>(r.a + static_cast<std::int64_t>(r.data.size()));
                done = fstat(fd, &st) == 0 && (st.st_size >= end || ftruncate(fd, end) == 0);
            } else {
                done = pwrite(fd, r.data.data(), r.data.size(), static_cast<off_t>(r.a)) ==
                       static_cast<ssize_t>(r.data.size());
            }
            close(fd);
            return done;
        }
        case Op::Truncate: {
            const int fd = openat(root, path, O_WRONLY | O_NOFOLLOW);
            const bool done = fd >= 0 && ftruncate(fd, static_cast<off_t>(r.a)) == 0;
            if (fd >= 0)
                close(fd);
            return done;
        }
        case Op::Times: {
            const struct timespec times[2] = {{r.a, r.b}, {r.c, r.d}};
            return utimensat(root, path, times, AT_SYMLINK_NOFOLLOW) == 0;
        }
        case Op::Chmod:
            return fchmodat(root, path, static_cast<mode_t>(r.a), 0) == 0;
        case Op::Chown:
            return fchownat(root, path, static_cast<uid_t>(r.a), static_cast<gid_t>(r.b),
                            AT_SYMLINK_NOFOLLOW) == 0;
        case Op::FlushFile:
        case Op::FlushDir:
        case Op::FlushAll:
            break;
    }
    return false;
}

// Which of the first `cut` records a flush after them (and before the cut) made lasting.
std::vector<bool> Flushed(const std::vector<Record>& records, std::size_t cut) {
    std::vector<bool> flushed(cut, false);
    bool all = false;
    std::set<std::uint64_t> files;
    std::set<std::string> folders;
    for (std::size_t i = cut; i-- > 0;) {
        const Record& r = records[i];
        if (r.op == Op::FlushAll)
            all = true;
        else if (r.op == Op::FlushFile)
            files.insert(r.id);
        else if (r.op == Op::FlushDir)
            folders.insert(r.path);
        // A file's flush makes its data, sizes, times and names last (a journal commits them
        // together); a folder's flush makes the names it lists last.
        flushed[i] = r.IsFlush() || all || files.count(r.id) != 0 ||
                     (r.ChangesNames() && (folders.count(Parent(r.path)) != 0 ||
                                           (r.op == Op::Rename && folders.count(Parent(r.other)))));
    }
    return flushed;
}

}  // namespace

PowerCutDisk::PowerCutDisk(std::string base)
    : base_(std::move(base)),
      backing_(base_ + "/backing"),
      start_(base_ + "/at-power-on"),
      mountPoint_(base_ + "/disk"),
      record_(base_ + "/record") {
    for (const std::string& folder : {backing_, start_, mountPoint_})
        MakeDir(folder);
}

PowerCutDisk::~PowerCutDisk() {
    if (server_ > 0)
        Unmount();
}

std::string PowerCutDisk::Unavailable() {
#ifndef VELMORA_POWER_CUT_FS
    return "skipped: no FUSE (the recording file system was not built)";
#else
    if (geteuid() != 0)
        return "skipped: mounting the recording file system needs root";
    if (access("/dev/fuse", R_OK | W_OK) != 0)
        return "skipped: no FUSE (/dev/fuse is missing)";
    return {};
#endif
}

bool PowerCutDisk::Mount() {
    MoveContent(mountPoint_, backing_);
    Empty(start_);
    CopyContent(backing_, start_);
    return Serve(record_);
}

bool PowerCutDisk::Reboot() {
    MoveContent(mountPoint_, backing_);
    return Serve(base_ + "/record-after-reboot");
}

bool PowerCutDisk::Serve(const std::string& record) {
#ifdef VELMORA_POWER_CUT_FS
    server_ = StartProgram({VELMORA_POWER_CUT_FS, backing_, mountPoint_, record},
                           {base_ + "/fs-output.txt", ""});
    for (int tenths = 0; tenths < 100 && server_ > 0; ++tenths) {
        if (IsMountPoint(mountPoint_))
            return true;
        usleep(100000);
    }
#endif
    ADD_FAILURE() << "the recording file system did not come up at " << mountPoint_;
    return false;
}

void PowerCutDisk::Unmount() {
    if (server_ <= 0)
        return;
    if (umount2(mountPoint_.c_str(), 0) != 0)
        umount2(mountPoint_.c_str(), MNT_DETACH);
    EXPECT_EQ(WaitForExit(server_, 30), 0) << "the recording file system did not end";
    server_ = -1;
    MoveContent(backing_, mountPoint_);
}

std::vector<std::string> PowerCutDisk::ProgramEnvironment() const {
    std::vector<std::string> environment;
    std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("ASAN_OPTIONS=", 0) == 0)
            asan += ":" + entry.substr(13);
        else if (entry.rfind("LD_PRELOAD=", 0) != 0)
            environment.push_back(entry);
    }
    environment.push_back(asan);
#ifdef VELMORA_POWER_CUT_SHIM
    environment.push_back(std::string("LD_PRELOAD=") + VELMORA_POWER_CUT_SHIM);
#endif
    environment.push_back("POWER_CUT_MOUNT=" + mountPoint_);
    return environment;
}

std::size_t PowerCutDisk::RecordCount() const {
    return power_cut::ReadRecords(record_).size();
}

std::vector<std::size_t> PowerCutDisk::CutPoints(std::size_t wanted) const {
    const std::vector<Record> records = power_cut::ReadRecords(record_);
    const std::size_t n = records.size();
    std::set<std::size_t> points;
    if (wanted == 0 || wanted >= n + 1) {
        for (std::size_t i = 0; i <= n; ++i)
            points.insert(i);
    } else {
        for (std::size_t k = 0; k < wanted; ++k)
            points.insert(k * n / (wanted - 1 == 0 ? 1 : wanted - 1));
        // The moments next to a flush are where an order mistake shows.
        for (std::size_t i = 0; i < n; ++i)
            if (records[i].IsFlush()) {
                points.insert(i);
                points.insert(i + 1);
            }
    }
    return {points.begin(), points.end()};
}

CutSummary PowerCutDisk::RebuildAsCut(std::size_t cut, PowerModel model, unsigned seed) const {
    const std::vector<Record> records = power_cut::ReadRecords(record_);
    cut = std::min(cut, records.size());
    Empty(mountPoint_);
    CopyContent(start_, mountPoint_);
    const std::vector<bool> flushed = Flushed(records, cut);
    std::mt19937 random(seed);
    const bool worst = model == PowerModel::Weak && seed == 0;
    // Ordered: the files whose unflushed data was lost so far; their later renames, sizes and
    // times are lost with it.
    std::set<std::uint64_t> dataLost;
    CutSummary summary;
    const int root = open(mountPoint_.c_str(), O_RDONLY | O_DIRECTORY);
    Places places(records, cut);
    for (std::size_t i = 0; i < cut; ++i) {
        const Record& r = records[i];
        if (r.IsFlush())
            continue;
        bool keep = true, zeros = false;
        if (flushed[i]) {
            ++summary.flushed;
        } else if (worst) {
            zeros = r.op == Op::Write;
        } else if (model == PowerModel::Weak) {
            const unsigned roll = random() % 3;
            keep = roll != 0;
            zeros = r.op == Op::Write && roll == 2;
        } else if (r.op == Op::Write) {
            keep = random() % 2 == 0;
            if (!keep)
                dataLost.insert(r.id);
        } else {
            const bool dependsOnData =
                r.op == Op::Rename || r.op == Op::Truncate || r.op == Op::Times || r.op == Op::Link;
            keep = random() % 2 == 0 && !(dependsOnData && dataLost.count(r.id) != 0);
        }
        if (!flushed[i])
            ++(keep && !zeros ? summary.kept : summary.lost);
        const std::string at = places.Of(r);
        if (keep && !at.empty() && Apply(root, r, at, zeros))
            places.Applied(r, at);
    }
    close(root);
    return summary;
}

}  // namespace vlm::test
