// Loaded into the program under test (LD_PRELOAD): a syncfs or sync does not reach a FUSE file
// system's process, so the shim tells the test disk of it by looking up its signal name there,
// after the flush itself. POWER_CUT_MOUNT names the disk's mount point.

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "power_cut_log.h"

namespace {

void Signal() {
    const char* mount = std::getenv("POWER_CUT_MOUNT");
    if (mount == nullptr)
        return;
    const std::string name = std::string(mount) + "/" + vlm::test::power_cut::kSyncSignal;
    struct stat st;
    ::lstat(name.c_str(), &st);
}

}  // namespace

extern "C" int syncfs(int fd) {
    using Real = int (*)(int);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "syncfs"));
    const int rc = real(fd);
    Signal();
    return rc;
}

extern "C" void sync() {
    using Real = void (*)();
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "sync"));
    real();
    Signal();
}
