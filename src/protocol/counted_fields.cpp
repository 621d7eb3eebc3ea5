#include "protocol/counted_fields.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/errors.h"

namespace tolv {

namespace {

constexpr unsigned COUNTED_DIGITS_MAX = 13;       // '0'-'='
constexpr unsigned ENCODED_DIGITS_MAX = 12;       // 'A'-'M'
constexpr unsigned LENGTH_FIELD_DIGITS_MAX = 9;   // '0'-'9', 'A'-'J'
constexpr unsigned INTEGER_ELEMENT_DIGITS_MAX = 18;
constexpr unsigned FLOAT_ELEMENT_DIGITS_MAX = 14;
constexpr size_t FORMAT_EXCERPT_MAX = 16;

uint64_t read_digits(FieldCursor& cursor, unsigned count, ErrorForm<> fault) {
    if (count > cursor.left()) raise(fault);
    uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
        char c = cursor.pos[i];
        if (c < '0' || c > '9') raise(fault);
        value = value * 10 + unsigned(c - '0');
    }
    cursor.pos += count;
    return value;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_plain_marker(char c) { return c >= '0' && unsigned(c - '0') <= COUNTED_DIGITS_MAX; }
bool is_encoded_marker(char c) { return c >= 'A' && unsigned(c - 'A') <= ENCODED_DIGITS_MAX; }

// Takes `length` bytes as the text; `fault` (the digits error) covers a
// length that runs past the end.
TextField take_bytes(FieldCursor& cursor, uint64_t length, ErrorForm<> fault) {
    if (length > cursor.left()) raise(fault);
    TextField field{cursor.pos, size_t(length)};
    cursor.pos += length;
    return field;
}

}  // namespace

uint64_t read_counted_number(FieldCursor& cursor, FieldFaults faults) {
    if (cursor.pos == cursor.end || !is_plain_marker(*cursor.pos)) raise(faults.marker);
    unsigned digits = unsigned(*cursor.pos++ - '0');
    return read_digits(cursor, digits, faults.digits);
}

TextField read_counted_text(FieldCursor& cursor, FieldFaults faults) {
    if (cursor.pos == cursor.end) raise(faults.marker);
    char marker = *cursor.pos;
    bool encoded;
    unsigned digits;
    if (is_plain_marker(marker)) {
        encoded = false;
        digits = unsigned(marker - '0');
    } else if (is_encoded_marker(marker)) {
        encoded = true;
        digits = unsigned(marker - 'A');
    } else {
        raise(faults.marker);
    }
    ++cursor.pos;
    uint64_t length = read_digits(cursor, digits, faults.digits);
    TextField field = take_bytes(cursor, length, faults.digits);
    if (encoded) field.length = percent_decode(field.text, field.length);
    return field;
}

uint64_t read_length_field(FieldCursor& cursor) {
    char marker = cursor.pos < cursor.end ? *cursor.pos : '\0';
    unsigned digits;
    if (marker >= '0' && marker <= '9') {
        digits = unsigned(marker - '0');
    } else if (marker >= 'A' && unsigned(marker - 'A') <= LENGTH_FIELD_DIGITS_MAX) {
        digits = unsigned(marker - 'A');
    } else {
        size_t excerpt = cursor.left() < FORMAT_EXCERPT_MAX ? cursor.left() : FORMAT_EXCERPT_MAX;
        raise(Error::BAD_LENGTH_MARKER, int(excerpt), cursor.pos);
    }
    ++cursor.pos;
    return read_digits(cursor, digits, Error::LENGTH_FAULT_1545);
}

size_t percent_decode(char* text, size_t length) {
    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '%' && length - i > 2) {
            int high = hex_digit(text[i + 1]);
            int low = hex_digit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                text[out++] = char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        text[out++] = c;
    }
    return out;
}

bool parse_float_text(const char* text, size_t length, double& out) {
    if (length == 0 || text[0] == ' ' || (text[0] >= '\t' && text[0] <= '\r')) return false;
    char small[64];
    std::string large;
    char* copy = small;
    if (length >= sizeof small) {
        large.assign(text, length);
        copy = large.data();
    } else {
        std::memcpy(small, text, length);
        small[length] = '\0';
    }
    char* stop = nullptr;
    out = std::strtod(copy, &stop);
    return stop == copy + length;
}

bool is_reference_name(const char* text, size_t length) {
    if (length != 8 || text[0] != '^' || (text[1] != 'A' && text[1] != 'H')) return false;
    for (size_t i = 2; i < 8; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

Element read_typed_element(FieldCursor& cursor) {
    if (cursor.pos == cursor.end) raise(ELEMENT_FAULTS.marker);
    char marker = *cursor.pos;
    Element element{};
    if (is_plain_marker(marker) || is_encoded_marker(marker)) {
        element.text = read_counted_text(cursor, ELEMENT_FAULTS);
        bool plain = is_plain_marker(marker);
        element.kind = plain && is_reference_name(element.text.text, element.text.length) ? ELEMENT_REFERENCE
                                                                                           : ELEMENT_STRING;
        return element;
    }
    if (marker >= 'N' && unsigned(marker - 'N') <= INTEGER_ELEMENT_DIGITS_MAX) {
        ++cursor.pos;
        unsigned digits = unsigned(marker - 'N');
        char* start = cursor.pos;
        element.kind = ELEMENT_INTEGER;
        element.integer = int64_t(read_digits(cursor, digits, ELEMENT_FAULTS.digits));
        element.text = TextField{start, digits};
        return element;
    }
    if (marker >= 'a' && unsigned(marker - 'a') <= FLOAT_ELEMENT_DIGITS_MAX) {
        ++cursor.pos;
        uint64_t length = read_digits(cursor, unsigned(marker - 'a'), ELEMENT_FAULTS.digits);
        element.kind = ELEMENT_FLOAT;
        element.text = take_bytes(cursor, length, ELEMENT_FAULTS.digits);
        if (!parse_float_text(element.text.text, element.text.length, element.real)) {
            raise(Error::BAD_FLOAT_ELEMENT);
        }
        return element;
    }
    raise(ELEMENT_FAULTS.marker);
}

}  // namespace tolv
