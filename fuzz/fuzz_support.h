#pragma once
// What the fuzz targets share: a check that aborts with a message (so libFuzzer keeps the
// input), and splitting one input into several texts.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

namespace vlm::fuzz {

// The input cut at byte 0x01 into at most `count` parts (missing parts are empty).
inline std::vector<std::string> Parts(const std::uint8_t* data, std::size_t size,
                                      std::size_t count) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0x01 && parts.size() < count)
            parts.emplace_back();
        else
            parts.back().push_back(static_cast<char>(data[i]));
    }
    parts.resize(count);
    return parts;
}

}  // namespace vlm::fuzz
