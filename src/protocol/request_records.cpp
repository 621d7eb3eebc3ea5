#include "protocol/request_records.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "protocol/counted_fields.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/module_table.h"
#include "runtime/name_table.h"
#include "runtime/value.h"

namespace tolv {

namespace {

constexpr size_t TOP_PROGRAM_LIMIT = 255;
constexpr size_t NAME_LENGTH_LIMIT = 255;
constexpr size_t NESTED_OBJECT_LIMIT = 1024;
constexpr uint64_t HASH_PAIR_LIMIT = 0xFFFF;  // the hash cell counts pairs in 16 bits
constexpr int64_t INTEGER_KEY_LIMIT = int64_t(1) << 24;

struct DecodeState {
    FieldCursor cursor;
    RequestFields& out;
    const RequestHooks& hooks;
    bool variables_started;
};

// Names are 1-255 bytes; a NUL would cut the name short wherever its text is used.
uint32_t name_of(TextField field, ErrorForm<> fault) {
    if (field.length == 0 || field.length > NAME_LENGTH_LIMIT || std::memchr(field.text, 0, field.length)) {
        raise(fault);
    }
    return intern_name(field.text, field.length);
}

// Request data is only ever a value: a key such as "$ne" or "$where" would
// turn a value sent for a query into a query operator.
void refuse_operator_key(const char* text, size_t length) {
    if (length > 0 && text[0] == '$') {
        raise(Error::BAD_KEY_NAME, int(length < 64 ? length : 64), text);
    }
}

// The language's own objects and constants are not the request's to replace.
bool is_reserved_name(uint32_t name) {
    switch (name) {
        case NAME_UNDEFINED: case NAME_TRUE: case NAME_FALSE: case NAME_NULL: case NAME_NAN: case NAME_THIS:
        case NAME_MATH: case NAME_CONSOLE: case NAME_OBJECT: case NAME_FUNCTION: case NAME_CONNECTION:
        case NAME_NUMBER: case NAME_INTEGER: case NAME_FLOAT: case NAME_DATE: case NAME_ERROR: case NAME_REGEXP:
        case NAME_STRING: case NAME_ARRAY: case NAME_HASH: case NAME_EXCEPTION: case NAME_TYPEOF:
        case NAME_INSTANCEOF: case NAME_NEW:
            return true;
        default:
            return false;
    }
}

uint32_t variable_name_of(TextField field) {
    uint32_t name = name_of(field, NAME_FAULTS.digits);
    if (is_reserved_name(name)) raise(Error::BAD_RECORD_VARIABLE_NAME, int(field.length), field.text);
    return name;
}

uint32_t read_variable_name(FieldCursor& cursor) { return variable_name_of(read_counted_text(cursor, NAME_FAULTS)); }

// Numbers beyond 32 bits keep their value as a Float instead of wrapping.
ValueHandle number_value(int64_t value) {
    if (value >= INT32_MIN && value <= INT32_MAX) return new_integer(int32_t(value));
    return new_float(double(value));
}

// ---- Nested objects of one A record ------------------------------------------

uint32_t reference_key(const char* name) {
    uint32_t number = 0;
    for (int i = 2; i < 8; ++i) number = number * 10 + uint32_t(name[i] - '0');
    return (name[1] == 'H' ? 1u << 20 : 0u) | number;
}

// Nested objects wait here, unowned, until an element refers to them; the
// object being built is held too, so an error frees both.
struct NestedObjects {
    struct Entry {
        uint32_t key;
        ValueHandle value;
    };
    std::vector<Entry> entries;
    size_t created = 0;
    ValueHandle pending = VALUE_UNDEFINED;

    NestedObjects() = default;
    NestedObjects(const NestedObjects&) = delete;
    NestedObjects& operator=(const NestedObjects&) = delete;
    ~NestedObjects() {
        for (const Entry& entry : entries) dispose(entry.value);
        dispose(pending);
    }

    void keep(uint32_t key, ValueHandle value) {
        for (Entry& entry : entries) {
            if (entry.key == key) {
                dispose(entry.value);
                entry.value = value;
                return;
            }
        }
        entries.push_back(Entry{key, value});
    }

    ValueHandle take(uint32_t key) {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].key == key) {
                ValueHandle value = entries[i].value;
                entries[i] = entries.back();
                entries.pop_back();
                return value;
            }
        }
        raise(Error::BAD_TEMPORARY_NAME);
    }
};

ValueHandle element_value(const Element& element, NestedObjects& nested) {
    switch (element.kind) {
        case ELEMENT_STRING: return new_string(element.text.text, element.text.length);
        case ELEMENT_INTEGER: return number_value(element.integer);
        case ELEMENT_FLOAT: return new_float(element.real);
        case ELEMENT_REFERENCE: return nested.take(reference_key(element.text.text));
    }
    return VALUE_UNDEFINED;
}

