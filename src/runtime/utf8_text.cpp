#include "runtime/utf8_text.h"

#include <cstring>

namespace tolv {

namespace {

// Eight bytes at once while they are all ASCII: long plain texts are common.
inline bool ascii_word(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return (w & 0x8080808080808080ull) == 0;
}

}  // namespace

size_t utf8_char_count(const char* text, size_t length) {
    size_t chars = 0;
    size_t at = 0;
    while (at < length) {
        if (at + 8 <= length && ascii_word(text + at)) {
            at += 8;
            chars += 8;
            continue;
        }
        at += utf8_sequence_length(static_cast<unsigned char>(text[at]));
        ++chars;
    }
    return chars;
}

size_t utf8_skip(const char* text, size_t length, size_t from, size_t chars) {
    size_t at = from;
    while (chars > 0 && at < length) {
        if (chars >= 8 && at + 8 <= length && ascii_word(text + at)) {
            at += 8;
            chars -= 8;
            continue;
        }
        at += utf8_sequence_length(static_cast<unsigned char>(text[at]));
        --chars;
    }
    return at < length ? at : length;
}

}  // namespace tolv
