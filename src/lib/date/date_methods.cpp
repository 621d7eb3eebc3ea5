// The methods of date values: getters, setters and text forms.
#include <cmath>
#include <cstring>

#include "eval/methods.h"
#include "lib/date/date.h"
#include "lib/date/date_format.h"
#include "lib/date/date_value.h"
#include "runtime/errors.h"

namespace tolv {

namespace {


DateCell* date_of(ValueHandle receiver) { return cell_as<DateCell>(receiver); }

ValueHandle time_value(const DateCell* d) { return new_float(double(date_epoch_millis(d))); }

// ---- Getters ------------------------------------------------------------------------

ValueHandle get_date(ValueHandle r, const ValueHandle*, uint32_t) { return integer_result(date_day(date_of(r))); }
ValueHandle get_day(ValueHandle r, const ValueHandle*, uint32_t) { return integer_result(date_weekday(date_of(r))); }
ValueHandle get_full_year(ValueHandle r, const ValueHandle*, uint32_t) { return integer_result(date_of(r)->year); }
ValueHandle get_hours(ValueHandle r, const ValueHandle*, uint32_t) { return integer_result(date_of(r)->hour); }
ValueHandle get_milliseconds(ValueHandle r, const ValueHandle*, uint32_t) {
    return integer_result(date_millis(date_of(r)));
}
ValueHandle get_minutes(ValueHandle r, const ValueHandle*, uint32_t) { return integer_result(date_of(r)->minute); }
ValueHandle get_month(ValueHandle r, const ValueHandle*, uint32_t) { return integer_result(date_month(date_of(r))); }
ValueHandle get_seconds(ValueHandle r, const ValueHandle*, uint32_t) { return integer_result(date_of(r)->second); }
ValueHandle get_time(ValueHandle r, const ValueHandle*, uint32_t) { return time_value(date_of(r)); }
ValueHandle get_timezone_offset(ValueHandle r, const ValueHandle*, uint32_t) {
    return integer_result(-date_offset_minutes(date_of(r)));
}

ValueHandle get_utc_date(ValueHandle r, const ValueHandle*, uint32_t) {
    return integer_result(date_utc_fields(date_of(r)).tm_mday);
}
ValueHandle get_utc_day(ValueHandle r, const ValueHandle*, uint32_t) {
    return integer_result(date_utc_fields(date_of(r)).tm_wday);
}
ValueHandle get_utc_full_year(ValueHandle r, const ValueHandle*, uint32_t) {
    return integer_result(date_utc_fields(date_of(r)).tm_year + 1900);
}
ValueHandle get_utc_hours(ValueHandle r, const ValueHandle*, uint32_t) {
    return integer_result(date_utc_fields(date_of(r)).tm_hour);
}
ValueHandle get_utc_minutes(ValueHandle r, const ValueHandle*, uint32_t) {
    return integer_result(date_utc_fields(date_of(r)).tm_min);
}
ValueHandle get_utc_month(ValueHandle r, const ValueHandle*, uint32_t) {
    return integer_result(date_utc_fields(date_of(r)).tm_mon);
}

// ---- Setters ------------------------------------------------------------------------

enum Field { YEAR, MONTH, DAY, HOUR, MINUTE, SECOND, MILLIS };

struct Setter {
    const char* name;
    ErrorForm<const char*> bad_argument;  // raised with the name
    Field first;
};

constexpr Setter SET_FULL_YEAR{"setFullYear", Error::BAD_DATE_SETTER_ARGUMENT_5535, YEAR};
constexpr Setter SET_MONTH{"setMonth", Error::BAD_DATE_SETTER_ARGUMENT_5540, MONTH};
constexpr Setter SET_DATE{"setDate", Error::BAD_DATE_SETTER_ARGUMENT_5545, DAY};
constexpr Setter SET_HOURS{"setHours", Error::BAD_DATE_SETTER_ARGUMENT_5550, HOUR};
constexpr Setter SET_MINUTES{"setMinutes", Error::BAD_DATE_SETTER_ARGUMENT_5555, MINUTE};
constexpr Setter SET_SECONDS{"setSeconds", Error::BAD_DATE_SETTER_ARGUMENT_5560, SECOND};
constexpr Setter SET_MILLISECONDS{"setMilliseconds", Error::BAD_DATE_SETTER_ARGUMENT_5565, MILLIS};
constexpr Setter SET_TIME{"setTime", Error::BAD_DATE_SETTER_ARGUMENT_5570, MILLIS};

[[noreturn]] void setter_fail(const Setter& setter) {
    raise(setter.bad_argument, setter.name);
}

int32_t setter_integer(const Setter& setter, ValueHandle arg) {
    if (kind_of(arg) != KIND_INTEGER || is_sentinel(arg)) setter_fail(setter);
    return integer_value(arg);
}

// Replaces the given fields (the later ones stay unless given), carries over
// and moves the date to the new local time.
ValueHandle set_fields(const Setter& setter, ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    DateCell* d = date_of(receiver);
    int64_t fields[7] = {d->year, date_month(d), date_day(d), d->hour, d->minute, d->second, date_millis(d)};
    for (uint32_t i = 0; i < count; ++i) fields[setter.first + i] = setter_integer(setter, args[i]);
    if (setter.first + count > MILLIS && (fields[MILLIS] < 0 || fields[MILLIS] > 999)) setter_fail(setter);
    if (fields[YEAR] < 1970 || fields[MONTH] < 0 || fields[DAY] < 1) raise(Error::DATE_BEFORE_1970_5505);
    const CalendarFields calendar{fields[YEAR], fields[MONTH], fields[DAY], fields[HOUR], fields[MINUTE], fields[SECOND]};
    int64_t seconds = 0;
    DateRange range = local_seconds(calendar, seconds);
    if (range == DateRange::OK) range = place_date(d, seconds);
    if (range == DateRange::BEFORE_1970) raise(Error::DATE_BEFORE_1970_5500);
    if (range == DateRange::AFTER_9999) setter_fail(setter);
    set_date_millis(d, int(fields[MILLIS]));
    return time_value(d);
}

ValueHandle set_full_year(ValueHandle r, const ValueHandle* a, uint32_t n) { return set_fields(SET_FULL_YEAR, r, a, n); }
ValueHandle set_month(ValueHandle r, const ValueHandle* a, uint32_t n) { return set_fields(SET_MONTH, r, a, n); }
ValueHandle set_date(ValueHandle r, const ValueHandle* a, uint32_t n) { return set_fields(SET_DATE, r, a, n); }
ValueHandle set_hours(ValueHandle r, const ValueHandle* a, uint32_t n) { return set_fields(SET_HOURS, r, a, n); }
ValueHandle set_minutes(ValueHandle r, const ValueHandle* a, uint32_t n) { return set_fields(SET_MINUTES, r, a, n); }
ValueHandle set_seconds(ValueHandle r, const ValueHandle* a, uint32_t n) { return set_fields(SET_SECONDS, r, a, n); }

ValueHandle set_milliseconds(ValueHandle r, const ValueHandle* a, uint32_t) {
    const int32_t millis = setter_integer(SET_MILLISECONDS, a[0]);
    if (millis < 0 || millis > 999) setter_fail(SET_MILLISECONDS);
    set_date_millis(date_of(r), millis);
    return time_value(date_of(r));
}

// Milliseconds since 1970, an Integer or a Float; answers the time just set.
ValueHandle set_time(ValueHandle r, const ValueHandle* a, uint32_t) {
    int64_t millis = 0;
    if (kind_of(a[0]) == KIND_FLOAT && !is_sentinel(a[0])) {
        const double value = float_value(a[0]);
        if (std::isnan(value) || value > 1e18 || value < -1e18) setter_fail(SET_TIME);
        millis = int64_t(std::trunc(value));
    } else {
        millis = setter_integer(SET_TIME, a[0]);
    }
    if (millis < 0) raise(Error::DATE_BEFORE_1970_5500);
    DateCell* d = date_of(r);
    DateRange range = place_date(d, millis / 1000);
    if (range == DateRange::BEFORE_1970) raise(Error::DATE_BEFORE_1970_5500);
    if (range == DateRange::AFTER_9999) setter_fail(SET_TIME);
    set_date_millis(d, int(millis % 1000));
    return time_value(d);
}

// ---- Text forms ---------------------------------------------------------------------

template <DateForm form>
ValueHandle text_form(ValueHandle r, const ValueHandle*, uint32_t) {
    char text[DATE_FORM_CAPACITY];
    const size_t length = format_date(date_of(r), form, text);
    return new_string(text, length);
}

// ---- The method list ----------------------------------------------------------------

struct Entry {
    const char* name;  // "" = a blank entry that matches nothing
    int16_t min, max;
    MethodHandler handler;
};

constexpr Entry ENTRIES[] = {
    {"getDate", 0, 0, get_date},
    {"getDay", 0, 0, get_day},
    {"getFullYear", 0, 0, get_full_year},
    {"getHours", 0, 0, get_hours},
    {"getMilliseconds", 0, 0, get_milliseconds},
    {"getMinutes", 0, 0, get_minutes},
    {"getMonth", 0, 0, get_month},
    {"getSeconds", 0, 0, get_seconds},
    {"getTime", 0, 0, get_time},
    {"getTimezoneOffset", 0, 0, get_timezone_offset},
    {"setDate", 1, 1, set_date},
    {"setFullYear", 1, 3, set_full_year},
    {"setHours", 1, 4, set_hours},
    {"setMilliseconds", 1, 1, set_milliseconds},
    {"setMinutes", 1, 3, set_minutes},
    {"setMonth", 1, 2, set_month},
    {"setSeconds", 1, 2, set_seconds},
    {"setTime", 1, 1, set_time},
    {"getUTCDate", 0, 0, get_utc_date},
    {"getUTCDay", 0, 0, get_utc_day},
    {"getUTCFullYear", 0, 0, get_utc_full_year},
    {"getUTCHours", 0, 0, get_utc_hours},
    {"getUTCMilliseconds", 0, 0, get_milliseconds},
    {"getUTCMinutes", 0, 0, get_utc_minutes},
    {"getUTCMonth", 0, 0, get_utc_month},
    {"getUTCSeconds", 0, 0, get_seconds},
    {"", 0, 0, nullptr}, {"", 0, 0, nullptr}, {"", 0, 0, nullptr}, {"", 0, 0, nullptr},
    {"", 0, 0, nullptr}, {"", 0, 0, nullptr}, {"", 0, 0, nullptr},
    {"toDateString", 0, 0, text_form<DateForm::DATE>},
    {"toISOString", 0, 0, text_form<DateForm::ISO>},
    {"toString", 0, 0, text_form<DateForm::FULL>},
    {"toTimeString", 0, 0, text_form<DateForm::TIME>},
    {"toJSON", 0, 0, text_form<DateForm::ISO>},
    {"toUTCString", 0, 0, text_form<DateForm::UTC>},
};
constexpr size_t ENTRY_COUNT = sizeof ENTRIES / sizeof ENTRIES[0];
constexpr size_t NAME_WIDTH = 20;

char g_names[ENTRY_COUNT * NAME_WIDTH + 1];
int16_t g_min[ENTRY_COUNT];
int16_t g_max[ENTRY_COUNT];
MethodHandler g_handlers[ENTRY_COUNT];
const MethodList DATE_METHODS = {g_names, uint8_t(NAME_WIDTH), uint8_t(ENTRY_COUNT), g_min, g_max, g_handlers,
                                  Error::BAD_DATE_METHOD_5575, Error::BAD_DATE_METHOD_ARGUMENTS_5580,
                                  Error::BAD_DATE_METHOD_ARGUMENTS_5585};

}  // namespace

void install_date_methods() {
    std::memset(g_names, ' ', ENTRY_COUNT * NAME_WIDTH);
    for (size_t e = 0; e < ENTRY_COUNT; ++e) {
        std::memcpy(g_names + e * NAME_WIDTH, ENTRIES[e].name, std::strlen(ENTRIES[e].name));
        g_min[e] = ENTRIES[e].min;
        g_max[e] = ENTRIES[e].max;
        g_handlers[e] = ENTRIES[e].handler;
    }
    g_method_lists[RECEIVER_DATE_VALUE] = &DATE_METHODS;
}

}  // namespace tolv
