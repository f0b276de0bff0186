#include "platform/packed_time.h"

#include <array>
#include <climits>
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

// Every listed entry has its time packed, and the C library's conversion (a lock, a search of
// the zone's transitions, a split into fields) costs more than the rest of listing the entry.
// Within one day the zone's offset from UTC almost never changes, so the offset of each day is
// asked once and remembered; a day whose offset differs at its start and its end (a change of
// summer time), or whose local time is not UTC plus the offset (a zone counting leap seconds), is
// never remembered and goes to the C library every time.
namespace {
namespace zone_cache {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::size_t kSlots = 1024;  // direct-mapped by day

struct Day {
    std::int64_t day = LLONG_MIN;  // UTC day number; LLONG_MIN: slot empty
    long offset = 0;               // seconds east of UTC for the whole day
    bool usable = false;           // false: convert every time of this day the slow way
};

// What tzset leaves behind: a change of zone (setenv("TZ") and tzset, or a call that sets the
// zone itself such as mktime) changes it, and then everything remembered is dropped.
struct ZoneMark {
    const char* standardName = nullptr;
    const char* summerName = nullptr;
    long westOfUtc = 0;
    int hasSummerTime = 0;
    bool operator==(const ZoneMark&) const = default;
};

struct Cache {
    ZoneMark mark;
    std::array<Day, kSlots> days;
};

// One per thread: listings are made by the run and by the folder-size workers at once.
thread_local Cache tCache;

ZoneMark CurrentMark() {
    return {tzname[0], tzname[1], timezone, daylight};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The local fields of `hostSeconds` in a zone `offset` seconds east of UTC.
void FieldsAt(std::int64_t hostSeconds, long offset, struct tm& local) {
    const std::int64_t shifted = hostSeconds + offset;
    const std::int64_t day = FloorDiv(shifted, kSecondsPerDay);
    const std::int64_t second = shifted - day * kSecondsPerDay;
    int year = 0;
    int month = 0;
    int monthDay = 0;
    CivilFromDays(day, year, month, monthDay);
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = monthDay;
    local.tm_hour = static_cast<int>(second / 3600);
    local.tm_min = static_cast<int>(second / 60 % 60);
    local.tm_sec = static_cast<int>(second % 60);
}

bool SameFields(const struct tm& a, const struct tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
           a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

Day Measure(std::int64_t day) {
    Day measured;
    measured.day = day;
    const std::time_t first = static_cast<std::time_t>(day * kSecondsPerDay);
    const std::time_t last = first + kSecondsPerDay - 1;
    struct tm atFirst {};
    struct tm atLast {};
    if (localtime_r(&first, &atFirst) == nullptr || localtime_r(&last, &atLast) == nullptr ||
        atFirst.tm_gmtoff != atLast.tm_gmtoff) {
        return measured;
    }
    struct tm computed {};
    FieldsAt(first, atFirst.tm_gmtoff, computed);
    if (!SameFields(computed, atFirst)) {
        return measured;
    }
    FieldsAt(last, atLast.tm_gmtoff, computed);
    if (!SameFields(computed, atLast)) {
        return measured;
    }
    measured.offset = atFirst.tm_gmtoff;
    measured.usable = true;
    return measured;
}

// localtime_r's fields (year, month, day, hour, minute, second) of `hostSeconds`.
bool LocalFieldsOf(std::time_t hostSeconds, struct tm& local) {
    Cache& cache = tCache;
    const ZoneMark mark = CurrentMark();
    if (!(mark == cache.mark)) {
        cache.days.fill(Day{});
        cache.mark = mark;
    }
    const std::int64_t seconds = static_cast<std::int64_t>(hostSeconds);
    const std::int64_t day = FloorDiv(seconds, kSecondsPerDay);
    Day& slot = cache.days[static_cast<std::size_t>(day) % kSlots];
    if (slot.day != day) {
        slot = Measure(day);
    }
    if (!slot.usable) {
        return localtime_r(&hostSeconds, &local) != nullptr;
    }
    FieldsAt(seconds, slot.offset, local);
    return true;
}

}  // namespace zone_cache
}  // namespace

PackedTime PackHostTime(std::time_t hostSeconds) {
    struct tm local {};
    if (!zone_cache::LocalFieldsOf(hostSeconds, local)) {
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
    // The instants, not the local wall clocks: two saves an hour apart in the hour that a
    // daylight-saving change repeats show the same local time, and a different TZ shows every
    // file at another one. Floor division, so that times before 1970 fall into their own
    // 2-second step too.
    const auto step = [](std::int64_t seconds) {
        return seconds >= 0 ? seconds / 2 : (seconds - 1) / 2;
    };
    return step(a.exact.seconds) == step(b.exact.seconds);
}

HostTime ClampToFatYears(HostTime time) {
    if (time.seconds < kFatYearsFirst)
        return {kFatYearsFirst, 0};
    if (time.seconds > kFatYearsLast || (time.seconds == kFatYearsLast && time.nanoseconds > 0))
        return {kFatYearsLast, 0};
    return time;
}

bool SameFileAgeInFatYears(const FileAge& a, const FileAge& b) {
    // SameFileAge looks at the exact instants alone.
    return SameFileAge({ClampToFatYears(a.exact)}, {ClampToFatYears(b.exact)});
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

struct tm TmFromFields(const LocalFields& fields) {
    struct tm local {};
    local.tm_year = fields.year - 1900;
    local.tm_mon = fields.month - 1;
    local.tm_mday = fields.day;
    local.tm_hour = fields.hour;
    local.tm_min = fields.minute;
    local.tm_sec = fields.second;
    local.tm_isdst = -1;
    return local;
}

std::time_t DateTimeToHostTime(DateTime value) {
    struct tm local = TmFromFields(SplitDateTime(value));
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
