#pragma once
// The record of a test disk that can lose power: every change made to it, in order, with the
// flushes between them. The disk (power_cut_fs) writes it; power_cut_disk replays a prefix of it
// as the disk would hold it after a power cut.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vlm::test::power_cut {

enum class Op : std::uint8_t {
    Create,     // path; a = mode, b = device (mknod)
    Mkdir,      // path; a = mode
    Symlink,    // path = the link, other = its target
    Link,       // path = the new name, other = the existing one
    Rename,     // path = from, other = to; a = flags
    Unlink,     // path
    Rmdir,      // path
    Write,      // path; a = offset; data
    Truncate,   // path; a = size
    Times,      // path; a, b = access seconds, nanoseconds; c, d = modification
    Chmod,      // path; a = mode
    Chown,      // path; a = owner, b = group
    FlushFile,  // fsync or fdatasync of the file `id`
    FlushDir,   // fsync of the folder `path`
    FlushAll,   // syncfs or sync
};

struct Record {
    Op op = Op::Create;
    std::uint64_t id = 0;  // which file or folder the change is of, across renames
    std::string path, other, data;
    std::int64_t a = 0, b = 0, c = 0, d = 0;

    // A change of what a folder lists, which a flush of that folder makes lasting.
    bool ChangesNames() const {
        return op == Op::Create || op == Op::Mkdir || op == Op::Symlink || op == Op::Link ||
               op == Op::Rename || op == Op::Unlink || op == Op::Rmdir;
    }
    bool IsFlush() const { return op == Op::FlushFile || op == Op::FlushDir || op == Op::FlushAll; }
};

inline void PutNumber(std::FILE* out, std::int64_t value) {
    std::fwrite(&value, sizeof value, 1, out);
}
inline void PutText(std::FILE* out, const std::string& text) {
    PutNumber(out, static_cast<std::int64_t>(text.size()));
    std::fwrite(text.data(), 1, text.size(), out);
}

inline void WriteRecord(std::FILE* out, const Record& r) {
    PutNumber(out, static_cast<std::int64_t>(r.op));
    PutNumber(out, static_cast<std::int64_t>(r.id));
    PutText(out, r.path);
    PutText(out, r.other);
    PutText(out, r.data);
    for (std::int64_t n : {r.a, r.b, r.c, r.d})
        PutNumber(out, n);
    std::fflush(out);
}

inline bool GetNumber(std::FILE* in, std::int64_t& value) {
    return std::fread(&value, sizeof value, 1, in) == 1;
}
inline bool GetText(std::FILE* in, std::string& text) {
    std::int64_t size = 0;
    if (!GetNumber(in, size) || size < 0 || size > (1ll << 30))
        return false;
    text.resize(static_cast<std::size_t>(size));
    return size == 0 || std::fread(text.data(), 1, text.size(), in) == text.size();
}

// Every whole record of the file at `path`.
inline std::vector<Record> ReadRecords(const std::string& path) {
    std::vector<Record> records;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr)
        return records;
    for (;;) {
        Record r;
        std::int64_t op = 0, id = 0;
        if (!GetNumber(in, op) || !GetNumber(in, id) || !GetText(in, r.path) ||
            !GetText(in, r.other) || !GetText(in, r.data) || !GetNumber(in, r.a) ||
            !GetNumber(in, r.b) || !GetNumber(in, r.c) || !GetNumber(in, r.d))
            break;
        r.op = static_cast<Op>(op);
        r.id = static_cast<std::uint64_t>(id);
        records.push_back(std::move(r));
    }
    std::fclose(in);
    return records;
}

// The name the sync shim looks up on the disk to say "syncfs or sync was called here".
inline constexpr const char* kSyncSignal = ".power-cut-sync";

}  // namespace vlm::test::power_cut
