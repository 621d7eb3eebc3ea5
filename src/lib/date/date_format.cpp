#include "lib/date/date_format.h"

#include <cstdio>
#include <cstdlib>

#include "lib/date/date_value.h"

namespace tolv {

namespace {

// Weekday w at 3w, month m at 21 + 3m.
constexpr char ABBREVIATIONS[] = "SunMonTueWedThuFriSatJanFebMarAprMayJunJulAugSepOctNovDec";

const char* weekday_name(const DateCell* d) { return ABBREVIATIONS + 3 * date_weekday(d); }
const char* month_name(const DateCell* d) { return ABBREVIATIONS + 21 + 3 * date_month(d); }

struct Offset {
    char sign;
    int hours, minutes;  // magnitudes
};

Offset offset_of(const DateCell* d) {
    const int minutes = date_offset_minutes(d);
    return Offset{minutes >= 0 ? '+' : '-', std::abs(minutes / 60), std::abs(minutes % 60)};
}

}  // namespace

size_t format_date(const DateCell* d, DateForm form, char* out) {
    int n = 0;
    switch (form) {
    case DateForm::DATE:
        n = std::snprintf(out, DATE_FORM_CAPACITY, "%.*s %.*s %02d %04d", 3, weekday_name(d), 3, month_name(d),
                          date_day(d), int(d->year));
        break;
    case DateForm::ISO:
        n = std::snprintf(out, DATE_FORM_CAPACITY, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", int(d->year),
                          date_month(d) + 1, date_day(d), int(d->hour), int(d->minute), int(d->second),
                          date_millis(d));
        break;
    case DateForm::FULL: {
        const Offset o = offset_of(d);
        n = std::snprintf(out, DATE_FORM_CAPACITY, "%.*s %.*s %02d %04d %02d:%02d:%02d GMT%c%02d%02d (GMT%c%02d:%02d)",
                          3, weekday_name(d), 3, month_name(d), date_day(d), int(d->year), int(d->hour),
                          int(d->minute), int(d->second), o.sign, o.hours, o.minutes, o.sign, o.hours, o.minutes);
        break;
    }
    case DateForm::TIME: {
        const Offset o = offset_of(d);
        n = std::snprintf(out, DATE_FORM_CAPACITY, "%02d:%02d:%02d GMT%c%02d%02d", int(d->hour), int(d->minute),
                          int(d->second), o.sign, o.hours, o.minutes);
        break;
    }
    case DateForm::UTC:
        n = std::snprintf(out, DATE_FORM_CAPACITY, "%.*s, %02d %.*s %04d %02d:%02d:%02d GMT", 3, weekday_name(d),
                          date_day(d), 3, month_name(d), int(d->year), int(d->hour), int(d->minute),
                          int(d->second));
        break;
    }
    return n < 0 ? 0 : size_t(n) < DATE_FORM_CAPACITY ? size_t(n) : DATE_FORM_CAPACITY - 1;
}

}  // namespace tolv
