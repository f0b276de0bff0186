#include "util/text_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vlm {
namespace {

TEST(StripTrailingBackslash, RemovesExactlyOne) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c : std::vector<Case>{
             {"c:\\data\\", "c:\\data"},
             {"c:\\data", "c:\\data"},
             {"c:\\data\\\\", "c:\\data\\"},
             {"\\", ""},
             {"", ""},
         }) {
        EXPECT_EQ(StripTrailingBackslash(c.in), c.out) << c.in;
    }
}

TEST(CountChar, CountsOccurrences) {
    EXPECT_EQ(CountChar('\\', "c:\\a\\b\\c"), 3);
    EXPECT_EQ(CountChar('\\', ""), 0);
    EXPECT_EQ(CountChar('\0', std::string("a\0b", 3)), 0);
    EXPECT_EQ(CountChar('x', "abc"), 0);
}

TEST(BaseNameNoExt, TakesTheFileNameWithoutItsLastExtension) {
    struct Case {
        std::string path, base;
    };
    for (const Case& c : std::vector<Case>{
             {"c:\\d\\archive.tar.gz", "archive.tar"},
             {"c:\\d\\.profile", ""},
             {"c:\\d\\readme", "readme"},
             {"c:\\my.dir\\readme", "readme"},
             {"c:\\projects\\backup.vlm", "backup"},
             {"backup.vlm", "backup"},
             {"c:\\d\\a.", "a"},
         }) {
        EXPECT_EQ(BaseNameNoExt(c.path), c.base) << c.path;
    }
}

TEST(IsValidFileName, RejectsTheNineReservedCharactersOnly) {
    for (const char* bad : {"a\"b", "a*b", "a/b", "a:b", "a<b", "a>b", "a?b", "a\\b", "a|b"}) {
        EXPECT_FALSE(IsValidFileName(bad)) << bad;
    }
    for (const char* good : {"Résumé final.doc", "tab\there", "x", "", "\x01\x7f"}) {
        EXPECT_TRUE(IsValidFileName(good)) << good;
    }
}

TEST(GroupThousands, GroupsDigitsByThreeWithDots) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c : std::vector<Case>{
             {"999", "999"},
             {"-100", "-100"},
             {"1000", "1.000"},
             {"1234567", "1.234.567"},
             {"-1234", "-1.234"},
             {"123456", "123.456"},
             {"0", "0"},
             {"", ""},
         }) {
        EXPECT_EQ(GroupThousands(c.in), c.out) << c.in;
        EXPECT_EQ(RemoveDots(GroupThousands(c.in)), c.in) << c.in;
    }
    EXPECT_EQ(GroupThousands(std::int64_t{5368709120}), "5.368.709.120");
    EXPECT_EQ(GroupThousands(std::int64_t{-9223372036854775807 - 1}), "-9.223.372.036.854.775.808");
}

TEST(ShortenLeft, KeepsTheEndOfLongTexts) {
    struct Case {
        std::string in;
        int n;
        std::string out;
    };
    for (const Case& c : std::vector<Case>{
             {"c:\\abcdefgh", 8, "...defgh"},
             {"c:\\abcdefgh", 11, "c:\\abcdefgh"},
             {"c:\\abcdefgh", 10, "...bcdefgh"},
             {"short", 55, "short"},
             // Counted in characters: "é" is two bytes but one character, never split.
             {"c:\\données\\été", 8, "...s\\été"},
             {"ééééé", 5, "ééééé"},
             {"éééééé", 5, "...éé"},
             {"abcdef", 3, "..."},
             {"abcdef", 0, ""},
             // A stray byte is a character of its own, as in the name checks.
             {"ab\x80"
              "cdef",
              6, "...def"},
             {"abcd\x80\x80"
              "f",
              6,
              "...\x80\x80"
              "f"},
         }) {
        EXPECT_EQ(ShortenLeft(c.in, c.n), c.out) << c.in << " to " << c.n;
    }
}

TEST(CharacterCount, CountsCharactersAndEveryStrayByteAsOne) {
    struct Case {
        std::string in;
        std::size_t characters;
    };
    for (const Case& c : std::vector<Case>{
             {"", 0},
             {"abc", 3},
             {"été", 3},
             {"\xF0\x9F\x98\x80x", 2},  // a four-byte character and x
             {"\x80\x80", 2},           // continuation bytes with no lead
             {"\xC3", 1},               // a lead byte cut off at the end
             {"\xC3x", 2},              // a lead byte without its continuation
             {"\xC0\x80", 2},           // an overlong form is no character
         }) {
        EXPECT_EQ(CharacterCount(c.in), c.characters) << c.in;
    }
}

TEST(FirstCharacters, NeverSplitsACharacter) {
    const CharacterPrefix two = FirstCharacters("\xC3\xA9t\xC3\xA9", 2);
    EXPECT_EQ(two.bytes, 3u);
    EXPECT_EQ(two.characters, 2u);
    const CharacterPrefix all = FirstCharacters("ab", 5);
    EXPECT_EQ(all.bytes, 2u);
    EXPECT_EQ(all.characters, 2u);
}

TEST(PadTwo, PadsSingleCharacters) {
    EXPECT_EQ(PadTwo("7"), "07");
    EXPECT_EQ(PadTwo("12"), "12");
    EXPECT_EQ(PadTwo(""), "");
}

