// Drive paths and host paths: no drive path reaches outside its drive's folder, and a path that
// translates one way translates back to the same place.

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/drive_table.h"
#include "platform/path_translation.h"

using namespace vlm;

namespace {

const char* const kRootC = "/fuzz/c";
const char* const kRootE = "/fuzz/e";

void PinDrives() {
    static bool pinned = false;
    if (pinned)
        return;
    DriveTable table;
    table.Pin('c', kRootC);
    table.Pin('e', kRootE);
    table.Pin('n', "/");
    SetActiveDriveTable(table);
    pinned = true;
}

bool HasDotComponent(const std::string& host) {
    std::size_t start = 1;
    while (start <= host.size()) {
        std::size_t end = host.find('/', start);
        if (end == std::string::npos)
            end = host.size();
        const std::string component = host.substr(start, end - start);
        if (component == "." || component == "..")
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PinDrives();
    const std::string text(reinterpret_cast<const char*>(data), size);

    // As a drive path.
    if (const auto host = ToHostPath(text)) {
        const auto root = ActiveDriveTable().RootOf(text[0]);
        FUZZ_CHECK(root.has_value());
        // Inside the drive's folder, never above it.
        if (*root != "/")
            FUZZ_CHECK(*host == *root || host->rfind(*root + "/", 0) == 0);
        FUZZ_CHECK(!HasDotComponent(*host));
        FUZZ_CHECK(host->find('\0') == std::string::npos);
        // And back: a drive path that names the same host path.
        const auto back = ToDrivePath(*host);
        FUZZ_CHECK(back.has_value());
        FUZZ_CHECK(ToHostPath(*back) == host);
    }

    // As a host path (a host name never holds a NUL). A name that already holds a character of
    // the stand-in range has no drive path; every other comes back unchanged.
    if (text.find('\0') == std::string::npos) {
        if (const auto drive = ToDrivePath(text)) {
            const auto host = ToHostPath(*drive);
            FUZZ_CHECK(host.has_value());
            std::string expected = text;
            if (expected.size() > 1 && expected.back() == '/')
                expected.pop_back();
            FUZZ_CHECK(*host == expected);
        }
    }
    return 0;
}
