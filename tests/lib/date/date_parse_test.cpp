#include "lib/date/date_parse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tolv {
namespace {

struct Accepted {
    const char* text;
    int year, month, day, hour, minute, second, millis;
    bool zone_named;
    int zone_minutes;
};

void PrintTo(const Accepted& c, std::ostream* os) { *os << c.text; }

std::string fields_text(int year, int month, int day, int hour, int minute, int second, int millis) {
    char text[96];
    std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d.%d", year, month, day, hour, minute, second, millis);
    return text;
}

class DateTextAccepted : public ::testing::TestWithParam<Accepted> {};

TEST_P(DateTextAccepted, GivesItsFields) {
    const Accepted& c = GetParam();
    DateText t;
    ASSERT_EQ(parse_date_text(c.text, std::strlen(c.text), t), 0);
    EXPECT_EQ(fields_text(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millis),
              fields_text(c.year, c.month, c.day, c.hour, c.minute, c.second, c.millis));
    EXPECT_EQ(t.zone_named, c.zone_named);
    EXPECT_EQ(t.zone_minutes, c.zone_minutes);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DateTextAccepted,
    ::testing::Values(
        // Numeric form: local fields; a 'Z' or anything after the time is not read.
        Accepted{"2024-01-15 10:30:00", 2024, 1, 15, 10, 30, 0, 0, false, 0},
        Accepted{"2024/01/15T10:30:00.250", 2024, 1, 15, 10, 30, 0, 250, false, 0},
        Accepted{" \t\r\n2024-01-15 10:30Z", 2024, 1, 15, 10, 30, 0, 0, false, 0},
        Accepted{"2024-01-15T10:30:00.000Z", 2024, 1, 15, 10, 30, 0, 0, false, 0},
        Accepted{"2024-1-5 9:05:07", 2024, 1, 5, 9, 5, 7, 0, false, 0},
        Accepted{"2024-01-5, 10 ", 2024, 1, 5, 10, 0, 0, 0, false, 0},
        Accepted{"20240115 10:30:00", 2024, 1, 15, 10, 30, 0, 0, false, 0},
        Accepted{"20241 5 10:30:00", 2024, 1, 5, 10, 30, 0, 0, false, 0},
        Accepted{"2024-01-15 10:30:00 GMT+0900", 2024, 1, 15, 10, 30, 0, 0, false, 0},
        Accepted{"2024-01-15 10:30:00 .5", 2024, 1, 15, 10, 30, 0, 500, false, 0},
        Accepted{"2024-01-15 10:30:00.05", 2024, 1, 15, 10, 30, 0, 50, false, 0},
        Accepted{"2024-01-15 10:30:00.1234", 2024, 1, 15, 10, 30, 0, 123, false, 0},
        // Hours, minutes and seconds are not range-checked: they carry over later.
        Accepted{"2024-13-45 99:99:99", 2024, 13, 45, 99, 99, 99, 0, false, 0},
        // Word form.
        Accepted{"Mon Jan 15 2024 10:30:00 GMT+0900", 2024, 1, 15, 10, 30, 0, 0, true, 540},
        Accepted{"Jan 15, 2024 10:30:00", 2024, 1, 15, 10, 30, 0, 0, false, 0},
        Accepted{"15 January 2024 10:30:00 UTC", 2024, 1, 15, 10, 30, 0, 0, true, 0},
        Accepted{"Mon, 15 Jan 2024 10:30:00 GMT", 2024, 1, 15, 10, 30, 0, 0, true, 0},
        Accepted{"Sun Sep 5 99 1:02:03.5 -05:30", 1999, 9, 5, 1, 2, 3, 500, true, -330},
        Accepted{"May 5 124 10Z", 2024, 5, 5, 10, 0, 0, 0, false, 0},
        Accepted{"Dec 31 2023 23:59:59 UTC+9:00  ", 2023, 12, 31, 23, 59, 59, 0, true, 540},
        Accepted{"September 1 2030 12:00:00 +0100", 2030, 9, 1, 12, 0, 0, 0, true, 60}));

struct Rejected {
    const char* text;
    int code;
};

void PrintTo(const Rejected& c, std::ostream* os) { *os << c.text; }

class DateTextRejected : public ::testing::TestWithParam<Rejected> {};

TEST_P(DateTextRejected, WithItsCode) {
    DateText t;
    EXPECT_EQ(parse_date_text(GetParam().text, std::strlen(GetParam().text), t), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DateTextRejected,
    ::testing::Values(
        Rejected{"2024-01-15", 5515},            // no time
        Rejected{"2024-01/15 10:00:00", 5515},   // mixed separators
        Rejected{"2024-01-15 10:30", 5515},      // ends after the minutes
        Rejected{"2024-01-15 10", 5515},         // ends after the hours
        Rejected{"2024-01-15 10:30:00.", 5515},  // a point without digits
        Rejected{"2024-01-15 10:30:00.5x", 5515},
        Rejected{"2024-01-155 10:00:00", 5515},
        Rejected{"202-01-15 10:00:00", 5515},
        Rejected{"1969-12-31 23:59:59", 5505},
        Rejected{"2024-00-15 10:00:00", 5505},
        Rejected{"2024-01-00 10:00:00", 5505},
        Rejected{"Jan 1 1969 10:00:00", 5505},
        Rejected{"Monday, Jan 15 2024 10:30:00", 5510},  // not a word of the tables
        Rejected{"Mon Jan 15 2024 10:30:00 GMT+0900 (GMT+09:00)", 5510},
        Rejected{"Jan 15 2024", 5510},
        Rejected{"Mon Tue 15 2024 10:00:00", 5510},
        Rejected{"jan 15 2024 10:00:00", 5510},
        Rejected{"Jan 15 20 10:00:00", 5505},        // the year 1920
        Rejected{"Jan 15 24:10:00", 5510},           // no year
        Rejected{"Jan 15 2024 10:00:00 +09", 5510},  // a zone needs its minutes
        Rejected{"5 Jan 2024,10:00:00 x", 5510},
        Rejected{"", 5510},
        Rejected{"   ", 5510}));

// The text ends where its length says, not at a NUL.
TEST(DateText, ReadsOnlyItsLength) {
    const char text[] = "2024-01-15 10:30:00.250";
    DateText t;
    EXPECT_EQ(parse_date_text(text, 19, t), 0);
    EXPECT_EQ(t.millis, 0);
    EXPECT_EQ(parse_date_text(text, 15, t), 5515);
    const char with_nul[] = "2024-01-15 10:30:0\0";
    EXPECT_EQ(parse_date_text(with_nul, sizeof with_nul - 1, t), 0);
    EXPECT_EQ(t.second, 0);
}

}  // namespace
}  // namespace tolv
