// Text forms of values: the plain form (text_of), the display form
// (display_of) and array joining.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/value.h"

namespace tolv {

// No text form or answer record grows beyond this: a structure shared many
// times over would otherwise print without end. Large enough for real data.
constexpr size_t TEXT_FORM_LIMIT = size_t(64) << 20;
// Raises the error for a text that would pass TEXT_FORM_LIMIT.
[[noreturn]] void text_too_long();

// A growable character buffer that starts in its own inline storage. When the
// room left is less than the text plus 24 bytes it grows by the text length,
// 3096 bytes and half its capacity, so building a long text stays linear.
// Always NUL-terminated; never beyond TEXT_FORM_LIMIT.
class TextBuffer {
public:
    TextBuffer() { inline_[0] = '\0'; }
    ~TextBuffer();
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    void append(const char* text, size_t length) {
        if (capacity_ - size_ < length + 24) grow(length);
        std::memcpy(data_ + size_, text, length);
        size_ += length;
        data_[size_] = '\0';
    }
    void append(const char* text) { append(text, std::strlen(text)); }
    void append_char(char c) { append(&c, 1); }
    void appendf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const char* data() const { return data_; }
    size_t size() const { return size_; }
    void clear() { size_ = 0; data_[0] = '\0'; }
    void truncate(size_t size) { size_ = size; data_[size_] = '\0'; }

private:
    void grow(size_t length);

    static constexpr size_t INLINE_CAPACITY = 256;
    char inline_[INLINE_CAPACITY];
    char* data_ = inline_;
    size_t size_ = 0;
    size_t capacity_ = INLINE_CAPACITY;
};

// Plain text form. Raises 2522 for kinds without a text (functions, the unused and reserved kinds).
void text_of(ValueHandle v, TextBuffer& out);
// Display form; with `quote` set strings are enclosed in double quotes.
// Raises 2520 for kinds without a text.
void display_of(ValueHandle v, bool quote, TextBuffer& out);
// "%04d-%02d-%02d %02d:%02d:%02d[.%03d]" of a KIND_DATE.
void date_text(ValueHandle v, TextBuffer& out);
// Float text: "%.10f" with trailing zeros cut down to one decimal.
void float_text(double value, TextBuffer& out);

using ElementAccessor = ValueHandle (*)(void* context, uint32_t index);
// A new unowned string joining the display forms (no quotes) of `count`
// elements. `separator` is VALUE_SENTINEL for ",", else it must be a
// KIND_STRING or 2525 is raised.
ValueHandle join_values(uint32_t count, ElementAccessor element_at, void* context, ValueHandle separator);

}  // namespace tolv
