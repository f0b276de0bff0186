#pragma once
// Strings, numbers and clock arithmetic.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/packed_time.h"
#include "platform/text_lines.h"  // SplitLines, for every layer
#include "platform/utf8_text.h"

namespace vlm {

// FirstCharacters, CharacterCount: texts are measured in characters (platform/utf8_text.h).

std::string StripTrailingBackslash(std::string_view s);
int CountChar(char c, std::string_view s);
// The file name of `path` without its last extension (see the rules in the .cpp).
std::string BaseNameNoExt(std::string_view path);
// False when `s` holds one of  " * / : < > ? \ |
bool IsValidFileName(std::string_view s);
// "1234567" → "1.234.567"; "-1234" → "-1.234"; three digits or fewer unchanged.
std::string GroupThousands(std::string_view s);
std::string GroupThousands(std::int64_t n);
// "..." + the last n-3 characters when `s` is longer than n (characters, not bytes).
std::string ShortenLeft(std::string_view s, int n);
std::string PadTwo(std::string_view s);
// The nesting test of source items (substring test, case-insensitive, with fewer backslashes;
// or exactly equal).
bool IsPartOf(std::string_view a, std::string_view b);
int DriveNumber(char letter);

// A whole text as a 32-bit decimal integer with an optional sign ("+7", "-3"); nullopt for
// anything else, an empty text and a number outside the 32-bit range included.
std::optional<std::int32_t> ParseDecimalInt32(std::string_view text);

// Milliseconds from t2 to t1.
double MsBetween(DateTime t1, DateTime t2);
int ClockSecondsBetween(int hourA, int minuteA, int secondA, int hourB, int minuteB, int secondB);
struct ClockParts {
    int hours, minutes, seconds;
};
ClockParts SplitSeconds(int n);

// The elapsed-time numbers of a run: H, M and S (S with 0, 1 or 2 decimals by its size and the
// locale's decimal separator), as the report line and the history column write them.
struct ElapsedText {
    std::string hours, minutes, seconds;
};
ElapsedText FormatElapsed(double milliseconds);

// A size for a person to read: "512 bytes", "1.4 KB", "3.0 GB" (units of 1,000, one decimal
// with the locale's separator).
std::string SizeText(std::uint64_t bytes);
// A span of time for a person to read: "45 s", "3 min 05 s", "2 h 07 min".
std::string TimeSpanText(double seconds);

// `text` as a JSON string, in quotes: quotes, backslashes and control characters escaped, every
// other byte (UTF-8) as it is.
std::string JsonQuoted(std::string_view text);

}  // namespace vlm
