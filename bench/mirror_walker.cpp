// A minimal mirror of one folder into another, as a reference for the benchmarks: what a plain
// program that walks both trees once costs on this machine. It is meant to be simple and fair,
// not tuned: one thread, both folders listed and sorted, one fstatat per entry on each side
// relative to the open folder, new or changed files (size or modification time differ) copied
// with copy_file_range to a temporary name that is renamed over the copy, and entries the
// source does not have removed. Links and special files are not copied.
//
//   mirror_walker SOURCE DESTINATION
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Complain(const char* what, const std::string& name) {
    std::fprintf(stderr, "mirror_walker: %s %s: %s\n", what, name.c_str(), std::strerror(errno));
    ++failures;
}

struct Name {
    std::string name;
    unsigned char type;  // d_type, DT_UNKNOWN where the file system does not record it
};

// The entries of the open folder `fd` (which stays open), sorted by bytes.
std::vector<Name> List(int fd) {
    std::vector<Name> names;
    const int own = ::dup(fd);
    DIR* dir = own < 0 ? nullptr : ::fdopendir(own);
    if (dir == nullptr) {
        if (own >= 0)
            ::close(own);
        Complain("cannot list", ".");
        return names;
    }
    while (const dirent* item = ::readdir(dir)) {
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0)
            continue;
        names.push_back({item->d_name, item->d_type});
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(),
              [](const Name& a, const Name& b) { return a.name < b.name; });
    return names;
}

void RemoveTree(int parent, const std::string& name);

// Removes whatever is at `name` in the folder `parent`, a folder with everything in it.
void RemoveEntry(int parent, const std::string& name) {
    struct stat st {};
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (S_ISDIR(st.st_mode))
        RemoveTree(parent, name);
    else if (::unlinkat(parent, name.c_str(), 0) != 0)
        Complain("cannot remove", name);
}

void RemoveTree(int parent, const std::string& name) {
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) {
        Complain("cannot open", name);
        return;
    }
    for (const Name& entry : List(fd))
        RemoveEntry(fd, entry.name);
    ::close(fd);
    if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0)
        Complain("cannot remove", name);
}

bool SameTime(const struct stat& a, const struct stat& b) {
    return a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Copies the file `name` of `from` into `to` under a temporary name, then renames it over the
// old copy, so that a copy is never seen half written.
void CopyFile(int from, int to, const std::string& name, const struct stat& st) {
    const int in = ::openat(from, name.c_str(), O_RDONLY | O_NOFOLLOW);
    if (in < 0) {
        Complain("cannot open", name);
        return;
    }
    const std::string temporary = "." + name + ".mw-tmp";
    const int out = ::openat(to, temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0) {
        Complain("cannot create", temporary);
        ::close(in);
        return;
    }
    bool ok = true;
    for (off_t left = st.st_size; left > 0;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, left, 0);
        if (n <= 0) {
            ok = false;
            Complain("cannot copy", name);
            break;
        }
        left -= n;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && ::fchmod(out, st.st_mode & 07777) == 0 && ::futimens(out, times) == 0;
    ::close(in);
    ok = ::close(out) == 0 && ok;
    if (ok && ::renameat(to, temporary.c_str(), to, name.c_str()) != 0) {
        Complain("cannot rename", temporary);
        ok = false;
    }
    if (!ok)
        ::unlinkat(to, temporary.c_str(), 0);
}

void Mirror(int from, int to);

// Brings the source entry `name` (looked at in `st`) to the destination folder `to`.
void MirrorEntry(int from, int to, const std::string& name, const struct stat& st) {
    struct stat there {};
    const bool exists = ::fstatat(to, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
    if (S_ISDIR(st.st_mode)) {
        if (exists && !S_ISDIR(there.st_mode))
            RemoveEntry(to, name);
        if ((!exists || !S_ISDIR(there.st_mode)) && ::mkdirat(to, name.c_str(), 0700) != 0) {
            Complain("cannot create", name);
            return;
        }
        const int subFrom = ::openat(from, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        const int subTo = ::openat(to, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (subFrom >= 0 && subTo >= 0) {
            Mirror(subFrom, subTo);
            if (!exists || (there.st_mode & 07777) != (st.st_mode & 07777))
                ::fchmod(subTo, st.st_mode & 07777);
        } else {
            Complain("cannot open", name);
        }
        if (subFrom >= 0)
            ::close(subFrom);
        if (subTo >= 0)
            ::close(subTo);
        return;
    }
    if (!S_ISREG(st.st_mode))
        return;  // links and special files are not this reference's business
    if (exists && S_ISREG(there.st_mode) && there.st_size == st.st_size && SameTime(there, st))
        return;
    if (exists && S_ISDIR(there.st_mode))
        RemoveTree(to, name);
    CopyFile(from, to, name, st);
}

// Mirrors the open folder `from` into the open folder `to`: both listings are walked side by
// side, so that each name is compared once.
void Mirror(int from, int to) {
    const std::vector<Name> source = List(from);
    const std::vector<Name> target = List(to);
    std::size_t t = 0;
    for (const Name& entry : source) {
        while (t < target.size() && target[t].name < entry.name)
            RemoveEntry(to, target[t++].name);
        if (t < target.size() && target[t].name == entry.name)
            ++t;
        struct stat st {};
        if (::fstatat(from, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                Complain("cannot look at", entry.name);
            continue;
        }
        MirrorEntry(from, to, entry.name, st);
    }
    while (t < target.size())
        RemoveEntry(to, target[t++].name);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mirror_walker SOURCE DESTINATION\n");
        return 2;
    }
    ::mkdir(argv[2], 0700);
    const int from = ::open(argv[1], O_RDONLY | O_DIRECTORY);
    const int to = ::open(argv[2], O_RDONLY | O_DIRECTORY);
    if (from < 0 || to < 0) {
        std::perror("mirror_walker: cannot open a folder");
        return 2;
    }
    Mirror(from, to);
    return failures == 0 ? 0 : 1;
}
