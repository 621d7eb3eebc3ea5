// Handlers of the String method table and the small readers they share.
// Each handler gets the receiver String, the evaluated arguments and their
// count (already checked against the table) and returns a new value, the
// receiver itself, or a constant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/argument_positions.h"
#include "runtime/text_positions.h"
#include "runtime/utf8_text.h"
#include "runtime/value.h"

namespace tolv {

// The receiver's text and byte length.
struct TextView {
    const char* text;
    size_t length;
};
inline TextView text_view(ValueHandle string) { return {string_text(string), string_length(string)}; }

// A String's text with character arithmetic: byte arithmetic for a text
// known to be ASCII (the String cell remembers that), the UTF-8 steps of
// utf8_text.h otherwise.
class CharText {
public:
    explicit CharText(ValueHandle string)
        : text(string_text(string)), length(string_length(string)), ascii(text_is_ascii(string)), string_(string) {}
    const char* text;
    size_t length;  // bytes
    bool ascii;

    // Characters in the whole text.
    size_t count() const { return ascii ? length : character_count(string_); }
    // The byte offset `chars` characters after byte offset `from`, at most the end.
    size_t skip(size_t from, size_t chars) const {
        if (ascii) return chars < length - from ? from + chars : length;
        return from == 0 ? character_offset(string_, chars) : utf8_skip(text, length, from, chars);
    }
    size_t chars_between(size_t from, size_t to) const {
        return ascii ? to - from : utf8_chars_between(text, from, to);
    }
    size_t next(size_t at) const { return ascii ? at + 1 : utf8_next(text, length, at); }
    TextView view() const { return {text, length}; }

private:
    ValueHandle string_;
};

// A String of `length` bytes, or an empty one.
inline ValueHandle string_of(const char* text, size_t length) {
    return length == 1 ? single_character_string(text[0]) : new_string(text, length);
}

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
