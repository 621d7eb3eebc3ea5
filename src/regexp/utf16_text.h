// Conversions between a String's UTF-8 text and the UTF-16 units that the
// regular-expression engine compiles and matches.
//
// UTF-8 to UTF-16 decodes one character (one sequence as the character model
// of utf8_text.h counts it) into one unit, so unit positions are character
// positions:
//   1-byte sequence   its byte
//   2-byte sequence   ((b0 & 0x1F) << 6) | (b1 & 0x3F)
//   3-byte sequence   ((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F)
//   4-byte sequence   raises 1595: text beyond the Basic Multilingual Plane
//                     has no single unit
//   anything else     U+FFFD: a byte that cannot begin a sequence, a 5- or
//                     6-byte sequence, or a sequence cut short by the end
// Continuation bytes are not checked, and NUL bytes are units like any other
// (a String's length, not a terminator, ends its text).
//
// The regular-expression engine reads a text as ECMAScript strings hold it:
// there a 4-byte sequence (a character above U+FFFF) is a surrogate pair,
// two units, so that patterns see it as ECMAScript does without the u flag.
// Positions that go back to scripts are counted in characters again.
//
// UTF-16 to UTF-8 writes a unit below 0x80 as one byte, below 0x800 as two,
// otherwise as three; surrogates are written one by one in three bytes each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/value.h"

namespace tolv {

// Decodes `length` bytes into at most `capacity` - 1 units, then writes a 0
// unit; stops early, at a character boundary, when the area is full. With
// `offsets` (room for `capacity` entries) offsets[i] is the byte offset where
// unit i's character starts and offsets[count] the byte offset where decoding
// stopped. Returns the unit count. Raises 1595 for a 4-byte sequence.
size_t utf8_to_utf16(const char* text, size_t length, uint16_t* out, size_t capacity, uint32_t* offsets = nullptr);

// As utf8_to_utf16, but a 4-byte sequence gives its surrogate pair (a
// sequence above U+10FFFF or below U+10000 gives U+FFFD); never raises 1595.
// offsets[i] of a pair's second unit is the byte offset after the character,
// so a span ending between the two units still takes the whole character.
size_t utf8_to_utf16_pairs(const char* text, size_t length, uint16_t* out, size_t capacity,
                           uint32_t* offsets = nullptr);

// Bytes that utf16_to_utf8 writes for `count` units (without the NUL).
size_t utf8_size_of(const uint16_t* units, size_t count);

// Encodes `count` units into an area of `size` bytes, then writes a NUL;
// stops early, never splitting a unit's bytes, when the area is full.
// Returns the byte count (without the NUL).
size_t utf16_to_utf8(const uint16_t* units, size_t count, char* out, size_t size);

// A new String (count 0) of the UTF-8 form of `count` units.
ValueHandle string_from_utf16(const uint16_t* units, size_t count);

// A text decoded into UTF-16 with the byte offset of every unit, so that
// positions found in the units lead back into the UTF-8 text. Short texts
// stay in the object's own storage; a longer one gets an allocation.
class Utf16Text {
public:
    Utf16Text() { storage_[0] = storage_[1] = 0; }
    Utf16Text(const char* text, size_t length) : Utf16Text() { assign(text, length); }
    Utf16Text(const Utf16Text&) = delete;
    Utf16Text& operator=(const Utf16Text&) = delete;

    // Decodes a whole text, a character above U+FFFF as its surrogate pair;
    // raises 1400 when a long text's area cannot be allocated.
    void assign(const char* text, size_t length);
    void assign(ValueHandle string);  // a KIND_STRING

    // The units; units()[-1] and units()[size()] are 0, so a matcher may look
    // one unit before the start and after the end. Writable for case folding.
    uint16_t* units() { return units_; }
    const uint16_t* units() const { return units_; }
    size_t size() const { return size_; }
    // Byte offset of unit `index` in the UTF-8 text, 0 <= index <= size().
    uint32_t byte_offset(size_t index) const { return offsets_[index]; }
    // The character position of unit `index` (0 <= index <= size()); a pair's
    // second unit counts as the character after the pair.
    size_t character_of(size_t index) const { return pair_chars_.empty() ? index : pair_chars_[index]; }
    // The unit where character `c` starts; past the end, as far past size().
    size_t unit_of(size_t c) const;

private:
    static constexpr size_t INLINE_UNITS = 1024;  // texts under about 1 KB
    uint16_t storage_[INLINE_UNITS + 2];
    uint32_t inline_offsets_[INLINE_UNITS + 1];
    std::unique_ptr<uint16_t[]> big_units_;
    std::unique_ptr<uint32_t[]> big_offsets_;
    uint16_t* units_ = storage_ + 1;
    uint32_t* offsets_ = inline_offsets_;
    size_t size_ = 0;
    std::vector<uint32_t> pair_chars_;  // unit -> character, only for a text with pairs

    bool second_of_pair(size_t index) const;
};

}  // namespace tolv
