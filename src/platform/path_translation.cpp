#include "platform/path_translation.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "platform/drive_table.h"
#include "platform/medium.h"

namespace vlm {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// The private-use block whose first 128 characters stand in for host characters: U+F000 is
// EF 80 80 in UTF-8, U+F07F is EF 81 BF.
constexpr unsigned char kStandInLead = 0xEF;

// The code a stand-in starting at `at` stands for, or -1 when no character of U+F000-U+F07F
// starts there.
int StandInCodeAt(std::string_view text, std::size_t at) {
    if (at + 2 >= text.size() || static_cast<unsigned char>(text[at]) != kStandInLead) {
        return -1;
    }
    const auto second = static_cast<unsigned char>(text[at + 1]);
    const auto third = static_cast<unsigned char>(text[at + 2]);
    if ((second != 0x80 && second != 0x81) || (third & 0xC0) != 0x80) {
        return -1;
    }
    return ((second & 0x01) << 6) | (third & 0x3F);
}

}  // namespace

bool NeedsStandIn(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 1 && code < 0x20) {
        return true;
    }
    switch (c) {
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return false;
    }
}

std::string StandInFor(char c) {
    const auto code = static_cast<unsigned char>(c) & 0x7F;
    return {static_cast<char>(kStandInLead), static_cast<char>(0x80 | (code >> 6)),
            static_cast<char>(0x80 | (code & 0x3F))};
}

std::optional<std::string> HostNameToDriveName(std::string_view hostName) {
    // Nearly every name needs no stand-in and holds none: it is its own drive name, taken whole
    // rather than character by character, since every listed entry comes through here.
    static const std::array<bool, 256> kNotPlain = [] {
        std::array<bool, 256> table{};
        for (int code = 0; code < 256; ++code) {
            table[static_cast<std::size_t>(code)] =
                code == kStandInLead || NeedsStandIn(static_cast<char>(code));
        }
        return table;
    }();
    const bool plain = std::none_of(hostName.begin(), hostName.end(), [](char c) {
        return kNotPlain[static_cast<unsigned char>(c)];
    });
    if (plain) {
        return std::string(hostName);
    }
    std::string name;
    name.reserve(hostName.size());
    for (std::size_t i = 0; i < hostName.size(); ++i) {
        if (StandInCodeAt(hostName, i) >= 0) {
            return std::nullopt;
        }
        if (NeedsStandIn(hostName[i])) {
            name += StandInFor(hostName[i]);
        } else {
            name += hostName[i];
        }
    }
    return name;
}

std::optional<std::string> StoredNameToDriveName(std::string_view hostName) {
    std::string name;
    name.reserve(hostName.size());
    for (std::size_t i = 0; i < hostName.size(); ++i) {
        const int code = StandInCodeAt(hostName, i);
        if (code >= 0) {
            // Kept only where it stands for something: otherwise no drive path leads back to it.
            if (code == 0 || !NeedsStandIn(static_cast<char>(code)))
                return std::nullopt;
            name.append(hostName.substr(i, 3));
            i += 2;
        } else if (NeedsStandIn(hostName[i])) {
            name += StandInFor(hostName[i]);
        } else {
            name += hostName[i];
        }
    }
    return name;
}

std::optional<std::string> DriveNameToHostName(std::string_view driveName) {
    std::string name;
    name.reserve(driveName.size());
    for (std::size_t i = 0; i < driveName.size(); ++i) {
        const int code = StandInCodeAt(driveName, i);
        if (code < 0) {
            name += driveName[i];
            continue;
        }
        if (code == 0 || !NeedsStandIn(static_cast<char>(code))) {
            return std::nullopt;
        }
        name += static_cast<char>(code);
        i += 2;
    }
    return name;
}

std::string ShownName(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int code = StandInCodeAt(text, i);
        if (code >= 0x20 && NeedsStandIn(static_cast<char>(code))) {
            shown += static_cast<char>(code);
            i += 2;
        } else {
            shown += text[i];
        }
    }
    return shown;
}

