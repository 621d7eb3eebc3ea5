#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tolv {
namespace {

class ZoneOverride {
public:
    explicit ZoneOverride(const char* zone) {
        const char* old = std::getenv("TZ");
        had_old_ = old != nullptr;
        if (had_old_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneOverride() {
        if (had_old_) setenv("TZ", old_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool had_old_ = false;
    std::string old_;
};

TEST(LocalTime, UtcCalendarText) {
    std::tm fields{};
    ASSERT_TRUE(utc_time(0, fields));
    EXPECT_EQ(calendar_text(fields), "1970/01/01 00:00:00");
    ASSERT_TRUE(utc_time(1700000000, fields));
    EXPECT_EQ(calendar_text(fields), "2023/11/14 22:13:20");
}

TEST(LocalTime, LocalTextFollowsTheZone) {
    ZoneOverride zone("JST-9");
    EXPECT_EQ(local_calendar_text(1700000000), "2023/11/15 07:13:20");
}

// Fields are read as standard time even inside the summer-time period.
TEST(LocalTime, MakeLocalTimeIgnoresSummerTime) {
    ZoneOverride zone("CET-1CEST,M3.5.0,M10.5.0/3");
    std::tm fields{};
    fields.tm_year = 2023 - 1900;
    fields.tm_mon = 6;
    fields.tm_mday = 1;
    fields.tm_hour = 12;
    fields.tm_isdst = 1;
    EXPECT_EQ(make_local_time(fields), 1688209200);  // 2023-07-01 11:00:00 UTC
}

TEST(LocalTime, MakeLocalTimeNormalisesFields) {
    ZoneOverride zone("UTC0");
    std::tm fields{};
    fields.tm_year = 2024 - 1900;
    fields.tm_mon = 0;
    fields.tm_mday = 32;
    EXPECT_EQ(make_local_time(fields), 1706745600);  // 2024-02-01 00:00:00 UTC
    EXPECT_EQ(fields.tm_mon, 1);
    EXPECT_EQ(fields.tm_mday, 1);
}

// A wall-clock reading: standard time where it holds, summer time where that
// holds, after the gap where neither does; standard time for a doubled hour.
TEST(LocalTime, MakeWallTimeAcrossSummerTime) {
    ZoneOverride zone("America/New_York");
    struct Case {
        int month, day, hour, minute;
        int64_t seconds;
    };
    const Case cases[] = {
        {0, 1, 12, 0, 1704128400},    // EST
        {6, 1, 12, 0, 1719849600},    // EDT
        {2, 10, 2, 30, 1710055800},   // skipped: 03:30 EDT
        {10, 3, 1, 30, 1730615400},   // doubled: 01:30 EST
        {6, 1, 12, 0, 1719849600},    // again, after the others
    };
    for (const Case& c : cases) {
        std::tm fields{};
        fields.tm_year = 2024 - 1900;
        fields.tm_mon = c.month;
        fields.tm_mday = c.day;
        fields.tm_hour = c.hour;
        fields.tm_min = c.minute;
        EXPECT_EQ(make_wall_time(fields), c.seconds) << c.month << "/" << c.day << " " << c.hour;
    }
}

}  // namespace
}  // namespace tolv
