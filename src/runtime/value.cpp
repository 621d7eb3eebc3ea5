#include "runtime/value.h"

#include <algorithm>
#include <vector>

#include "runtime/errors.h"
#include "runtime/operation_layout.h"
#include "runtime/operation_notes.h"
#include "runtime/pair_list.h"

namespace tolv {

namespace {

// Values whose count fell to 0 while another value was being freed. Freeing
// through this list instead of recursion keeps a long chain of nested
// containers from exhausting the stack.
std::vector<ValueHandle> s_pending_frees;
bool s_freeing = false;

struct FreeingScope {
    FreeingScope() { s_freeing = true; }
    ~FreeingScope() { s_freeing = false; }
};

[[noreturn]] void raise_out_of_area() { raise(Error::NO_MEMORY); }

inline Word32* words_at(AreaRef ref) { return reinterpret_cast<Word32*>(area_ptr(ref)); }

AreaRef new_zeroed_area(size_t bytes) {
    uint8_t* p;
    AreaRef ref = area_alloc(bytes, &p);
    std::memset(p, 0, bytes);
    return ref;
}

// Replaces a vector of `old_capacity` words by one of `new_capacity` words.
AreaRef grow_vector(AreaRef old, size_t used_words, size_t new_capacity_words) {
    uint8_t* p;
    AreaRef ref = area_alloc(new_capacity_words * 4, &p);
    std::memcpy(p, area_ptr(old), used_words * 4);
    std::memset(p + used_words * 4, 0, (new_capacity_words - used_words) * 4);
    area_free(old);
    return ref;
}

void release_words(AreaRef vector, uint32_t count, uint32_t stride, uint32_t offset) {
    if (count == 0) return;
    Word32* w = words_at(vector);
    for (uint32_t i = 0; i < count; ++i) release(w[i * stride + offset]);
}

void release_operand(void*, Word32* where, WordClass cls) {
    if (cls == WordClass::VALUE) release(*where);
}
uint8_t* vector_of(void*, AreaRef ref, size_t) { return area_ptr(ref); }
void free_vector(void*, AreaRef ref) { area_free(ref); }
const CellWalker OPERATION_FREEING = {nullptr, release_operand, vector_of, free_vector};

void free_one(ValueHandle h) {
    unsigned kind = kind_of(h);
    if (is_area_kind(kind)) {
        if (kind != KIND_DB_CONNECTION) area_free(payload_of(h));
        return;
    }
    uint8_t* cell = cell_of(h);
    if (cell[0] == FREED_CELL) return;
    switch (kind) {
        case KIND_INTEGER:
        case KIND_DATE:
        case KIND_FLOAT:
            break;
        case KIND_STRING:
            area_free(reinterpret_cast<StringCell*>(cell)->text);
            break;
        case KIND_ARRAY: {
            auto* a = reinterpret_cast<ArrayCell*>(cell);
            release_words(a->elements, a->length, 1, 0);
            area_free(a->elements);
            break;
        }
        case KIND_ASSOC_ARRAY: {
            auto* a = reinterpret_cast<AssocArrayCell*>(cell);
            release_words(a->pairs, a->count, 2, 1);
            area_free(a->pairs);
            break;
        }
        case KIND_HASH: {
            hash_keys_moved();
            auto* hc = reinterpret_cast<HashCell*>(cell);
            release_words(hc->pairs, hc->count, 2, 1);
            area_free(hc->pairs);
            break;
        }
        case KIND_OPERATION:
            // Operands may be vectors the cell owns (argument blocks, `for`
            // and `switch` vectors, the catch pair): the layout table knows.
            walk_cell(cell, OPERATION_FREEING);
            forget_operation_note(h);
            break;
        case KIND_FUNCTION: {
            auto* f = reinterpret_cast<FunctionCell*>(cell);
            release(f->body);
            release_words(f->names, f->param_count, 1, 0);
            // The vector also goes when only locals are named.
            if (f->names) area_free(f->names);
            break;
        }
        default:
            return;
    }
    cell_free(h);
}

}  // namespace

uint32_t g_hash_key_epoch = 1;

// ---- Ownership ---------------------------------------------------------------

unsigned retain_was(ValueHandle h) {
    if (!has_storage(h)) return 0;
    uint8_t* p = value_ptr(h);
    unsigned was = count_in(p[0]) * COUNT_ONE;
    add_reference(p[0]);
    return was;
}

void release_last(ValueHandle h) {
    uint8_t* p = value_ptr(h);
    take_reference(p[0]);
    free_value(h);
}

void free_value(ValueHandle h) {
    if (!has_storage(h)) return;
    // A number or date holds nothing else: its cell goes straight back.
    unsigned kind = kind_of(h);
    if (kind == KIND_INTEGER || kind == KIND_FLOAT || kind == KIND_DATE) {
        cell_free(h);
        return;
    }
    if (s_freeing) {
        s_pending_frees.push_back(h);
        return;
    }
    FreeingScope scope;
    free_one(h);
    while (!s_pending_frees.empty()) {
        ValueHandle next = s_pending_frees.back();
        s_pending_frees.pop_back();
        free_one(next);
    }
}

// ---- Constructors --------------------------------------------------------------

ValueHandle new_integer(int32_t v) {
    ValueHandle h = new_cell(KIND_INTEGER, 0);
    cell_as<IntegerCell>(h)->value = v;
    return h;
}

ValueHandle small_integer_cell(int32_t v) {
    ValueHandle h = new_cell(KIND_INTEGER, PERMANENT_COUNT);
    cell_as<IntegerCell>(h)->value = v;
    g_heap.small_integer[uint32_t(v) - uint32_t(SMALL_INTEGER_LOW)] = h;
    return h;
}

ValueHandle single_character_cell(char c) {
    ValueHandle h = new_string(&c, 1);
    cell_of(h)[0] = header_of(KIND_STRING, PERMANENT_COUNT);
    g_heap.single_character[static_cast<unsigned char>(c)] = h;
    return h;
}

ValueHandle new_float(double v) {
    ValueHandle h = new_cell(KIND_FLOAT, 0);
    cell_as<FloatCell>(h)->value = v;
    return h;
}

ValueHandle new_string_with_capacity(size_t capacity) {
    if (capacity > 0x7FFFFF00u) raise_out_of_area();
    uint8_t* buffer;
    AreaRef ref = area_alloc(capacity + 4, &buffer);
    buffer[0] = '\0';
    ValueHandle h = new_cell(KIND_STRING, 0);
    StringCell* s = cell_as<StringCell>(h);
    s->text = ref;
    s->capacity = uint32_t(capacity);
    s->length = 0;
    return h;
}

ValueHandle new_string(const char* text, size_t len) {
    if (len > 0x7FFFFF00u) raise_out_of_area();
    uint8_t* buffer;
    AreaRef ref = area_alloc(len + 12, &buffer);
    if (len) std::memcpy(buffer, text, len);
    buffer[len] = '\0';
    ValueHandle h = new_cell(KIND_STRING, 0);
    StringCell* s = cell_as<StringCell>(h);
    s->text = ref;
    s->capacity = uint32_t(len + 8);
    s->length = uint32_t(len);
    return h;
}

ValueHandle new_array(uint32_t length) {
    if (length > 0x1FFFFFF0u) raise_out_of_area();
    AreaRef vector = new_zeroed_area(size_t(length) * 4 + 40);
    ValueHandle h = new_cell(KIND_ARRAY, 0);
    ArrayCell* a = cell_as<ArrayCell>(h);
    a->elements = vector;
    a->length = length;
    a->capacity = length + 10;
    return h;
}

ValueHandle new_hash(uint32_t count) {
    // Count and capacity are 16-bit fields.
    if (count > 0xFFFF - 10) raise_out_of_area();
    AreaRef vector = new_zeroed_area(size_t(count) * 8 + 80);
    ValueHandle h = new_cell(KIND_HASH, 0);
    HashCell* hc = cell_as<HashCell>(h);
    hc->count = uint16_t(count);
    hc->capacity = uint16_t(count + 10);
    hc->pairs = vector;
    return h;
}

ValueHandle new_assoc_array(uint32_t count) {
    if (count > 0x0FFFFFF0u) raise_out_of_area();
    AreaRef vector = new_zeroed_area(size_t(count) * 8 + 80);
    ValueHandle h = new_cell(KIND_ASSOC_ARRAY, 0);
    AssocArrayCell* a = cell_as<AssocArrayCell>(h);
    a->pairs = vector;
    a->count = count;
    a->capacity = count + 10;
    return h;
}

ValueHandle new_error(const char* code, size_t code_len, const char* message, size_t message_len) {
    code_len = std::min<size_t>(code_len, 0xFFFF);
    message_len = std::min<size_t>(message_len, 0xFFFF);
    // Room for the usual short code within the customary message + 36, and
    // for any longer code a script throws.
    size_t size = std::max(message_len + 36, 8 + code_len + message_len + 1);
    uint8_t* rec;
    AreaRef ref = area_alloc(size, &rec);
    std::memset(rec, 0, 8);
    rec[0] = KIND_ERROR;
    uint16_t ml = uint16_t(message_len), cl = uint16_t(code_len);
    std::memcpy(rec + 2, &ml, 2);
    std::memcpy(rec + 4, &cl, 2);
    if (code_len) std::memcpy(rec + 6, code, code_len);
    rec[6 + code_len] = '\0';
    rec[7 + code_len] = '\0';
    if (message_len) std::memcpy(rec + 8 + code_len, message, message_len);
    rec[8 + code_len + message_len] = '\0';
    return make_handle(KIND_ERROR, ref);
}

// ---- Readers -----------------------------------------------------------------

// ---- Container helpers ----------------------------------------------------------

void array_push(ValueHandle array, ValueHandle value) {
    ArrayCell* a = cell_as<ArrayCell>(array);
    if (a->length >= a->capacity) {
        size_t capacity = size_t(a->capacity) + a->capacity / 2 + 10;
        if (capacity > 0x1FFFFFF0u) raise_out_of_area();
        AreaRef vector = grow_vector(a->elements, a->length, capacity);
        a = cell_as<ArrayCell>(array);
        a->elements = vector;
        a->capacity = uint32_t(capacity);
    }
    array_elements(array)[a->length] = retain(value);
    ++a->length;
}

namespace {

// Puts `value` under `key` where the key already is; false when absent.
bool replace_pair(const PairList& list, uint32_t key, ValueHandle value) {
    Word32* pairs = list.pairs();
    for (uint32_t i = 0, n = list.count(); i < n; ++i) {
        if (pairs[2 * i] == key) {
            ValueHandle old = pairs[2 * i + 1];
            pairs[2 * i + 1] = retain(value);
            release(old);
            return true;
        }
    }
    return false;
}

// The capacity one growth step gives: a Hash's 16-bit fields stop at 0xFFFF,
// an assoc array stops at 0x0FFFFFF0 pairs.
size_t grown_capacity(const PairList& list) {
    size_t capacity = list.capacity();
    if (list.is_hash()) {
        if (capacity >= 0xFFFF) raise_out_of_area();
        return std::min<size_t>(capacity + capacity / 2 + 11, 0xFFFF);
    }
    capacity += capacity / 2 + 11;
    if (capacity > 0x0FFFFFF0u) raise_out_of_area();
    return capacity;
}

void append_pair(PairList list, uint32_t key, ValueHandle value) {
    uint32_t count = list.count();
    if (count >= list.capacity()) {
        size_t capacity = grown_capacity(list);
        list.set_vector(grow_vector(list.vector(), size_t(count) * 2, capacity * 2), uint32_t(capacity));
    }
    Word32* pairs = list.pairs();
    pairs[2 * count] = key;
    pairs[2 * count + 1] = retain(value);
    list.set_count(count + 1);
}

}  // namespace

void hash_set(ValueHandle hash, uint32_t name_index, ValueHandle value) {
    if (!replace_pair(PairList::of_hash(hash), name_index, value)) append_pair(PairList::of_hash(hash), name_index, value);
}

void hash_append(ValueHandle hash, uint32_t name_index, ValueHandle value) {
    append_pair(PairList::of_hash(hash), name_index, value);
}

ValueHandle hash_get(ValueHandle hash, uint32_t name_index) {
    const HashCell* hc = cell_as<HashCell>(hash);
    const Word32* pairs = hash_pairs(hash);
    for (uint32_t i = 0; i < hc->count; ++i)
        if (pairs[2 * i] == name_index) return pairs[2 * i + 1];
    return VALUE_SENTINEL;
}

void assoc_set(ValueHandle assoc, uint32_t key, ValueHandle value) {
    if (!replace_pair(PairList::of_assoc(assoc), key, value)) append_pair(PairList::of_assoc(assoc), key, value);
}

void assoc_append(ValueHandle assoc, uint32_t key, ValueHandle value) {
    append_pair(PairList::of_assoc(assoc), key, value);
}

// ---- Strings -------------------------------------------------------------------

bool append_in_place(ValueHandle string, const char* text, uint32_t length) {
    StringCell* s = cell_as<StringCell>(string);
    if (s->template_mark != 0) return false;
    uint64_t needed = uint64_t(s->length) + length;
    if (needed > 0x7FFFFFF0u) return false;
    if (needed + 1 > s->capacity) {
        // Grow geometrically so a loop of appends stays linear.
        uint64_t capacity = needed * 2 + 8;
        uint8_t* buffer = nullptr;
        AreaRef ref = area_alloc(capacity + 4, &buffer);
        if (!buffer) buffer = area_ptr(ref);
        std::memcpy(buffer, area_ptr(s->text), s->length);
        area_free(s->text);
        s = cell_as<StringCell>(string);
        s->text = ref;
        s->capacity = uint32_t(capacity);
    }
    // Keep the ASCII mark that index access caches in byte 1 true.
    if (s->text_mark == STRING_TEXT_ASCII) {
        for (uint32_t i = 0; i < length; ++i)
            if (static_cast<unsigned char>(text[i]) >= 0x80) {
                s->text_mark = STRING_TEXT_MULTIBYTE;
                break;
            }
    }
    char* data = reinterpret_cast<char*>(area_ptr(s->text));
    std::memcpy(data + s->length, text, length);
    s->length += length;
    data[s->length] = '\0';
    return true;
}

}  // namespace tolv
