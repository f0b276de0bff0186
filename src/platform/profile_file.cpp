#include "platform/profile_file.h"

#include <cctype>

#include "platform/file_system.h"
#include "platform/utf8_text.h"

namespace vlm {

namespace {

std::string_view Trim(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// The section name of a "[Name]" line.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

// The key and value of a "key=value" line; everything after the first "=" is the value.
std::optional<KeyLine> KeyLineOf(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') {
        return std::nullopt;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return KeyLine{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

// The first `limit` characters (UTF-8 code points, as the Windows rule counts characters, not
// bytes): a value of accented or Asian letters is not cut to half its length.
std::string CutValue(std::string_view value, std::size_t limit) {
    return std::string(value.substr(0, FirstCharacters(value, limit).bytes));
}

// A line break inside a value would cut the file into extra lines that later reads take for
// sections or keys.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return line;
}

}  // namespace

ProfileFile ProfileFile::Parse(std::string_view text) {
    ProfileFile profile;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            profile.lines_.emplace_back(text.substr(start));
            break;
        }
        profile.lines_.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') {
            ++start;
        }
    }
    return profile;
}

ProfileFile ProfileFile::Load(const DrivePath& path) {
    const FileResult<std::string> text = ReadWholeFile(path);
    return text ? Parse(*text) : ProfileFile{};
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (const std::string& line : lines_) {
        if (std::optional<std::string_view> name = SectionOf(line)) {
            inSection = SameName(*name, Trim(section));
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (std::optional<KeyLine> entry = KeyLineOf(line);
            entry && SameName(entry->key, Trim(key))) {
            return CutValue(entry->value, kMaxValueLength);
        }
    }
    return std::nullopt;
}

void ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string newLine = OneLine(Trim(key)) + "=" + OneLine(value);
    bool inSection = false;
    std::optional<std::size_t> lastInSection;  // the last non-blank line of the first match
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (std::optional<std::string_view> name = SectionOf(lines_[i])) {
            if (inSection) {
                break;  // keys go into the first section of that name
            }
            inSection = SameName(*name, Trim(section));
            if (inSection) {
                lastInSection = i;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (std::optional<KeyLine> entry = KeyLineOf(lines_[i]);
            entry && SameName(entry->key, Trim(key))) {
            lines_[i] = newLine;
            return;
        }
        if (!Trim(lines_[i]).empty()) {
            lastInSection = i;
        }
    }
    if (lastInSection) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*lastInSection + 1), newLine);
        return;
    }
    lines_.push_back("[" + OneLine(Trim(section)) + "]");
    lines_.push_back(newLine);
}

void ProfileFile::Remove(std::string_view section, std::string_view key) {
    bool inSection = false;
    std::erase_if(lines_, [&](const std::string& line) {
        if (std::optional<std::string_view> name = SectionOf(line)) {
            inSection = SameName(*name, Trim(section));
            return false;
        }
        const std::optional<KeyLine> entry = inSection ? KeyLineOf(line) : std::nullopt;
        return entry && SameName(entry->key, Trim(key));
    });
}

std::string ProfileFile::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

FileStatus ProfileFile::Save(const DrivePath& path) const {
    return WriteFileAtomically(path, Text());
}

}  // namespace vlm
