// fnamecutto127 on any path: the folder part stays, the name keeps none of the nine forbidden
// characters, starts with neither a blank nor a period, is at most 127 characters long, and a
// second cleaning changes nothing.

#include <cstdint>
#include <string>

#include "engine/name_checks.h"
#include "engine/run_log.h"
#include "fuzz_support.h"

using namespace vlm;

namespace {

std::size_t NameStart(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\:");
    return separator == std::string::npos ? 0 : separator + 1;
}

// Characters as the name checks count them: a well-formed UTF-8 sequence is one, any other
// byte one of its own.
std::size_t Characters(const std::string& s) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++count) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                                                            : 1;
        if (i + length > s.size())
            length = 1;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                length = 1;
        i += length;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static RunState run;
    static HandOverState handOver;
    static RunLog log(nullptr, run, handOver, "l:");
    const std::string path(reinterpret_cast<const char*>(data), size);

    const std::string cleaned = fnamecutto127(path, log);
    const std::string folder = path.substr(0, NameStart(path));
    FUZZ_CHECK(cleaned.compare(0, folder.size(), folder) == 0);
    const std::string name = cleaned.substr(folder.size());
    FUZZ_CHECK(name.find_first_of("\\/:*?\"<>|") == std::string::npos);
    FUZZ_CHECK(name.empty() || (name[0] != ' ' && name[0] != '.'));
    FUZZ_CHECK(Characters(name) <= 127);
    FUZZ_CHECK(NameIsEmpty(cleaned) == name.empty());
    FUZZ_CHECK(fnamecutto127(cleaned, log) == cleaned);
    return 0;
}
