#include "runtime/text_positions.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/utf8_text.h"

namespace tolv {

namespace {

// Strings change only by growing at the end or by being rewritten, which
// resets their mark: a position before the end stays true while the mark
// does; a count stays true while the length does.
//
// Besides the last position asked for, every MARK_STRIDE-th character's
// offset is kept as the text is walked, so that a position before the last
// one (a loop running backwards, or between both ends) is found from the
// mark below it instead of from the start of the text.
constexpr size_t MARK_STRIDE = 128;

struct KeptPositions {
    ValueHandle string = VALUE_SENTINEL;
    size_t index = 0;   // a character position
    size_t offset = 0;  // where it starts, before the end of the text
    size_t counted_length = SIZE_MAX;
    size_t count = 0;
    // marks[k]: where character k * MARK_STRIDE starts, before the end of the text.
    std::vector<uint32_t> marks;
};
KeptPositions s_kept;

void forget_positions(ValueHandle s) {
    s_kept.string = s;
    s_kept.index = 0;
    s_kept.offset = 0;
    s_kept.counted_length = SIZE_MAX;
    s_kept.count = 0;
    s_kept.marks.clear();  // keeps its capacity for the next String
}

void keep_for(ValueHandle s) {
    if (s_kept.string != s) forget_positions(s);
}

// Extends the marks towards mark `wanted`; stops at the end of the text.
void mark_up_to(const char* text, size_t length, size_t wanted) {
    std::vector<uint32_t>& marks = s_kept.marks;
    if (marks.empty()) marks.push_back(0);
    size_t at = marks.back();
    while (marks.size() <= wanted) {
        at = utf8_skip(text, length, at, MARK_STRIDE);
        if (at >= length) break;
        marks.push_back(uint32_t(at));
    }
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
    cell->text_mark = ascii ? STRING_TEXT_ASCII : STRING_TEXT_MULTIBYTE;
    if (s_kept.string == s) s_kept.string = VALUE_SENTINEL;
    return ascii;
}

size_t character_offset(ValueHandle s, size_t index) {
    const char* text = string_text(s);
    size_t length = string_length(s);
    keep_for(s);
    const size_t wanted = index / MARK_STRIDE;
    if (s_kept.marks.size() <= wanted) mark_up_to(text, length, wanted);
    const size_t mark = std::min(wanted, s_kept.marks.size() - 1);
    size_t from_index = mark * MARK_STRIDE, from = s_kept.marks[mark];
    if (s_kept.index <= index && s_kept.index > from_index) {
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
