#include "platform/packed_time.h"

#include <cmath>

namespace vlm {

namespace {

constexpr int kFirstYear = 1980;
constexpr int kLastYear = 2107;

PackedTime Pack(int year, int month, int day, int hour, int minute, int second) {
    const std::uint32_t date = (static_cast<std::uint32_t>(year - kFirstYear) << 9) |
                               (static_cast<std::uint32_t>(month) << 5) |
                               static_cast<std::uint32_t>(day);
    const std::uint32_t time = (static_cast<std::uint32_t>(hour) << 11) |
                               (static_cast<std::uint32_t>(minute) << 5) |
                               static_cast<std::uint32_t>(second / 2);
    return (date << 16) | time;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// DateTime day 0 is 1899-12-30.
const long long kDateTimeEpochOffset = DaysFromCivil(1899, 12, 30);

DateTime RealClock() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    // Millisecond precision, as the program's clock has.
    return HostTimeToDateTime(now.tv_sec, now.tv_nsec / 1000000 * 1000000);
}

ClockFunction gClock = nullptr;

}  // namespace

PackedTime PackHostTime(std::time_t hostSeconds) {
    struct tm local {};
    if (localtime_r(&hostSeconds, &local) == nullptr) {
        return Pack(kFirstYear, 1, 1, 0, 0, 0);
    }
    const int year = local.tm_year + 1900;
    if (year < kFirstYear) {
        return Pack(kFirstYear, 1, 1, 0, 0, 0);
    }
    if (year > kLastYear) {
        return Pack(kLastYear, 12, 31, 23, 59, 58);
    }
    // A leap second (60) would overflow the five-bit field.
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return Pack(year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, second);
}

FileAge FileAgeOf(HostTime exact) {
    return {exact, PackHostTime(static_cast<std::time_t>(exact.seconds))};
}

bool SameFileAge(const FileAge& a, const FileAge& b) {
    const PackedTime first = Pack(kFirstYear, 1, 1, 0, 0, 0);
    const PackedTime last = Pack(kLastYear, 12, 31, 23, 59, 58);
    const auto atEdge = [&](PackedTime p) { return p == first || p == last; };
    if (!atEdge(a.packed) && !atEdge(b.packed)) {
        return a.packed == b.packed;
    }
    // Floor division, so that times before 1970 fall into their own 2-second step too.
    const auto step = [](std::int64_t seconds) {
        return seconds >= 0 ? seconds / 2 : (seconds - 1) / 2;
    };
    return step(a.exact.seconds) == step(b.exact.seconds);
}

std::time_t UnpackToHostTime(PackedTime packed) {
    struct tm local {};
    local.tm_year = static_cast<int>((packed >> 25) & 0x7F) + kFirstYear - 1900;
    local.tm_mon = static_cast<int>((packed >> 21) & 0x0F) - 1;
    local.tm_mday = static_cast<int>((packed >> 16) & 0x1F);
    local.tm_hour = static_cast<int>((packed >> 11) & 0x1F);
    local.tm_min = static_cast<int>((packed >> 5) & 0x3F);
    local.tm_sec = static_cast<int>(packed & 0x1F) * 2;
    local.tm_isdst = -1;  // let the zone rules say whether summer time applies
    return mktime(&local);
}

DateTime HostTimeToDateTime(std::time_t hostSeconds, long nanoseconds) {
    struct tm local {};
    if (localtime_r(&hostSeconds, &local) == nullptr) {
        return 0;
    }
    const long long days =
        DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                      static_cast<unsigned>(local.tm_mday)) -
        kDateTimeEpochOffset;
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                           static_cast<double>(nanoseconds) / 1e9;
    return static_cast<double>(days) + seconds / 86400.0;
}

std::time_t DateTimeToHostTime(DateTime value) {
    const LocalFields f = SplitDateTime(value);
    struct tm local {};
    local.tm_year = f.year - 1900;
    local.tm_mon = f.month - 1;
    local.tm_mday = f.day;
    local.tm_hour = f.hour;
    local.tm_min = f.minute;
    local.tm_sec = f.second;
    local.tm_isdst = -1;
    return mktime(&local);
}

DateTime NowLocal() {
    return gClock != nullptr ? gClock() : RealClock();
}

void SetClockForTesting(ClockFunction clock) {
    gClock = clock;
}

LocalFields SplitDateTime(DateTime value) {
    long long days = static_cast<long long>(std::floor(value));
    long long ms = std::llround((value - static_cast<double>(days)) * 86400000.0);
    if (ms >= 86400000) {
        ++days;
        ms -= 86400000;
    }
    LocalFields f{};
    CivilFromDays(days + kDateTimeEpochOffset, f.year, f.month, f.day);
    f.hour = static_cast<int>(ms / 3600000);
    f.minute = static_cast<int>(ms / 60000 % 60);
    f.second = static_cast<int>(ms / 1000 % 60);
    f.millisecond = static_cast<int>(ms % 1000);
    return f;
}

DateTime MakeDateTime(const LocalFields& f) {
    const long long days =
        DaysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) -
        kDateTimeEpochOffset;
    const double ms = ((f.hour * 60.0 + f.minute) * 60.0 + f.second) * 1000.0 + f.millisecond;
    return static_cast<double>(days) + ms / 86400000.0;
}

}  // namespace vlm
