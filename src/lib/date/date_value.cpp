#include "lib/date/date_value.h"

#include <climits>

#include "platform/local_time.h"
#include "runtime/errors.h"

namespace tolv {

namespace {

constexpr int64_t SECONDS_PER_DAY = 86400;

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date (month 1-12).
int64_t days_from_civil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = floor_div(year, 400);
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_from_days(int64_t days, int64_t& year, int& month, int& day) {
    days += 719468;
    const int64_t era = floor_div(days, 146097);
    const int64_t day_of_era = days - era * 146097;
    const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t mp = (5 * day_of_year + 2) / 153;
    day = int(day_of_year - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = year_of_era + era * 400 + (month <= 2);
}

// Carry-over in exact integer arithmetic: days since 1970-01-01 and the second
// of that day. The fields come from 32-bit script values, so nothing overflows.
DateRange carry(const CalendarFields& f, int64_t& days, int64_t& second_of_day) {
    const int64_t months = f.year * 12 + f.month;
    const int64_t year = floor_div(months, 12);
    days = days_from_civil(year, months - year * 12 + 1, 1);
    const int64_t seconds = f.hour * 3600 + f.minute * 60 + f.second;
    const int64_t extra_days = floor_div(seconds, SECONDS_PER_DAY);
    days += f.day - 1 + extra_days;
    second_of_day = seconds - extra_days * SECONDS_PER_DAY;
    if (days < 0) return DateRange::BEFORE_1970;
    if (days >= days_from_civil(DATE_LAST_YEAR + 1, 1, 1)) return DateRange::AFTER_9999;
    return DateRange::OK;
}

}  // namespace

DateRange utc_seconds(const CalendarFields& fields, int64_t& seconds) {
    int64_t days = 0, second_of_day = 0;
    DateRange range = carry(fields, days, second_of_day);
    if (range != DateRange::OK) return range;
    seconds = days * SECONDS_PER_DAY + second_of_day;
    return DateRange::OK;
}

DateRange local_seconds(const CalendarFields& fields, int64_t& seconds) {
    int64_t days = 0, second_of_day = 0;
    DateRange range = carry(fields, days, second_of_day);
    if (range != DateRange::OK) return range;
    int64_t year = 0;
    int month = 0, day = 0;
    civil_from_days(days, year, month, day);
    std::tm local{};
    local.tm_year = int(year - 1900);
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = int(second_of_day / 3600);
    local.tm_min = int(second_of_day / 60 % 60);
    local.tm_sec = int(second_of_day % 60);
    seconds = make_wall_time(local);
    if (seconds == INT64_MIN) return year < 1970 ? DateRange::BEFORE_1970 : DateRange::AFTER_9999;
    return DateRange::OK;
}

DateRange place_date(DateCell* date, int64_t seconds) {
    if (seconds < 0) return DateRange::BEFORE_1970;
    std::tm local{};
    if (!local_time(seconds, local)) return DateRange::AFTER_9999;
    if (local.tm_year + 1900 < 1970) return DateRange::BEFORE_1970;
    if (local.tm_year + 1900 > DATE_LAST_YEAR) return DateRange::AFTER_9999;
    date->month_zone = uint8_t((date->month_zone & ~DATE_MONTH_MASK) | local.tm_mon);
    date->hour = uint8_t(local.tm_hour);
    date->day = uint8_t(local.tm_mday | (local.tm_wday << 5));
    date->minute = uint8_t(local.tm_min);
    // A leap second shown by a "right/" zone is the last second of its minute here.
    date->second = uint8_t(local.tm_sec > 59 ? 59 : local.tm_sec);
    date->year = uint16_t(local.tm_year + 1900);
    set_date_seconds(date, seconds);
    return DateRange::OK;
}

void check_date_range(DateRange range) {
    if (range == DateRange::BEFORE_1970) raise(Error::DATE_BEFORE_1970_5500);
    if (range == DateRange::AFTER_9999) raise(Error::DATE_BAD_VALUE);
}

ValueHandle new_date(int64_t seconds, int millis, bool zone_flag) {
    DateCell probe{};
    check_date_range(place_date(&probe, seconds));
    ValueHandle h = new_cell(KIND_DATE, 0);
    DateCell* date = cell_as<DateCell>(h);
    const uint8_t header = date->header;
    *date = probe;
    date->header = header;
    set_date_millis(date, millis);
    if (zone_flag) date->month_zone |= DATE_ZONE_FLAG;
    return h;
}

std::tm date_local_fields(const DateCell* date) {
    std::tm local{};
    local_time(date_seconds(date), local);
    return local;
}

int date_offset_minutes(const DateCell* date) {
    return int(date_local_fields(date).tm_gmtoff / 60);
}

std::tm date_utc_fields(const DateCell* date) {
    std::tm utc{};
    utc_time(date_seconds(date), utc);
    return utc;
}

}  // namespace tolv
