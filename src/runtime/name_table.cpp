#include "runtime/name_table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "runtime/errors.h"

namespace tolv {

NameTable g_names;

namespace {

constexpr uint32_t ENTRY_STEP = 2048;
constexpr uint32_t POOL_STEP = 2048;
constexpr size_t NAME_LENGTH_LIMIT = 255;

// Fixed order: the evaluator and the library refer to these by index.
// "length " carries a trailing blank so that a script's `length` never meets it.
const char* const PREDEFINED_NAMES[PREDEFINED_NAME_COUNT] = {
    "undefined", "true", "false", "null", "NaN", "this", "Math", "column", "value", "console",
    "Object", "Function", "Connection", "name", "message", "Number", "Integer", "Float", "Date", "Error",
    "RegExp", "String", "Array", "Hash", "Exception", "typeof", "instanceof", "index", "indices", "input",
    "groups", "length ", "no_authorization", "count", "sum", "max", "min", "average", "key", "group",
    "total", "total_count", "$set", "$inc", "$min", "$max", "$mul", "$rename", "$unset", "_c__o__l__m_",
    "_v__a__l_", "_k__e__y_", "new",
};

// Entries and pool bytes past the used ones are written before they are
// read: the new room is left as it comes, untouched (a request start pays
// for no page it does not use).
void* grow(void* old, size_t old_bytes, size_t new_bytes) {
    void* p = std::malloc(new_bytes);
    if (!p) raise(Error::NO_MEMORY);
    if (old_bytes) std::memcpy(p, old, old_bytes);
    std::free(old);
    return p;
}

// Grows by half (in whole steps), so that interning n names copies O(n)
// bytes in all: a request may bring a hundred thousand keys.
uint32_t grown_capacity(uint32_t capacity, uint32_t step) {
    uint64_t more = std::max<uint64_t>(step, (uint64_t(capacity) / 2 + step - 1) / step * step);
    return uint32_t(std::min<uint64_t>(uint64_t(capacity) + more, UINT32_MAX / 16));
}

// Open-addressing index of the names by their text: slot = name index + 1, 0
// = empty. The weighted byte sum of name_key clusters similar names, so
// lookups hash the text afresh, with a per-process salt a client cannot guess.
std::vector<uint32_t> g_slots;
uint32_t g_salt = 0;

uint32_t text_hash(const char* text, size_t length) {
    uint32_t h = 2166136261u ^ g_salt;
    for (size_t i = 0; i < length; ++i) h = (h ^ uint8_t(text[i])) * 16777619u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    return h;
}

bool same_text(uint32_t index, const char* text, size_t length) {
    const NameEntry& e = g_names.entries[index];
    return e.length == length && std::memcmp(g_names.pool + e.pool_offset, text, length) == 0;
}

void place_in_index(uint32_t index) {
    const NameEntry& e = g_names.entries[index];
    const size_t mask = g_slots.size() - 1;
    size_t at = text_hash(g_names.pool + e.pool_offset, e.length) & mask;
    while (g_slots[at] != 0) at = (at + 1) & mask;
    g_slots[at] = index + 1;
}

void size_index_for(uint32_t count) {
    size_t slots = 64;
    while (slots < size_t(count) * 2 + 2) slots *= 2;
    if (slots <= g_slots.size()) return;
    g_slots.assign(slots, 0);
    for (uint32_t i = 0; i < g_names.count; ++i) place_in_index(i);
}

uint32_t lookup(const char* text, size_t length) {
    if (g_slots.empty()) return UINT32_MAX;
    const size_t mask = g_slots.size() - 1;
    for (size_t at = text_hash(text, length) & mask; g_slots[at] != 0; at = (at + 1) & mask) {
        if (same_text(g_slots[at] - 1, text, length)) return g_slots[at] - 1;
    }
    return UINT32_MAX;
}

}  // namespace

uint32_t name_key(const char* text, size_t length) {
    uint32_t h = 0;
    for (size_t i = 1; i <= length; ++i) {
        h = (h + uint32_t(i % 17) * uint8_t(text[i - 1])) & 0xFFFFFF;
    }
    return uint32_t(length) << 24 | h;
}

uint32_t g_name_table_generation = 0;

void seed_name_table() {
    ++g_name_table_generation;
    std::free(g_names.entries);
    std::free(g_names.pool);
    g_names = NameTable{};
    g_slots.clear();
    if (g_salt == 0) g_salt = std::random_device{}() | 1;
    for (const char* name : PREDEFINED_NAMES) intern_name(name, std::strlen(name));
}

uint32_t intern_name(const char* text, size_t length) {
    if (length > NAME_LENGTH_LIMIT) raise(Error::NAME_TOO_LONG);
    uint32_t found = lookup(text, length);
    if (found != UINT32_MAX) return found;
    NameTable& t = g_names;
    if (t.count >= t.capacity) {
        uint32_t capacity = grown_capacity(t.capacity, ENTRY_STEP);
        t.entries = static_cast<NameEntry*>(grow(t.entries, sizeof(NameEntry) * t.count, sizeof(NameEntry) * capacity));
        t.capacity = capacity;
    }
    if (t.pool_used + length + 1 > t.pool_capacity) {
        uint32_t capacity = grown_capacity(t.pool_capacity, POOL_STEP);
        t.pool = static_cast<char*>(grow(t.pool, t.pool_used, capacity));
        t.pool_capacity = capacity;
    }
    uint32_t index = t.count;
    NameEntry& e = t.entries[index];
    e = NameEntry{};
    e.length = uint8_t(length);
    e.key = name_key(text, length);
    e.pool_offset = t.pool_used;
    if (length) std::memcpy(t.pool + t.pool_used, text, length);
    t.pool[t.pool_used + length] = '\0';
    t.pool_used += uint32_t(length + 1);
    ++t.count;
    size_index_for(t.count);
    place_in_index(index);
    return index;
}

uint32_t find_name(const char* text, size_t length) {
    if (length > NAME_LENGTH_LIMIT) return UINT32_MAX;
    return lookup(text, length);
}

void rebuild_name_index() {
    ++g_name_table_generation;
    g_slots.clear();
    size_index_for(g_names.count);
}

std::vector<NameKeyPair> sorted_name_keys() {
    std::vector<NameKeyPair> pairs(g_names.count);
    for (uint32_t i = 0; i < g_names.count; ++i) pairs[i] = NameKeyPair{g_names.entries[i].key, i};
    std::sort(pairs.begin(), pairs.end(), [](const NameKeyPair& a, const NameKeyPair& b) {
        return a.key != b.key ? a.key < b.key : a.index < b.index;
    });
    return pairs;
}

}  // namespace tolv
