#include "runtime/convert.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/errors.h"
#include "runtime/pair_list.h"

namespace tolv {

namespace {

constexpr size_t QUOTE_CHARACTERS = 120;
constexpr int COPY_DEPTH_LIMIT = 1000;

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

inline int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The number text for the message: up to its line end, at most 120
// characters, a UTF-8 sequence counting as one and never split.
[[noreturn]] void number_format_error(const char* text) {
    char quote[QUOTE_CHARACTERS * 6 + 1];
    size_t out = 0;
    size_t characters = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p && *p != '\n' && characters < QUOTE_CHARACTERS) {
        if (*p == '\r' && p[1] == '\n') break;
        size_t n = 1;
        if (*p >= 0xC0 && *p <= 0xDF) n = 2;
        else if (*p >= 0xE0 && *p <= 0xEF) n = 3;
        else if (*p >= 0xF0 && *p <= 0xF7) n = 4;
        else if (*p >= 0xF8 && *p <= 0xFB) n = 5;
        else if (*p >= 0xFC && *p <= 0xFD) n = 6;
        size_t have = 0;
        while (have < n && p[have]) ++have;
        if (have < n) break;  // a sequence cut short by the end of the text
        std::memcpy(quote + out, p, n);
        out += n;
        p += n;
        ++characters;
    }
    quote[out] = '\0';
    raise_parse(Error::BAD_NUMBER_FORMAT, quote);
}

const char* skip_digits(const char* p) {
    while (is_digit(*p)) ++p;
    return p;
}

// Exponent after 'e' or 'E': one optional sign, then at least one digit.
const char* read_exponent(const char* text, const char* p) {
    ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!is_digit(*p)) number_format_error(text);
    return skip_digits(p);
}

double decimal_value(const char* begin, const char* end) {
    double value = 0;
    auto result = std::from_chars(begin, end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here; strtod gives the infinity or zero.
        value = std::strtod(std::string(begin, end).c_str(), nullptr);
    }
    return value;
}

inline int32_t truncate_to_int32(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return int32_t(d);
}

ValueHandle string_to_number(ValueHandle v, bool want_float) {
    const char* text = string_text(v);
    int sign = 1;
    if (*text == '-') {
        sign = -1;
        ++text;
    } else if (*text == '+') {
        ++text;
    }
    ParsedNumber n = parse_number(text, sign);
    if (want_float) return new_float(n.is_integer ? double(n.integer) : n.real);
    if (n.is_integer) return new_integer(int32_t(uint32_t(uint64_t(n.integer))));
    int32_t truncated = truncate_to_int32(n.real);
    if (truncated < 0) return new_float(n.real);
    return new_integer(truncated);
}

ValueHandle copy_at_depth(ValueHandle v, int depth);

// Bytes 1-2 of an Array, assoc array or Hash record: the copy keeps them.
inline void copy_flags(ValueHandle to, ValueHandle from) { std::memcpy(cell_of(to) + 1, cell_of(from) + 1, 2); }

// Copies the value words of a pair or element vector, retaining each copy.
// On failure the partial container is freed, releasing what it got so far.
void copy_words(ValueHandle container, Word32* to, const Word32* from, uint32_t count, uint32_t stride,
                int depth) {
    uint32_t i = 0;
    try {
        for (; i < count; ++i) {
            if (stride == 2) to[2 * i] = from[2 * i];
            to[i * stride + stride - 1] = retain(copy_at_depth(from[i * stride + stride - 1], depth + 1));
        }
    } catch (...) {
        // Only the first i entries hold retained copies.
        if (kind_of(container) == KIND_ARRAY) cell_as<ArrayCell>(container)->length = i;
        else PairList(container).set_count(i);
        free_value(container);
        throw;
    }
}

