#include "runtime/text_positions.h"

#include <cstdint>
#include <cstring>

#include "runtime/utf8_text.h"

namespace tolv {

namespace {

// Strings change only by growing at the end or by being rewritten, which
// resets their mark: a position before the end stays true while the mark
// does; a count stays true while the length does.
struct KeptPositions {
    ValueHandle string = VALUE_SENTINEL;
    size_t index = 0;   // a character position
    size_t offset = 0;  // where it starts, before the end of the text
    size_t counted_length = SIZE_MAX;
    size_t count = 0;
};
KeptPositions s_kept;

void keep_for(ValueHandle s) {
    if (s_kept.string != s) s_kept = {s, 0, 0, SIZE_MAX, 0};
}

}  // namespace

bool classify_text(ValueHandle s) {
    StringCell* cell = cell_as<StringCell>(s);
    const char* text = string_text(s);
    size_t length = cell->length, i = 0;
    bool ascii = true;
    // Eight bytes at a time until a byte of a multi-byte sequence turns up.
    for (; i + 8 <= length && ascii; i += 8) {
        uint64_t w;
        std::memcpy(&w, text + i, 8);
        ascii = (w & 0x8080808080808080ull) == 0;
    }
    for (; i < length && ascii; ++i) ascii = static_cast<unsigned char>(text[i]) < 0x80;
    cell->zero = ascii ? STRING_TEXT_ASCII : STRING_TEXT_MULTIBYTE;
    if (s_kept.string == s) s_kept.string = VALUE_SENTINEL;
    return ascii;
}

size_t character_offset(ValueHandle s, size_t index) {
    const char* text = string_text(s);
    size_t length = string_length(s);
    keep_for(s);
    size_t from_index = 0, from = 0;
    if (s_kept.index <= index) {
        from_index = s_kept.index;
        from = s_kept.offset;
    }
    size_t at = utf8_skip(text, length, from, index - from_index);
    if (at < length) {
        s_kept.index = index;
        s_kept.offset = at;
    }
    return at;
}

size_t character_count(ValueHandle s) {
    size_t length = string_length(s);
    keep_for(s);
    if (s_kept.counted_length != length) {
        s_kept.count = utf8_char_count(string_text(s), length);
        s_kept.counted_length = length;
    }
    return s_kept.count;
}

}  // namespace tolv
