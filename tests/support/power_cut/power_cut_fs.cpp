// A test disk that can lose power: a FUSE file system that passes every operation on to a real
// folder and records every change, with the flushes between them, so that a test can rebuild
// the folder as a disk would hold it had the power gone at any moment (power_cut_disk).
//
//   power_cut_fs BACKING_FOLDER MOUNT_POINT RECORD_FILE
//
// Single-threaded, so the record holds the changes in the order they were made.

#define FUSE_USE_VERSION 35

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "power_cut_log.h"

namespace {

using vlm::test::power_cut::Op;
using vlm::test::power_cut::Record;

int backing = -1;
std::FILE* record = nullptr;
std::uint64_t nextId = 1;
std::map<std::string, std::uint64_t> ids;        // path -> identity of what is there now
std::map<std::uint64_t, std::uint64_t> openIds;  // file handle -> identity

std::string Relative(const char* path) {
    return path[1] == '\0' ? std::string(".") : std::string(path + 1);
}

std::uint64_t IdOf(const std::string& path) {
    auto it = ids.find(path);
    if (it != ids.end())
        return it->second;
    return ids[path] = nextId++;
}

void Note(Op op, const std::string& path, std::uint64_t id, std::int64_t a = 0, std::int64_t b = 0,
          std::int64_t c = 0, std::int64_t d = 0, std::string other = {}, std::string data = {}) {
    Record r;
    r.op = op;
    r.id = id;
    r.path = path;
    r.other = std::move(other);
    r.data = std::move(data);
    r.a = a;
    r.b = b;
    r.c = c;
    r.d = d;
    vlm::test::power_cut::WriteRecord(record, r);
}

int Result(int rc) {
    return rc < 0 ? -errno : rc;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
    if (std::strcmp(path + 1, vlm::test::power_cut::kSyncSignal) == 0) {
        Note(Op::FlushAll, ".", 0);
        return -ENOENT;
    }
    if (fi != nullptr)
        return Result(fstat(static_cast<int>(fi->fh), st));
    return Result(fstatat(backing, Relative(path).c_str(), st, AT_SYMLINK_NOFOLLOW));
}

int ReadLink(const char* path, char* buffer, size_t size) {
    const ssize_t n = readlinkat(backing, Relative(path).c_str(), buffer, size - 1);
    if (n < 0)
        return -errno;
    buffer[n] = '\0';
    return 0;
}

int OpenDir(const char* path, fuse_file_info* fi) {
    const int fd = openat(backing, Relative(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return -errno;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return -errno;
    }
    fi->fh = reinterpret_cast<std::uint64_t>(dir);
    return 0;
}

int ReadDir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* fi,
            fuse_readdir_flags) {
    DIR* dir = reinterpret_cast<DIR*>(fi->fh);
    rewinddir(dir);
    while (dirent* entry = readdir(dir)) {
        struct stat st {};
        st.st_ino = entry->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0)
            break;
    }
    return 0;
}

int ReleaseDir(const char*, fuse_file_info* fi) {
    closedir(reinterpret_cast<DIR*>(fi->fh));
    return 0;
}

int FsyncDir(const char* path, int, fuse_file_info*) {
    Note(Op::FlushDir, Relative(path), 0);
    return 0;
}

int MakeNode(const char* path, mode_t mode, dev_t device) {
    const std::string name = Relative(path);
    if (mknodat(backing, name.c_str(), mode, device) != 0)
        return -errno;
    ids.erase(name);
    Note(Op::Create, name, IdOf(name), mode, static_cast<std::int64_t>(device));
    return 0;
}

int MakeDir(const char* path, mode_t mode) {
    const std::string name = Relative(path);
    if (mkdirat(backing, name.c_str(), mode) != 0)
        return -errno;
    ids.erase(name);
    Note(Op::Mkdir, name, IdOf(name), mode);
    return 0;
}

