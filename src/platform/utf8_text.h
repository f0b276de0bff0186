#pragma once
// Measuring UTF-8 texts in characters. Lives here, at the bottom, because the profile reader
// cuts its values in characters too; the helpers above reach it through util/text_helpers.h.

#include <cstddef>
#include <string>
#include <string_view>

namespace vlm {

// Texts are UTF-8 and measured in characters. A byte that does not start a well-formed sequence
// counts as a character of its own, so a text with stray bytes (a name from the host) is still
// counted and cut without reading past its end or splitting a character.
struct CharacterPrefix {
    std::size_t bytes = 0;
    std::size_t characters = 0;
};
// The first `count` characters of `s` (all of `s` when it is shorter): how many bytes they take
// and how many characters that is.
CharacterPrefix FirstCharacters(std::string_view s, std::size_t count);
std::size_t CharacterCount(std::string_view s);

// Only ASCII letters are folded: bytes of multi-byte UTF-8 characters stay as they are, so a
// folded text never holds a broken character, whatever the locale.
char LowerAscii(char c);
std::string LowerAscii(std::string_view s);

// `s` with every letter lower-cased as Unicode does it (Ä → ä), the way a file system that does
// not tell case apart (exFAT, FAT, NTFS on Windows) sees two names as one. Stray bytes stay.
std::string FoldCase(std::string_view s);

}  // namespace vlm
