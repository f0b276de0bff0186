#pragma once
// File names safe for fragile media: cleaned of forbidden characters and cut to 127 characters.

#include <string>
#include <string_view>
#include <vector>

#include "engine/run_log.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace vlm {

inline constexpr int kMaxNameLength = 127;  // in characters (UTF-8 code points)

// `path` with its file name cleaned and cut; the folder part unchanged. When the cleaned name is
// empty the result is the folder part alone (it ends with '\' or ':'): see NameIsEmpty.
std::string fnamecutto127(std::string_view path, RunLog& log);
// What fnamecutto127 makes of the file name `name`, without a report line: for comparing the
// names that several files of one folder would get.
std::string CleanedName(std::string_view name);
// True when `path` has no file name after its last '\' or ':'.
bool NameIsEmpty(std::string_view path);

// True when `name` (exactly 127 characters) is the cut of a file name in `sourceFolder`.
bool file127exists(const DrivePath& sourceFolder, std::string_view name, RunLog& log);
// The same rule on a listing already made, without a report line.
bool IsCutOfListedFile(std::string_view name, const FolderListing& sourceEntries);
// True when `name` is what the name checks make of another file name of the listing (its
// forbidden characters taken out, its front cleaned, cut): that file's copy, which stays.
bool IsCleanedFormOfListedFile(std::string_view name, const FolderListing& sourceEntries);

}  // namespace vlm
