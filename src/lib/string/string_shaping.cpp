// The String methods that build a changed copy of the text: concat, the case
// mappings, padding, repeat and the trims.
#include <cstring>

#include "lib/string/string_method_handlers.h"
#include "runtime/utf8_text.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

namespace {

// Strings are at most this long; anything larger cannot be allocated.
constexpr uint64_t STRING_LIMIT = 0x7FFFFF00u;

[[noreturn]] void raise_out_of_memory() { raise(Error::NO_MEMORY); }

// A new String of `length` bytes for the caller to fill.
ValueHandle blank_string(uint64_t length, char*& text) {
    if (length > STRING_LIMIT) raise_out_of_memory();
    ValueHandle s = new_string_with_capacity(size_t(length) + 8);
    text = const_cast<char*>(string_text(s));
    text[length] = '\0';
    cell_as<StringCell>(s)->length = uint32_t(length);
    return s;
}

ValueHandle map_case(ValueHandle receiver, char from, char to) {
    TextView t = text_view(receiver);
    char* out;
    ValueHandle s = blank_string(t.length, out);
    for (size_t i = 0; i < t.length; ++i) {
        char c = t.text[i];
        out[i] = (c >= from && c <= char(from + 25)) ? char(c - from + to) : c;
    }
    return s;
}

ValueHandle pad(ValueHandle receiver, const ValueHandle* args, uint32_t count, bool at_end) {
    if (!is_integer(args[0])) {
        if (at_end) raise(Error::NOT_INTEGER_ARGUMENT_2760);
        raise(Error::NOT_INTEGER_ARGUMENT_2770);
    }
    if (count > 1 && !is_string(args[1])) {
        if (at_end) raise(Error::NOT_STRING_ARGUMENT_2765);
        raise(Error::NOT_STRING_ARGUMENT_2775);
    }
    TextView fill = count > 1 ? text_view(args[1]) : TextView{" ", 1};
    if (fill.length == 0) fill = TextView{" ", 1};
    CharText t(receiver);
    int64_t wanted = integer_value(args[0]);
    int64_t length = int64_t(t.count());
    if (length >= wanted) return receiver;
    uint64_t missing = uint64_t(wanted - length);
    uint64_t fill_chars = utf8_char_count(fill.text, fill.length);
    uint64_t copies = missing / fill_chars;
    size_t rest = utf8_skip(fill.text, fill.length, 0, size_t(missing % fill_chars));
    uint64_t pad_bytes = copies * fill.length + rest;
    char* out;
    ValueHandle s = blank_string(pad_bytes + t.length, out);
    char* p = at_end ? out + t.length : out;
    for (uint64_t i = 0; i < copies; ++i, p += fill.length) std::memcpy(p, fill.text, fill.length);
    std::memcpy(p, fill.text, rest);
    std::memcpy(at_end ? out : out + pad_bytes, t.text, t.length);
    return s;
}

inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Drops the leading and/or trailing whitespace. The call holds its receiver,
// so a count of 1 means nobody else does: such a temporary is trimmed where
// it lies instead of being copied.
ValueHandle trim(ValueHandle receiver, bool start, bool end) {
    TextView t = text_view(receiver);
    size_t first = 0, last = t.length;
    if (start)
        while (first < last && is_blank(t.text[first])) ++first;
    if (end)
        while (last > first && is_blank(t.text[last - 1])) --last;
    if (ref_count(receiver) == 1) {
        char* text = const_cast<char*>(t.text);
        if (first > 0) std::memmove(text, text + first, last - first);
        text[last - first] = '\0';
        StringCell* cell = cell_as<StringCell>(receiver);
        cell->length = uint32_t(last - first);
        cell->text_mark = STRING_TEXT_UNKNOWN;  // what index access learnt about the text is void now
        return receiver;
    }
    return string_of(t.text + first, last - first);
}

}  // namespace

ValueHandle string_concat(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    TextBuffer joined;
    TextView t = text_view(receiver);
    joined.append(t.text, t.length);
    for (uint32_t i = 0; i < count; ++i) display_of(args[i], false, joined);
    return string_of(joined.data(), joined.size());
}

ValueHandle string_to_upper_case(ValueHandle receiver, const ValueHandle*, uint32_t) {
    return map_case(receiver, 'a', 'A');
}

ValueHandle string_to_lower_case(ValueHandle receiver, const ValueHandle*, uint32_t) {
    return map_case(receiver, 'A', 'a');
}

ValueHandle string_pad_end(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    return pad(receiver, args, count, true);
}

ValueHandle string_pad_start(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    return pad(receiver, args, count, false);
}

ValueHandle string_repeat(ValueHandle receiver, const ValueHandle* args, uint32_t) {
    int64_t n;
    if (is_integer(args[0])) n = integer_value(args[0]);
    else if (is_float(args[0])) n = floor_position(float_value(args[0]));
    else raise(Error::NOT_NUMBER_ARGUMENT_2795);
    if (n < 0) raise(Error::NEGATIVE_ARGUMENT);
    TextView t = text_view(receiver);
    if (n == 0 || t.length == 0) return string_of("", 0);
    if (uint64_t(n) > STRING_LIMIT / t.length) raise_out_of_memory();
    char* out;
    ValueHandle s = blank_string(uint64_t(n) * t.length, out);
    // Doubling copies: log(n) memcpy calls instead of n.
    std::memcpy(out, t.text, t.length);
    size_t done = t.length, total = size_t(n) * t.length;
    while (done < total) {
        size_t step = done <= total - done ? done : total - done;
        std::memcpy(out + done, out, step);
        done += step;
    }
    return s;
}

ValueHandle string_trim(ValueHandle receiver, const ValueHandle*, uint32_t) { return trim(receiver, true, true); }

ValueHandle string_trim_start(ValueHandle receiver, const ValueHandle*, uint32_t) {
    return trim(receiver, true, false);
}

ValueHandle string_trim_end(ValueHandle receiver, const ValueHandle*, uint32_t) {
    return trim(receiver, false, true);
}

}  // namespace tolv
