#include "engine/verify_backup.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#include "core/exclusions.h"
#include "engine/destination_media.h"
#include "engine/name_checks.h"
#include "platform/file_system.h"
#include "platform/host_place.h"
#include "platform/platform_error.h"
#include "util/file_helpers.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

// Read in large pieces: a verification reads whole disks, and each piece is one call.
constexpr std::size_t kPieceSize = std::size_t(1) << 20;

// What reading one file gave: the hash of its bytes, or why it could not be read.
struct FileHash {
    std::uint64_t hash = 0;
    std::uint64_t size = 0;
    int error = 0;  // 0 when the file was read to its end
};

// A fast hash of the whole content, piece by piece: no cryptographic strength is needed, only
// that a changed byte or a different length changes it.
FileHash HashFile(const std::string& path, bool fromMedium, const std::atomic<bool>& stop) {
    FileHash result;
    HostFile file;
    if (const FileStatus opened = file.Open(DrivePath(path), HostFile::Mode::Read); !opened) {
        result.error = opened.Error().code != 0 ? opened.Error().code : EIO;
        return result;
    }
    if (fromMedium)
        file.DropCachedPages();
    std::unique_ptr<char[]> piece(new char[kPieceSize]);
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) {
            result.error = ECANCELED;
            return result;
        }
        // Each piece is filled before it is hashed, so that both sides cut their bytes alike.
        std::size_t filled = 0;
        while (filled < kPieceSize) {
            std::size_t got = 0;
            if (const FileStatus read = file.Read(piece.get() + filled, kPieceSize - filled, got);
                !read) {
                result.error = read.Error().code != 0 ? read.Error().code : EIO;
                return result;
            }
            if (got == 0)
                break;
            filled += got;
        }
        if (filled == 0)
            break;
        const std::size_t pieceHash = std::hash<std::string_view>{}({piece.get(), filled});
        hash = (hash ^ pieceHash) * 0x100000001b3ULL + filled;
        result.size += filled;
        if (filled < kPieceSize)
            break;
    }
    result.hash = hash;
    return result;
}

// The hashes of one side's files, made in order on a thread of its own; `done` says how many
// are in.
class SideReader {
public:
    // `top`: the folder the side's files lie below, reached from there folder by folder so that
    // no link below it is followed out of it; empty for paths reached as named.
    SideReader(std::vector<std::string> paths, bool fromMedium, const std::atomic<bool>& stop,
               DrivePath top = {})
        : paths_(std::move(paths)), hashes_(paths_.size()) {
        thread_ = std::thread([this, fromMedium, &stop, top = std::move(top)] {
            std::optional<WalkTop> walkTop;
            if (!top.empty())
                walkTop.emplace(top);
            for (std::size_t i = 0; i < paths_.size(); ++i) {
                // A stop ends the side at once: what is left is not opened, one by one, first.
                if (stop.load(std::memory_order_relaxed)) {
                    for (std::size_t rest = i; rest < paths_.size(); ++rest)
                        hashes_[rest].error = ECANCELED;
                    done_.store(paths_.size(), std::memory_order_release);
                    return;
                }
                hashes_[i] = HashFile(paths_[i], fromMedium, stop);
                done_.store(i + 1, std::memory_order_release);
            }
        });
    }
    ~SideReader() { Join(); }
    void Join() {
        if (thread_.joinable())
            thread_.join();
    }
    std::size_t Done() const { return done_.load(std::memory_order_acquire); }
    const FileHash& Hash(std::size_t i) const { return hashes_[i]; }

private:
    std::vector<std::string> paths_;
    std::vector<FileHash> hashes_;
    std::atomic<std::size_t> done_{0};
    std::thread thread_;
};

std::string UnreadableLine(const std::string& path, int error) {
    return std::string(FindingText(ContentFinding::Unreadable)) + ": " + path + " (" +
           PlatformErrorText(error) + ")";
}

// The line for one compared pair; empty when both sides hold the same bytes.
std::string PairLine(const CopiedFile& file, const FileHash& source, const FileHash& backup) {
    if (source.error != 0)
        return UnreadableLine(file.source, source.error);
    if (backup.error == ENOENT || backup.error == ENOTDIR)
        return std::string(FindingText(ContentFinding::MissingInBackup)) + ": " + file.source;
    if (backup.error != 0)
        return UnreadableLine(file.backup, backup.error);
    if (source.size != backup.size || source.hash != backup.hash)
        return std::string(FindingText(ContentFinding::Differs)) + ": " + file.source;
    return std::string();
}

