// Calendar conversions of seconds since 1970 (UTC), and the
// "year/mm/dd hh:mm:ss" text the journal and the module digest use.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tolv {

// Broken-down local time; false when `seconds` cannot be converted.
bool local_time(int64_t seconds, std::tm& out);
// Broken-down UTC time; false when `seconds` cannot be converted.
bool utc_time(int64_t seconds, std::tm& out);
// Seconds of a broken-down local time, read as standard time (tm_isdst is
// set to 0); fields out of range are normalised in `fields`. -1 on failure.
int64_t make_local_time(std::tm& fields);
// Seconds of a local wall-clock reading whose fields are in range. Read as
// standard time (tm_isdst 0) when that gives the same fields back, else as
// daylight-saving time when that does; a reading inside a skipped hour keeps
// the standard reading, which lands after the gap. The answer depends on the
// fields alone, never on earlier conversions. INT64_MIN when out of range.
int64_t make_wall_time(const std::tm& fields);

// "%d/%02d/%02d %02d:%02d:%02d" of the fields (full year, month 1-12).
std::string calendar_text(const std::tm& fields);
// calendar_text of the local time at `seconds`; "" when it cannot be converted.
std::string local_calendar_text(int64_t seconds);

}  // namespace tolv