// Integers 0 to 2^24-1 (also as whole floats) become integer keys; every
// other key becomes the name of its text.
uint32_t assoc_key(const Element& element) {
    switch (element.kind) {
        case ELEMENT_INTEGER:
            if (element.integer < INTEGER_KEY_LIMIT) return make_handle(KIND_INTEGER, uint32_t(element.integer));
            {
                char text[24];
                int length = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(element.integer));
                return intern_name(text, size_t(length));
            }
        case ELEMENT_FLOAT:
            if (element.real >= 0 && element.real < double(INTEGER_KEY_LIMIT) &&
                element.real == std::floor(element.real)) {
                return make_handle(KIND_INTEGER, uint32_t(element.real));
            }
            return name_of(element.text, ELEMENT_FAULTS.digits);
        case ELEMENT_STRING:
        case ELEMENT_REFERENCE: break;
    }
    return name_of(element.text, ELEMENT_FAULTS.digits);
}

enum ObjectShape : uint8_t { SHAPE_ARRAY, SHAPE_HASH, SHAPE_ASSOC };

void fill_array(FieldCursor& cursor, NestedObjects& nested, uint64_t count) {
    nested.pending = new_array(uint32_t(count));
    for (uint64_t i = 0; i < count; ++i) {
        ValueHandle value = element_value(read_typed_element(cursor), nested);
        array_elements(nested.pending)[i] = retain(value);
    }
}

// Pair positions by key, so that a key sent again replaces its value
// without a search through every pair: decoding stays linear in the body.
class PairIndex {
public:
    // The position of `key` when it is already there; else notes it at `next`.
    std::optional<uint32_t> find_or_add(uint32_t key, uint32_t next) {
        auto [at, added] = positions_.try_emplace(key, next);
        if (added) return std::nullopt;
        return at->second;
    }

private:
    std::unordered_map<uint32_t, uint32_t> positions_;
};

void replace_pair_value(Word32* pairs, uint32_t position, ValueHandle value) {
    ValueHandle old = pairs[2 * position + 1];
    pairs[2 * position + 1] = retain(value);
    release(old);
}

void fill_hash(FieldCursor& cursor, NestedObjects& nested, uint64_t count) {
    nested.pending = new_hash(0);
    PairIndex index;
    for (uint64_t i = 0; i < count; ++i) {
        TextField key_text = read_counted_text(cursor, NAME_FAULTS);
        refuse_operator_key(key_text.text, key_text.length);
        uint32_t key = name_of(key_text, NAME_FAULTS.digits);
        ValueHandle value = element_value(read_typed_element(cursor), nested);
        if (auto at = index.find_or_add(key, hash_count(nested.pending))) {
            replace_pair_value(hash_pairs(nested.pending), *at, value);
        } else {
            hash_append(nested.pending, key, value);
        }
    }
}

void fill_assoc(FieldCursor& cursor, NestedObjects& nested, uint64_t count) {
    nested.pending = new_assoc_array(0);
    PairIndex index;
    for (uint64_t i = 0; i < count; ++i) {
        Element key_element = read_typed_element(cursor);
        if (key_element.kind == ELEMENT_STRING) refuse_operator_key(key_element.text.text, key_element.text.length);
        uint32_t key = assoc_key(key_element);
        ValueHandle value = element_value(read_typed_element(cursor), nested);
        if (auto at = index.find_or_add(key, assoc_count(nested.pending))) {
            replace_pair_value(assoc_pairs(nested.pending), *at, value);
        } else {
            assoc_append(nested.pending, key, value);
        }
    }
}

