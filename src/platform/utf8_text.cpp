#include "platform/utf8_text.h"

namespace vlm {

namespace {

// Length in bytes of the character that starts at `pos`.
std::size_t CharacterLength(std::string_view s, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (pos + length > s.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(s[pos + i]);
        if ((next & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

}  // namespace

CharacterPrefix FirstCharacters(std::string_view s, std::size_t count) {
    CharacterPrefix prefix;
    while (prefix.bytes < s.size() && prefix.characters < count) {
        prefix.bytes += CharacterLength(s, prefix.bytes);
        ++prefix.characters;
    }
    return prefix;
}

std::size_t CharacterCount(std::string_view s) {
    return FirstCharacters(s, s.size()).characters;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

}  // namespace vlm
