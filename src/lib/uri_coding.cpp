#include "lib/uri_coding.h"

#include <cstring>

#include "eval/library_hooks.h"
#include "lib/argument_positions.h"
#include "lib/keyword_calls.h"
#include "runtime/errors.h"
#include "runtime/opcodes.h"

namespace tolv {

namespace {

// One bit per byte value.
struct ByteSet {
    uint64_t bits[4] = {};
    constexpr ByteSet(const char* members, bool alphanumerics) {
        for (const char* p = members; *p; ++p) add(static_cast<unsigned char>(*p));
        if (alphanumerics)
            for (unsigned c = 0; c < 256; ++c)
                if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) add(c);
    }
    constexpr void add(unsigned c) { bits[c >> 6] |= uint64_t(1) << (c & 63); }
    constexpr bool has(unsigned char c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
};

// Bytes that encoding keeps as they are.
constexpr ByteSet URI_KEPT(";,/?:@&=+$-_.!~*'()#", true);
constexpr ByteSet COMPONENT_KEPT("-_.!~*'()", true);
// Bytes that decoding leaves in their %XX form (NUL always).
constexpr ByteSet URI_RESERVED(";,/?:@&=+$#", false);
constexpr ByteSet COMPONENT_RESERVED("", false);

const char HEX[] = "0123456789ABCDEF";

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A String of `length` bytes for the caller to fill.
ValueHandle blank_string(size_t length, char*& text) {
    ValueHandle s = new_string_with_capacity(length + 8);
    text = const_cast<char*>(string_text(s));
    text[length] = '\0';
    cell_as<StringCell>(s)->length = uint32_t(length);
    return s;
}

ValueHandle encode(ValueHandle v, const ByteSet& kept) {
    if (!is_string(v)) raise(Error::NOT_STRING_ARGUMENT_2345);
    const unsigned char* text = reinterpret_cast<const unsigned char*>(string_text(v));
    size_t length = string_length(v);
    size_t encoded = 0;
    for (size_t i = 0; i < length; ++i) encoded += !kept.has(text[i]);
    if (encoded == 0) return v;
    char* out;
    ValueHandle s = blank_string(length + 2 * encoded, out);
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = text[i];
        if (kept.has(c)) {
            *out++ = char(c);
        } else {
            *out++ = '%';
            *out++ = HEX[c >> 4];
            *out++ = HEX[c & 15];
        }
    }
    return s;
}

// The byte a %XX at `at` stands for when it is decoded here, else -1 (too
// near the end, or a byte the set keeps). Raises `not_hex` for non-hex digits.
int decoded_byte(const char* text, size_t length, size_t at, const ByteSet& reserved, ErrorForm<> not_hex) {
    if (length - at < 3) return -1;
    int high = hex_value(text[at + 1]), low = hex_value(text[at + 2]);
    if (high < 0 || low < 0) raise(not_hex);
    int byte = high * 16 + low;
    return byte == 0 || reserved.has(static_cast<unsigned char>(byte)) ? -1 : byte;
}

ValueHandle decode(ValueHandle v, const ByteSet& reserved) {
    if (!is_string(v)) raise(Error::NOT_STRING_ARGUMENT_2340);
    const char* text = string_text(v);
    size_t length = string_length(v);
    size_t decoded = 0;
    for (const char* p = static_cast<const char*>(std::memchr(text, '%', length)); p;) {
        size_t at = size_t(p - text);
        if (length - at < 3) break;  // a "%" among the last two characters stays
        if (decoded_byte(text, length, at, reserved, Error::BAD_DECODED_CHARACTER_1510) >= 0) ++decoded;
        at += 3;
        p = at < length ? static_cast<const char*>(std::memchr(text + at, '%', length - at)) : nullptr;
    }
    if (decoded == 0) return v;
    char* out;
    ValueHandle s = blank_string(length - 2 * decoded, out);
    for (size_t at = 0; at < length;) {
        if (text[at] == '%') {
            int byte = decoded_byte(text, length, at, reserved, Error::BAD_DECODED_CHARACTER_1515);
            if (byte >= 0) {
                *out++ = char(byte);
                at += 3;
                continue;
            }
            if (length - at >= 3) {
                std::memcpy(out, text + at, 3);
                out += 3;
                at += 3;
                continue;
            }
        }
        *out++ = text[at++];
    }
    return s;
}

ValueHandle encode_uri(ValueHandle, const ValueHandle* args, uint32_t) { return encode(args[0], URI_KEPT); }
ValueHandle encode_uri_component(ValueHandle, const ValueHandle* args, uint32_t) {
    return encode(args[0], COMPONENT_KEPT);
}
ValueHandle decode_uri(ValueHandle, const ValueHandle* args, uint32_t) { return decode(args[0], URI_RESERVED); }
ValueHandle decode_uri_component(ValueHandle, const ValueHandle* args, uint32_t) {
    return decode(args[0], COMPONENT_RESERVED);
}

ValueHandle op_encode_uri(ValueHandle cell) { return call_with_operands(cell, encode_uri); }
ValueHandle op_encode_uri_component(ValueHandle cell) { return call_with_operands(cell, encode_uri_component); }
ValueHandle op_decode_uri(ValueHandle cell) { return call_with_operands(cell, decode_uri); }
ValueHandle op_decode_uri_component(ValueHandle cell) { return call_with_operands(cell, decode_uri_component); }

}  // namespace

void install_uri_coding() {
    g_keyword_hooks[OP_ENCODE_URI - OP_FIRST] = op_encode_uri;
    g_keyword_hooks[OP_ENCODE_URI_COMPONENT - OP_FIRST] = op_encode_uri_component;
    g_keyword_hooks[OP_DECODE_URI - OP_FIRST] = op_decode_uri;
    g_keyword_hooks[OP_DECODE_URI_COMPONENT - OP_FIRST] = op_decode_uri_component;
}

}  // namespace tolv
