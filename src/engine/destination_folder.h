#pragma once
// The copy pass's view of one destination folder during its walk.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/utf8_text.h"

namespace vlm {

// What a destination folder held when its walk began, read in one listing, so that each source
// file is compared with its copy without a lookup of the copy's whole path. Without a listing
// (the folder could not be read, or cleaned names may make two source files meet at one
// destination name) every path is asked on its own.
class DestinationFolder {
public:
    DestinationFolder() = default;
    explicit DestinationFolder(FolderListing entries)
        : entries_(std::move(entries)), listed_(true) {}

    // The entry at `path`, whose name is `name`. The walk asks in the order of its source
    // listing, which is the order of this one: each lookup goes on from where the last ended, so
    // the two listings are passed through once side by side.
    std::optional<DirEntry> Lookup(const std::string& path, std::string_view name) const {
        if (!listed_)
            return QueryEntry(DrivePath(path));
        const std::size_t at = entries_.FindFrom(name, next_);
        if (at == FolderListing::npos)
            return std::nullopt;
        return entries_.Entry(at);
    }

    // On a medium that takes "Report.txt" and "report.txt" for one name: the entry whose name
    // differs from `name` only in case, which a copy written under `name` would replace.
    // nullopt when there is none (without a listing, the medium's own look-up already folds).
    std::optional<DirEntry> LookupOtherCase(std::string_view name) const {
        if (!listed_ || entries_.empty())
            return std::nullopt;
        if (folded_.empty()) {
            for (std::size_t i = 0; i < entries_.size(); ++i)
                folded_.emplace(FoldCase(entries_.Name(i)), i);
        }
        const auto found = folded_.find(FoldCase(name));
        if (found == folded_.end())
            return std::nullopt;
        return entries_.Entry(found->second);
    }

private:
    FolderListing entries_;
    mutable std::size_t next_ = 0;
    // Folded name -> index, made at the first LookupOtherCase.
    mutable std::unordered_map<std::string, std::size_t> folded_;
    bool listed_ = false;
};

}  // namespace vlm
