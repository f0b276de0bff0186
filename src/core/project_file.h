#pragma once
// The project file (".vlm"): key=value lines, one reader for every caller, and the writer.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/paths.h"

namespace vlm {

// A project file as its readers see it: lines split at CR LF, CR or LF (a NUL ends the text),
// a key's value found by the first line whose text before its first "=" equals the key without
// regard to case. A missing key reads as the empty string.
class ProjectText {
public:
    static ProjectText Parse(std::string_view bytes);
    // nullopt when the file cannot be read.
    static std::optional<ProjectText> Load(const DrivePath& path);

    std::string Value(std::string_view key) const;
    // "vlmproject" is exactly "ok".
    bool IsProject() const;
    // item1, item2, ... up to the first empty value.
    std::vector<std::string> Items() const;
    // exclude1, exclude2, ... up to the first empty value: the patterns a run leaves out.
    std::vector<std::string> Exclusions() const;

private:
    // The values of key(1), key(2), ... up to the first empty one.
    std::vector<std::string> NumberedValues(std::string (*key)(std::size_t)) const;

    // lower-case key → value of its first line; built once, so lookups stay cheap for projects
    // with many items.
    std::unordered_map<std::string, std::string> firstValues_;
};

// The project check: the file can be read and is a project.
bool IsProjectFile(const DrivePath& path);

// How long kept versions stay when "versiondays" does not say (or says nothing sound).
inline constexpr int kDefaultVersionDays = 30;
// The longest "versiondays" taken: a century.
inline constexpr int kMaxVersionDays = 36500;
// "versiondays": whole days from 1 to kMaxVersionDays; anything else reads as the default.
int ReadVersionDays(const ProjectText& project);

// The options as a run reads them: on unless the value is exactly "N".
struct RunOptions {
    bool confirm = true;
    bool precalc = true;
    bool longnames = true;
    // Kept versions: what the run would delete or overwrite is moved aside first, and kept
    // "versiondays" days. Off unless the value is exactly "Y".
    bool versions = false;
    int versionDays = kDefaultVersionDays;
    // "verify": each copied file is read back from the medium after the run; on only for "Y".
    bool verify = false;
};
RunOptions ReadRunOptions(const ProjectText& project);

// Every field of a project, as the editor holds it and the writer stores it.
struct ProjectFields {
    std::string destdrive;
    std::string destkind;
    bool confirm = false;
    bool precalc = true;
    bool longnames = false;
    bool sync = false;
    std::string syncdest;
    std::vector<std::string> items;
    bool versions = false;  // "versions": off unless "Y"
    int versionDays = kDefaultVersionDays;
    std::vector<std::string> exclusions;  // stored after the items, only when there are any
    bool verify = false;                  // stored as "verify=Y" only when on
};
// The fields of a project made new, whichever way it is made: kept versions on for the default
// days, so that a new backup never loses a deleted or replaced document. A project file without
// the versions keys still reads as mirror-only (ReadEditorFields, ReadRunOptions).
ProjectFields NewProjectFields();
// The fields as the editor reads them ("confirm" on unless "N", "precalc" on unless "N",
// "longnames" and "sync" on only when "Y", "syncdest" only when syncing).
ProjectFields ReadEditorFields(const ProjectText& project);

// The file text: the lines in the fixed order, each ended by CR LF. "versions=Y" and
// "versiondays=" follow the synchronisation lines only when versions are kept, so a project
// without them is written as it always was.
std::string ProjectFileText(const ProjectFields& fields);
// False when a stored value could not be read back as written: a CR, LF or NUL in a value would
// split its line, and an empty item would end the item list early.
bool ProjectFileCanHold(const ProjectFields& fields);
// Writes the project safely (temporary file, then rename), UTF-8 byte for byte. False when it
// could not, or when the file could not hold the fields (ProjectFileCanHold); the file on disk
// is then the one that was there before.
bool WriteProjectFile(const DrivePath& path, const ProjectFields& fields);

}  // namespace vlm
