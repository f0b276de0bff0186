#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/locale_text.h"
#include "platform/packed_time.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

// Sets TZ for one test and puts the old one back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

struct Fields {
    int year, month, day, hour, minute, second;
    bool operator==(const Fields&) const = default;
};

Fields Unpacked(PackedTime p) {
    return {static_cast<int>(p >> 25) + 1980, static_cast<int>((p >> 21) & 15),
            static_cast<int>((p >> 16) & 31), static_cast<int>((p >> 11) & 31),
            static_cast<int>((p >> 5) & 63),  static_cast<int>(p & 31) * 2};
}

std::ostream& operator<<(std::ostream& out, const Fields& f) {
    return out << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.minute
               << ":" << f.second;
}

TEST(PackedTime, PacksLocalFieldsWithTwoSecondSteps) {
    ScopedTimeZone zone("UTC");
    struct Case {
        std::time_t host;
        Fields fields;
    } cases[] = {
        {1700049601, {2023, 11, 15, 12, 0, 0}},  // odd seconds round down
        {1700049659, {2023, 11, 15, 12, 0, 58}},
        {315532800, {1980, 1, 1, 0, 0, 0}},        // the first moment
        {315532799, {1980, 1, 1, 0, 0, 0}},        // just before it clamps
        {0, {1980, 1, 1, 0, 0, 0}},                // 1970
        {-86400 * 365, {1980, 1, 1, 0, 0, 0}},     // 1969
        {4354819199, {2107, 12, 31, 23, 59, 58}},  // the last second of 2107
        {4354819200, {2107, 12, 31, 23, 59, 58}},  // 2108 clamps
    };
    for (const Case& k : cases) {
        EXPECT_EQ(Unpacked(PackHostTime(k.host)), k.fields) << k.host;
    }
}

TEST(PackedTime, FileFromBefore1980ReadsAsTheFirstMoment) {
    ScopedTimeZone zone("Europe/Berlin");
    test::TempDrives drives("c");
    test::WriteFile(drives.HostRoot('c') + "/old.txt", "x", 100000000);  // 1973
    const std::optional<PackedTime> stamp = GetFileTimePacked(DrivePath("c:\\old.txt"));
    ASSERT_TRUE(stamp);
    EXPECT_EQ(Unpacked(*stamp), (Fields{1980, 1, 1, 0, 0, 0}));
}

TEST(PackedTime, RoundTripsAcrossSummerTimeChanges) {
    ScopedTimeZone zone("Europe/Berlin");
    // 2021-03-28 01:59:58 CET is followed by 03:00:00 CEST; 2021-10-31 02:30 happens twice.
    struct Case {
        std::time_t host;
        Fields fields;
    } cases[] = {
        {1616893198, {2021, 3, 28, 1, 59, 58}}, {1616893200, {2021, 3, 28, 3, 0, 0}},
        {1635640200, {2021, 10, 31, 2, 30, 0}},  // first 02:30, summer time
        {1635643800, {2021, 10, 31, 2, 30, 0}},  // second 02:30, winter time
        {1625140800, {2021, 7, 1, 14, 0, 0}},   {1609502400, {2021, 1, 1, 13, 0, 0}},
    };
    test::TempDrives drives("c");
    test::WriteFile(drives.HostRoot('c') + "/f", "x");
    for (const Case& k : cases) {
        const PackedTime packed = PackHostTime(k.host);
        EXPECT_EQ(Unpacked(packed), k.fields) << k.host;
        // Setting a file's time from the stamp and reading it back gives the same stamp.
        ASSERT_TRUE(SetFileTimePacked(DrivePath("c:\\f"), packed));
        EXPECT_EQ(GetFileTimePacked(DrivePath("c:\\f")), std::optional<PackedTime>(packed))
            << k.host;
        EXPECT_EQ(PackHostTime(UnpackToHostTime(packed)), packed) << k.host;
    }
    // Outside the doubled hour the host time itself comes back.
    EXPECT_EQ(UnpackToHostTime(PackHostTime(1616893200)), 1616893200);
    EXPECT_EQ(UnpackToHostTime(PackHostTime(1625140800)), 1625140800);
}

