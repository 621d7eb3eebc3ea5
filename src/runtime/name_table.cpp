#include "runtime/name_table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

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

void* grow(void* old, size_t old_bytes, size_t new_bytes) {
    void* p = std::malloc(new_bytes);
    if (!p) eval_fail(1400, "メモリ領域を取得できません");
    if (old_bytes) std::memcpy(p, old, old_bytes);
    std::memset(static_cast<char*>(p) + old_bytes, 0, new_bytes - old_bytes);
    std::free(old);
    return p;
}

// Position of the first pair with this key.
NameKeyPair* first_with_key(uint32_t key) {
    NameKeyPair* begin = g_names.sorted;
    NameKeyPair* end = begin + g_names.count;
    return std::lower_bound(begin, end, key, [](const NameKeyPair& p, uint32_t k) { return p.key < k; });
}

uint32_t lookup(const char* text, size_t length, uint32_t key) {
    NameKeyPair* end = g_names.sorted + g_names.count;
    for (NameKeyPair* p = first_with_key(key); p < end && p->key == key; ++p) {
        const NameEntry& e = g_names.entries[p->index];
        if (e.length == length && std::memcmp(g_names.pool + e.pool_offset, text, length) == 0) return p->index;
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

void seed_name_table() {
    std::free(g_names.entries);
    std::free(g_names.sorted);
    std::free(g_names.pool);
    g_names = NameTable{};
    for (const char* name : PREDEFINED_NAMES) intern_name(name, std::strlen(name));
}

uint32_t intern_name(const char* text, size_t length) {
    if (length > NAME_LENGTH_LIMIT) eval_fail(1005, "関数・変数名の長さ不正");
    uint32_t key = name_key(text, length);
    if (g_names.count) {
        uint32_t found = lookup(text, length, key);
        if (found != UINT32_MAX) return found;
    }
    NameTable& t = g_names;
    if (t.count >= t.capacity) {
        uint32_t capacity = t.capacity + ENTRY_STEP;
        t.entries = static_cast<NameEntry*>(grow(t.entries, sizeof(NameEntry) * t.count, sizeof(NameEntry) * capacity));
        t.sorted = static_cast<NameKeyPair*>(grow(t.sorted, sizeof(NameKeyPair) * t.count, sizeof(NameKeyPair) * capacity));
        t.capacity = capacity;
    }
    if (t.pool_used + length + 1 > t.pool_capacity) {
        uint32_t capacity = t.pool_capacity + POOL_STEP;
        t.pool = static_cast<char*>(grow(t.pool, t.pool_used, capacity));
        t.pool_capacity = capacity;
    }
    uint32_t index = t.count;
    NameEntry& e = t.entries[index];
    e = NameEntry{};
    e.length = uint8_t(length);
    e.key = key;
    e.pool_offset = t.pool_used;
    if (length) std::memcpy(t.pool + t.pool_used, text, length);
    t.pool[t.pool_used + length] = '\0';
    t.pool_used += uint32_t(length + 1);

    // Insert after any pairs with the same key; the array stays sorted.
    NameKeyPair* end = t.sorted + t.count;
    NameKeyPair* at = std::upper_bound(t.sorted, end, key, [](uint32_t k, const NameKeyPair& p) { return k < p.key; });
    std::memmove(at + 1, at, size_t(end - at) * sizeof(NameKeyPair));
    *at = NameKeyPair{key, index};
    ++t.count;
    return index;
}

uint32_t find_name(const char* text, size_t length) {
    if (length > NAME_LENGTH_LIMIT || g_names.count == 0) return UINT32_MAX;
    return lookup(text, length, name_key(text, length));
}

}  // namespace tolv
