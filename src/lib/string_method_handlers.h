// Handlers of the String method table and the small readers they share.
// Each handler gets the receiver String, the evaluated arguments and their
// count (already checked against the table) and returns a new value, the
// receiver itself, or a constant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/argument_kinds.h"
#include "runtime/value.h"

namespace tolv {

// The receiver's text and byte length.
struct TextView {
    const char* text;
    size_t length;
};
inline TextView text_view(ValueHandle string) { return {string_text(string), string_length(string)}; }

// A new String from `length` bytes, or an empty one.
inline ValueHandle string_of(const char* text, size_t length) { return new_string(text, length); }

ValueHandle string_char_at(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_char_code_at(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_slice(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_substr(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_substring(ValueHandle receiver, const ValueHandle* args, uint32_t count);

ValueHandle string_index_of(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_last_index_of(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_includes(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_starts_with(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_ends_with(ValueHandle receiver, const ValueHandle* args, uint32_t count);

ValueHandle string_concat(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_to_upper_case(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_to_lower_case(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_pad_end(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_pad_start(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_repeat(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_trim(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_trim_start(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_trim_end(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_locale_compare(ValueHandle receiver, const ValueHandle* args, uint32_t count);

}  // namespace tolv
