// Reading the counted fields of a request body: counted numbers, counted
// texts (plain or percent-encoded), length fields and typed elements. Every
// reader stays inside [pos, end) and raises the caller's error codes when a
// field is malformed or runs past the end.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Error codes for one kind of counted field: a bad marker (or digit-count
// character), and bad or missing digits or bytes.
struct FieldCodes {
    int marker;
    int digits;
};

constexpr FieldCodes NUMBER_CODES{1500, 1505};
constexpr FieldCodes NAME_CODES{1520, 1525};
constexpr FieldCodes VALUE_TEXT_CODES{1530, 1535};
constexpr FieldCodes LENGTH_CODES{1540, 1545};
constexpr FieldCodes INTEGER_VALUE_CODES{1550, 1555};
constexpr FieldCodes ELEMENT_CODES{1560, 1565};
constexpr int FLOAT_ELEMENT_CODE = 1570;

extern const char LENGTH_FAULT_MESSAGE[];  // "文字列の長さ不正"

// Raises `code` with the length-fault message.
[[noreturn]] void length_fault(int code);

// '0' + n (n = 0-13), then n decimal digits.
uint64_t read_counted_number(FieldCursor& cursor, FieldCodes codes);

// Marker '0' + n (plain) or 'A' + n (percent-encoded, decoded in place), the
// length in n digits, then that many bytes as sent.
TextField read_counted_text(FieldCursor& cursor, FieldCodes codes);

// Record lengths and module path lengths: '0'-'9' or 'A'-'J' for 0-9 digits,
// then the digits. Raises 1540 (marker) or 1545 (digits).
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