// The stamp as the C library's own conversion gives it, second by second, with the same clamps.
PackedTime PackedByTheCLibrary(std::time_t host) {
    struct tm local {};
    if (localtime_r(&host, &local) == nullptr || local.tm_year + 1900 < 1980) {
        return (0u << 25) | (1u << 21) | (1u << 16);
    }
    if (local.tm_year + 1900 > 2107) {
        return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    }
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return (static_cast<PackedTime>(local.tm_year + 1900 - 1980) << 25) |
           (static_cast<PackedTime>(local.tm_mon + 1) << 21) |
           (static_cast<PackedTime>(local.tm_mday) << 16) |
           (static_cast<PackedTime>(local.tm_hour) << 11) |
           (static_cast<PackedTime>(local.tm_min) << 5) | static_cast<PackedTime>(second / 2);
}

// Packing remembers each day's offset from UTC; whatever it remembers, every stamp must be the
// one the C library gives: across summer-time changes (also half-hour ones), in zones of odd
// offsets, in one that counts leap seconds, before 1970 and far after 2038.
TEST(PackedTime, EqualsTheCLibraryInEveryZoneAndAtEveryChange) {
    const char* zones[] = {"UTC",
                           "Europe/Berlin",
                           "America/New_York",
                           "Asia/Kathmandu",
                           "Australia/Lord_Howe",
                           "America/St_Johns",
                           "right/Europe/London"};
    // Moments around changes of summer time and of leap seconds, and plain ones.
    const std::time_t centres[] = {1679792400,  // 2023-03-26 01:00 UTC, Berlin to summer time
                                   1698541200,  // 2023-10-29 01:00 UTC, Berlin back
                                   1699081200,  // 2023-11-05, New York back
                                   1696089600,  // 2023-10-01, Lord Howe half an hour forward
                                   1483228800,  // 2017-01-01, after a leap second
                                   0,          -1, -86400 * 400, 2147483647, 4354819199, 315532800};
    for (const char* name : zones) {
        ScopedTimeZone zone(name);
        for (const std::time_t centre : centres) {
            for (std::time_t t = centre - 7300; t <= centre + 7300; t += 7) {
                ASSERT_EQ(PackHostTime(t), PackedByTheCLibrary(t)) << name << " " << t;
            }
        }
        std::uint64_t state = 20261207;
        for (int i = 0; i < 20000; ++i) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            const auto t = static_cast<std::time_t>(state >> 31) - 2000000000;
            ASSERT_EQ(PackHostTime(t), PackedByTheCLibrary(t)) << name << " " << t;
        }
    }
}

TEST(PackedTime, FollowsAChangeOfZoneWithinTheProcess) {
    const std::time_t noon = 1700049600;  // 2023-11-15 12:00 UTC
    {
        ScopedTimeZone zone("UTC");
        EXPECT_EQ(Unpacked(PackHostTime(noon)), (Fields{2023, 11, 15, 12, 0, 0}));
    }
    {
        ScopedTimeZone zone("Asia/Tokyo");
        EXPECT_EQ(Unpacked(PackHostTime(noon)), (Fields{2023, 11, 15, 21, 0, 0}));
    }
    {
        ScopedTimeZone zone("America/Los_Angeles");
        EXPECT_EQ(Unpacked(PackHostTime(noon)), (Fields{2023, 11, 15, 4, 0, 0}));
    }
}

TEST(PackedTime, EveryStampOfTheRangeSurvivesARoundTrip) {
    ScopedTimeZone zone("Europe/Berlin");
    for (std::time_t t = 315532800; t < 4354819199; t += 7777777) {
        const PackedTime packed = PackHostTime(t);
        ASSERT_EQ(PackHostTime(UnpackToHostTime(packed)), packed) << t;
    }
}