TEST(IsPartOf, IsTheSubstringNestingTest) {
    struct Case {
        std::string a, b;
        bool partOf;
    };
    for (const Case& c : std::vector<Case>{
             {"c:\\data", "c:\\data\\sub", true},
             {"c:\\data\\sub", "c:\\data", false},
             {"C:\\Data", "c:\\data\\sub", true},
             {"c:\\a", "c:\\ab\\x", true},
             {"c:\\data", "c:\\data", true},
             {"C:\\Data", "c:\\data", false},  // same depth, not equal
             {"", "c:\\data", false},
             {"c:\\data", "", false},
             {"", "", false},
             {"c:\\x", "c:\\data\\sub", false},
             // Only ASCII letters are folded; other characters must match byte for byte.
             {"c:\\ÉTÉ", "c:\\été\\x", false},
             {"c:\\ÉtÉ", "c:\\ÉTÉ\\x", true},
         }) {
        EXPECT_EQ(IsPartOf(c.a, c.b), c.partOf) << c.a << " in " << c.b;
    }
}

TEST(DriveNumber, NumbersLettersFromOne) {
    EXPECT_EQ(DriveNumber('a'), 1);
    EXPECT_EQ(DriveNumber('A'), 1);
    EXPECT_EQ(DriveNumber('c'), 3);
    EXPECT_EQ(DriveNumber('Z'), 26);
    EXPECT_EQ(DriveNumber('z'), 26);
    EXPECT_EQ(DriveNumber('1'), 0);
    EXPECT_EQ(DriveNumber('\\'), 0);
}

TEST(MsBetween, CountsMillisecondsAcrossDays) {
    const DateTime day = 46000.0;
    EXPECT_DOUBLE_EQ(MsBetween(day + 0.5, day), 43200000.0);
    EXPECT_DOUBLE_EQ(MsBetween(day, day + 0.5), -43200000.0);
    EXPECT_DOUBLE_EQ(MsBetween(day + 1 + 1.0 / 86400, day + 0.75), 6 * 3600000.0 + 1000.0);
    EXPECT_DOUBLE_EQ(MsBetween(day + 65.3 / 86400, day), 65300.0);
}

TEST(ClockSeconds, DifferenceAndSplit) {
    EXPECT_EQ(ClockSecondsBetween(10, 30, 0, 9, 15, 20), 4480);
    EXPECT_EQ(ClockSecondsBetween(9, 0, 0, 10, 0, 0), -3600);
    EXPECT_EQ(ClockSecondsBetween(24, 0, 0, 0, 0, 0), 86400);

    struct Case {
        int n, h, m, s;
    };
    for (const Case& c : std::vector<Case>{
             {0, 0, 0, 0}, {59, 0, 0, 59}, {60, 0, 1, 0}, {3661, 1, 1, 1}, {86399, 23, 59, 59}}) {
        ClockParts parts = SplitSeconds(c.n);
        EXPECT_EQ(parts.hours, c.h) << c.n;
        EXPECT_EQ(parts.minutes, c.m) << c.n;
        EXPECT_EQ(parts.seconds, c.s) << c.n;
    }
}

TEST(FormatElapsed, WritesHoursMinutesAndRoundedSeconds) {
    struct Case {
        double ms;
        std::string h, m, s;
    };
    for (const Case& c : std::vector<Case>{
             {65300, "0", "1", "5.3"},
             {250, "0", "0", "0.25"},
             {3733400, "1", "2", "13"},
             {59700, "0", "0", "60"},  // rounded, not truncated
             {5260, "0", "0", "5.3"},
             {500, "0", "0", "0.50"},
             {75000, "0", "1", "15"},
             {0, "0", "0", "0.00"},
             {60000, "0", "1", "0.00"},  // an exact minute is never 59 minutes and 60 seconds
             {3600000, "1", "0", "0.00"},
             {9960, "0", "0", "10.0"},  // decimals chosen by the unrounded value
             {90061000, "25", "1", "1.0"},
             {-1500, "0", "0", "0.00"},
         }) {
        ElapsedText text = FormatElapsed(c.ms);
        EXPECT_EQ(text.hours, c.h) << c.ms;
        EXPECT_EQ(text.minutes, c.m) << c.ms;
        EXPECT_EQ(text.seconds, c.s) << c.ms;
    }
}

}  // namespace
}  // namespace vlm

namespace vlm {
namespace {

TEST(ParseDecimalInt32, TakesAWholeSignedDecimalOrNothing) {
    const struct {
        const char* text;
        std::optional<std::int32_t> value;
    } cases[] = {
        {"0", 0},
        {"+7", 7},
        {"-3", -3},
        {"2147483647", 2147483647},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"++1", std::nullopt},
        {"12a", std::nullopt},
        {" 1", std::nullopt},
        {"2147483648", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseDecimalInt32(c.text), c.value) << c.text;
}

TEST(JsonQuoted, EscapesWhatJsonNeedsAndKeepsUtf8) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c : std::vector<Case>{
             {"", "\"\""},
             {"OK", "\"OK\""},
             {"c:\\Data\\a.vlm", "\"c:\\\\Data\\\\a.vlm\""},
             {"say \"hi\"", "\"say \\\"hi\\\"\""},
             {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
             {std::string("x\x01y\x1f", 4), "\"x\\u0001y\\u001f\""},
             {"Gr\xC3\xBC\xC3\x9F\xEF\x80\xA2", "\"Gr\xC3\xBC\xC3\x9F\xEF\x80\xA2\""},
             {"/ and \x7f", "\"/ and \x7f\""},
             {"bad \xFF and cut \xC3", "\"bad \\ufffd and cut \\ufffd\""},
         }) {
        EXPECT_EQ(JsonQuoted(c.in), c.out) << c.in;
    }
}

}  // namespace
}  // namespace vlm
