#include "platform/host_place.h"

#include <limits.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>
#include <vector>

#include "platform/host_calls.h"
#include "platform/path_translation.h"

namespace vlm {

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
// Past this depth only every sixteenth folder on the way keeps its descriptor, so that a tree
// thousands of folders deep never runs out of them; the others are opened again when needed.
constexpr std::size_t kAllHeld = 48;

struct Top {
    std::string host;  // the top folder's host path
    HostPath hostPath;
    int fd = -1;
    bool follows = false;  // the base for long paths outside any top: links followed
};

struct Level {
    std::size_t end;  // where this folder's name ends in Chain::path
    int fd;           // -1 when let go (deep chains)
};

// The folders from a top down to the one last reached, each with its descriptor.
struct Chain {
    const Top* top = nullptr;
    std::string path;
    std::vector<Level> levels;

    void Drop(std::size_t keep) {
        while (levels.size() > keep) {
            if (levels.back().fd >= 0)
                host::CloseQuietly(levels.back().fd);
            levels.pop_back();
        }
        // A let-go folder cannot be descended from: go back to the deepest held one.
        while (!levels.empty() && levels.back().fd < 0)
            levels.pop_back();
        if (levels.empty() && keep == 0)
            top = nullptr;
        path.resize(levels.empty() ? 0 : levels.back().end);
    }
    // How many of the held folders lie on the way to `folder` below `on`.
    std::size_t Shared(const Top& on, const std::string& folder) const {
        if (top != &on)
            return 0;
        std::size_t n = levels.size();
        while (n > 0) {
            const std::size_t end = levels[n - 1].end;
            if (end <= folder.size() && folder.compare(0, end, path, 0, end) == 0 &&
                (end == folder.size() || folder[end] == '/'))
                break;
            --n;
        }
        return n;
    }
};

struct ThreadPlaces {
    std::vector<std::unique_ptr<Top>> tops;  // innermost last
    Top root{"", HostPath(), -1, true};      // "/" itself: every host path lies below it
    std::array<Chain, 2> chains;
    std::size_t lastUsed = 0;

    ~ThreadPlaces() {
        for (Chain& chain : chains)
            chain.Drop(0);
        for (const auto& top : tops)
            host::CloseQuietly(top->fd);
        if (root.fd >= 0)
            host::CloseQuietly(root.fd);
    }

    // The descriptor of `folder` (at or below `top`); -1 with errno when a folder on the way
    // cannot be opened.
    int Reach(const Top& top, const std::string& folder) {
        if (folder.size() == top.host.size())
            return top.fd;
        // The chain last used is extended when the folder lies at or below its end; otherwise the
        // other one moves, so the place given just before stays open.
        std::size_t pick = lastUsed;
        const std::size_t shared = chains[pick].Shared(top, folder);
        if (chains[pick].top != &top || shared < chains[pick].levels.size())
            pick = 1 - lastUsed;
        lastUsed = pick;
        Chain& chain = chains[pick];
        chain.Drop(chain.Shared(top, folder));
        chain.top = &top;
        // Only folders opened now may be let go: the one the place before lies in stays open.
        const std::size_t held = chain.levels.size();
        std::size_t at = chain.levels.empty() ? top.host.size() : chain.levels.back().end;
        int fd = chain.levels.empty() ? top.fd : chain.levels.back().fd;
        while (at < folder.size()) {
            const std::size_t start = at + (folder[at] == '/' ? 1 : 0);
            std::size_t end = folder.find('/', start);
            if (end == std::string::npos)
                end = folder.size();
            const std::string name = folder.substr(start, end - start);
            const int next =
                host::OpenAt(fd, name.c_str(), kFolderFlags | (top.follows ? 0 : O_NOFOLLOW));
            if (next < 0)
                return -1;
            if (chain.levels.size() >= kAllHeld && chain.levels.size() > held &&
                (chain.levels.size() - 1) % 16 != 0) {
                host::CloseQuietly(chain.levels.back().fd);
                chain.levels.back().fd = -1;
            }
            chain.levels.push_back({end, next});
            chain.path.assign(folder, 0, end);
            fd = next;
            at = end;
        }
        return fd;
    }

    void Forget(const Top* top) {
        for (Chain& chain : chains) {
            if (top == nullptr || chain.top == top)
                chain.Drop(0);
        }
    }
};

thread_local ThreadPlaces tPlaces;

}  // namespace

FileResult<HostPlace> PlaceOf(const DrivePath& path) {
    std::optional<HostPath> host = ToHostPath(path);
    if (!host)
        return FileError{ENOENT, path.Text()};
    const Top* top = nullptr;
    for (auto it = tPlaces.tops.rbegin(); it != tPlaces.tops.rend(); ++it) {
        const HostPath& topPath = (*it)->hostPath;
        if ((*it)->fd >= 0 && *host != topPath && host->IsAtOrBelow(topPath)) {
            top = it->get();
            break;
        }
    }
    HostPlace place;
    if (top == nullptr && host->Text().size() < PATH_MAX) {
        place.name_ = host->Text();
        place.host_ = std::move(*host);
        return place;
    }
    if (top == nullptr) {
        if (tPlaces.root.fd < 0)
            tPlaces.root.fd = host::OpenAt(AT_FDCWD, "/", kFolderFlags);
        top = &tPlaces.root;
        if (top->fd < 0)
            return FileError{errno != 0 ? errno : EIO, path.Text()};
    }
    const HostPath parent = host->Parent();
    const int folder = tPlaces.Reach(*top, parent.IsRoot() ? std::string() : parent.Text());
    if (folder < 0)
        return FileError{errno != 0 ? errno : EIO, path.Text()};
    place.folder_ = folder;
    place.name_ = std::string(host->Name());
    place.host_ = std::move(*host);
    place.belowTop_ = !top->follows;
    return place;
}

WalkTop::WalkTop(const DrivePath& top) {
    auto marked = std::make_unique<Top>();
    if (const std::optional<HostPath> host = ToHostPath(top)) {
        marked->host = host->Text();
        marked->hostPath = *host;
        marked->fd = host::OpenAt(AT_FDCWD, host->Text().c_str(), kFolderFlags);
    }
    tPlaces.tops.push_back(std::move(marked));
}

WalkTop::~WalkTop() {
    tPlaces.Forget(tPlaces.tops.back().get());
    if (tPlaces.tops.back()->fd >= 0)
        host::CloseQuietly(tPlaces.tops.back()->fd);
    tPlaces.tops.pop_back();
}

void ForgetHeldFolders() {
    tPlaces.Forget(nullptr);
}

}  // namespace vlm
