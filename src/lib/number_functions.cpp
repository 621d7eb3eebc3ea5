#include "lib/number_functions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "eval/library_hooks.h"
#include "eval/methods.h"
#include "lib/argument_positions.h"
#include "lib/keyword_calls.h"
#include "runtime/opcodes.h"
#include "runtime/text.h"

namespace tolv {

namespace {

// The text a number is read from: a String's bytes (at most 4,095 of them),
// else the value's plain text form; spaces and tabs trimmed at both ends.
class NumberText {
public:
    explicit NumberText(ValueHandle v) {
        if (is_string(v)) {
            size_t length = string_length(v);
            if (length > 4095) length = 4095;
            text_.append(string_text(v), length);
        } else {
            text_of(v, text_);
        }
        const char* p = text_.data();
        size_t end = text_.size();
        size_t start = 0;
        while (start < end && is_blank(p[start])) ++start;
        while (end > start && is_blank(p[end - 1])) --end;
        text_.truncate(end);
        start_ = start;
    }
    // NUL-terminated.
    const char* c_str() const { return text_.data() + start_; }

private:
    static bool is_blank(char c) { return c == ' ' || c == '\t'; }
    TextBuffer text_;
    size_t start_ = 0;
};

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

ValueHandle number_parse_int(ValueHandle, const ValueHandle* args, uint32_t count) {
    NumberText number(args[0]);
    const char* p = number.c_str();
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint32_t radix = 10;
    if (count > 1) {
        if (!is_integer(args[1])) return VALUE_NAN;
        int32_t r = integer_value(args[1]);
        if (r < 2 || r > 36) return VALUE_NAN;
        radix = uint32_t(r);
    } else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        radix = 16;
        p += 2;
    }
    // 32-bit arithmetic, as scripts have always had it: long texts wrap.
    uint32_t value = 0;
    const char* first = p;
    for (int d; (d = digit_value(*p)) < int(radix); ++p) value = value * radix + uint32_t(d);
    if (p == first) return VALUE_NAN;
    return integer_result(int32_t(negative ? 0u - value : value));
}

ValueHandle number_parse_float(ValueHandle, const ValueHandle* args, uint32_t) {
    NumberText number(args[0]);
    char* end;
    double d = std::strtod(number.c_str(), &end);
    if (end == number.c_str()) return VALUE_NAN;
    return new_float(d);
}

// A Float counts as an integer when its ten-decimal text has only zeros
// after the point. NaN and the infinities are no integers.
ValueHandle number_is_integer(ValueHandle, const ValueHandle* args, uint32_t) {
    ValueHandle v = args[0];
    if (is_integer(v)) return VALUE_TRUE;
    if (!is_float(v)) return VALUE_FALSE;
    char text[400];
    std::snprintf(text, sizeof text, "%.10f", float_value(v));
    const char* point = std::strchr(text, '.');
    if (!point) return VALUE_FALSE;
    for (const char* p = point + 1; *p; ++p)
        if (*p != '0') return VALUE_FALSE;
    return VALUE_TRUE;
}

ValueHandle op_parse_int(ValueHandle cell) { return call_with_operands(cell, number_parse_int); }
ValueHandle op_parse_float(ValueHandle cell) { return call_with_operands(cell, number_parse_float); }

}  // namespace

void install_number_functions() {
    set_method_handler(RECEIVER_NUMBER, "parseInt", number_parse_int);
    set_method_handler(RECEIVER_NUMBER, "parseFloat", number_parse_float);
    set_method_handler(RECEIVER_NUMBER, "isInteger", number_is_integer);
    g_keyword_hooks[OP_PARSE_INT - OP_FIRST] = op_parse_int;
    g_keyword_hooks[OP_PARSE_FLOAT - OP_FIRST] = op_parse_float;
}

}  // namespace tolv