// The path the run writes the file `source` to inside `backupFolder`: the same name, or the
// cleaned one when the run cleans names.
std::string BackupPathOf(const std::string& backupFolder, std::string_view name, bool longNames) {
    return backupFolder + "\\" + (longNames ? CleanedName(name) : std::string(name));
}

// A source file's size and time as they were listed.
struct SourceStamp {
    std::uint64_t size = 0;
    FileAge age;
};

// A source file, the path of its copy, and the source's stamp where it is known.
struct StampedFile {
    CopiedFile file;
    std::optional<SourceStamp> stamp;
};

// The stamp of a single file item, following a link as a named item is followed.
std::optional<SourceStamp> StampOfNamedFile(const std::string& source) {
    const FileResult<HostTime> time = GetFileHostTime(DrivePath(source));
    if (!time)
        return std::nullopt;
    return SourceStamp{static_cast<std::uint64_t>(FileSizeOf(DrivePath(source))), FileAgeOf(*time)};
}

// True when the plain-file copy at `backup` tells that its source was saved after it was made:
// the times differ at the step the medium keeps. A copy with its source's time and another size
// was not made by a run from that source as it is: that is damage, read and named as such.
bool ChangedSinceCopy(const StampedFile& file, const MediumTraits& medium) {
    if (!file.stamp)
        return false;
    const FileResult<DirEntry> copy = QueryEntry(DrivePath(file.file.backup));
    if (!copy || copy->kind != EntryKind::File)
        return false;
    return !SameAgeOnMedium(medium, FileAge{copy->modified, copy->time}, file.stamp->age);
}

// Collects the files of one folder item, with their copies' paths, and names on the way what
// cannot be compared at all.
class ItemWalk {
public:
    ItemWalk(const ExclusionList& exclusions, const ProgramOwnFiles& ownFiles, bool longNames,
             const VerifyLineSink& line, const KeepGoing& keepGoing, VerifyTotals& totals)
        : exclusions_(exclusions),
          ownFiles_(ownFiles),
          longNames_(longNames),
          line_(line),
          keepGoing_(keepGoing),
          totals_(totals) {}

    // False when the person stopped it.
    bool Walk(const std::string& source, const std::string& backup, const std::string& below) {
        std::vector<UnlistedEntry> unlisted;
        FolderListing listing;
        if (const FileStatus read =
                listing.Read(DrivePath(source), kAttrAnyFile, ListDetail::Full, &unlisted);
            !read) {
            Finding(UnreadableLine(source, read.Error().code));
            return true;
        }
        // A name the program cannot hold is no more backed up than one it cannot look at.
        for (const UnlistedEntry& entry : unlisted)
            Finding(UnreadableLine(source + "\\" + entry.name,
                                   entry.error != 0 ? entry.error : EILSEQ));
        for (std::size_t i = 0; i < listing.size(); ++i) {
            if (++looked_ % 256 == 0 && !keepGoing_())
                return false;
            const EntryKind kind = listing.Kind(i);
            if (kind != EntryKind::File && kind != EntryKind::Directory)
                continue;  // a run never copies a link or a special file
            const std::string_view name = listing.Name(i);
            const std::string path =
                below.empty() ? std::string(name) : below + "/" + std::string(name);
            if (exclusions_.ExcludesEntry(path, kind == EntryKind::Directory))
                continue;
            const std::string s = source + "\\" + std::string(name);
            if (kind == EntryKind::File && ownFiles_.Holds(s))
                continue;
            if (kind == EntryKind::Directory) {
                if (!Walk(s, backup + "\\" + std::string(name), path))
                    return false;
            } else {
                const DirEntry entry = listing.Entry(i);
                files.push_back({{s, BackupPathOf(backup, name, longNames_)},
                                 SourceStamp{entry.size, FileAge{entry.modified, entry.time}}});
            }
        }
        return true;
    }

    std::vector<StampedFile> files;

private:
    void Finding(const std::string& text) {
        ++totals_.differences;
        line_(text);
    }

    const ExclusionList& exclusions_;
    const ProgramOwnFiles& ownFiles_;
    bool longNames_;
    const VerifyLineSink& line_;
    const KeepGoing& keepGoing_;
    VerifyTotals& totals_;
    std::uint64_t looked_ = 0;
};

void Add(VerifyTotals& into, const VerifyTotals& part) {
    into.files += part.files;
    into.bytes += part.bytes;
    into.differences += part.differences;
    into.changed += part.changed;
    into.stopped = into.stopped || part.stopped;
}

}  // namespace