void decode_object(FieldCursor& cursor, NestedObjects& nested) {
    char type = cursor.pos < cursor.end ? *cursor.pos : '\0';
    ObjectShape shape;
    switch (type) {
        case 'A': case 'a': shape = SHAPE_ARRAY; break;
        case 'H': case 'h': shape = SHAPE_HASH; break;
        case 'I': case 'i': shape = SHAPE_ASSOC; break;
        default: raise(Error::BAD_RECORD_DATA_KIND);
    }
    bool global = type < 'a';
    ++cursor.pos;
    uint64_t count = read_counted_number(cursor, NUMBER_FAULTS);
    TextField name = read_counted_text(cursor, NAME_FAULTS);

    uint32_t global_name = 0;
    uint32_t nested_key = 0;
    if (global) {
        global_name = variable_name_of(name);
    } else {
        if (!is_reference_name(name.text, name.length)) raise(Error::BAD_RECORD_OBJECT_NAME);
        if (nested.created == NESTED_OBJECT_LIMIT) raise(Error::RECORD_OBJECT_OVERFLOW);
        ++nested.created;
        nested_key = reference_key(name.text);
    }

    // Every element takes at least one byte and every pair two, so a count
    // beyond that is malformed and must not size an allocation.
    uint64_t least_bytes = shape == SHAPE_ARRAY ? count : 2 * count;
    if (least_bytes > cursor.left() || (shape == SHAPE_HASH && count > HASH_PAIR_LIMIT)) {
        raise(NUMBER_FAULTS.digits);
    }

    switch (shape) {
        case SHAPE_ARRAY: fill_array(cursor, nested, count); break;
        case SHAPE_HASH: fill_hash(cursor, nested, count); break;
        case SHAPE_ASSOC: fill_assoc(cursor, nested, count); break;
    }

    ValueHandle object = nested.pending;
    nested.pending = VALUE_UNDEFINED;
    if (global) {
        define_global(global_name, object);
    } else {
        nested.keep(nested_key, object);
    }
}

// ---- Variable records ------------------------------------------------------------

void decode_integer_variable(FieldCursor& cursor) {
    uint32_t name = read_variable_name(cursor);
    if (cursor.pos == cursor.end || *cursor.pos < '0' || *cursor.pos > ':') raise(INTEGER_VALUE_FAULTS.marker);
    size_t digits = size_t(*cursor.pos++ - '0');
    if (digits > cursor.left()) raise(INTEGER_VALUE_FAULTS.digits);
    const char* text = cursor.pos;
    cursor.pos += digits;

    size_t i = 0;
    bool negative = false;
    if (digits > 0 && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
        if (digits == 1) raise(INTEGER_VALUE_FAULTS.digits);
    }
    int64_t value = 0;
    for (; i < digits; ++i) {
        if (text[i] < '0' || text[i] > '9') raise(INTEGER_VALUE_FAULTS.digits);
        value = value * 10 + (text[i] - '0');
    }
    define_global(name, number_value(negative ? -value : value));
}

void decode_float_variable(FieldCursor& cursor) {
    uint32_t name = read_variable_name(cursor);
    TextField text = read_counted_text(cursor, VALUE_TEXT_FAULTS);
    double value;
    if (!parse_float_text(text.text, text.length, value)) raise(Error::BAD_NUMBER_TEXT);
    define_global(name, new_float(value));
}

void decode_string_variable(FieldCursor& cursor) {
    uint32_t name = read_variable_name(cursor);
    TextField text = read_counted_text(cursor, VALUE_TEXT_FAULTS);
    define_global(name, new_string(text.text, text.length));
}

using VariableDecoder = void (*)(FieldCursor&);

// Count, then the length of the rest of the record; decoding goes on after
// that many bytes whatever the variables took.
template <class DecodeBody>
void decode_counted_record(DecodeState& state, DecodeBody decode_body) {
    FieldCursor& cursor = state.cursor;
    uint64_t count = read_counted_number(cursor, NUMBER_FAULTS);
    uint64_t record_length = read_length_field(cursor);
    if (record_length > cursor.left()) raise(Error::LENGTH_FAULT_1545);
    char* rest = cursor.pos;
    decode_body(count);
    cursor.pos = rest + record_length;
}

void start_variables(DecodeState& state) {
    if (state.variables_started) return;
    state.variables_started = true;
    if (state.hooks.before_variables) state.hooks.before_variables();
}

void decode_variable_record(DecodeState& state, VariableDecoder decode_one) {
    start_variables(state);
    decode_counted_record(state, [&](uint64_t count) {
        for (uint64_t i = 0; i < count; ++i) decode_one(state.cursor);
    });
}

void decode_integers(DecodeState& state) { decode_variable_record(state, decode_integer_variable); }
void decode_floats(DecodeState& state) { decode_variable_record(state, decode_float_variable); }
void decode_strings(DecodeState& state) { decode_variable_record(state, decode_string_variable); }

void decode_objects(DecodeState& state) {
    start_variables(state);
    decode_counted_record(state, [&](uint64_t count) {
        NestedObjects nested;
        for (uint64_t i = 0; i < count; ++i) decode_object(state.cursor, nested);
    });
}

// ---- Module paths ------------------------------------------------------------------

[[noreturn]] void bad_module_name(ErrorForm<int, const char*> error, TextField path) {
    raise_parse(error, int(path.length), static_cast<const char*>(path.text));
}

