// What String readers learn about a text, kept between calls: whether it is
// all ASCII (byte 1 of the cell, which every write into the bytes keeps true
// or resets to unknown), and, for one multibyte String at a time, where a
// character position lies and how many characters there are. A loop that
// walks a long text by position then does not count it from the start on
// every step.
#pragma once

#include <cstddef>

#include "runtime/value.h"

namespace tolv {

// Marks the cell on first sight, which also forgets any positions kept
// for an earlier String in the same cell.
bool classify_text(ValueHandle s);

// True when the String's bytes are all ASCII.
inline bool text_is_ascii(ValueHandle s) {
    uint8_t mark = cell_as<StringCell>(s)->text_mark;
    if (mark == STRING_TEXT_ASCII) return true;
    if (mark == STRING_TEXT_MULTIBYTE) return false;
    return classify_text(s);
}

// For a String that is not all ASCII: the byte offset where character
// `index` starts, or the byte length when there are fewer characters.
size_t character_offset(ValueHandle s, size_t index);

// For a String that is not all ASCII: its characters.
size_t character_count(ValueHandle s);

}  // namespace tolv
