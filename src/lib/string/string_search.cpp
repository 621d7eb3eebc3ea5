// The String methods that look for a text: indexOf, lastIndexOf, includes,
// startsWith and endsWith. Searches compare exact bytes; positions count
// characters.
#include <cstring>

#include "lib/string/string_method_handlers.h"
#include "runtime/utf8_text.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

namespace {

// First occurrence of `needle` in t from byte `from`, or npos.
constexpr size_t NOT_FOUND = size_t(-1);
size_t find_bytes(TextView t, size_t from, const char* needle, size_t needle_length) {
    if (from > t.length || t.length - from < needle_length) return NOT_FOUND;
    const void* hit = memmem(t.text + from, t.length - from, needle, needle_length);
    return hit ? size_t(static_cast<const char*>(hit) - t.text) : NOT_FOUND;
}

// A position argument of includes/startsWith: an Integer, or a Float rounded
// down; negative counts as 0. Any other kind raises `not_number`.
int64_t number_position(ValueHandle v, ErrorForm<> not_number) {
    int64_t pos;
    if (is_integer(v)) pos = integer_value(v);
    else if (is_float(v)) pos = floor_position(float_value(v));
    else raise(not_number);
    return pos < 0 ? 0 : pos;
}

// The `from` argument of indexOf/lastIndexOf, held within [0, length].
int64_t from_position(ValueHandle v, ErrorForm<> not_integer, int64_t length) {
    if (!is_integer(v)) raise(not_integer);
    int64_t from = integer_value(v);
    return from < 0 ? 0 : from > length ? length : from;
}

// The text searched for: a String's own bytes, or the text of another kind
// (`"a1".indexOf(1)`), made in `buffer`.
TextView wanted_text(ValueHandle v, TextBuffer& buffer) {
    if (is_string(v)) return text_view(v);
    text_of(v, buffer);
    return {buffer.data(), buffer.size()};
}

}  // namespace

ValueHandle string_index_of(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    CharText t(receiver);
    TextBuffer buffer;
    TextView wanted = wanted_text(args[0], buffer);
    int64_t length = int64_t(t.count());
    int64_t from = count > 1 ? from_position(args[1], Error::NOT_INTEGER_ARGUMENT_2700, length) : 0;
    if (wanted.length == 0) return integer_result(int32_t(from));
    // In an ASCII text the byte search below answers this as well.
    if (!t.ascii && length < from + int64_t(utf8_char_count(wanted.text, wanted.length))) return integer_result(-1);
    size_t start = t.skip(0, size_t(from));
    size_t hit = find_bytes(t.view(), start, wanted.text, wanted.length);
    if (hit == NOT_FOUND) return integer_result(-1);
    return integer_result(int32_t(from + int64_t(t.chars_between(start, hit))));
}

// Occurrences are found left to right without overlap, as scripts have
// always seen them: the last occurrence of "aa" in "aaa" is at 0.
ValueHandle string_last_index_of(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    CharText t(receiver);
    TextBuffer buffer;
    TextView wanted = wanted_text(args[0], buffer);
    int64_t length = int64_t(t.count());
    int64_t from = count > 1 ? from_position(args[1], Error::NOT_INTEGER_ARGUMENT_2705, length) : length;
    if (wanted.length == 0) return integer_result(int32_t(from));
    int64_t found = -1;
    size_t at = 0;        // byte offset where the next search starts
    int64_t at_char = 0;  // its character position
    for (;;) {
        size_t hit = find_bytes(t.view(), at, wanted.text, wanted.length);
        if (hit == NOT_FOUND) break;
        int64_t hit_char = at_char + int64_t(t.chars_between(at, hit));
        if (hit_char > from) break;
        found = hit_char;
        at = hit + wanted.length;
        at_char = hit_char + int64_t(t.chars_between(hit, at));
    }
    return integer_result(int32_t(found));
}

ValueHandle string_includes(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    int64_t pos = count > 1 ? number_position(args[1], Error::NOT_NUMBER_ARGUMENT_2780) : 0;
    if (!is_string(args[0])) raise(Error::NOT_STRING_ARGUMENT_2785);
    TextView wanted = text_view(args[0]);
    if (wanted.length == 0) return VALUE_TRUE;
    CharText t(receiver);
    size_t start = t.skip(0, size_t(pos));
    return find_bytes(t.view(), start, wanted.text, wanted.length) != NOT_FOUND ? VALUE_TRUE : VALUE_FALSE;
}

ValueHandle string_starts_with(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    int64_t pos = count > 1 ? number_position(args[1], Error::NOT_NUMBER_ARGUMENT_2805) : 0;
    if (!is_string(args[0])) raise(Error::NOT_STRING_ARGUMENT_2810);
    TextView wanted = text_view(args[0]);
    if (wanted.length == 0) return VALUE_TRUE;
    CharText t(receiver);
    size_t start = t.skip(0, size_t(pos));
    bool equal = t.length - start >= wanted.length && std::memcmp(t.text + start, wanted.text, wanted.length) == 0;
    return equal ? VALUE_TRUE : VALUE_FALSE;
}

ValueHandle string_ends_with(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    // A position of another kind is 0, without an error.
    int64_t end_char = -1;
    if (count > 1) {
        end_char = is_integer(args[1]) ? integer_value(args[1])
                   : is_float(args[1]) ? floor_position(float_value(args[1]))
                                       : 0;
        if (end_char < 0) end_char = 0;
    }
    if (!is_string(args[0])) raise(Error::NOT_STRING_ARGUMENT_2815);
    TextView wanted = text_view(args[0]);
    if (wanted.length == 0) return VALUE_TRUE;
    CharText t(receiver);
    int64_t length = int64_t(t.count());
    if (end_char < 0 || end_char > length) end_char = length;
    int64_t wanted_chars = int64_t(utf8_char_count(wanted.text, wanted.length));
    if (end_char < wanted_chars) return VALUE_FALSE;
    size_t start = t.skip(0, size_t(end_char - wanted_chars));
    size_t end = t.skip(start, size_t(wanted_chars));
    bool equal = end - start == wanted.length && std::memcmp(t.text + start, wanted.text, wanted.length) == 0;
    return equal ? VALUE_TRUE : VALUE_FALSE;
}

}  // namespace tolv
