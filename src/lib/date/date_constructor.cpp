// The Date constructor and the functions called on `Date` itself.
#include <cmath>
#include <iterator>

#include "eval/library_hooks.h"
#include "eval/methods.h"
#include "lib/date/date.h"
#include "lib/date/date_parse.h"
#include "lib/date/date_value.h"
#include "platform/clock.h"
#include "runtime/errors.h"

namespace tolv {

namespace {

constexpr int COMPONENT_LAST_YEAR = 3000;

struct Instant {
    int64_t seconds = 0;
    int millis = 0;
    bool zone_flag = false;
};

// Checks that the instant is a date that exists (5500, 5520).
void check_instant(int64_t seconds) {
    DateCell probe{};
    check_date_range(place_date(&probe, seconds));
}

Instant instant_of_text(ValueHandle text) {
    DateText parsed;
    if (int code = parse_date_text(string_text(text), string_length(text), parsed)) {
        const ErrorForm<>* e = DATE_TEXT_ERRORS;
        while (error_row(e->error).code != code && e + 1 != std::end(DATE_TEXT_ERRORS)) ++e;
        raise(*e);
    }
    const CalendarFields fields{parsed.year, parsed.month - 1, parsed.day, parsed.hour, parsed.minute, parsed.second};
    Instant instant;
    DateRange range;
    if (parsed.zone_named) {
        range = utc_seconds(fields, instant.seconds);
        instant.seconds -= int64_t(parsed.zone_minutes) * 60;
    } else {
        range = local_seconds(fields, instant.seconds);
    }
    check_date_range(range);
    check_instant(instant.seconds);
    instant.millis = parsed.millis;
    instant.zone_flag = parsed.zone_named;
    return instant;
}

// Year, month (0-11), day, hours, minutes, seconds, milliseconds: Integers of
// 0 or more. Milliseconds of 1000 and more carry into the seconds.
CalendarFields read_components(const ValueHandle* args, uint32_t count, int& millis) {
    int64_t values[7] = {0, 0, 1, 0, 0, 0, 0};
    for (uint32_t i = 0; i < count; ++i) {
        if (kind_of(args[i]) != KIND_INTEGER || is_sentinel(args[i]) || integer_value(args[i]) < 0)
            raise(Error::DATE_BAD_VALUE);
        values[i] = integer_value(args[i]);
    }
    int64_t year = values[0];
    if (year > COMPONENT_LAST_YEAR) raise(Error::DATE_BAD_VALUE);
    if (year < 100) year += 1900;
    if (year < 1970 || values[2] == 0) raise(Error::DATE_BEFORE_1970_5505);
    millis = int(values[6] % 1000);
    return CalendarFields{year, values[1], values[2], values[3], values[4], values[5] + values[6] / 1000};
}

// Milliseconds since 1970 of an Integer or a Float, split into seconds and milliseconds.
Instant instant_of_number(ValueHandle number) {
    int64_t millis = 0;
    if (kind_of(number) == KIND_INTEGER) {
        millis = integer_value(number);
    } else {
        double value = float_value(number);
        if (std::isnan(value) || std::isinf(value)) raise(Error::DATE_BAD_VALUE);
        // Far outside every date either way; keeps the conversion defined.
        if (value < 0) raise(Error::DATE_BEFORE_1970_5500);
        if (value > 1e18) raise(Error::DATE_BAD_VALUE);
        millis = int64_t(std::trunc(value));
    }
    if (millis < 0) raise(Error::DATE_BEFORE_1970_5500);
    return Instant{millis / 1000, int(millis % 1000), true};
}

ValueHandle date_constructor(const ValueHandle* args, uint32_t count) {
    if (count > 7) raise(Error::DATE_BAD_TEXT_OR_VALUE);
    if (count == 0) {
        const int64_t now = now_milliseconds();
        return new_date(now / 1000, int(now % 1000), false);
    }
    if (count == 1) {
        const ValueHandle arg = args[0];
        if (is_sentinel(arg)) return VALUE_UNDEFINED;
        switch (kind_of(arg)) {
        case KIND_INTEGER:
        case KIND_FLOAT: {
            const Instant instant = instant_of_number(arg);
            return new_date(instant.seconds, instant.millis, instant.zone_flag);
        }
        case KIND_STRING: {
            const Instant instant = instant_of_text(arg);
            return new_date(instant.seconds, instant.millis, instant.zone_flag);
        }
        default:
            return VALUE_UNDEFINED;
        }
    }
    int millis = 0;
    const CalendarFields fields = read_components(args, count, millis);
    int64_t seconds = 0;
    check_date_range(local_seconds(fields, seconds));
    return new_date(seconds, millis, false);
}

// Date.now(): whole seconds.
ValueHandle date_now(ValueHandle, const ValueHandle*, uint32_t) {
    return new_float(double(now_seconds()) * 1000.0);
}

ValueHandle date_parse(ValueHandle, const ValueHandle* args, uint32_t) {
    if (kind_of(args[0]) != KIND_STRING || is_sentinel(args[0])) raise(Error::DATE_BAD_TEXT_5530);
    const Instant instant = instant_of_text(args[0]);
    return new_float(double(instant.seconds * 1000 + instant.millis));
}

ValueHandle date_utc(ValueHandle, const ValueHandle* args, uint32_t count) {
    int millis = 0;
    const CalendarFields fields = read_components(args, count, millis);
    int64_t seconds = 0;
    check_date_range(utc_seconds(fields, seconds));
    return new_float(double(seconds * 1000 + millis));
}

}  // namespace

void install_date_constructor() {
    g_date_constructor = date_constructor;
    set_method_handler(RECEIVER_DATE, "now", date_now);
    set_method_handler(RECEIVER_DATE, "parse", date_parse);
    set_method_handler(RECEIVER_DATE, "UTC", date_utc);
}

void install_date() {
    install_date_constructor();
    install_date_methods();
}

}  // namespace tolv
