#pragma once
// Verifying a backup: every file of a project's sources is read together with its copy, and what
// differs in content is named. A verification reads and never writes: not the backup, not the
// sources, not the run history, not the run log.
//
// The same comparison reads back what a run copied when the project asks for it ("verify=Y"):
// after the run's flush, with the copies' cached pages dropped first, so that their bytes come
// from the medium rather than from memory.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/run_request.h"
#include "engine/own_files.h"

namespace vlm {

// A source file and the path of its copy.
struct CopiedFile {
    std::string source;
    std::string backup;
};

// What a comparison found wrong with one file, in the words of its line.
enum class ContentFinding {
    Differs,          // "differs"
    MissingInBackup,  // "missing in backup"
    Unreadable,       // "unreadable": the source or the copy could not be read
};
const char* FindingText(ContentFinding finding);

// Told each line of a verification, in order.
using VerifyLineSink = std::function<void(const std::string& line)>;
// Asked now and then while files are read (there: let window messages be handled); false stops
// the verification.
using KeepGoing = std::function<bool()>;

// The line of a source file saved since its backup: its size or its time is not its copy's.
inline constexpr const char* kChangedSinceBackup = "changed since the backup";

struct VerifyTotals {
    std::uint64_t files = 0;  // files compared, both sides read to the end
    std::uint64_t bytes = 0;  // bytes read, both sides together
    std::uint64_t differences = 0;
    // Source files changed since the backup: not read, and no damage of the backup.
    std::uint64_t changed = 0;
    bool stopped = false;
    bool ok() const { return differences == 0 && !stopped; }
};

// Compares each pair's content, reading the sources on one thread and the copies on another, and
// tells `line` one line per pair that is not equal ("differs: " + the source path, and so on).
// With `fromMedium` the copies' cached pages are dropped before they are read. With `backupTop`
// the copies are reached from that folder down and never through a link below it.
VerifyTotals CompareCopies(const std::vector<CopiedFile>& files, bool fromMedium,
                           const VerifyLineSink& line, const KeepGoing& keepGoing,
                           const std::string& backupTop = {});

// Verifies every item of `request` against its destination path: for each source file (links,
// special files and what the project's exclusions leave out are no part of a backup) its copy
// must exist and hold the same bytes. A source file whose time is not its copy's (at the step the
// backup's medium keeps times in) was saved since the backup: it is listed apart ("changed since
// the backup: " + the path) after the item's damage and counted in `changed`, and is no damage.
// A copy with the source's time but other bytes or another size, a missing copy and one that
// cannot be read are. The lines name each difference, say per item what was compared and end
// with "OK" or "Error".
// The program's own changing files (`ownFiles`) are no part of a backup and are not compared.
VerifyTotals VerifyBackup(const RunRequest& request, const VerifyLineSink& line,
                          const KeepGoing& keepGoing,
                          const ProgramOwnFiles& ownFiles = ProgramOwnFiles());

}  // namespace vlm
