#include "core/project_file.h"

#include <cstring>

#include "platform/file_system.h"
#include "platform/utf8_text.h"

namespace vlm {

namespace {

std::string ItemKey(std::size_t n) {
    return "item" + std::to_string(n);
}

std::string ExclusionKey(std::size_t n) {
    return "exclude" + std::to_string(n);
}

// A value that the line format cannot hold: a line break would split it into two lines (the
// rest read as a key of its own), and a NUL would end the whole text there.
bool HoldsLineBreakOrNul(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

ProjectText ProjectText::Parse(std::string_view bytes) {
    // A NUL byte ends the text; whatever follows it is not part of the project.
    if (const void* nul = std::memchr(bytes.data(), '\0', bytes.size())) {
        bytes = bytes.substr(0, static_cast<const char*>(nul) - bytes.data());
    }

    ProjectText project;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        std::string_view line = bytes.substr(pos, end - pos);

        // A line ends at CR LF, at a lone CR or at a lone LF.
        pos = end;
        if (pos < bytes.size()) {
            if (bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n') {
                pos += 2;
            } else {
                pos += 1;
            }
        }

        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;  // a line without "=" names no key
        }
        // The first line of a key wins: try_emplace leaves an earlier entry in place.
        project.firstValues_.try_emplace(LowerAscii(line.substr(0, eq)), line.substr(eq + 1));
    }
    return project;
}

std::optional<ProjectText> ProjectText::Load(const DrivePath& path) {
    std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) {
        return std::nullopt;
    }
    return Parse(*bytes);
}

std::string ProjectText::Value(std::string_view key) const {
    auto found = firstValues_.find(LowerAscii(key));
    return found == firstValues_.end() ? std::string() : found->second;
}

bool ProjectText::IsProject() const {
    return Value("vlmproject") == "ok";
}

std::vector<std::string> ProjectText::NumberedValues(std::string (*key)(std::size_t)) const {
    std::vector<std::string> values;
    for (std::size_t n = 1;; ++n) {
        std::string value = Value(key(n));
        if (value.empty()) {
            break;  // the first gap ends the list; later numbers are never read
        }
        values.push_back(std::move(value));
    }
    return values;
}

std::vector<std::string> ProjectText::Items() const {
    return NumberedValues(ItemKey);
}

std::vector<std::string> ProjectText::Exclusions() const {
    return NumberedValues(ExclusionKey);
}

bool IsProjectFile(const DrivePath& path) {
    std::optional<ProjectText> project = ProjectText::Load(path);
    return project && project->IsProject();
}

int ReadVersionDays(const ProjectText& project) {
    const std::string value = project.Value("versiondays");
    if (value.empty() || value.size() > 5 ||
        value.find_first_not_of("0123456789") != std::string::npos)
        return kDefaultVersionDays;
    const int days = std::stoi(value);
    return days >= 1 && days <= kMaxVersionDays ? days : kDefaultVersionDays;
}

RunOptions ReadRunOptions(const ProjectText& project) {
    RunOptions options;
    options.confirm = project.Value("confirm") != "N";
    options.precalc = project.Value("precalc") != "N";
    // The run checks names unless told not to; the editor reads the same key the other way.
    options.longnames = project.Value("longnames") != "N";
    options.versions = project.Value("versions") == "Y";
    options.versionDays = ReadVersionDays(project);
    options.verify = project.Value("verify") == "Y";
    return options;
}

ProjectFields NewProjectFields() {
    ProjectFields fields;
    fields.versions = true;
    fields.versionDays = kDefaultVersionDays;
    return fields;
}

ProjectFields ReadEditorFields(const ProjectText& project) {
    ProjectFields fields;
    fields.destdrive = project.Value("destdrive");
    fields.destkind = project.Value("destkind");
    fields.confirm = project.Value("confirm") != "N";
    fields.precalc = project.Value("precalc") != "N";
    fields.longnames = project.Value("longnames") == "Y";
    fields.sync = project.Value("sync") == "Y";
    if (fields.sync) {
        fields.syncdest = project.Value("syncdest");
    }
    fields.items = project.Items();
    fields.versions = project.Value("versions") == "Y";
    fields.versionDays = ReadVersionDays(project);
    fields.exclusions = project.Exclusions();
    fields.verify = project.Value("verify") == "Y";
    return fields;
}

std::string ProjectFileText(const ProjectFields& fields) {
    std::string text;
    auto line = [&text](std::string_view key, std::string_view value) {
        text.append(key).append("=").append(value).append("\r\n");
    };
    auto yesNo = [](bool on) { return on ? "Y" : "N"; };

    line("vlmproject", "ok");
    // A synchronising project's destination is its "syncdest"; the drive box is not stored.
    line("destdrive", fields.sync ? std::string_view() : std::string_view(fields.destdrive));
    line("destkind", fields.destkind);
    line("confirm", yesNo(fields.confirm));
    line("precalc", yesNo(fields.precalc));
    line("longnames", yesNo(fields.longnames));
    line("sync", yesNo(fields.sync));
    if (fields.sync) {
        line("syncdest", fields.syncdest);
    }
    if (fields.versions) {
        line("versions", "Y");
        line("versiondays", std::to_string(fields.versionDays));
    }
    for (std::size_t i = 0; i < fields.items.size(); ++i) {
        line(ItemKey(i + 1), fields.items[i]);
    }
    // Written only when set, so that a project without them is stored as it always was.
    for (std::size_t i = 0; i < fields.exclusions.size(); ++i) {
        line(ExclusionKey(i + 1), fields.exclusions[i]);
    }
    if (fields.verify) {
        line("verify", "Y");
    }
    return text;
}

bool ProjectFileCanHold(const ProjectFields& fields) {
    // Only the values that are stored count: destdrive without sync, syncdest with it.
    if (HoldsLineBreakOrNul(fields.destkind) ||
        (!fields.sync && HoldsLineBreakOrNul(fields.destdrive)) ||
        (fields.sync && HoldsLineBreakOrNul(fields.syncdest))) {
        return false;
    }
    // An empty item or pattern would end its list on reading and drop every one after it.
    for (const auto* list : {&fields.items, &fields.exclusions}) {
        for (const std::string& value : *list) {
            if (value.empty() || HoldsLineBreakOrNul(value)) {
                return false;
            }
        }
    }
    return true;
}

bool WriteProjectFile(const DrivePath& path, const ProjectFields& fields) {
    if (!ProjectFileCanHold(fields)) {
        return false;
    }
    return static_cast<bool>(WriteFileAtomically(path, ProjectFileText(fields)));
}

}  // namespace vlm