const char* FindingText(ContentFinding finding) {
    switch (finding) {
        case ContentFinding::Differs:
            return "differs";
        case ContentFinding::MissingInBackup:
            return "missing in backup";
        case ContentFinding::Unreadable:
            break;
    }
    return "unreadable";
}

VerifyTotals CompareCopies(const std::vector<CopiedFile>& files, bool fromMedium,
                           const VerifyLineSink& line, const KeepGoing& keepGoing,
                           const std::string& backupTop) {
    VerifyTotals totals;
    if (files.empty())
        return totals;
    std::vector<std::string> sources, backups;
    for (const CopiedFile& file : files) {
        sources.push_back(file.source);
        backups.push_back(file.backup);
    }
    // The sources are read only to be compared: their pages stay as they are.
    std::atomic<bool> stop{false};
    SideReader sourceSide(std::move(sources), false, stop);
    SideReader backupSide(std::move(backups), fromMedium, stop,
                          backupTop.empty() ? DrivePath() : DrivePath(backupTop));
    std::size_t told = 0;
    while (told < files.size()) {
        const std::size_t ready = std::min(sourceSide.Done(), backupSide.Done());
        for (; told < ready; ++told) {
            const FileHash& s = sourceSide.Hash(told);
            const FileHash& b = backupSide.Hash(told);
            if (s.error == ECANCELED || b.error == ECANCELED)
                continue;
            const std::string text = PairLine(files[told], s, b);
            if (!text.empty()) {
                ++totals.differences;
                line(text);
            } else {
                ++totals.files;
            }
            totals.bytes += s.size + b.size;
        }
        if (told < files.size()) {
            if (!stop.load() && !keepGoing()) {
                stop.store(true);
                totals.stopped = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return totals;
}

VerifyTotals VerifyBackup(const RunRequest& request, const VerifyLineSink& line,
                          const KeepGoing& keepGoing, const ProgramOwnFiles& ownFiles) {
    const ExclusionList exclusions(request.project.Exclusions());
    const bool longNames = request.options.longnames;
    VerifyTotals totals;
    for (std::size_t j = 0; j < request.items.size() && !totals.stopped; ++j) {
        const std::string source = StripTrailingBackslash(request.items[j]);
        const std::string backup = StripTrailingBackslash(request.DestinationOf(j));
        line("Verifying " + source + " against " + backup);
        LearnMediumForReading(DrivePath(backup));
        const MediumTraits medium = MediumAhead(DrivePath(backup));
        VerifyTotals item;
        std::vector<StampedFile> files;
        switch (ItemKind(DrivePath(source))) {
            case 'f': {
                const std::size_t slash = backup.find_last_of('\\');
                files.push_back({{source, slash == std::string::npos
                                              ? backup
                                              : BackupPathOf(backup.substr(0, slash),
                                                             backup.substr(slash + 1), longNames)},
                                 StampOfNamedFile(source)});
                break;
            }
            case 'd': {
                ItemWalk walk(exclusions, ownFiles, longNames, line, keepGoing, item);
                item.stopped = !walk.Walk(source, backup, std::string());
                files = std::move(walk.files);
                break;
            }
            default:
                line(UnreadableLine(source, ENOENT));
                ++item.differences;
                break;
        }
        // A file item's copy lies in the folder of its backup; a folder item's below it.
        const std::string top =
            ItemKind(DrivePath(source)) == 'd' ? backup : DrivePath(backup).Parent().Text();
        // What was saved since the backup is no damage of it: not read, and listed apart. The
        // copies are looked at from the backup's folder down: one behind a link is not there.
        std::vector<CopiedFile> compared;
        std::vector<std::string> changed;
        {
            const WalkTop backupTop{DrivePath(top)};
            for (const StampedFile& file : files) {
                if (ChangedSinceCopy(file, medium))
                    changed.push_back(file.file.source);
                else
                    compared.push_back(file.file);
            }
        }
        if (!item.stopped)
            Add(item, CompareCopies(compared, true, line, keepGoing, top));
        for (const std::string& path : changed)
            line(std::string(kChangedSinceBackup) + ": " + path);
        item.changed = changed.size();
        line(std::to_string(item.files) + " files the same, " + std::to_string(item.differences) +
             " differences" +
             (changed.empty() ? std::string()
                              : ", " + std::to_string(changed.size()) + " " + kChangedSinceBackup));
        Add(totals, item);
    }
    line(totals.ok() ? "OK" : "Error");
    return totals;
}

}  // namespace vlm
