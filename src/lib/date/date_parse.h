// Reading a date text: the numeric form ("2024-01-15 10:30:00.250") and the
// word form ("Mon Jan 15 2024 10:30:00 GMT+0900"). Pure: no values, no errors
// raised, so that it can be driven by a fuzzer.
#pragma once

#include <cstddef>

namespace tolv {

struct DateText {
    int year = 0;
    int month = 0;  // 1-12 from a word; a numeric month is only checked against 0
    int day = 0;
    int hour = 0, minute = 0, second = 0;  // not range-checked: they carry over
    int millis = 0;
    bool zone_named = false;  // GMT, UTC or an offset was given: the fields are read in that zone
    int zone_minutes = 0;     // east of UTC
};

// 0, or the error code: 5505 (a date before 1970-01-01), 5510 (word form
// rejected), 5515 (numeric form rejected). `text` need not end in a NUL.
int parse_date_text(const char* text, size_t length, DateText& out);

}  // namespace tolv