ValueHandle copy_at_depth(ValueHandle v, int depth) {
    if (!has_storage(v)) return v;  // immediates and names are their own copy
    if (depth >= COPY_DEPTH_LIMIT) raise(Error::BAD_NEW_ARGUMENT);  // nested too deep, or holds itself
    switch (kind_of(v)) {
        case KIND_INTEGER:
        case KIND_FLOAT:
        case KIND_DATE: {
            ValueHandle h = new_cell(kind_of(v), 0);
            std::memcpy(cell_of(h) + 1, cell_of(v) + 1, 15);
            return h;
        }
        case KIND_STRING:
            return new_string(string_text(v), string_length(v));
        case KIND_ARRAY: {
            const ArrayCell* a = cell_as<ArrayCell>(v);
            uint8_t* vector;
            AreaRef ref = area_alloc(size_t(a->capacity) * 4, &vector);
            std::memset(vector, 0, size_t(a->capacity) * 4);
            ValueHandle h = new_cell(KIND_ARRAY, 0);
            ArrayCell* c = cell_as<ArrayCell>(h);
            a = cell_as<ArrayCell>(v);
            copy_flags(h, v);
            c->elements = ref;
            c->length = a->length;
            c->capacity = a->capacity;
            copy_words(h, array_elements(h), array_elements(v), a->length, 1, depth);
            return h;
        }
        case KIND_ASSOC_ARRAY:
        case KIND_HASH: {
            const PairList from(v);
            uint8_t* vector;
            AreaRef ref = area_alloc(size_t(from.capacity()) * 8, &vector);
            std::memset(vector, 0, size_t(from.capacity()) * 8);
            ValueHandle h = new_cell(kind_of(v), 0);
            copy_flags(h, v);
            PairList to(h);
            to.set_vector(ref, from.capacity());
            to.set_count(from.count());
            if (from.is_hash()) cell_as<HashCell>(h)->class_name = cell_as<HashCell>(v)->class_name;
            copy_words(h, to.pairs(), from.pairs(), from.count(), 2, depth);
            return h;
        }
        case KIND_ERROR:
        case KIND_REGEXP:
            // Shared, not copied. The top-level result is retained so that
            // disposing the original temporary cannot free it; inside a
            // container the element slot's own retain is the only one.
            return depth == 0 ? retain(v) : v;
        default:
            raise(Error::BAD_NEW_ARGUMENT);
    }
}

}  // namespace

ParsedNumber parse_number(const char* text, int sign) {
    ParsedNumber r{true, 0, 0.0, text};
    const char* p = text;
    if (p[0] == '0' && p[1] == 'x' && hex_value(p[2]) >= 0) {
        uint64_t value = 0;
        for (p += 2; hex_value(*p) >= 0; ++p) value = value * 16 + uint64_t(hex_value(*p));
        r.integer = int64_t(sign < 0 ? uint64_t(0) - value : value);
        r.end = p;
        return r;
    }
    if (*p == '.') {
        const char* fraction = p + 1;
        p = skip_digits(fraction);
        if (p == fraction) number_format_error(text);
        if (*p == 'e' || *p == 'E') p = read_exponent(text, p);
        if (*p == '.') number_format_error(text);
        r.is_integer = false;
        r.real = sign * decimal_value(text, p);
        r.end = p;
        return r;
    }
    const char* digits_end = skip_digits(p);
    p = digits_end;
    bool fractional = false;
    if (*p == '.' && is_digit(p[1])) {
        p = skip_digits(p + 1);
        fractional = true;
    }
    if (*p == 'e' || *p == 'E') {
        p = read_exponent(text, p);
        fractional = true;
    }
    r.end = p;
    if (!fractional) {
        uint64_t value = 0;
        bool overflow = false;
        for (const char* q = text; q < digits_end; ++q) {
            uint64_t digit = uint64_t(*q - '0');
            if (value > (uint64_t(INT64_MAX) - digit) / 10) {
                overflow = true;
                break;
            }
            value = value * 10 + digit;
        }
        if (!overflow) {
            r.integer = sign < 0 ? -int64_t(value) : int64_t(value);
            return r;
        }
        // Beyond 64 bits the value can only be held as a double.
    }
    r.is_integer = false;
    r.real = sign * decimal_value(text, p);
    return r;
}

ValueHandle to_integer(ValueHandle v) {
    if (!is_sentinel(v)) {
        switch (kind_of(v)) {
            case KIND_INTEGER:
                return new_integer(integer_value(v));
            case KIND_FLOAT:
                return new_integer(truncate_to_int32(std::trunc(float_value(v))));
            case KIND_STRING:
                return string_to_number(v, false);
            default:
                break;
        }
    }
    raise(Error::BAD_INTEGER_ARGUMENT);
}

ValueHandle to_float(ValueHandle v) {
    if (!is_sentinel(v)) {
        switch (kind_of(v)) {
            case KIND_INTEGER:
                return new_float(double(integer_value(v)));
            case KIND_FLOAT:
                return new_float(float_value(v));
            case KIND_STRING:
                return string_to_number(v, true);
            default:
                break;
        }
    }
    raise(Error::BAD_FLOAT_ARGUMENT);
}

ValueHandle copy_value(ValueHandle v) { return copy_at_depth(v, 0); }

}  // namespace tolv