TEST(DateTime, CountsDaysFrom1899AndSplitsFields) {
    ScopedTimeZone zone("UTC");
    EXPECT_DOUBLE_EQ(HostTimeToDateTime(0), 25569.0);
    EXPECT_DOUBLE_EQ(HostTimeToDateTime(43200), 25569.5);
    EXPECT_DOUBLE_EQ(HostTimeToDateTime(0, 500000000), 25569.0 + 0.5 / 86400);

    const LocalFields fields{2026, 12, 7, 9, 8, 15, 123};
    const DateTime value = MakeDateTime(fields);
    const LocalFields back = SplitDateTime(value);
    EXPECT_EQ(back.year, 2026);
    EXPECT_EQ(back.month, 12);
    EXPECT_EQ(back.day, 7);
    EXPECT_EQ(back.hour, 9);
    EXPECT_EQ(back.minute, 8);
    EXPECT_EQ(back.second, 15);
    EXPECT_EQ(back.millisecond, 123);
    EXPECT_EQ(DateTimeToHostTime(MakeDateTime({1970, 1, 2, 0, 0, 1, 0})), 86401);

    // Just below the next midnight rounds up to it, not to 24:00:00.
    const LocalFields late = SplitDateTime(MakeDateTime({2026, 2, 28, 0, 0, 0, 0}) - 1e-10);
    EXPECT_EQ(late.day, 28);
    EXPECT_EQ(late.hour, 0);
}

DateTime FixedClock() {
    return 46000.25;
}

TEST(DateTime, ClockCanBeReplacedByTests) {
    SetClockForTesting(&FixedClock);
    EXPECT_DOUBLE_EQ(NowLocal(), 46000.25);
    SetClockForTesting(nullptr);
    ScopedTimeZone zone("UTC");
    const DateTime now = NowLocal();
    const DateTime host = HostTimeToDateTime(std::time(nullptr));
    EXPECT_NEAR(now, host, 5.0 / 86400);
}

TEST(DateTimeText, LeavesTheTimeOffAtExactlyMidnight) {
    std::setlocale(LC_ALL, "C");
    struct Case {
        LocalFields fields;
        const char* text;
    } cases[] = {
        {{2026, 12, 7, 9, 8, 15, 0}, "2026-12-07 09:08:15"},
        {{2026, 12, 7, 0, 0, 0, 0}, "2026-12-07"},
        {{2026, 12, 7, 0, 0, 1, 0}, "2026-12-07 00:00:01"},
        {{2026, 12, 7, 0, 0, 0, 1}, "2026-12-07 00:00:00"},
        {{1999, 1, 31, 23, 59, 59, 0}, "1999-01-31 23:59:59"},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(DateTimeText(MakeDateTime(k.fields)), k.text);
    }
}

TEST(DateTimeText, CUtf8LocaleReadsLikeC) {
    const char* applied = std::setlocale(LC_ALL, "C.UTF-8");
    if (applied == nullptr) {
        GTEST_SKIP() << "C.UTF-8 is not installed";
    }
    EXPECT_EQ(DateTimeText(MakeDateTime({2026, 12, 7, 9, 8, 15, 0})), "2026-12-07 09:08:15");
    EXPECT_EQ(DecimalSeparator(), ".");
    std::setlocale(LC_ALL, "C");
}

TEST(DateTimeText, TwoDigitYearsBecomeFourDigitYears) {
    struct Case {
        const char* format;
        const char* expected;
    } cases[] = {
        {"%d.%m.%y", "%d.%m.%Y"}, {"%D", "%m/%d/%Y"},         {"%Y-%m-%d", "%Y-%m-%d"},
        {"%%y %y", "%%y %Y"},     {"%d/%m/%y%", "%d/%m/%Y%"},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(WithFourDigitYear(k.format), k.expected) << k.format;
    }
}

}  // namespace
}  // namespace vlm
