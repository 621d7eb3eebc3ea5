// RegExp values and the text they are matched against, shared by the RegExp
// methods and the String methods that take a pattern.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "regexp/regexp.h"
#include "regexp/utf16_text.h"
#include "runtime/value.h"

namespace tolv {

// A String's text as the matcher reads it: the bytes themselves when they are
// all ASCII, else UTF-16 units with the byte offset of each unit, so that
// matched parts are cut from the original bytes.
class SubjectText {
public:
    // The text of a String; a character above U+FFFF is two units.
    void load(ValueHandle string);
    size_t length() const { return wide_ ? wide_->size() : byte_length_; }
    size_t byte_at(size_t unit) const { return wide_ ? wide_->byte_offset(unit) : unit; }
    // Unit positions and the character positions that scripts see (they
    // differ only after a character above U+FFFF).
    int32_t character_at(int32_t unit) const { return wide_ ? int32_t(wide_->character_of(size_t(unit))) : unit; }
    size_t unit_at(size_t character) const { return wide_ ? wide_->unit_of(character) : character; }
    const char* bytes() const { return bytes_; }
    // A new String of the units [from, to).
    ValueHandle slice(size_t from, size_t to) const;
    bool search(const regexp::Program& program, size_t start, bool sticky, int32_t* captures) const;

private:
    const char* bytes_ = nullptr;
    size_t byte_length_ = 0;
    std::shared_ptr<Utf16Text> wide_;  // only for a text with non-ASCII bytes
};

// Compiles a pattern given as UTF-8 text into a new RegExp value.
ValueHandle compile_regexp(const char* text, size_t length, uint8_t flags, RaiseFunction raise);

const regexp::Program& regexp_program(ValueHandle regexp);
inline uint8_t regexp_flags(ValueHandle regexp) { return value_ptr(regexp)[1]; }

// A RegExp for the String methods that take any value: a RegExp as it is,
// a String as a pattern without flags, anything else by its text form.
ValueHandle regexp_from_value(ValueHandle value);

// Capture slots for a program's groups (and the whole match).
inline std::vector<int32_t> capture_slots(const regexp::Program& p) {
    return std::vector<int32_t>(capture_slot_count(p), -1);
}

}  // namespace tolv
