#include "lib/string/string_statics.h"

#include "eval/methods.h"
#include "lib/argument_positions.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

namespace {

// One code as UTF-8 of one to four bytes; a surrogate stands alone in three.
void append_utf8(uint32_t c, TextBuffer& out) {
    char bytes[4];
    size_t n;
    if (c < 0x80) {
        bytes[0] = char(c);
        n = 1;
    } else if (c < 0x800) {
        bytes[0] = char(0xC0 | (c >> 6));
        bytes[1] = char(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        bytes[0] = char(0xE0 | (c >> 12));
        bytes[1] = char(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = char(0x80 | (c & 0x3F));
        n = 3;
    } else {
        bytes[0] = char(0xF0 | (c >> 18));
        bytes[1] = char(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = char(0x80 | ((c >> 6) & 0x3F));
        bytes[3] = char(0x80 | (c & 0x3F));
        n = 4;
    }
    out.append(bytes, n);
}

ValueHandle string_from_char_code(ValueHandle, const ValueHandle* args, uint32_t count) {
    TextBuffer text;
    for (uint32_t i = 0; i < count; ++i) {
        if (!is_integer(args[i])) raise(Error::FROM_CHAR_CODE_NOT_INTEGER_2400);
        uint32_t c = uint32_t(integer_value(args[i]));
        if (c > 0xFFFF) raise(Error::FROM_CHAR_CODE_OUTSIDE_UTF16);
        append_utf8(c, text);
    }
    return new_string(text.data(), text.size());
}

ValueHandle string_from_code_point(ValueHandle, const ValueHandle* args, uint32_t count) {
    TextBuffer text;
    for (uint32_t i = 0; i < count; ++i) {
        if (!is_integer(args[i])) raise(Error::FROM_CHAR_CODE_NOT_INTEGER_2410);
        uint32_t c = uint32_t(integer_value(args[i]));
        if (c > 0x10FFFF) raise(Error::FROM_CHAR_CODE_OUTSIDE_UNICODE);
        append_utf8(c, text);
    }
    return new_string(text.data(), text.size());
}

}  // namespace

void install_string_statics() {
    set_method_handler(RECEIVER_STRING, "fromCharCode", string_from_char_code);
    set_method_handler(RECEIVER_STRING, "fromCodePoint", string_from_code_point);
}

}  // namespace tolv
