#include "protocol/front_output.h"

#include <algorithm>
#include <charconv>
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

    // Adds the record, in order, to the end of `out`.
    template <class Out>
    void copy_to(Out& out) const {
        for (const Chunk& chunk : chunks_) out.append(chunk.bytes.get(), chunk.length);
        out.append(buffer_, used_);
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

// The records of a container being sent, in the order they were finished
// (nested records before the one that names them), packed into blocks of
// PENDING_BLOCK bytes. They go out only once the whole value is through the
// size limit: a value refused with 1400 leaves no part of itself in the
// answer, which then ends in its error record. The first block is kept for
// the next container.
constexpr size_t PENDING_BLOCK = size_t(1) << 20;

class PendingRecords {
public:
    void append(const char* data, size_t length) {
        while (length > 0) {
            if (used_ == PENDING_BLOCK || filled_ == 0) {
                if (filled_ == blocks_.size()) blocks_.emplace_back(new char[PENDING_BLOCK]);
                ++filled_;
                used_ = 0;
            }
            size_t part = std::min(length, PENDING_BLOCK - used_);
            std::memcpy(blocks_[filled_ - 1].get() + used_, data, part);
            used_ += part;
            data += part;
            length -= part;
        }
    }
    void write() const {
        for (size_t i = 0; i < filled_; ++i) answer_write(blocks_[i].get(), i + 1 < filled_ ? PENDING_BLOCK : used_);
    }
    void clear() {
        if (blocks_.size() > 1) blocks_.resize(1);
        filled_ = 0;
        used_ = 0;
    }

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t filled_ = 0;  // blocks in use
    size_t used_ = 0;    // bytes used in the last of them
};
PendingRecords g_pending;

// One container's records: written together, or (when building them fails)
// dropped together with what they added to the completion record's counts.
class PendingScope {
public:
    PendingScope() : counters_(g_answer_counters) { g_pending.clear(); }
    ~PendingScope() {
        if (!written_) g_answer_counters = counters_;
        g_pending.clear();
    }
    void write() {
        if (answer_enabled()) g_pending.write();
        written_ = true;
    }

private:
    AnswerCounters counters_;
    bool written_ = false;
};

void emit(const RecordBuilder& record) {
    if (answer_enabled()) record.copy_to(g_pending);
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

// The shortest text that reads back as the same double ("%g" kept six
// digits and lost the rest: 1234567.89 went as 1.23457e+06).
void put_float(TextBuffer& out, double value) {
    char text[32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    put_number_field(out, 'a', text, int(r.ptr - text));
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
        default: raise(Error::FRONT_DATA_KIND_NUMBERED, int(kind_of(value)));
    }
}

void write_container(char letter, const char* name, size_t name_length, ValueHandle value, int depth) {
    if (depth > NESTING_LIMIT) raise(Error::FRONT_DATA_KIND_NUMBERED, int(kind_of(value)));
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
        case KIND_ARRAY:
        case KIND_HASH: {
            PendingScope pending;
            write_container(kind_of(value) == KIND_ARRAY ? 'A' : 'H', name, name_length, value, 0);
            pending.write();
            return;
        }
        case KIND_ASSOC_ARRAY: raise(Error::FRONT_DATA_KIND_1330);
        case KIND_NAME:
            if (value > VALUE_NAN) raise(Error::FRONT_DATA_KIND_1335);
            break;
        case KIND_INTEGER:
        case KIND_FLOAT:
        case KIND_DATE:
        case KIND_STRING: break;
        default: raise(Error::FRONT_DATA_KIND_1335);
    }
    TextBuffer field;
    field.append_char('s');
    put_counted_text(field, name, name_length);
    put_element(field, value, 0);
    RecordBuilder record;
    record.append(field);
    ++g_answer_counters.scalars;
    if (answer_enabled()) record.write();
}

void alert_to_front(ValueHandle value) {
    TextBuffer field;
    field.append("s219XYZBCA_ALERT_ABCZYX");
    if (value == VALUE_UNDEFINED) {
        field.append("10");
    } else if (is_string(value)) {
        put_counted_text(field, string_text(value), string_length(value));
    } else if (is_kind(value, KIND_ERROR)) {
        const uint8_t* record = value_ptr(value);
        TextBuffer text;
        text.appendf("Exception: CODE=%s, MESSAGE='%s'", error_code_text(record), error_message(record));
        put_counted_text(field, text.data(), text.size());
    } else {
        raise(Error::FRONT_ALERT_KIND);
    }
    RecordBuilder record;
    record.append(field);
    ++g_answer_counters.scalars;
    if (answer_enabled()) record.write();
}

void front_output_reset() { g_nested_counter = 500000; }

}  // namespace tolv
