#include "platform/local_time.h"

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
