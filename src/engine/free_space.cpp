#include "engine/free_space.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "engine/destination_media.h"
#include "platform/tree_walk.h"
#include "platform/volumes.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

char LetterOf(const std::string& destinationLetter) {
    return destinationLetter.empty() ? '\0' : destinationLetter[0];
}

std::int64_t FreeBytesOf(const std::string& destinationLetter) {
    return destinationLetter.empty() ? -1 : DiskFreeBytes(LetterOf(destinationLetter));
}

}  // namespace

std::uint64_t MirroredItemSize(const DrivePath& path, const ExclusionList& exclusions,
                               std::uint64_t largestFile) {
    switch (ItemKind(path)) {
        case 'd':
            if (exclusions.empty() && largestFile == 0)
                return DirSize(path);
            return FolderTreeSizeLeaving(
                path,
                [&](std::string_view below, bool isFolder) {
                    return exclusions.ExcludesEntry(below, isFolder);
                },
                largestFile);
        case 'f': {
            const auto size =
                static_cast<std::uint64_t>(std::max<std::int64_t>(FileSizeOf(path), 0));
            return largestFile != 0 && size > largestFile ? 0 : size;
        }
        default:
            return 0;
    }
}

std::string DestinationLetter(const ProjectText& project, const HandOverState& handOver,
                              const AppSettings& settings) {
    std::string destination;
    if (handOver.SyncMode) {
        destination = handOver.SyncDest;
    } else {
        destination = project.Value("destdrive");
        if (destination == "<default>")
            destination = settings.BackupLocation;
    }
    return destination.substr(0, 1);
}

std::int64_t checkfutfreesize(const std::string& destinationLetter,
                              const std::vector<std::string>& sourceItems,
                              const std::vector<std::string>& destinationPaths,
                              const ExclusionList& exclusions) {
    std::int64_t sourceTotal = 0;
    for (std::size_t j = 0; j < sourceItems.size(); ++j) {
        const std::string& item = sourceItems[j];
        const char kind = ItemKind(DrivePath(item));
        if (kind == 'n') {
            ShowErrorBox("Item " + item + " does not exist!");
            return -1;
        }
        try {
            const std::uint64_t largestFile =
                j < destinationPaths.size()
                    ? MediumAhead(DrivePath(destinationPaths[j])).largestFile
                    : 0;
            sourceTotal += static_cast<std::int64_t>(
                MirroredItemSize(DrivePath(item), exclusions, largestFile));
        } catch (const std::exception&) {
            ShowErrorBox("Unable to detect size of item " + item + ".");
            return -1;
        }
    }
    const std::int64_t freeBytes = FreeBytesOf(destinationLetter);
    if (freeBytes == -1) {
        ShowErrorBox("Chosen destination drive invalid or not ready!");
        return -1;
    }
    std::int64_t destinationTotal = 0;
    for (const std::string& path : destinationPaths)
        destinationTotal +=
            static_cast<std::int64_t>(MirroredItemSize(DrivePath(path), exclusions));
    return freeBytes + destinationTotal - sourceTotal;
}

bool DriveTellsItsSpace(const std::string& destinationLetter) {
    return !destinationLetter.empty() && DiskTotalBytes(LetterOf(destinationLetter)) > 0;
}

std::vector<std::string> FreeSpaceLines(const std::string& destinationLetter) {
    const std::string upper(
        1,
        static_cast<char>(std::toupper(static_cast<unsigned char>(LetterOf(destinationLetter)))));
    const std::int64_t freeBytes = FreeBytesOf(destinationLetter);
    const std::int64_t totalBytes =
        destinationLetter.empty() ? -1 : DiskTotalBytes(LetterOf(destinationLetter));
    if (freeBytes < 0 || totalBytes <= 0) {
        // No percentage of an unknown or empty whole.
        return {"The free space on drive " + upper + " could not be determined. "};
    }
    const auto percent = static_cast<std::int64_t>(static_cast<unsigned __int128>(freeBytes) * 100 /
                                                   static_cast<unsigned __int128>(totalBytes));
    return {
        std::to_string(percent) + " percent of the space on drive " + upper + " is still free... ",
        "... that is " + GroupThousands(freeBytes / 1024) + " Kbytes free. "};
}

}  // namespace vlm
