// Conversions between UTF-8 text and UTF-16 units (see utf16_text.h).
#include "regexp/utf16_text.h"

#include <new>

#include "runtime/utf8_text.h"
#include "runtime/errors.h"

namespace tolv {

namespace {

constexpr uint16_t REPLACEMENT_UNIT = 0xFFFD;

[[noreturn]] void raise_out_of_memory() { raise(Error::NO_MEMORY); }

// One character at `at` as a unit; `next` gets the offset after it.
inline uint16_t decode_one(const unsigned char* s, size_t length, size_t at, size_t& next) {
    unsigned char b0 = s[at];
    if (b0 < 0x80) {
        next = at + 1;
        return b0;
    }
    size_t n = utf8_sequence_length(b0);
    if (at + n > length) {
        next = length;
        return REPLACEMENT_UNIT;
    }
    next = at + n;
    switch (n) {
    case 2: return uint16_t(((b0 & 0x1F) << 6) | (s[at + 1] & 0x3F));
    case 3: return uint16_t(((b0 & 0x0F) << 12) | ((s[at + 1] & 0x3F) << 6) | (s[at + 2] & 0x3F));
    case 4: raise(Error::SURROGATE_CONVERSION);
    default: return REPLACEMENT_UNIT;
    }
}

// A character above U+FFFF as its surrogate pair; 0 when the 4-byte sequence
// at `s` (complete) holds no such character.
inline uint32_t pair_of(const unsigned char* s) {
    const uint32_t c = (uint32_t(s[0] & 0x07) << 18) | (uint32_t(s[1] & 0x3F) << 12) | (uint32_t(s[2] & 0x3F) << 6) |
                       uint32_t(s[3] & 0x3F);
    if (c < 0x10000 || c > 0x10FFFF) return 0;
    const uint32_t v = c - 0x10000;
    return ((0xD800 + (v >> 10)) << 16) | (0xDC00 + (v & 0x3FF));
}

inline size_t encoded_size(uint16_t u) { return u < 0x80 ? 1 : u < 0x800 ? 2 : 3; }

}  // namespace

size_t utf8_to_utf16(const char* text, size_t length, uint16_t* out, size_t capacity, uint32_t* offsets) {
    if (capacity == 0) return 0;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t count = 0;
    size_t at = 0;
    while (at < length && count + 1 < capacity) {
        size_t next;
        uint16_t unit = decode_one(s, length, at, next);
        if (offsets) offsets[count] = uint32_t(at);
        out[count++] = unit;
        at = next;
    }
    if (offsets) offsets[count] = uint32_t(at);
    out[count] = 0;
    return count;
}

size_t utf8_to_utf16_pairs(const char* text, size_t length, uint16_t* out, size_t capacity, uint32_t* offsets) {
    if (capacity == 0) return 0;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t count = 0;
    size_t at = 0;
    while (at < length && count + 1 < capacity) {
        if (s[at] >= 0xF0 && s[at] < 0xF8 && at + 4 <= length) {
            const uint32_t pair = pair_of(s + at);
            if (count + 2 >= capacity) break;  // never half a character
            if (offsets) {
                offsets[count] = uint32_t(at);
                offsets[count + 1] = uint32_t(at + 4);
            }
            if (pair) {
                out[count++] = uint16_t(pair >> 16);
                out[count++] = uint16_t(pair & 0xFFFF);
            } else {
                out[count++] = REPLACEMENT_UNIT;
            }
            at += 4;
            continue;
        }
        size_t next;
        const uint16_t unit = decode_one(s, length, at, next);
        if (offsets) offsets[count] = uint32_t(at);
        out[count++] = unit;
        at = next;
    }
    if (offsets) offsets[count] = uint32_t(at);
    out[count] = 0;
    return count;
}

size_t utf8_size_of(const uint16_t* units, size_t count) {
    size_t bytes = 0;
    for (size_t i = 0; i < count; ++i) bytes += encoded_size(units[i]);
    return bytes;
}

size_t utf16_to_utf8(const uint16_t* units, size_t count, char* out, size_t size) {
    if (size == 0) return 0;
    unsigned char* o = reinterpret_cast<unsigned char*>(out);
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        uint16_t u = units[i];
        size_t n = encoded_size(u);
        if (at + n + 1 > size) break;
        if (n == 1) {
            o[at] = uint8_t(u);
        } else if (n == 2) {
            o[at] = uint8_t(0xC0 | (u >> 6));
            o[at + 1] = uint8_t(0x80 | (u & 0x3F));
        } else {
            o[at] = uint8_t(0xE0 | (u >> 12));
            o[at + 1] = uint8_t(0x80 | ((u >> 6) & 0x3F));
            o[at + 2] = uint8_t(0x80 | (u & 0x3F));
        }
        at += n;
    }
    o[at] = 0;
    return at;
}

ValueHandle string_from_utf16(const uint16_t* units, size_t count) {
    size_t bytes = utf8_size_of(units, count);
    ValueHandle s = new_string_with_capacity(bytes + 8);
    char* text = const_cast<char*>(string_text(s));
    cell_as<StringCell>(s)->length = uint32_t(utf16_to_utf8(units, count, text, bytes + 1));
    return s;
}

void Utf16Text::assign(const char* text, size_t length) {
    // A character is at least one byte, so `length` units always suffice.
    size_t capacity = length + 1;
    if (length > INLINE_UNITS) {
        big_units_.reset(new (std::nothrow) uint16_t[length + 2]);
        big_offsets_.reset(new (std::nothrow) uint32_t[length + 1]);
        if (!big_units_ || !big_offsets_) raise_out_of_memory();
        big_units_[0] = 0;
        units_ = big_units_.get() + 1;
        offsets_ = big_offsets_.get();
    } else {
        units_ = storage_ + 1;
        offsets_ = inline_offsets_;
    }
    size_ = utf8_to_utf16_pairs(text, length, units_, capacity, offsets_);
    pair_chars_.clear();
    for (size_t i = 1; i < size_; ++i) {
        if (!second_of_pair(i)) continue;
        // The text holds a pair: count characters unit by unit.
        pair_chars_.resize(size_ + 1);
        size_t c = 0;
        for (size_t k = 0; k < size_; ++k) {
            pair_chars_[k] = uint32_t(c);
            if (!second_of_pair(k)) ++c;
        }
        pair_chars_[size_] = uint32_t(c);
        return;
    }
}

bool Utf16Text::second_of_pair(size_t i) const {
    // A pair from one 4-byte character, not two surrogates written one by one.
    return i > 0 && units_[i] >= 0xDC00 && units_[i] <= 0xDFFF && units_[i - 1] >= 0xD800 && units_[i - 1] <= 0xDBFF &&
           offsets_[i] == offsets_[i - 1] + 4;
}

size_t Utf16Text::unit_of(size_t c) const {
    if (pair_chars_.empty()) return c;
    const size_t chars = pair_chars_[size_];
    if (c >= chars) return size_ + (c - chars);
    // The first unit of character c that is not the second half of a pair.
    size_t low = 0, high = size_;
    while (low < high) {
        const size_t mid = (low + high) / 2;
        if (pair_chars_[mid] < c) low = mid + 1;
        else high = mid;
    }
    while (second_of_pair(low)) ++low;
    return low;
}

void Utf16Text::assign(ValueHandle string) { assign(string_text(string), string_length(string)); }

}  // namespace tolv
