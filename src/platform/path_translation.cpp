#include "platform/path_translation.h"

#include <cctype>
#include <vector>

#include "platform/drive_table.h"

namespace vlm {

namespace {

bool IsRefusedComponent(std::string_view c) {
    return c.empty() || c == "." || c == "..";
}

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

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

std::optional<std::string> ToHostPath(std::string_view drivePath) {
    if (drivePath.size() < 2 || drivePath[1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(drivePath[0]))) {
        return std::nullopt;
    }
    if (drivePath.size() > 2 && drivePath[2] != '\\') {
        return std::nullopt;
    }
    std::optional<std::string> root = ActiveDriveTable().RootOf(drivePath[0]);
    if (!root) {
        return std::nullopt;
    }
    std::string_view rest = drivePath.size() > 3 ? drivePath.substr(3) : std::string_view{};
    if (rest == "\\") {
        return std::nullopt;  // "c:\\" holds an empty component
    }
    if (!rest.empty() && rest.back() == '\\') {
        rest.remove_suffix(1);
    }
    if (rest.empty()) {
        return root;
    }

    // Every file operation of a walk translates its path: one pass over the components, no
    // copies of them.
    std::string host = *root == "/" ? std::string() : std::move(*root);
    host.reserve(host.size() + rest.size() + 1);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = rest.find('\\', start);
        const std::string_view component = rest.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        // A '/' or NUL would split or cut the name on the host and let a path climb out of
        // its drive, so such a component is refused like "..".
        if (IsRefusedComponent(component) || component.find('/') != std::string_view::npos ||
            component.find('\0') != std::string_view::npos) {
            return std::nullopt;
        }
        host += '/';
        const std::size_t nameStart = host.size();
        host += component;
        if (component.find(kBackslashStandIn) != std::string_view::npos) {
            std::string name = host.substr(nameStart);
            ReplaceAll(name, kBackslashStandIn, "\\");
            host.replace(nameStart, std::string::npos, name);
        }
        if (end == std::string_view::npos) {
            return host;
        }
        start = end + 1;
    }
}

std::optional<std::string> ToDrivePath(std::string_view hostPath) {
    if (hostPath.empty() || hostPath[0] != '/') {
        return std::nullopt;
    }
    if (hostPath.size() > 1 && hostPath.back() == '/') {
        hostPath.remove_suffix(1);
    }
    std::vector<std::string_view> components;
    if (hostPath.size() > 1) {
        components = Split(hostPath.substr(1), '/');
    }
    for (std::string_view c : components) {
        if (IsRefusedComponent(c)) {
            return std::nullopt;
        }
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
        std::string name(components[i]);
        ReplaceAll(name, "\\", kBackslashStandIn);
        drive += name;
    }
    return drive;
}

bool LooksLikeHostPath(std::string_view text) {
    return !text.empty() && text[0] == '/';
}

}  // namespace vlm
