// The character model of String values: positions, lengths and counts are in
// characters, a character being one UTF-8 sequence whose length its first
// byte decides. Continuation bytes are not checked; a sequence that would run
// past the end of the text ends there, so no step ever reads beyond it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolv {

// Bytes of the sequence that `lead` begins: 1 for ASCII, 2-6 for the lead
// bytes 0xC0-0xFD; a byte that cannot begin a sequence (0x80-0xBF, 0xFE,
// 0xFF) is a character of its own.
inline uint32_t utf8_sequence_length(unsigned char lead) {
    if (lead < 0xC0) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    if (lead < 0xFC) return 5;
    if (lead < 0xFE) return 6;
    return 1;
}

// The byte offset after the character that starts at `at` (at < length).
inline size_t utf8_next(const char* text, size_t length, size_t at) {
    size_t next = at + utf8_sequence_length(static_cast<unsigned char>(text[at]));
    return next < length ? next : length;
}

// Number of characters in `length` bytes.
size_t utf8_char_count(const char* text, size_t length);

// The byte offset reached by stepping over `chars` characters from byte
// offset `from`; the end of the text when there are fewer.
size_t utf8_skip(const char* text, size_t length, size_t from, size_t chars);

// Characters between byte offsets `from` and `to` (to <= length), counted
// from `from`, which must be the start of a character.
inline size_t utf8_chars_between(const char* text, size_t from, size_t to) {
    return utf8_char_count(text + from, to - from);
}

}  // namespace tolv
