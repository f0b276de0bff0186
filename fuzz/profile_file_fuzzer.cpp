// The private-profile reader on any bytes, and its writer's round trip: a key that was set reads
// back as set (trimmed, on one line, at most 2047 characters), and no other key changes.

#include <cstdint>

#include "fuzz_support.h"
#include "platform/profile_file.h"

using namespace vlm;

namespace {

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.erase(text.begin());
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

// A section or key name the file form can hold at all: on one line, a section without "]", a
// key without "=" that does not read as a section or a comment.
bool Holdable(const std::string& section, const std::string& key) {
    const std::string k = Trimmed(key);
    if (section.find_first_of("\r\n]") != std::string::npos ||
        key.find_first_of("\r\n=") != std::string::npos)
        return false;
    return !k.empty() && k.front() != '[' && k.front() != ';';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parts = fuzz::Parts(data, size, 6);
    ProfileFile file = ProfileFile::Parse(parts[0]);
    const std::string& section = parts[1];
    const std::string& key = parts[2];
    const std::string& value = parts[3];
    const std::string& otherSection = parts[4];
    const std::string& otherKey = parts[5];

    const auto read = file.Get(section, key);
    if (read)
        FUZZ_CHECK(read->size() <= ProfileFile::kMaxValueLength);
    // Reading a file back from its text changes nothing.
    FUZZ_CHECK(ProfileFile::Parse(file.Text()).Get(section, key) == read);
    if (!Holdable(section, key))
        return 0;

    const auto otherBefore = file.Get(otherSection, otherKey);
    file.Set(section, key, value);
    const ProfileFile again = ProfileFile::Parse(file.Text());
    std::string expected = value;
    for (char& c : expected)
        if (c == '\r' || c == '\n')
            c = ' ';
    expected = Trimmed(expected);
    const auto got = again.Get(section, key);
    FUZZ_CHECK(got.has_value());
    if (expected.size() <= ProfileFile::kMaxValueLength)
        FUZZ_CHECK(*got == expected);
    else
        FUZZ_CHECK(expected.compare(0, got->size(), *got) == 0);

    const auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return Trimmed(s);
    };
    const bool sameKey = lower(section) == lower(otherSection) && lower(key) == lower(otherKey);
    if (!sameKey && Holdable(otherSection, otherKey))
        FUZZ_CHECK(again.Get(otherSection, otherKey) == otherBefore);
    return 0;
}
