#include "platform/paths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/path_translation.h"

namespace vlm {

namespace {

bool IsDotOrEmpty(std::string_view component) {
    return component.empty() || component == "." || component == "..";
}

// A component of a drive path: a '/' or a control character would split or cut the name on the
// host and let a path climb out of its drive, and a stand-in must stand for a character.
bool IsDriveComponent(std::string_view component) {
    if (IsDotOrEmpty(component) || component.find('/') != std::string_view::npos ||
        HoldsControlCharacter(component)) {
        return false;
    }
    if (component.find('\xEF') == std::string_view::npos) {
        return true;  // no stand-in: the common case, decided without a copy
    }
    const std::optional<std::string> hostName = DriveNameToHostName(component);
    return hostName && !IsDotOrEmpty(*hostName);
}

// Calls `each` for every component of `text` separated by `separator`; false as soon as one
// call is.
template <typename Each>
bool ForEachComponent(std::string_view text, char separator, Each each) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        if (!each(text.substr(start, end == std::string_view::npos ? end : end - start))) {
            return false;
        }
        if (end == std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

// True when `path` is `folder` or continues it at a separator.
bool ContinuesAt(std::string_view path, std::string_view folder, char separator) {
    if (path.substr(0, folder.size()) != folder) {
        return false;
    }
    return path.size() == folder.size() || folder.back() == separator ||
           path[folder.size()] == separator;
}

}  // namespace

bool StartsWithDriveLetter(std::string_view text) {
    return text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]));
}

std::optional<DrivePath> DrivePath::Parse(std::string_view text) {
    if (!StartsWithDriveLetter(text) || (text.size() > 2 && text[2] != '\\')) {
        return std::nullopt;
    }
    std::string_view rest = text.size() > 3 ? text.substr(3) : std::string_view{};
    if (!rest.empty() && rest.back() == '\\') {
        rest.remove_suffix(1);
        if (rest.empty()) {
            return std::nullopt;  // "c:\\" holds an empty component
        }
    }
    if (!rest.empty() && !ForEachComponent(rest, '\\', IsDriveComponent)) {
        return std::nullopt;
    }
    DrivePath path;
    path.text_.reserve(3 + rest.size());
    path.text_.append(text.substr(0, 2)).append(1, '\\').append(rest);
    return path;
}

DrivePath::DrivePath(std::string_view text) {
    if (std::optional<DrivePath> parsed = Parse(text)) {
        text_ = std::move(parsed->text_);
    }
}

char DrivePath::Letter() const {
    return text_.empty() ? 0
                         : static_cast<char>(std::tolower(static_cast<unsigned char>(text_[0])));
}

DrivePath DrivePath::Parent() const {
    DrivePath parent;
    if (!text_.empty()) {
        const std::size_t slash = text_.rfind('\\');
        parent.text_ = text_.substr(0, slash == 2 ? 3 : slash);
    }
    return parent;
}

std::string_view DrivePath::Name() const {
    return IsRoot() || empty() ? std::string_view{}
                               : std::string_view(text_).substr(text_.rfind('\\') + 1);
}

DrivePath DrivePath::WithSuffix(std::string_view suffix) const {
    return empty() ? DrivePath() : DrivePath(text_ + std::string(suffix));
}

DrivePath DrivePath::Rebased(const DrivePath& from, const DrivePath& to) const {
    if (empty() || !IsAtOrBelow(from)) {
        return {};
    }
    if (*this == from) {
        return to;
    }
    return to / std::string_view(text_).substr(from.IsRoot() ? from.text_.size()
                                                             : from.text_.size() + 1);
}

DrivePath DrivePath::operator/(std::string_view relative) const {
    if (empty() || relative.empty()) {
        return *this;
    }
    if (!ForEachComponent(relative, '\\', IsDriveComponent)) {
        return {};
    }
    DrivePath child;
    child.text_.reserve(text_.size() + 1 + relative.size());
    child.text_.append(text_);
    if (!IsRoot()) {
        child.text_ += '\\';
    }
    child.text_.append(relative);
    return child;
}

bool DrivePath::IsAtOrBelow(const DrivePath& folder) const {
    if (empty() || folder.empty() || Letter() != folder.Letter()) {
        return false;
    }
    return ContinuesAt(std::string_view(text_).substr(1), std::string_view(folder.text_).substr(1),
                       '\\');
}

std::optional<HostPath> HostPath::Parse(std::string_view text) {
    if (text.empty() || text[0] != '/') {
        return std::nullopt;
    }
    while (text.size() > 1 && text.back() == '/') {
        text.remove_suffix(1);
    }
    if (text.size() > 1 && !ForEachComponent(text.substr(1), '/',
                                             [](std::string_view c) { return !IsDotOrEmpty(c); })) {
        return std::nullopt;
    }
    HostPath path;
    path.text_ = std::string(text);
    return path;
}

HostPath::HostPath(std::string_view text) {
    if (std::optional<HostPath> parsed = Parse(text)) {
        text_ = std::move(parsed->text_);
    }
}

HostPath HostPath::Parent() const {
    HostPath parent;
    if (!text_.empty()) {
        const std::size_t slash = text_.rfind('/');
        parent.text_ = text_.substr(0, slash == 0 ? 1 : slash);
    }
    return parent;
}

std::string_view HostPath::Name() const {
    return IsRoot() || empty() ? std::string_view{}
                               : std::string_view(text_).substr(text_.rfind('/') + 1);
}

HostPath HostPath::operator/(std::string_view relative) const {
    if (empty() || relative.empty()) {
        return *this;
    }
    if (!ForEachComponent(relative, '/', [](std::string_view c) { return !IsDotOrEmpty(c); })) {
        return {};
    }
    HostPath child;
    child.text_ = IsRoot() ? "/" + std::string(relative) : text_ + "/" + std::string(relative);
    return child;
}

bool HostPath::IsAtOrBelow(const HostPath& folder) const {
    return !empty() && !folder.empty() && ContinuesAt(text_, folder.text_, '/');
}

std::string DrivePathTextFromShown(std::string_view text) {
    if (!StartsWithDriveLetter(text)) {
        return std::string(text);
    }
    std::string drive(text.substr(0, std::min<std::size_t>(text.size(), 3)));
    for (const char c : text.substr(drive.size())) {
        drive += c != '\\' && NeedsStandIn(c) ? StandInFor(c) : std::string(1, c);
    }
    return drive;
}

HostPath ResolvedHostPath(const HostPath& path) {
    if (path.empty())
        return path;
    std::error_code failure;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path.Text(), failure);
    if (failure)
        return path;
    return HostPath::Parse(resolved.lexically_normal().string()).value_or(path);
}

std::optional<DrivePath> DrivePathFromArgument(std::string_view text,
                                               const HostPath& currentFolder) {
    if (text.empty()) {
        return std::nullopt;
    }
    if (StartsWithDriveLetter(text)) {
        return DrivePath::Parse(DrivePathTextFromShown(text));
    }
    std::filesystem::path host(text);
    if (host.is_relative()) {
        if (currentFolder.empty()) {
            return std::nullopt;
        }
        host = std::filesystem::path(currentFolder.Text()) / host;
    }
    const std::optional<HostPath> tidy = HostPath::Parse(host.lexically_normal().string());
    return tidy ? ToDrivePath(*tidy) : std::nullopt;
}

}  // namespace vlm
