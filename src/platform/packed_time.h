#pragma once
// Local date-times as the program counts them, and the packed 32-bit file-system date stamp.
//
// DateTime: days since 1899-12-30 00:00 local time, the time of day as the fraction.
// Packed stamp: high word = ((year-1980) << 9) | (month << 5) | day,
//               low word  = (hour << 11) | (minute << 5) | (second / 2), local time.
// Years outside 1980–2107 are clamped to the first or last representable moment.

#include <cstdint>
#include <ctime>

namespace vlm {

using DateTime = double;
using PackedTime = std::uint32_t;

// Host seconds since the epoch → packed local stamp (seconds rounded down to even).
PackedTime PackHostTime(std::time_t hostSeconds);
// Packed local stamp → host seconds since the epoch (mktime of the local fields).
std::time_t UnpackToHostTime(PackedTime packed);

// A host modification time, exact to the nanosecond.
struct HostTime {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
    bool operator==(const HostTime&) const = default;
};

// A modification time as the comparisons of a run need it: exact, and packed.
struct FileAge {
    HostTime exact;
    PackedTime packed = 0;
};
FileAge FileAgeOf(HostTime exact);

// Whether a copy of age `a` is of the same age as a file of age `b`: their instants fall in the
// same 2-second step of UTC (the resolution of the packed stamp and of FAT), whatever the local
// time zone or daylight-saving time says of them.
bool SameFileAge(const FileAge& a, const FileAge& b);

// The instants that a medium keeping the years 1980 to 2107 only (FAT, exFAT) stores in its
// local time, whatever the time zone: from 1980-01-02 00:00 to 2107-12-30 00:00 UTC.
inline constexpr std::int64_t kFatYearsFirst = 315'619'200;
inline constexpr std::int64_t kFatYearsLast = 4'354'646'400;
// `time` moved into those instants: a time before them becomes the first, after them the last.
HostTime ClampToFatYears(HostTime time);
// SameFileAge on such a medium: a time outside its years is the same as one at or beyond the
// same end of them, so that a copy given the clamped time is no different from its original.
bool SameFileAgeInFatYears(const FileAge& a, const FileAge& b);

// Host seconds → local DateTime, and back.
DateTime HostTimeToDateTime(std::time_t hostSeconds, long nanoseconds = 0);
std::time_t DateTimeToHostTime(DateTime value);  // mktime of the local fields, whole seconds

// Now, in local time, with millisecond precision. Tests may replace the clock.
DateTime NowLocal();
using ClockFunction = DateTime (*)();
void SetClockForTesting(ClockFunction clock);  // nullptr restores the real clock

struct LocalFields {
    int year, month, day, hour, minute, second, millisecond;
};
LocalFields SplitDateTime(DateTime value);
DateTime MakeDateTime(const LocalFields& fields);
// The fields as mktime and strftime take them (milliseconds dropped); whether summer time
// applies is left to the zone's rules.
struct tm TmFromFields(const LocalFields& fields);

}  // namespace vlm