std::optional<HostPath> ToHostPath(const DrivePath& drivePath) {
    if (drivePath.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> root = ActiveDriveTable().RootOf(drivePath.Letter());
    if (!root) {
        return std::nullopt;
    }
    const std::string_view rest = std::string_view(drivePath.Text()).substr(3);
    // Every file operation of a walk translates its path: one pass over the components, which
    // DrivePath has checked already, no copies of them.
    std::string host = *root == "/" ? std::string() : std::move(*root);
    host.reserve(host.size() + rest.size() + 1);
    std::size_t start = 0;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\\', start);
        const std::string_view component = rest.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (component.find(static_cast<char>(kStandInLead)) == std::string_view::npos) {
            host += '/';
            host += component;
        } else {
            // A medium that refuses such characters keeps the name as the program shows it.
            const bool keepStandIns = StoresStandInsAt(HostPath(host.empty() ? "/" : host));
            host += '/';
            host += keepStandIns ? std::string(component) : *DriveNameToHostName(component);
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return HostPath::Parse(host.empty() ? "/" : host);
}

std::optional<std::string> ToHostPath(std::string_view drivePath) {
    const std::optional<DrivePath> parsed = DrivePath::Parse(drivePath);
    std::optional<HostPath> host = parsed ? ToHostPath(*parsed) : std::nullopt;
    return host ? std::optional<std::string>(host->Text()) : std::nullopt;
}

std::optional<DrivePath> ToDrivePath(const HostPath& host) {
    if (host.empty()) {
        return std::nullopt;
    }
    const std::string_view hostPath = host.Text();
    std::vector<std::string_view> components;
    if (hostPath.size() > 1) {
        components = Split(hostPath.substr(1), '/');
    }

    const DriveTable& table = ActiveDriveTable();
    char bestLetter = 0;
    std::size_t bestDepth = 0;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        std::optional<std::string> root = table.RootOf(letter);
        if (!root) {
            continue;
        }
        std::vector<std::string_view> rootParts;
        if (*root != "/") {
            rootParts = Split(std::string_view(*root).substr(1), '/');
        }
        if (rootParts.size() > components.size()) {
            continue;
        }
        bool matches = true;
        for (std::size_t i = 0; i < rootParts.size() && matches; ++i) {
            matches = rootParts[i] == components[i];
        }
        // The deepest root wins; among equal roots the first letter.
        if (matches && (bestLetter == 0 || rootParts.size() > bestDepth)) {
            bestLetter = letter;
            bestDepth = rootParts.size();
        }
    }
    if (bestLetter == 0) {
        return std::nullopt;
    }

    std::string drive{bestLetter, ':', '\\'};
    for (std::size_t i = bestDepth; i < components.size(); ++i) {
        if (i > bestDepth) {
            drive += '\\';
        }
        std::optional<std::string> name = HostNameToDriveName(components[i]);
        if (!name) {
            return std::nullopt;
        }
        drive += *name;
    }
    return DrivePath::Parse(drive);
}

std::optional<std::string> ToDrivePath(std::string_view hostPath) {
    // One trailing slash only, as before: "/a//" keeps an empty component and is refused.
    if (hostPath.size() > 1 && hostPath.back() == '/') {
        hostPath.remove_suffix(1);
    }
    if (hostPath.size() > 1 && hostPath.back() == '/') {
        return std::nullopt;
    }
    const std::optional<HostPath> parsed = HostPath::Parse(hostPath);
    std::optional<DrivePath> drive = parsed ? ToDrivePath(*parsed) : std::nullopt;
    return drive ? std::optional<std::string>(drive->Text()) : std::nullopt;
}

bool HoldsControlCharacter(std::string_view text) {
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20) {
            return true;
        }
    }
    return false;
}

bool LooksLikeHostPath(std::string_view text) {
    return !text.empty() && text[0] == '/';
}

}  // namespace vlm