int RemoveName(const char* path, bool folder) {
    const std::string name = Relative(path);
    if (unlinkat(backing, name.c_str(), folder ? AT_REMOVEDIR : 0) != 0)
        return -errno;
    Note(folder ? Op::Rmdir : Op::Unlink, name, IdOf(name));
    ids.erase(name);
    return 0;
}
int Unlink(const char* path) {
    return RemoveName(path, false);
}
int Rmdir(const char* path) {
    return RemoveName(path, true);
}

int Symlink(const char* target, const char* path) {
    const std::string name = Relative(path);
    if (symlinkat(target, backing, name.c_str()) != 0)
        return -errno;
    ids.erase(name);
    Note(Op::Symlink, name, IdOf(name), 0, 0, 0, 0, target);
    return 0;
}

int Rename(const char* from, const char* to, unsigned int flags) {
    const std::string source = Relative(from), target = Relative(to);
    if (renameat2(backing, source.c_str(), backing, target.c_str(), flags) != 0)
        return -errno;
    const std::uint64_t id = IdOf(source);
    Note(Op::Rename, source, id, flags, 0, 0, 0, target);
    // What was below the old name is below the new one now.
    std::map<std::string, std::uint64_t> moved;
    for (auto it = ids.begin(); it != ids.end();) {
        const std::string& name = it->first;
        if (name == target || name.rfind(target + "/", 0) == 0) {
            it = ids.erase(it);
        } else if (name == source || name.rfind(source + "/", 0) == 0) {
            moved[target + name.substr(source.size())] = it->second;
            it = ids.erase(it);
        } else {
            ++it;
        }
    }
    ids.insert(moved.begin(), moved.end());
    return 0;
}

int Link(const char* from, const char* to) {
    const std::string source = Relative(from), target = Relative(to);
    if (linkat(backing, source.c_str(), backing, target.c_str(), 0) != 0)
        return -errno;
    ids[target] = IdOf(source);
    Note(Op::Link, target, IdOf(source), 0, 0, 0, 0, source);
    return 0;
}

int Chmod(const char* path, mode_t mode, fuse_file_info* fi) {
    const std::string name = Relative(path);
    const int rc = fi != nullptr ? fchmod(static_cast<int>(fi->fh), mode)
                                 : fchmodat(backing, name.c_str(), mode, 0);
    if (rc != 0)
        return -errno;
    Note(Op::Chmod, name, fi != nullptr ? openIds[fi->fh] : IdOf(name), mode);
    return 0;
}

int Chown(const char* path, uid_t owner, gid_t group, fuse_file_info* fi) {
    const std::string name = Relative(path);
    const int rc = fi != nullptr
                       ? fchown(static_cast<int>(fi->fh), owner, group)
                       : fchownat(backing, name.c_str(), owner, group, AT_SYMLINK_NOFOLLOW);
    if (rc != 0)
        return -errno;
    Note(Op::Chown, name, fi != nullptr ? openIds[fi->fh] : IdOf(name),
         static_cast<std::int32_t>(owner), static_cast<std::int32_t>(group));
    return 0;
}

int Truncate(const char* path, off_t size, fuse_file_info* fi) {
    const std::string name = Relative(path);
    int rc;
    if (fi != nullptr) {
        rc = ftruncate(static_cast<int>(fi->fh), size);
    } else {
        const int fd = openat(backing, name.c_str(), O_WRONLY | O_NOFOLLOW);
        rc = fd < 0 ? -1 : ftruncate(fd, size);
        if (fd >= 0)
            close(fd);
    }
    if (rc != 0)
        return -errno;
    Note(Op::Truncate, name, fi != nullptr ? openIds[fi->fh] : IdOf(name), size);
    return 0;
}

