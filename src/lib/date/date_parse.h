// Reading a date text: the numeric form ("2024-01-15 10:30:00.250") and the
// word form ("Mon Jan 15 2024 10:30:00 GMT+0900"). Pure: no values, no errors
// raised, so that it can be driven by a fuzzer.
#pragma once

#include <cstddef>

#include "runtime/error_table.h"

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

// 0, or the code of the error the text calls for: DATE_BEFORE_1970_5505,
// DATE_BAD_TEXT_5510 (word form rejected) or DATE_BAD_TEXT_5515 (numeric form
// rejected); DATE_TEXT_ERRORS holds them. `text` need not end in a NUL.
int parse_date_text(const char* text, size_t length, DateText& out);

inline constexpr ErrorForm<> DATE_TEXT_ERRORS[] = {Error::DATE_BEFORE_1970_5505, Error::DATE_BAD_TEXT_5510,
                                                   Error::DATE_BAD_TEXT_5515};

}  // namespace tolv
