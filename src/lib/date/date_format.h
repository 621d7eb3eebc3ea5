// The text forms of a date. All of them write the date's own local fields;
// only toString and toTimeString name the zone offset (the one in effect at
// the date's instant).
#pragma once

#include <cstddef>

#include "runtime/value.h"

namespace tolv {

enum class DateForm { DATE, ISO, FULL, TIME, UTC };

// Writes the form into `out` (at least DATE_FORM_CAPACITY bytes); returns its length.
constexpr size_t DATE_FORM_CAPACITY = 64;
size_t format_date(const DateCell* date, DateForm form, char* out);

}  // namespace tolv
