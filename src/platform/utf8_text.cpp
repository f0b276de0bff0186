#include "platform/utf8_text.h"

#include <locale.h>

#include <climits>
#include <clocale>
#include <cwchar>
#include <cwctype>

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

std::string FoldCase(std::string_view s) {
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    std::string folded;
    folded.reserve(s.size());
    std::mbstate_t state{};
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x80 || utf8 == static_cast<locale_t>(0)) {
            folded += LowerAscii(s[i]);
            ++i;
            continue;
        }
        wchar_t wide = 0;
        const locale_t previous = ::uselocale(utf8);
        const std::size_t length = std::mbrtowc(&wide, s.data() + i, s.size() - i, &state);
        std::size_t taken = 1;
        if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2) ||
            length == 0) {
            state = {};
            folded += s[i];
        } else {
            char out[MB_LEN_MAX];
            const std::size_t written =
                std::wcrtomb(out, ::towlower_l(static_cast<wint_t>(wide), utf8), &state);
            if (written == static_cast<std::size_t>(-1))
                folded.append(s.substr(i, length));
            else
                folded.append(out, written);
            taken = length;
        }
        ::uselocale(previous);
        i += taken;
    }
    return folded;
}

}  // namespace vlm
