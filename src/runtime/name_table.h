// Interned identifiers. Every identifier, property name and hash key used as a
// name is stored once and referred to by its index. Indexes 0-52 are the
// predefined names, seeded in a fixed order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tolv {

// 12-byte entry, the layout compiled images carry.
struct NameEntry {
    uint8_t zero0;
    uint8_t length;
    uint8_t zero2[2];
    uint32_t key;          // length << 24 | 24-bit weighted byte sum
    uint32_t pool_offset;  // NUL-terminated text in the pool
};
static_assert(sizeof(NameEntry) == 12);

struct NameKeyPair {
    uint32_t key;
    uint32_t index;
};

// Fixed indexes of the predefined names. ("max" is NAME_MAXIMUM: <limits.h>
// defines a NAME_MAX macro.)
enum PredefinedName : uint32_t {
    NAME_UNDEFINED = 0, NAME_TRUE = 1, NAME_FALSE = 2, NAME_NULL = 3, NAME_NAN = 4,
    NAME_THIS = 5, NAME_MATH = 6, NAME_COLUMN = 7, NAME_VALUE = 8, NAME_CONSOLE = 9,
    NAME_OBJECT = 10, NAME_FUNCTION = 11, NAME_CONNECTION = 12, NAME_NAME = 13,
    NAME_MESSAGE = 14, NAME_NUMBER = 15, NAME_INTEGER = 16, NAME_FLOAT = 17, NAME_DATE = 18,
    NAME_ERROR = 19, NAME_REGEXP = 20, NAME_STRING = 21, NAME_ARRAY = 22, NAME_HASH = 23,
    NAME_EXCEPTION = 24, NAME_TYPEOF = 25, NAME_INSTANCEOF = 26, NAME_INDEX = 27,
    NAME_INDICES = 28, NAME_INPUT = 29, NAME_GROUPS = 30, NAME_LENGTH_INTERNAL = 31,
    NAME_NO_AUTHORIZATION = 32, NAME_COUNT = 33, NAME_SUM = 34, NAME_MAXIMUM = 35, NAME_MIN = 36,
    NAME_AVERAGE = 37, NAME_KEY = 38, NAME_GROUP = 39, NAME_TOTAL = 40, NAME_TOTAL_COUNT = 41,
    NAME_SET_OP = 42, NAME_INC_OP = 43, NAME_MIN_OP = 44, NAME_MAX_OP = 45, NAME_MUL_OP = 46,
    NAME_RENAME_OP = 47, NAME_UNSET_OP = 48, NAME_COLM = 49, NAME_VAL = 50, NAME_KEY_INTERNAL = 51,
    NAME_NEW = 52,
    PREDEFINED_NAME_COUNT = 53,
};

// Process-wide table; public so lookups of the text stay inline.
struct NameTable {
    NameEntry* entries = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;          // whole steps of 2048 entries, grows by half
    char* pool = nullptr;
    uint32_t pool_used = 0;
    uint32_t pool_capacity = 0;     // whole steps of 2048 bytes, grows by half
};

extern NameTable g_names;
// Changes whenever the table is made anew or replaced, that is whenever an
// index may come to name another text: caches keyed by index check it.
extern uint32_t g_name_table_generation;

uint32_t name_key(const char* text, size_t length);

// Creates the table with its 53 predefined names (drops any earlier contents).
void seed_name_table();

// Index of the name with this text, added when new. Length must be 1-255.
uint32_t intern_name(const char* text, size_t length);

// Index of an existing name, or UINT32_MAX.
uint32_t find_name(const char* text, size_t length);

// After the entries and pool were replaced as a whole (a compiled image's table).
void rebuild_name_index();
// (key, index) pairs ascending by key, then index: the lookup list images carry.
std::vector<NameKeyPair> sorted_name_keys();

inline const char* name_text(uint32_t index) { return g_names.pool + g_names.entries[index].pool_offset; }
inline uint32_t name_length(uint32_t index) { return g_names.entries[index].length; }
// Whether name `index` is "length": `x.length` is a count, never an entry.
// Two loads and two compares: `x.length` is read in many a loop condition.
inline bool is_length_name(uint32_t index) {
    if (name_length(index) != 6) return false;
    uint32_t head, wanted_head;
    uint16_t tail, wanted_tail;
    std::memcpy(&head, name_text(index), 4);
    std::memcpy(&tail, name_text(index) + 4, 2);
    static constexpr char LENGTH[] = "length";
    std::memcpy(&wanted_head, LENGTH, 4);
    std::memcpy(&wanted_tail, LENGTH + 4, 2);
    return head == wanted_head && tail == wanted_tail;
}
inline uint32_t name_count() { return g_names.count; }

}  // namespace tolv
