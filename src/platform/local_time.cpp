#include "platform/local_time.h"

#include <cerrno>
#include <climits>
#include <cstdio>

namespace tolv {

bool local_time(int64_t seconds, std::tm& out) {
    time_t t = static_cast<time_t>(seconds);
    return localtime_r(&t, &out) != nullptr;
}

bool utc_time(int64_t seconds, std::tm& out) {
    time_t t = static_cast<time_t>(seconds);
    return gmtime_r(&t, &out) != nullptr;
}

int64_t make_local_time(std::tm& fields) {
    fields.tm_isdst = 0;
    return static_cast<int64_t>(mktime(&fields));
}

namespace {

bool same_reading(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour &&
           a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// The instant of the fields under one daylight-saving flag, if its local
// breakdown shows the same fields again.
bool reading_holds(const std::tm& fields, int isdst, time_t& instant) {
    std::tm probe = fields;
    probe.tm_isdst = isdst;
    instant = mktime(&probe);
    std::tm back{};
    return localtime_r(&instant, &back) != nullptr && same_reading(back, fields);
}

}  // namespace

int64_t make_wall_time(const std::tm& fields) {
    time_t standard = 0;
    if (reading_holds(fields, 0, standard)) return static_cast<int64_t>(standard);
    time_t daylight = 0;
    if (reading_holds(fields, 1, daylight)) return static_cast<int64_t>(daylight);
    std::tm probe = fields;
    probe.tm_isdst = 0;
    errno = 0;
    standard = mktime(&probe);
    if (standard == static_cast<time_t>(-1) && errno == EOVERFLOW) return INT64_MIN;
    return static_cast<int64_t>(standard);
}

std::string calendar_text(const std::tm& fields) {
    char text[96];
    int length = std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d", fields.tm_year + 1900,
                               fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
    if (length < 0) return "";
    return std::string(text, static_cast<size_t>(length) < sizeof text ? static_cast<size_t>(length) : sizeof text - 1);
}

std::string local_calendar_text(int64_t seconds) {
    std::tm fields{};
    if (!local_time(seconds, fields)) return "";
    return calendar_text(fields);
}

}  // namespace tolv
