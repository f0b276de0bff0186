#pragma once
// Where the host finds the entry a drive path names: a name in an open folder.
//
// A walk of a source or destination folder marks its top with a WalkTop. Below that top, every
// folder on the way to an entry is opened from its parent's descriptor, name by name, never
// following a link, and the host call is made relative to the last one (openat, fstatat,
// renameat, ...). So a path has no length limit below a top, and a link that another process
// swaps in for a folder below it is refused, never followed. The descriptors of the folders last
// reached are held, so that the next entry in the same folder costs no look-up at all.
//
// Outside any top a path goes to the host whole, as it always did; only a path too long for the
// host is then reached folder by folder from "/" (following links, as the whole path would).

#include <fcntl.h>

#include <string>
#include <string_view>

#include "platform/file_result.h"
#include "platform/paths.h"

namespace vlm {

// The folder descriptor and the name a host call takes for one drive path. The descriptor is
// borrowed: it stays open until the place after next is asked for on this thread, so two places
// (a rename's) can be held at once.
class HostPlace {
public:
    int Folder() const { return folder_; }  // AT_FDCWD when Name() is a whole host path
    const char* Name() const { return name_.c_str(); }
    // The whole host path: for the medium's registry and for messages, never for a call.
    const HostPath& Host() const { return host_; }
    // O_NOFOLLOW below a walk's top, where a link at the entry itself is never followed either;
    // 0 elsewhere, where a named path follows its links as it always did.
    int NoFollow() const { return belowTop_ ? O_NOFOLLOW : 0; }
    // The same for the *at calls that take AT_SYMLINK_NOFOLLOW (fstatat, utimensat, fchmodat, ...).
    int AtNoFollow() const { return belowTop_ ? AT_SYMLINK_NOFOLLOW : 0; }
    bool BelowTop() const { return belowTop_; }
    // How a call relative to Folder() names the entry `name` beside this one (a temporary file):
    // the name itself, or its whole host path where Name() is one.
    std::string Beside(std::string_view name) const {
        return folder_ == AT_FDCWD ? (host_.Parent() / name).Text() : std::string(name);
    }

private:
    friend FileResult<HostPlace> PlaceOf(const DrivePath& path);
    int folder_ = AT_FDCWD;
    std::string name_;
    HostPath host_;
    bool belowTop_ = false;
};

// The place of `path`; ENOENT for a path the drive table cannot place, and the error of the
// folder on the way that could not be opened (ENOTDIR for a link below a top).
FileResult<HostPlace> PlaceOf(const DrivePath& path);

// Marks `top` (a real folder, opened now, following a link as a named item may be one) as the
// top of a walk on this thread for as long as it lives. A top that cannot be opened marks
// nothing: paths below it go to the host whole.
class WalkTop {
public:
    explicit WalkTop(const DrivePath& top);
    ~WalkTop();
    WalkTop(const WalkTop&) = delete;
    WalkTop& operator=(const WalkTop&) = delete;
};

// Lets go of the folders held for the next look-up. Called whenever a folder (or a link) is
// removed or renamed: a held descriptor would still reach the folder under its old name.
void ForgetHeldFolders();

}  // namespace vlm
