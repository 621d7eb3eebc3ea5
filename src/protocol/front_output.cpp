#include "protocol/front_output.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "protocol/answer.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"
#include "runtime/text.h"

namespace tolv {

namespace {

uint32_t g_nested_counter = 500000;

// Bytes of the records one sendToFront has written so far, nested ones
// included: a structure shared many times over is refused at the limit.
size_t g_send_volume = 0;

// Containers nested deeper than this (or holding themselves) are refused
// rather than recursing without end.
constexpr int NESTING_LIMIT = 200;

// Builds one record in a 4096-byte buffer; when an addition does not fit, the
// buffer so far and the addition move together into a chunk of a chain, so a
// long record never needs one contiguous buffer of its full size.
class RecordBuilder {
public:
    void append(const char* text, size_t length) {
        g_send_volume += length;
        if (g_send_volume > TEXT_FORM_LIMIT) text_too_long();
        if (used_ + length <= sizeof buffer_) {
            std::memcpy(buffer_ + used_, text, length);
            used_ += length;
            return;
        }
        auto chunk = std::make_unique<char[]>(used_ + length);
        std::memcpy(chunk.get(), buffer_, used_);
        std::memcpy(chunk.get() + used_, text, length);
        chunks_.push_back({std::move(chunk), used_ + length});
        used_ = 0;
    }
    void append(const TextBuffer& text) { append(text.data(), text.size()); }

    // Writes the chunks in order, then the rest of the buffer.
    void write() const {
        for (const Chunk& chunk : chunks_) answer_write(chunk.bytes.get(), chunk.length);
        answer_write(buffer_, used_);
    }

private:
    struct Chunk {
        std::unique_ptr<char[]> bytes;
        size_t length;
    };
    char buffer_[4096];
    size_t used_ = 0;
    std::vector<Chunk> chunks_;
};

void emit(const RecordBuilder& record) {
    if (answer_enabled()) record.write();
}

void put_number_field(TextBuffer& out, char marker, const char* text, int length) {
    out.append_char(char(marker + length));
    out.append(text, size_t(length));
}

void put_integer(TextBuffer& out, int32_t value) {
    char text[16];
    int length = std::snprintf(text, sizeof text, "%d", value);
    put_number_field(out, 'N', text, length);
}

void put_float(TextBuffer& out, double value) {
    char text[32];
    int length = std::snprintf(text, sizeof text, "%g", value);
    put_number_field(out, 'a', text, length);
}

void put_date(TextBuffer& out, ValueHandle value) {
    TextBuffer text;
    date_text(value, text);
    put_counted_text(out, text.data(), text.size());
}

void put_name(TextBuffer& out, uint32_t name) { put_counted_text(out, name_text(name), name_length(name)); }

void write_container(char letter, const char* name, size_t name_length, ValueHandle value, int depth);

// Writes a nested container as its own record and returns its reference name.
void put_nested(TextBuffer& out, ValueHandle value, int depth) {
    char name[16];
    bool is_array = kind_of(value) == KIND_ARRAY;
    std::snprintf(name, sizeof name, "^%c%06u", is_array ? 'A' : 'H', ++g_nested_counter);
    write_container(is_array ? 'A' : 'H', name, 8, value, depth + 1);
    put_raw_counted_text(out, name, 8);
}

void put_element(TextBuffer& out, ValueHandle value, int depth) {
    if (value == VALUE_UNDEFINED) {
        out.append("10");
        return;
    }
    switch (kind_of(value)) {
        case KIND_NAME: put_name(out, payload_of(value)); return;
        case KIND_INTEGER: put_integer(out, integer_value(value)); return;
        case KIND_FLOAT: put_float(out, float_value(value)); return;
        case KIND_DATE: put_date(out, value); return;
        case KIND_STRING: put_counted_text(out, string_text(value), string_length(value)); return;
        case KIND_ARRAY:
        case KIND_HASH: put_nested(out, value, depth); return;
        default: eval_fail(1215, "フロントエンドに送信するデータの型不正(%d)", int(kind_of(value)));
    }
}

void write_container(char letter, const char* name, size_t name_length, ValueHandle value, int depth) {
    if (depth > NESTING_LIMIT) eval_fail(1215, "フロントエンドに送信するデータの型不正(%d)", int(kind_of(value)));
    RecordBuilder record;
    TextBuffer field;
    field.append_char(letter);
    // Nested records go by their "^A500001"-style names, written unescaped.
    auto put_record_name = [&] {
        if (depth > 0) put_raw_counted_text(field, name, name_length);
        else put_counted_text(field, name, name_length);
    };
    if (letter == 'A') {
        uint32_t length = array_length(value);
        put_counted_number(field, length);
        put_record_name();
        record.append(field);
        for (uint32_t i = 0; i < length; ++i) {
            field.clear();
            // The vector is read afresh each time: writing a nested record may not move it,
            // but nothing here holds a pointer across that call.
            put_element(field, array_elements(value)[i], depth);
            record.append(field);
        }
        ++g_answer_counters.arrays;
    } else {
        uint32_t count = hash_count(value);
        put_counted_number(field, count);
        put_record_name();
        record.append(field);
        for (uint32_t i = 0; i < count; ++i) {
            field.clear();
            const Word32* pairs = hash_pairs(value);
            uint32_t key = pairs[2 * i];
            ValueHandle element = pairs[2 * i + 1];
            put_name(field, key);
            put_element(field, element, depth);
            record.append(field);
        }
        ++g_answer_counters.hashes;
    }
    emit(record);
}

}  // namespace

void send_to_front(const char* name, size_t name_length, ValueHandle value) {
    g_send_volume = 0;
    switch (value == VALUE_UNDEFINED ? KIND_NAME : kind_of(value)) {
        case KIND_ARRAY: write_container('A', name, name_length, value, 0); return;
        case KIND_HASH: write_container('H', name, name_length, value, 0); return;
        case KIND_ASSOC_ARRAY: eval_fail(1330, "フロントエンドへ送信するデータの型不正");
        case KIND_NAME:
            if (value > VALUE_NAN) eval_fail(1335, "フロントエンドへ送信するデータの型不正");
            break;
        case KIND_INTEGER:
        case KIND_FLOAT:
        case KIND_DATE:
        case KIND_STRING: break;
        default: eval_fail(1335, "フロントエンドへ送信するデータの型不正");
    }
    TextBuffer field;
    field.append_char('s');
    put_counted_text(field, name, name_length);
    put_element(field, value, 0);
    RecordBuilder record;
    record.append(field);
    ++g_answer_counters.scalars;
    emit(record);
}

void alert_to_front(ValueHandle value) {
    TextBuffer field;
    field.append("s219XYZBCA_ALERT_ABCZYX");
    if (value == VALUE_UNDEFINED) {
        field.append("10");
    } else if (kind_of(value) == KIND_STRING && !is_sentinel(value)) {
        put_counted_text(field, string_text(value), string_length(value));
    } else if (kind_of(value) == KIND_ERROR && !is_sentinel(value)) {
        const uint8_t* record = value_ptr(value);
        TextBuffer text;
        text.appendf("Exception: CODE=%s, MESSAGE='%s'", error_code_text(record), error_message(record));
        put_counted_text(field, text.data(), text.size());
    } else {
        eval_fail(1340, "フロントエンドへ送信するアラートの型不正");
    }
    RecordBuilder record;
    record.append(field);
    ++g_answer_counters.scalars;
    emit(record);
}

void front_output_reset() { g_nested_counter = 500000; }

}  // namespace tolv
