#include "runtime/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "runtime/errors.h"
#include "runtime/name_table.h"
#include "runtime/regexp_record.h"

namespace tolv {

// ---- TextBuffer ----------------------------------------------------------------

TextBuffer::~TextBuffer() {
    if (data_ != inline_) std::free(data_);
}

void text_too_long() { raise(Error::NO_MEMORY); }

void TextBuffer::grow(size_t length) {
    if (length > TEXT_FORM_LIMIT || size_ + length > TEXT_FORM_LIMIT) text_too_long();
    // Half again on top of the fixed step: a long text is copied a bounded
    // number of times, not once per few kilobytes.
    size_t capacity = capacity_ + length + 3096 + capacity_ / 2;
    if (capacity > TEXT_FORM_LIMIT + 32) capacity = TEXT_FORM_LIMIT + 32;
    char* p = static_cast<char*>(std::malloc(capacity));
    if (!p) raise(Error::NO_MEMORY);
    std::memcpy(p, data_, size_ + 1);
    if (data_ != inline_) std::free(data_);
    data_ = p;
    capacity_ = capacity;
}

void TextBuffer::appendf(const char* format, ...) {
    char scratch[3072];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(scratch, sizeof scratch, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (size_t(n) < sizeof scratch) {
        va_end(again);
        append(scratch, size_t(n));
        return;
    }
    // Too long for the scratch area: format straight into the buffer.
    if (capacity_ - size_ < size_t(n) + 24) grow(size_t(n));
    std::vsnprintf(data_ + size_, size_t(n) + 1, format, again);
    va_end(again);
    size_ += size_t(n);
}

namespace {

constexpr const char* CONSTANT_TEXT[5] = {"undefined", "true", "false", "null", "NaN"};

// Containers nested deeper than this, or holding themselves, print as "..."
// instead of running the stack out.
constexpr int NESTING_LIMIT = 1000;

struct TextWalk {
    ValueHandle path[NESTING_LIMIT];
    int depth = 0;

    bool enter(ValueHandle h) {
        if (depth >= NESTING_LIMIT) return false;
        for (int i = 0; i < depth; ++i)
            if (path[i] == h) return false;
        path[depth++] = h;
        return true;
    }
    void leave() { --depth; }
};

enum class Form { PLAIN, DISPLAY };

void value_text(ValueHandle v, Form form, bool quote, TextBuffer& out, TextWalk& walk);

void name_text_of(ValueHandle v, TextBuffer& out) {
    uint32_t index = payload_of(v);
    if (index < 5) {
        out.append(CONSTANT_TEXT[index]);
    } else if (index < name_count()) {
        out.append(name_text(index), name_length(index));
    }
}

// Plain form: elements are shown in display form with quotes; the display
// form passes the caller's quote setting down.
void array_text(ValueHandle v, Form form, bool quote, TextBuffer& out, TextWalk& walk) {
    bool element_quote = form == Form::PLAIN ? true : quote;
    out.append_char('[');
    uint32_t n = array_length(v);
    for (uint32_t i = 0; i < n; ++i) {
        if (i) out.append_char(',');
        value_text(array_elements(v)[i], Form::DISPLAY, element_quote, out, walk);
    }
    out.append_char(']');
}

void assoc_text(ValueHandle v, Form form, bool quote, TextBuffer& out, TextWalk& walk) {
    bool element_quote = form == Form::PLAIN ? true : quote;
    out.append_char('[');
    uint32_t n = assoc_count(v);
    for (uint32_t i = 0; i < n; ++i) {
        if (i) out.append_char(',');
        uint32_t key = assoc_pairs(v)[2 * i];
        if (kind_of(key) != KIND_NAME) {
            out.appendf("%u", key & 0xFFFFFF);
        } else {
            name_text_of(key & 0xFFFFFF, out);
        }
        out.append_char(':');
        value_text(assoc_pairs(v)[2 * i + 1], Form::DISPLAY, element_quote, out, walk);
    }
    out.append_char(']');
}

void hash_text(ValueHandle v, Form form, TextBuffer& out, TextWalk& walk) {
    out.append_char('{');
    uint32_t n = hash_count(v);
    for (uint32_t i = 0; i < n; ++i) {
        if (i) out.append_char(',');
        if (form == Form::DISPLAY) out.append_char('\'');
        name_text_of(hash_pairs(v)[2 * i] & 0xFFFFFF, out);
        if (form == Form::DISPLAY) out.append_char('\'');
        out.append_char(':');
        value_text(hash_pairs(v)[2 * i + 1], Form::DISPLAY, true, out, walk);
    }
    out.append_char('}');
}

void regexp_text(const uint8_t* record, TextBuffer& out) {
    out.append_char('/');
    out.append(regexp_source(record));
    out.append_char('/');
    uint8_t flags = record[1];
    if (flags & REGEXP_FLAG_I) out.append_char('i');
    if (flags & REGEXP_FLAG_M) out.append_char('m');
    if (flags & REGEXP_FLAG_G) out.append_char('g');
    if (flags & REGEXP_FLAG_Y) out.append_char('y');
    if (flags & REGEXP_FLAG_S) out.append_char('s');
}

void value_text(ValueHandle v, Form form, bool quote, TextBuffer& out, TextWalk& walk) {
    if (is_sentinel(v)) {
        if (form == Form::PLAIN) raise(Error::BAD_DATA_KIND_2522);
        raise(Error::BAD_DATA_KIND_2520);
    }
    switch (kind_of(v)) {
        case KIND_NAME:
            name_text_of(v, out);
            return;
        case KIND_SQL_OBJECT:
            out.append("SQL_Object");
            return;
        case KIND_INTEGER:
            out.appendf("%d", integer_value(v));
            return;
        case KIND_DB_CONNECTION:
            out.append("DB_Connection");
            return;
        case KIND_DATE:
            date_text(v, out);
            return;
        case KIND_ERROR: {
            const uint8_t* rec = value_ptr(v);
            out.appendf("%s:%.*s", error_code_text(rec), int(error_message_length(rec)), error_message(rec));
            return;
        }
        case KIND_REGEXP:
            regexp_text(value_ptr(v), out);
            return;
        case KIND_FLOAT:
            float_text(float_value(v), out);
            return;
        case KIND_STRING:
            if (form == Form::DISPLAY && quote) {
                out.append_char('"');
                out.append(string_text(v), string_length(v));
                out.append_char('"');
            } else {
                out.append(string_text(v), string_length(v));
            }
            return;
        case KIND_ARRAY:
        case KIND_ASSOC_ARRAY:
        case KIND_HASH:
            if (!walk.enter(v)) {
                out.append("...");
                return;
            }
            if (kind_of(v) == KIND_ARRAY) {
                array_text(v, form, quote, out, walk);
            } else if (kind_of(v) == KIND_ASSOC_ARRAY) {
                assoc_text(v, form, quote, out, walk);
            } else {
                hash_text(v, form, out, walk);
            }
            walk.leave();
            return;
        case KIND_OPERATION:
            if (form == Form::PLAIN) {
                out.appendf("operation_index: %d", int(cell_as<OperationCell>(v)->opcode));
            } else {
                out.append("Operation");
            }
            return;
        default:
            break;
    }
    if (form == Form::PLAIN) raise(Error::BAD_DATA_KIND_2522);
    raise(Error::BAD_DATA_KIND_2520);
}

}  // namespace

void text_of(ValueHandle v, TextBuffer& out) {
    TextWalk walk;
    value_text(v, Form::PLAIN, true, out, walk);
}

void display_of(ValueHandle v, bool quote, TextBuffer& out) {
    TextWalk walk;
    value_text(v, Form::DISPLAY, quote, out, walk);
}

void date_text(ValueHandle v, TextBuffer& out) {
    const DateCell* d = cell_as<DateCell>(v);
    int month = (d->month_zone & 0x0F) + 1;
    int day = d->day & 0x1F;
    int millis = int(d->millis & 0x3FF);
    if (millis != 0) {
        out.appendf("%04d-%02d-%02d %02d:%02d:%02d.%03d", int(d->year), month, day, int(d->hour), int(d->minute),
                    int(d->second), millis);
    } else {
        out.appendf("%04d-%02d-%02d %02d:%02d:%02d", int(d->year), month, day, int(d->hour), int(d->minute),
                    int(d->second));
    }
}

void float_text(double value, TextBuffer& out) {
    char text[400];
    int n = std::snprintf(text, sizeof text, "%.10f", value);
    if (n < 0) return;
    size_t len = size_t(n) < sizeof text ? size_t(n) : sizeof text - 1;
    while (len >= 2 && text[len - 1] == '0' && text[len - 2] != '.') --len;
    out.append(text, len);
}

ValueHandle join_values(uint32_t count, ElementAccessor element_at, void* context, ValueHandle separator) {
    const char* sep = ",";
    size_t sep_length = 1;
    if (separator != VALUE_SENTINEL) {
        if (kind_of(separator) != KIND_STRING || is_sentinel(separator)) raise(Error::BAD_ARGUMENT);
        sep = string_text(separator);
        sep_length = string_length(separator);
    }
    TextBuffer out;
    for (uint32_t i = 0; i < count; ++i) {
        if (i) out.append(sep, sep_length);
        ValueHandle element = element_at(context, i);
        // A String joins as its text: no walk to set up for it.
        if ((element >> 24) == KIND_STRING) {
            out.append(string_text(element), string_length(element));
        } else {
            display_of(element, false, out);
        }
    }
    return new_string(out.data(), out.size());
}

}  // namespace tolv
