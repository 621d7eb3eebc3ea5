// The String methods that take characters by position: charAt, charCodeAt,
// slice, substr and substring.
#include <utility>

#include "lib/string/string_method_handlers.h"
#include "regexp/utf16_text.h"
#include "runtime/utf8_text.h"
#include "runtime/errors.h"

namespace tolv {

namespace {

// An Integer argument's value, else `otherwise` (absent or another kind).
inline int64_t integer_or(const ValueHandle* args, uint32_t count, uint32_t i, int64_t otherwise) {
    return i < count && is_integer(args[i]) ? integer_value(args[i]) : otherwise;
}

// The characters [from, to) of a text, to > from.
ValueHandle characters(const CharText& t, size_t from, size_t to) {
    size_t start = t.skip(0, from);
    size_t end = t.skip(start, to - from);
    return string_of(t.text + start, end - start);
}

// Byte range of the character at `pos`, or false when there is none.
bool character_at(const CharText& t, int64_t pos, size_t& start, size_t& end) {
    if (pos < 0) return false;
    start = t.skip(0, size_t(pos));
    if (start >= t.length) return false;
    end = t.next(start);
    return true;
}

}  // namespace

ValueHandle string_char_at(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    CharText t(receiver);
    size_t start, end;
    if (!character_at(t, integer_or(args, count, 0, 0), start, end)) return string_of("", 0);
    return string_of(t.text + start, end - start);
}

ValueHandle string_char_code_at(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    CharText t(receiver);
    size_t start, end;
    if (!character_at(t, integer_or(args, count, 0, 0), start, end)) return VALUE_NAN;
    uint16_t unit[2];
    utf8_to_utf16(t.text + start, end - start, unit, 2);
    return integer_result(unit[0]);
}

ValueHandle string_slice(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    if (!is_integer(args[0])) raise(Error::NOT_INTEGER_ARGUMENT_2715);
    if (count > 1 && !is_integer(args[1])) raise(Error::NOT_INTEGER_ARGUMENT_2710);
    CharText t(receiver);
    int64_t length = int64_t(t.count());
    int64_t start = integer_value(args[0]);
    int64_t end = count > 1 ? integer_value(args[1]) : length;
    if (end > length) end = length;
    if (end < 0) end += length;
    if (start < 0) {
        start += length;
        if (start < 0) start = 0;
    }
    if (end <= start) return string_of("", 0);
    return characters(t, size_t(start), size_t(end));
}

ValueHandle string_substr(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    CharText t(receiver);
    int64_t length = int64_t(t.count());
    int64_t start = integer_or(args, count, 0, 0);
    int64_t wanted = count > 1 ? integer_or(args, count, 1, 0) : length;
    if (start < 0) {
        start += length;
        if (start < 0) start = 0;
    }
    if (start > length) start = length;
    if (wanted > length) wanted = length;
    if (start + wanted > length) wanted = length - start;
    if (wanted <= 0) return string_of("", 0);
    return characters(t, size_t(start), size_t(start + wanted));
}

ValueHandle string_substring(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    CharText t(receiver);
    int64_t length = int64_t(t.count());
    auto clamp = [length](int64_t v) { return v < 0 ? 0 : v > length ? length : v; };
    int64_t a = clamp(integer_or(args, count, 0, 0));
    int64_t b = count > 1 ? clamp(integer_or(args, count, 1, 0)) : length;
    if (a == b) return string_of("", 0);
    if (a > b) std::swap(a, b);
    return characters(t, size_t(a), size_t(b));
}

}  // namespace tolv
