#include "db/bson_values.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "db/operands.h"
#include "platform/local_time.h"
#include "runtime/date_cell.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"

namespace tolv {

namespace {

// A child document or array built on the stack, destroyed however the scope ends.
class ChildDocument {
public:
    ChildDocument() { g_bson.bson_init(&doc_); }
    ~ChildDocument() { g_bson.bson_destroy(&doc_); }
    ChildDocument(const ChildDocument&) = delete;
    ChildDocument& operator=(const ChildDocument&) = delete;
    bson_t* get() { return &doc_; }

private:
    bson_t doc_;
};

// MongoDB stores documents nested at most 100 levels deep (the document
// itself is level 1). Deeper values are refused before anything is sent:
// each level copies its child into its parent, so building them costs time
// that grows with the square of the depth, and a self-holding array would
// never end.
constexpr int DOCUMENT_DEPTH_LIMIT = 100;

// Levels of arrays and hashes open in append_value, below the document.
int g_open_levels = 0;

class OpenLevel {
public:
    OpenLevel() {
        if (g_open_levels + 2 > DOCUMENT_DEPTH_LIMIT) raise(Error::BAD_DATA_KIND_6055);
        ++g_open_levels;
    }
    ~OpenLevel() { --g_open_levels; }
    OpenLevel(const OpenLevel&) = delete;
    OpenLevel& operator=(const OpenLevel&) = delete;
};

int key_length(size_t length) { return length > 0x7FFFFFFF ? 0x7FFFFFFF : int(length); }

void append_date(ValueHandle value, bson_t* document, const char* key, size_t length) {
    // The date's seconds may run past 32 bits (dates after 2106).
    g_bson.bson_append_date_time(document, key, key_length(length), date_epoch_millis(cell_as<DateCell>(value)));
}

uint32_t count_elements(const bson_iter_t* parent) {
    bson_iter_t child;
    uint32_t count = 0;
    if (!g_bson.bson_iter_recurse(parent, &child)) return 0;
    while (g_bson.bson_iter_next(&child)) ++count;
    return count;
}

uint32_t key_name(const bson_iter_t* iterator) {
    uint32_t length = g_bson.bson_iter_key_len(iterator);
    if (length == 0 || length > 255) raise(Error::BAD_BSON_TYPE);
    return intern_name(g_bson.bson_iter_key(iterator), length);
}

// A Hash of the elements the iterator walks over (it is positioned before the first).
ValueHandle hash_of_elements(bson_iter_t* child, uint32_t count) {
    if (count > 0xFFFF) raise(Error::BAD_BSON_TYPE);
    BuiltValue hash(new_hash(count));
    for (uint32_t i = 0; i < count && g_bson.bson_iter_next(child); ++i) {
        uint32_t name = key_name(child);
        ValueHandle v = retain(value_from_bson(child));
        Word32* pairs = hash_pairs(hash.get());
        pairs[2 * i] = name;
        pairs[2 * i + 1] = v;
    }
    return hash.give();
}

ValueHandle date_from_millis(int64_t millis) {
    if (millis < 0) raise(Error::DATE_BEFORE_1970_5500);
    int64_t seconds = millis / 1000;
    std::tm fields{};
    if (!local_time(seconds, fields)) raise(Error::DATE_BEFORE_1970_5500);
    // The year is kept in 16 bits.
    if (fields.tm_year + 1900 > 0xFFFF) raise(Error::BAD_BSON_TYPE);
    ValueHandle h = new_cell(KIND_DATE, 0);
    DateCell* d = cell_as<DateCell>(h);
    d->month_zone = uint8_t(fields.tm_mon & 0x0F);
    d->hour = uint8_t(fields.tm_hour);
    d->day = uint8_t((fields.tm_mday & 0x1F) | (fields.tm_wday << 5));
    d->minute = uint8_t(fields.tm_min);
    d->second = uint8_t(fields.tm_sec);
    d->year = uint16_t(fields.tm_year + 1900);
    set_date_seconds(d, seconds);
    set_date_millis(d, int(millis % 1000));
    return h;
}

// Where a value sits in the document being built, for the message of a
// value that cannot be sent: each level knows its key and its parent.
struct MemberPath {
    const MemberPath* parent;
    const char* key;
    size_t length;
};

constexpr size_t PATH_TEXT_LIMIT = 200;

[[noreturn]] void fail_member(const MemberPath& at) {
    std::vector<const MemberPath*> levels;
    for (const MemberPath* p = &at; p; p = p->parent) levels.push_back(p);
    std::string path;
    for (size_t i = levels.size(); i-- > 0;) {
        if (!path.empty()) path += '.';
        path.append(levels[i]->key, levels[i]->length);
    }
    if (path.size() > PATH_TEXT_LIMIT) path.resize(PATH_TEXT_LIMIT);
    raise(Error::BAD_DATA_KIND_NAMED, path.c_str());
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_name(uint32_t name, const char* text, size_t length) {
    return name_length(name) == length && std::memcmp(name_text(name), text, length) == 0;
}

// MongoDB's Extended JSON form of an ObjectId: a Hash whose one member is
// `$oid`. Its value must be 24 hexadecimal digits.
bool is_object_id_form(ValueHandle hash) {
    return hash_count(hash) == 1 && is_name(hash_pairs(hash)[0], "$oid", 4);
}

void append_object_id(ValueHandle hash, bson_t* document, const char* key, size_t length, const MemberPath& at) {
    const ValueHandle text = hash_pairs(hash)[1];
    if (!is_string(text) || string_length(text) != 24) fail_member(at);
    bson_oid_t oid;
    const char* hex = string_text(text);
    for (int i = 0; i < 12; ++i) {
        const int high = hex_digit(hex[2 * i]), low = hex_digit(hex[2 * i + 1]);
        if (high < 0 || low < 0) fail_member(at);
        oid.bytes[i] = uint8_t(high * 16 + low);
    }
    g_bson.bson_append_oid(document, key, key_length(length), &oid);
}

void append_member(ValueHandle value, bson_t* document, const char* key, size_t length, const MemberPath* parent);

void append_pairs(bson_t* document, ValueHandle hash, const MemberPath* parent) {
    uint32_t n = hash_count(hash);
    for (uint32_t i = 0; i < n; ++i) {
        const Word32* pairs = hash_pairs(hash);
        uint32_t name = pairs[2 * i];
        append_member(pairs[2 * i + 1], document, name_text(name), name_length(name), parent);
    }
}

void append_member(ValueHandle value, bson_t* document, const char* key, size_t length, const MemberPath* parent) {
    const MemberPath at{parent, key, length};
    if (value == VALUE_TRUE || value == VALUE_FALSE) {
        g_bson.bson_append_bool(document, key, key_length(length), value == VALUE_TRUE);
        return;
    }
    switch (kind_or_reserved(value)) {
    case KIND_INTEGER:
        g_bson.bson_append_int32(document, key, key_length(length), integer_value(value));
        return;
    case KIND_DATE:
        append_date(value, document, key, length);
        return;
    case KIND_FLOAT:
        if (cell_as<FloatCell>(value)->subtype == 0) {
            g_bson.bson_append_double(document, key, key_length(length), float_value(value));
            return;
        }
        break;  // a database or collection reference has no BSON form
    case KIND_STRING:
        g_bson.bson_append_utf8(document, key, key_length(length), string_text(value), int(string_length(value)));
        return;
    case KIND_ARRAY: {
        OpenLevel level;
        ChildDocument child;
        uint32_t n = array_length(value);
        for (uint32_t i = 0; i < n; ++i) {
            char index[16];
            int index_length = std::snprintf(index, sizeof index, "%u", i);
            append_member(array_elements(value)[i], child.get(), index, size_t(index_length), &at);
        }
        g_bson.bson_append_array(document, key, key_length(length), child.get());
        return;
    }
    case KIND_HASH: {
        if (is_object_id_form(value)) {
            append_object_id(value, document, key, length, at);
            return;
        }
        OpenLevel level;
        ChildDocument child;
        append_pairs(child.get(), value, &at);
        g_bson.bson_append_document(document, key, key_length(length), child.get());
        return;
    }
    default:
        break;
    }
    fail_member(at);
}

}  // namespace

void append_value(ValueHandle value, bson_t* document, const char* key, size_t length) {
    append_member(value, document, key, length, nullptr);
}

void append_hash(bson_t* document, ValueHandle hash) { append_pairs(document, hash, nullptr); }

ValueHandle value_from_bson(const bson_iter_t* iterator) {
    switch (g_bson.bson_iter_type(iterator)) {
    case BSON_TYPE_DOUBLE:
        return new_float(g_bson.bson_iter_double(iterator));
    case BSON_TYPE_UTF8: {
        uint32_t length = 0;
        const char* text = g_bson.bson_iter_utf8(iterator, &length);
        return new_string(text, length);
    }
    case BSON_TYPE_DOCUMENT: {
        uint32_t count = count_elements(iterator);
        bson_iter_t child;
        g_bson.bson_iter_recurse(iterator, &child);
        return hash_of_elements(&child, count);
    }
    case BSON_TYPE_ARRAY: {
        uint32_t count = count_elements(iterator);
        bson_iter_t child;
        g_bson.bson_iter_recurse(iterator, &child);
        BuiltValue array(new_array(count));
        for (uint32_t i = 0; i < count && g_bson.bson_iter_next(&child); ++i) {
            ValueHandle v = retain(value_from_bson(&child));
            array_elements(array.get())[i] = v;
        }
        return array.give();
    }
    case BSON_TYPE_UNDEFINED:
    case BSON_TYPE_NULL:
        return VALUE_UNDEFINED;
    case BSON_TYPE_OID: {
        char text[25];
        g_bson.bson_oid_to_string(g_bson.bson_iter_oid(iterator), text);
        return new_string(text, 24);
    }
    case BSON_TYPE_BOOL:
        return g_bson.bson_iter_bool(iterator) ? VALUE_TRUE : VALUE_FALSE;
    case BSON_TYPE_DATE_TIME:
        return date_from_millis(g_bson.bson_iter_date_time(iterator));
    case BSON_TYPE_INT32:
        return new_integer(g_bson.bson_iter_int32(iterator));
    case BSON_TYPE_INT64:
        raise(Error::INT64_UNSUPPORTED_6060);
    default:
        raise(Error::BAD_BSON_TYPE);
    }
}

ValueHandle hash_from_document(const bson_t* document) {
    bson_iter_t it;
    uint32_t count = 0;
    if (g_bson.bson_iter_init(&it, document))
        while (g_bson.bson_iter_next(&it)) ++count;
    g_bson.bson_iter_init(&it, document);
    return hash_of_elements(&it, count);
}

}  // namespace tolv
