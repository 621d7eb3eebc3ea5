// The Date value model: an instant (seconds since 1970 UTC, milliseconds)
// and its local broken-down fields, kept together in the date cell. Fields
// always come from the local breakdown of the instant; instants made from
// fields read them as the local wall-clock time of the process's zone.
// Dates run from 1970-01-01 00:00:00 local time to the end of 9999.
#pragma once

#include <cstdint>
#include <ctime>

#include "runtime/date_cell.h"
#include "runtime/value.h"

namespace tolv {

// Calendar fields as given, before carry-over; month counts from 0.
struct CalendarFields {
    int64_t year = 1970, month = 0, day = 1, hour = 0, minute = 0, second = 0;
};

enum class DateRange { OK, BEFORE_1970, AFTER_9999 };

constexpr int DATE_LAST_YEAR = 9999;

// Seconds of the fields read as local time, after carry-over.
DateRange local_seconds(const CalendarFields& fields, int64_t& seconds);
// Seconds of the fields read as UTC, after carry-over.
DateRange utc_seconds(const CalendarFields& fields, int64_t& seconds);

// Sets the date's instant and local fields; the milliseconds, the zone flag
// and the spare bits stay. Leaves the date alone unless the answer is OK.
DateRange place_date(DateCell* date, int64_t seconds);

// A new date (count 0). Raises 5500 for an instant before 1970-01-01 local
// time and 5520 for one after 9999.
ValueHandle new_date(int64_t seconds, int millis, bool zone_flag);
// Raises 5500 or 5520 for a range answer other than OK.
void check_date_range(DateRange range);

// The local breakdown and the zone offset (minutes east of UTC) in effect at
// the date's own instant.
std::tm date_local_fields(const DateCell* date);
int date_offset_minutes(const DateCell* date);
// The UTC breakdown of the date's instant.
std::tm date_utc_fields(const DateCell* date);

}  // namespace tolv