int Utimens(const char* path, const struct timespec times[2], fuse_file_info* fi) {
    const std::string name = Relative(path);
    const int rc = fi != nullptr ? futimens(static_cast<int>(fi->fh), times)
                                 : utimensat(backing, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (rc != 0)
        return -errno;
    // The times as set (UTIME_NOW and UTIME_OMIT resolved), so that a replay sets the same.
    struct stat st {};
    fstatat(backing, name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    Note(Op::Times, name, fi != nullptr ? openIds[fi->fh] : IdOf(name), st.st_atim.tv_sec,
         st.st_atim.tv_nsec, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return 0;
}

int OpenFile(const std::string& name, int flags, mode_t mode, fuse_file_info* fi, bool create) {
    const int fd = openat(backing, name.c_str(), flags | O_NOFOLLOW, mode);
    if (fd < 0)
        return -errno;
    if (create) {
        ids.erase(name);
        Note(Op::Create, name, IdOf(name), mode);
    } else if ((flags & O_TRUNC) != 0) {
        Note(Op::Truncate, name, IdOf(name), 0);
    }
    fi->fh = static_cast<std::uint64_t>(fd);
    openIds[fi->fh] = IdOf(name);
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    return OpenFile(Relative(path), fi->flags, 0, fi, false);
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
    // Whether the name was there before: an O_CREAT open of an existing file creates nothing.
    struct stat st {};
    const std::string name = Relative(path);
    const bool existed = fstatat(backing, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    return OpenFile(name, fi->flags | O_CREAT, mode, fi, !existed);
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    return Result(static_cast<int>(pread(static_cast<int>(fi->fh), buffer, size, offset)));
}

int Write(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    const ssize_t n = pwrite(static_cast<int>(fi->fh), buffer, size, offset);
    if (n < 0)
        return -errno;
    Note(Op::Write, Relative(path), openIds[fi->fh], offset, 0, 0, 0, {},
         std::string(buffer, static_cast<std::size_t>(n)));
    return static_cast<int>(n);
}

int StatFs(const char* path, struct statvfs* st) {
    const int fd = openat(backing, Relative(path).c_str(), O_RDONLY | O_PATH);
    if (fd < 0)
        return -errno;
    const int rc = fstatvfs(fd, st);
    close(fd);
    return Result(rc);
}

int Release(const char*, fuse_file_info* fi) {
    openIds.erase(fi->fh);
    close(static_cast<int>(fi->fh));
    return 0;
}

int Fsync(const char*, int, fuse_file_info* fi) {
    Note(Op::FlushFile, {}, openIds[fi->fh]);
    return 0;
}

int Access(const char* path, int mask) {
    return Result(faccessat(backing, Relative(path).c_str(), mask, AT_EACCESS));
}

void* Init(fuse_conn_info*, fuse_config* config) {
    // Every look-up and attribute comes from the backing folder, as it is now.
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->use_ino = 1;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: power_cut_fs BACKING_FOLDER MOUNT_POINT RECORD_FILE\n");
        return 2;
    }
    backing = open(argv[1], O_RDONLY | O_DIRECTORY);
    record = std::fopen(argv[3], "wb");
    if (backing < 0 || record == nullptr) {
        std::perror("power_cut_fs");
        return 1;
    }
    umask(0);
    fuse_operations ops{};
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.readlink = ReadLink;
    ops.opendir = OpenDir;
    ops.readdir = ReadDir;
    ops.releasedir = ReleaseDir;
    ops.fsyncdir = FsyncDir;
    ops.mknod = MakeNode;
    ops.mkdir = MakeDir;
    ops.unlink = Unlink;
    ops.rmdir = Rmdir;
    ops.symlink = Symlink;
    ops.rename = Rename;
    ops.link = Link;
    ops.chmod = Chmod;
    ops.chown = Chown;
    ops.truncate = Truncate;
    ops.utimens = Utimens;
    ops.open = Open;
    ops.create = Create;
    ops.read = Read;
    ops.write = Write;
    ops.statfs = StatFs;
    ops.release = Release;
    ops.fsync = Fsync;
    ops.access = Access;
    // Foreground, one thread; root's runs see the disk as any disk (permissions checked by
    // the kernel as on a real one).
    char* args[] = {argv[0],
                    argv[2],
                    const_cast<char*>("-f"),
                    const_cast<char*>("-s"),
                    const_cast<char*>("-o"),
                    const_cast<char*>("default_permissions,fsname=powercut,subtype=powercut"),
                    nullptr};
    return fuse_main(6, args, &ops, nullptr);
}
