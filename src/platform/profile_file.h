#pragma once
// Private-profile ("ini") files with the Windows rules: "[Section]" lines open sections,
// "key=value" lines follow; section and key names match without case; names and values are
// trimmed of blanks; a value is read up to 2047 characters. Writing keeps every section, key and
// line the program does not know, and replaces the file safely in one step.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_result.h"
#include "platform/paths.h"

namespace vlm {

class ProfileFile {
public:
    inline static constexpr std::size_t kMaxValueLength = 2047;

    // Parses `text` (CR LF, CR or LF line ends).
    static ProfileFile Parse(std::string_view text);
    // Loads the file at drive path `path`; a missing or unreadable file gives an empty profile.
    static ProfileFile Load(const DrivePath& path);

    // The value of `key` in `section`, trimmed and cut to kMaxValueLength characters; nullopt
    // when the section or the key is absent. "key=" gives an empty string.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Sets `key` in `section`, replacing the first line of that key or appending to the section
    // (created at the end of the file when missing).
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // Removes every line of `key` in `section` (a forgotten pin).
    void Remove(std::string_view section, std::string_view key);

    // The file text, every line ended by CR LF.
    std::string Text() const;
    // Writes Text() to `path` atomically; the error when it cannot.
    FileStatus Save(const DrivePath& path) const;

private:
    std::vector<std::string> lines_;
};

}  // namespace vlm
