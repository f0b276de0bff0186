#pragma once
// The question before a removal pass takes most of a folder item's backup. A reinstalled home,
// a freshly formatted disk mounted where the old one was, another camera card or a wrong path
// look to the pass exactly like files the person deleted; the guard judges by how much of the
// backup would go, and the person decides.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/app_settings.h"
#include "engine/pass_context.h"

namespace vlm {

// Backed-up files are plain files: links, special files, empty folders, the program's own
// temporary files and whatever lies in `lost+found` are no part of a backup, neither going nor
// kept.
struct RemovalAtStake {
    std::uint64_t removeFiles = 0;  // the backed-up files the removal pass would remove
    std::uint64_t removeBytes = 0;
    // The backed-up files it would leave. Counted only as far as the guard's decision needs:
    // exact whenever RemovalNeedsAsking is true (the question shows them), at least this many
    // otherwise.
    std::uint64_t keepFiles = 0;
    std::uint64_t keepBytes = 0;
};

// What deletesupr(source, destination) would remove from the backup and leave in it, counted by
// the pass itself reporting to a count, with a state, a log and dialogs of its own: nothing it
// does reaches the run, its report or the person. The run's pump keeps the window live; nullopt
// when the run is stopped meanwhile, or the pass would stop (it then meets that itself).
std::optional<RemovalAtStake> CountRemovalAtStake(const PassContext& ctx, const DrivePath& source,
                                                  const DrivePath& destination,
                                                  const AppSettings& settings);

// How many backed-up files a backup must hold for a removal of `removeFiles` of them not to be
// asked about: counting the backup may end beyond that number.
std::uint64_t BackupFilesEnough(std::uint64_t removeFiles, const AppSettings& settings);

// True when the guard is on and the removal takes at least the settings' share of the backup's
// files and at least their least number, or every file of a backup that holds any.
bool RemovalNeedsAsking(const RemovalAtStake& atStake, const AppSettings& settings);

// The start of the question; the headless runner knows it by this text.
inline constexpr const char* kMassRemovalQuestionStart = "WARNING: This run would remove ";

// The question, naming the item, its backup folder and what would go and stay.
std::string MassRemovalQuestion(const DrivePath& source, const DrivePath& destination,
                                const RemovalAtStake& atStake);

}  // namespace vlm