// Paths stay under the module directory: no absolute path, no ".." segment
// (either separator), no NUL that would cut the name when it is opened.
bool is_contained_path(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.front() == '\\') return false;
    if (path.find('\0') != std::string_view::npos) return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t stop = path.find_first_of("/\\", start);
        if (stop == std::string_view::npos) stop = path.size();
        if (path.substr(start, stop - start) == "..") return false;
        start = stop + 1;
    }
    return true;
}

ModuleType module_type_of(TextField field) {
    std::string_view path(field.text, field.length);
    if (!is_contained_path(path)) bad_module_name(Error::BAD_MODULE_NAME_1170, field);
    size_t slash = path.rfind('/');
    std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = base.rfind('.');
    if (dot == std::string_view::npos) bad_module_name(Error::BAD_MODULE_NAME_1170, field);
    std::string_view extension = base.substr(dot + 1);
    if (extension.empty() || (extension[0] != 'j' && extension[0] != 'J'))
        bad_module_name(Error::BAD_MODULE_NAME_1170, field);
    if (extension.size() == 2) {
        if (extension[1] == 's' || extension[1] == 'S') return MODULE_SOURCE;
        if (extension[1] == 'o' || extension[1] == 'O') return MODULE_IMAGE;
    }
    bad_module_name(Error::BAD_MODULE_NAME_1175, field);
}

void decode_modules(DecodeState& state) {
    FieldCursor& cursor = state.cursor;
    decode_counted_record(state, [&](uint64_t count) {
        for (uint64_t i = 0; i < count; ++i) {
            uint64_t length = read_length_field(cursor);
            if (length > cursor.left()) raise(Error::LENGTH_FAULT_1545);
            TextField path{cursor.pos, size_t(length)};
            cursor.pos += length;
            ModuleType type = module_type_of(path);
            if (!add_module_path(std::string(path.text, path.length), type)) {
                raise(Error::TOO_MANY_MODULES);
            }
        }
    });
}

// ---- Other records -------------------------------------------------------------------

void decode_top_program(DecodeState& state) {
    TextField text = read_counted_text(state.cursor, VALUE_TEXT_FAULTS);
    if (text.length > TOP_PROGRAM_LIMIT) raise(Error::TOP_TOO_LONG_1740);
    state.out.top_program.assign(text.text, text.length);
    state.out.has_top_program = true;
}

void decode_expression(DecodeState& state) {
    TextField text = read_counted_text(state.cursor, VALUE_TEXT_FAULTS);
    if (text.length > TOP_PROGRAM_LIMIT) raise(Error::TOP_TOO_LONG_1745);
}

void decode_no_debugger_modules(DecodeState& state) { state.out.no_debugger_modules = true; }

void decode_token(DecodeState& state) {
    TextField first = read_counted_text(state.cursor, VALUE_TEXT_FAULTS);
    TextField token = read_counted_text(state.cursor, VALUE_TEXT_FAULTS);
    state.out.token_first.assign(first.text, first.length);
    state.out.token.assign(token.text, token.length);
    state.out.has_token = true;
}

// Whether the name is taken is the host's choice (it owns the journal path).
void decode_journal_name(DecodeState& state) {
    TextField field = read_counted_text(state.cursor, VALUE_TEXT_FAULTS);
    std::string_view name(field.text, field.length);
    if (!state.hooks.journal_name || !state.hooks.journal_name(name)) return;
    state.out.journal_name.assign(name);
    state.out.has_journal_name = true;
}

void decode_time(DecodeState& state) { read_counted_number(state.cursor, NUMBER_FAULTS); }

struct RecordDecoder {
    char letter;
    void (*decode)(DecodeState&);
};

constexpr RecordDecoder RECORD_DECODERS[] = {
    {'P', decode_top_program}, {'E', decode_expression},  {'M', decode_modules},
    {'L', decode_no_debugger_modules}, {'Q', decode_token}, {'l', decode_journal_name},
    {'T', decode_time},        {'I', decode_integers},    {'D', decode_floats},
    {'S', decode_strings},     {'A', decode_objects},
};

}  // namespace

void decode_request(char* body, size_t length, RequestFields& out, const RequestHooks& hooks) {
    DecodeState state{FieldCursor{body, body + length}, out, hooks, false};
    FieldCursor& cursor = state.cursor;
    while (cursor.pos < cursor.end) {
        char letter = *cursor.pos++;
        if (letter == '\n') continue;
        const RecordDecoder* decoder = nullptr;
        for (const RecordDecoder& candidate : RECORD_DECODERS) {
            if (candidate.letter == letter) {
                decoder = &candidate;
                break;
            }
        }
        if (!decoder) raise(Error::BAD_RECORD_DATA_KIND);
        decoder->decode(state);
    }
}

}  // namespace tolv
