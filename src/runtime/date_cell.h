// Reading and writing the fields of a KIND_DATE cell. Byte 1 bits 0-3 hold
// month - 1 and bit 4 the zone flag; byte 3 bits 0-4 the day of month and
// bits 5-7 the day of week; bytes 8-11 bits 0-9 the milliseconds. The instant
// is bytes 12-15 (seconds since 1970, unsigned 32-bit) with its higher bits in
// bits 10-31 of bytes 8-11, so that dates after 2106 keep their instant.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

constexpr uint8_t DATE_MONTH_MASK = 0x0F;
constexpr uint8_t DATE_ZONE_FLAG = 0x10;
constexpr uint8_t DATE_DAY_MASK = 0x1F;
constexpr uint32_t DATE_MILLIS_MASK = 0x3FF;

inline int64_t date_seconds(const DateCell* d) {
    return int64_t(d->instant) | (int64_t(d->millis >> 10) << 32);
}
inline void set_date_seconds(DateCell* d, int64_t seconds) {
    d->instant = uint32_t(seconds);
    d->millis = (d->millis & DATE_MILLIS_MASK) | (uint32_t(uint64_t(seconds) >> 32) << 10);
}
inline int date_millis(const DateCell* d) { return int(d->millis & DATE_MILLIS_MASK); }
inline void set_date_millis(DateCell* d, int millis) {
    d->millis = (d->millis & ~DATE_MILLIS_MASK) | (uint32_t(millis) & DATE_MILLIS_MASK);
}
inline int date_month(const DateCell* d) { return d->month_zone & DATE_MONTH_MASK; }  // 0-11
inline int date_day(const DateCell* d) { return d->day & DATE_DAY_MASK; }
inline int date_weekday(const DateCell* d) { return d->day >> 5; }
// Milliseconds since 1970, as getTime and the database bridge give them.
inline int64_t date_epoch_millis(const DateCell* d) { return date_seconds(d) * 1000 + date_millis(d); }

}  // namespace tolv
