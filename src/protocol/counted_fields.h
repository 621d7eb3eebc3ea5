// Reading the counted fields of a request body: counted numbers, counted
// texts (plain or percent-encoded), length fields and typed elements. Every
// reader stays inside [pos, end) and raises the caller's errors when a
// field is malformed or runs past the end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/error_table.h"

namespace tolv {

struct FieldCursor {
    char* pos;
    char* end;
    size_t left() const { return size_t(end - pos); }
};

struct TextField {
    char* text;  // inside the body; not NUL-terminated
    size_t length;
};

// The errors for one kind of counted field: a bad marker (or digit-count
// character), and bad or missing digits or bytes.
struct FieldFaults {
    ErrorForm<> marker;
    ErrorForm<> digits;
};

constexpr FieldFaults NUMBER_FAULTS{Error::LENGTH_FAULT_1500, Error::LENGTH_FAULT_1505};
constexpr FieldFaults NAME_FAULTS{Error::LENGTH_FAULT_1520, Error::LENGTH_FAULT_1525};
constexpr FieldFaults VALUE_TEXT_FAULTS{Error::LENGTH_FAULT_1530, Error::LENGTH_FAULT_1535};
constexpr FieldFaults INTEGER_VALUE_FAULTS{Error::LENGTH_FAULT_1550, Error::LENGTH_FAULT_1555};
constexpr FieldFaults ELEMENT_FAULTS{Error::LENGTH_FAULT_1560, Error::LENGTH_FAULT_1565};

// '0' + n (n = 0-13), then n decimal digits.
uint64_t read_counted_number(FieldCursor& cursor, FieldFaults faults);

// Marker '0' + n (plain) or 'A' + n (percent-encoded, decoded in place), the
// length in n digits, then that many bytes as sent.
TextField read_counted_text(FieldCursor& cursor, FieldFaults faults);

// Record lengths and module path lengths: '0'-'9' or 'A'-'J' for 0-9 digits,
// then the digits. Raises BAD_LENGTH_MARKER or LENGTH_FAULT_1545 (digits).
uint64_t read_length_field(FieldCursor& cursor);

// Decodes %XX (either case) in place; a '%' without two hex digits stays.
// Returns the new length.
size_t percent_decode(char* text, size_t length);

// The whole text must be a floating-point number (strtod syntax, no leading
// blanks).
bool parse_float_text(const char* text, size_t length, double& out);

enum ElementKind : uint8_t {
    ELEMENT_STRING,
    ELEMENT_INTEGER,
    ELEMENT_FLOAT,
    ELEMENT_REFERENCE,  // "^A" / "^H" + six digits, plain
};

struct Element {
    ElementKind kind;
    TextField text;   // string, reference or float text as sent
    int64_t integer;  // ELEMENT_INTEGER
    double real;      // ELEMENT_FLOAT
};

// A typed element: counted text, 'N' + n integer digits or 'a' + n float.
Element read_typed_element(FieldCursor& cursor);

// True for the 8-byte name of a nested object: "^A" or "^H" + six digits.
bool is_reference_name(const char* text, size_t length);

}  // namespace tolv
