#include "util/text_helpers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "platform/locale_text.h"

namespace vlm {

namespace {

constexpr double kMsPerDay = 86400000.0;

// Whole days and milliseconds of the day, as the date-time arithmetic counts them.
struct DayAndMs {
    long long day;
    long long ms;
};

DayAndMs SplitDayAndMs(DateTime t) {
    double day = std::trunc(t);
    return {static_cast<long long>(day), std::llround(std::fabs(t - day) * kMsPerDay)};
}

std::string FixedText(double value, int decimals) {
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    if (auto dot = text.find('.'); dot != std::string::npos) {
        text.replace(dot, 1, DecimalSeparator());
    }
    return text;
}

}  // namespace

std::string StripTrailingBackslash(std::string_view s) {
    if (!s.empty() && s.back() == '\\')
        s.remove_suffix(1);
    return std::string(s);
}

int CountChar(char c, std::string_view s) {
    if (c == '\0')
        return 0;
    int count = 0;
    for (char x : s) {
        if (x == c)
            ++count;
    }
    return count;
}

std::string BaseNameNoExt(std::string_view path) {
    std::string_view name = path;
    if (auto slash = path.rfind('\\'); slash != std::string_view::npos) {
        name = path.substr(slash + 1);
    }
    auto dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return std::string(name);
    // A name that begins with its only dot (".profile") has no base name.
    return std::string(name.substr(0, dot));
}

bool IsValidFileName(std::string_view s) {
    return s.find_first_of("\"*/:<>?\\|") == std::string_view::npos;
}

std::string GroupThousands(std::string_view s) {
    std::string_view sign;
    std::string_view digits = s;
    if (!digits.empty() && digits.front() == '-') {
        sign = digits.substr(0, 1);
        digits.remove_prefix(1);
    }
    if (digits.size() <= 3)
        return std::string(s);
    std::string out(sign);
    std::size_t lead = digits.size() % 3;
    if (lead == 0)
        lead = 3;
    out.append(digits.substr(0, lead));
    for (std::size_t i = lead; i < digits.size(); i += 3) {
        out.push_back('.');
        out.append(digits.substr(i, 3));
    }
    return out;
}

std::string GroupThousands(std::int64_t n) {
    return GroupThousands(std::to_string(n));
}

std::string ShortenLeft(std::string_view s, int n) {
    if (n < 0)
        n = 0;
    auto limit = static_cast<std::size_t>(n);
    const std::size_t length = CharacterCount(s);
    if (length <= limit)
        return std::string(s);
    // Too short a limit to hold anything but the dots: the dots alone, cut to the limit.
    if (limit <= 3)
        return std::string(limit, '.');
    return "..." + std::string(s.substr(FirstCharacters(s, length - (limit - 3)).bytes));
}

std::string PadTwo(std::string_view s) {
    if (s.size() == 1)
        return "0" + std::string(s);
    return std::string(s);
}

bool IsPartOf(std::string_view a, std::string_view b) {
    if (a.empty() || b.empty())
        return false;
    if (a == b)
        return true;
    bool contained = LowerAscii(b).find(LowerAscii(a)) != std::string::npos;
    return contained && CountChar('\\', a) < CountChar('\\', b);
}

int DriveNumber(char letter) {
    char lower = LowerAscii(letter);
    if (lower < 'a' || lower > 'z')
        return 0;
    return lower - 'a' + 1;
}

double MsBetween(DateTime t1, DateTime t2) {
    DayAndMs a = SplitDayAndMs(t1);
    DayAndMs b = SplitDayAndMs(t2);
    return static_cast<double>((a.day - b.day) * 86400000LL + (a.ms - b.ms));
}

int ClockSecondsBetween(int hourA, int minuteA, int secondA, int hourB, int minuteB, int secondB) {
    return (hourA * 3600 + minuteA * 60 + secondA) - (hourB * 3600 + minuteB * 60 + secondB);
}

ClockParts SplitSeconds(int n) {
    return {n / 3600, (n % 3600) / 60, n % 60};
}

ElapsedText FormatElapsed(double milliseconds) {
    // Whole hours and minutes are taken off the millisecond count directly rather than through
    // the fractions of hours and minutes: the fractions carry rounding noise that can turn an
    // exact minute into "59 minutes and 60 seconds".
    if (!(milliseconds > 0))
        milliseconds = 0;  // a clock set back during the run
    double hours = std::floor(milliseconds / 3600000.0);
    double rest = milliseconds - hours * 3600000.0;
    double minutes = std::floor(rest / 60000.0);
    double seconds = (rest - minutes * 60000.0) / 1000.0;
    int decimals = seconds >= 10 ? 0 : (seconds >= 1 ? 1 : 2);
    return {FixedText(hours, 0), FixedText(minutes, 0), FixedText(seconds, decimals)};
}

std::optional<std::int32_t> ParseDecimalInt32(std::string_view text) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+')
        return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

namespace {

// One ASCII character as a JSON string holds it.
void AppendJsonEscaped(std::string& out, char c) {
    switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (static_cast<unsigned char>(c) < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x",
                      static_cast<unsigned>(static_cast<unsigned char>(c)));
        out += escaped;
    } else {
        out += c;
    }
}

}  // namespace

// A JSON string: quotes, backslashes and control characters escaped; other bytes (UTF-8) kept.
std::string JsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            AppendJsonEscaped(out, text[i]);
            continue;
        }
        // A well-formed character as it is; a stray byte (a name from the host that is no
        // UTF-8) as the replacement character, so the line stays valid JSON.
        const std::size_t length = FirstCharacters(text.substr(i), 1).bytes;
        const bool wellFormed = length > 1;
        out += wellFormed ? std::string(text.substr(i, length)) : std::string("\\ufffd");
        i += (wellFormed ? length : 1) - 1;
    }
    return out + "\"";
}

std::string SizeText(std::uint64_t bytes) {
    if (bytes < 1000)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    // 999.95 KB would read "1000.0 KB": it is the next unit already.
    while (value >= 999.95 && unit + 1 < std::size(kUnits)) {
        value /= 1000.0;
        ++unit;
    }
    const auto tenths = static_cast<std::uint64_t>(value * 10.0 + 0.5);
    return std::to_string(tenths / 10) + DecimalSeparator() + std::to_string(tenths % 10) + " " +
           kUnits[unit];
}

std::string TimeSpanText(double seconds) {
    const auto total = static_cast<std::uint64_t>(seconds < 0 ? 0 : seconds + 0.5);
    const auto two = [](std::uint64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    if (total < 60)
        return std::to_string(total) + " s";
    if (total < 3600)
        return std::to_string(total / 60) + " min " + two(total % 60) + " s";
    return std::to_string(total / 3600) + " h " + two(total / 60 % 60) + " min";
}

}  // namespace vlm
