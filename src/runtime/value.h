// Value handles, kinds, record layouts and ownership.
//
// Every script value and every parsed-program node is a 32-bit handle. The
// kind sits in bits 24-27; bits 0-23 hold an immediate, a name index, a cell
// address (block << 8 | slot) or an AreaRef. Records are byte-exact: compiled
// module images are raw snapshots of cells and pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/heap.h"

namespace tolv {

enum Kind : uint8_t {
    KIND_NAME = 0,
    KIND_SQL_OBJECT = 1,
    KIND_INTEGER = 2,
    KIND_DB_CONNECTION = 3,
    KIND_DATE = 5,
    KIND_ERROR = 6,
    KIND_REGEXP = 7,
    KIND_FLOAT = 8,
    KIND_STRING = 9,
    KIND_ARRAY = 10,
    KIND_ASSOC_ARRAY = 11,
    KIND_HASH = 12,
    KIND_OPERATION = 13,
    KIND_FUNCTION = 14,
    // No value has these. Kind 15 is also what a sentinel's kind bits read,
    // and the kind of the parser's empty-operand marker.
    KIND_UNUSED = 4,
    KIND_RESERVED = 15,
};

constexpr ValueHandle VALUE_UNDEFINED = 0;
constexpr ValueHandle VALUE_TRUE = 1;
constexpr ValueHandle VALUE_FALSE = 2;
constexpr ValueHandle VALUE_NULL = 3;
constexpr ValueHandle VALUE_NAN = 4;
constexpr ValueHandle VALUE_SENTINEL = 0xFF000000u;

constexpr unsigned PERMANENT_COUNT = 15;
constexpr uint8_t FREED_CELL = 0xFF;

inline Kind kind_of(ValueHandle h) { return Kind((h >> 24) & 15); }
inline uint32_t payload_of(ValueHandle h) { return h & 0xFFFFFF; }
inline bool is_sentinel(ValueHandle h) { return (h >> 28) != 0; }
inline ValueHandle make_handle(unsigned kind, uint32_t payload) { return (uint32_t(kind) << 24) | payload; }
// Kinds 1, 3, 6 and 7 live in the area heap.
inline bool is_area_kind(unsigned kind) { return kind < 8 && ((0xCAu >> kind) & 1); }
inline bool has_storage(ValueHandle h) {
    // Kinds 1-3 and 5-14; a sentinel's top byte is above 15.
    unsigned top = h >> 24;
    return top < 16 && ((0x7FEEu >> top) & 1);
}
inline ValueHandle name_handle(uint32_t name_index) { return name_index; }

// ---- Kind tests ----------------------------------------------------------------
// A sentinel's top byte is above 15, so it passes none of these.
inline bool is_kind(ValueHandle h, Kind kind) { return (h >> 24) == kind; }
inline bool is_integer(ValueHandle h) { return is_kind(h, KIND_INTEGER); }
inline bool is_float(ValueHandle h) { return is_kind(h, KIND_FLOAT); }
inline bool is_string(ValueHandle h) { return is_kind(h, KIND_STRING); }
inline bool is_array(ValueHandle h) { return is_kind(h, KIND_ARRAY); }
inline bool is_assoc_array(ValueHandle h) { return is_kind(h, KIND_ASSOC_ARRAY); }
inline bool is_hash(ValueHandle h) { return is_kind(h, KIND_HASH); }
inline bool is_regexp(ValueHandle h) { return is_kind(h, KIND_REGEXP); }
// A name (kind 0 above the constants): a variable's or a key's.
inline bool is_plain_name(ValueHandle h) { return is_kind(h, KIND_NAME) && h > VALUE_NAN; }
// Integer or Float, including a Float that stands for a database reference.
inline bool is_number(ValueHandle h) { return is_integer(h) || is_float(h); }
// The kind a handle reads as, KIND_RESERVED for a sentinel.
inline Kind kind_or_reserved(ValueHandle h) { return is_sentinel(h) ? KIND_RESERVED : kind_of(h); }

// ---- Cell records (16 bytes each) -----------------------------------------

struct IntegerCell {
    uint8_t header;
    uint8_t zero[3];
    int32_t value;
    uint32_t unused[2];
};

// Bytes 1 = 17/18 mark a database or collection reference instead of a number.
struct FloatCell {
    uint8_t header;
    uint8_t subtype;
    uint16_t cache_index;
    uint32_t unused;
    double value;
};
constexpr uint8_t FLOAT_DB_REFERENCE = 17;
constexpr uint8_t FLOAT_COLLECTION_REFERENCE = 18;

struct DateCell {
    uint8_t header;
    uint8_t month_zone;   // bits 0-3 month-1, bit 4 zone flag, rest date state
    uint8_t hour;
    uint8_t day;          // bits 0-4 day of month, rest date state
    uint8_t minute;
    uint8_t second;
    uint16_t year;
    uint32_t millis;      // bits 0-9 milliseconds, rest date state
    uint32_t instant;     // seconds since 1970-01-01 00:00:00 UTC
};

struct StringCell {
    uint8_t header;
    uint8_t text_mark;      // STRING_TEXT_* below; new strings start unknown
    int16_t template_mark;  // negative: a literal with ${...} substitutions
    AreaRef text;
    uint32_t capacity;
    uint32_t length;
};

// What readers have learnt about a String's text, cached in byte 1: every
// write into a String's bytes keeps it true or resets it to unknown.
constexpr uint8_t STRING_TEXT_UNKNOWN = 0, STRING_TEXT_ASCII = 1, STRING_TEXT_MULTIBYTE = 2;

struct ArrayCell {
    uint8_t header;
    uint8_t flags[2];
    uint8_t zero;
    AreaRef elements;
    uint32_t length;
    uint32_t capacity;
};

struct AssocArrayCell {
    uint8_t header;
    uint8_t flags[2];
    uint8_t zero;
    AreaRef pairs;
    uint32_t count;
    uint32_t capacity;
};

struct HashCell {
    uint8_t header;
    uint8_t flags[2];
    uint8_t zero;
    uint16_t count;
    uint16_t capacity;
    AreaRef pairs;
    uint32_t class_name;  // name index, 0 = plain hash
};

struct OperationCell {
    uint8_t header;
    uint8_t module;         // bits 0-6 module number, bit 7 = not a stopping point
    uint8_t operand_count;  // 255 = long form, count in `position`
    uint8_t opcode;
    uint32_t operand[2];    // inline operands, or operand[0] = AreaRef of the vector
    uint32_t position;      // bits 0-15 line, 16-30 column
};
constexpr uint8_t OPERATION_LONG_FORM = 255;
constexpr uint8_t MODULE_NO_STOP = 0x80;

struct FunctionCell {
    uint8_t header;
    uint8_t module;
    uint8_t param_count;
    uint8_t local_count;
    ValueHandle body;
    AreaRef names;
    uint16_t first_line;
    uint16_t last_line;
};

static_assert(sizeof(IntegerCell) == 16 && sizeof(FloatCell) == 16 && sizeof(DateCell) == 16);
static_assert(sizeof(StringCell) == 16 && sizeof(ArrayCell) == 16 && sizeof(AssocArrayCell) == 16);
static_assert(sizeof(HashCell) == 16 && sizeof(OperationCell) == 16 && sizeof(FunctionCell) == 16);

// ---- Area records ----------------------------------------------------------

// KIND_ERROR: header, zero, message length (2-3), code length (4-5), code text
// from byte 6 (NUL-terminated), message from byte 8 + code length.
struct ErrorRecordHeader {
    uint8_t header;
    uint8_t zero;
    uint16_t message_length;
    uint16_t code_length;
};
inline const char* error_code_text(const uint8_t* rec) { return reinterpret_cast<const char*>(rec + 6); }
inline const char* error_message(const uint8_t* rec) {
    uint16_t code_len;
    std::memcpy(&code_len, rec + 4, 2);
    return reinterpret_cast<const char*>(rec + 8 + code_len);
}
inline uint16_t error_code_length(const uint8_t* rec) { uint16_t n; std::memcpy(&n, rec + 4, 2); return n; }
inline uint16_t error_message_length(const uint8_t* rec) { uint16_t n; std::memcpy(&n, rec + 2, 2); return n; }

// KIND_REGEXP flag bits in byte 1.
constexpr uint8_t REGEXP_FLAG_M = 0x04, REGEXP_FLAG_I = 0x08, REGEXP_FLAG_G = 0x10,
                  REGEXP_FLAG_Y = 0x20, REGEXP_FLAG_S = 0x40;

// ---- Access -------------------------------------------------------------------
inline uint8_t* value_ptr(ValueHandle h) {
    return is_area_kind(kind_of(h)) ? area_ptr(h & 0xFFFFFF) : cell_of(h);
}
template <class Cell> inline Cell* cell_as(ValueHandle h) { return reinterpret_cast<Cell*>(cell_of(h)); }

// ---- Ownership ---------------------------------------------------------------
// Byte 0 of every stored value is its header: the kind in the low nibble, the
// count of words that own the value (bindings, globals, container slots,
// holds) in the high nibble. The rules every caller keeps:
// - A result is either borrowed (a constant, a literal, a variable's value:
//   someone else owns it) or new with count 0. A count-0 value is a
//   temporary: whoever receives it stores it (retain) or frees it (dispose).
// - release takes a reference back and frees the value at its last one;
//   release_keep takes it back without freeing, handing a value that was
//   held across some work back as a temporary.
// - PERMANENT_COUNT (15) marks a value shared for good (the small Integers of
//   run mode, values every module image holds): never counted up or down,
//   never freed.
// - Only the sole owner may write into an Integer cell where it stands: the
//   one location that holds it (count 1), or whoever made the temporary
//   (count 0). Anyone else stores a new Integer instead.
// The counting is inline: it runs for nearly every value the evaluator
// touches. Freeing stays out of line.
constexpr uint8_t COUNT_ONE = 16;  // one reference, in header units
inline uint8_t header_of(unsigned kind, unsigned count) { return uint8_t(kind + COUNT_ONE * count); }
inline unsigned count_in(uint8_t header) { return header >> 4; }
inline Kind kind_in(uint8_t header) { return Kind(header & 15); }
inline unsigned ref_count(ValueHandle h) { return count_in(value_ptr(h)[0]); }
// One more owner, unless the value is permanent.
inline void add_reference(uint8_t& header) {
    if (header < PERMANENT_COUNT * COUNT_ONE) header = uint8_t(header + COUNT_ONE);
}
// One owner fewer, never below 0 and never for a permanent value; no freeing.
inline void take_reference(uint8_t& header) {
    if (count_in(header) - 1u < PERMANENT_COUNT - 1u) header = uint8_t(header - COUNT_ONE);
}
// Held by exactly `owners` words (a permanent value never is).
inline bool owned_by(uint8_t header, unsigned owners) { return count_in(header) == owners; }
inline bool is_temporary(ValueHandle h) { return has_storage(h) && count_in(value_ptr(h)[0]) == 0; }

inline ValueHandle retain(ValueHandle h) {
    if (has_storage(h)) add_reference(value_ptr(h)[0]);
    return h;
}
unsigned retain_was(ValueHandle h);  // previous count << 4 (0 = was unowned)
// Count 0 or 1 met by release: frees the value (after the decrement).
void release_last(ValueHandle h);
inline void release(ValueHandle h) {
    if (!has_storage(h)) return;
    uint8_t* p = value_ptr(h);
    unsigned count = count_in(p[0]);
    if (count == PERMANENT_COUNT) return;
    if (count > 1) {
        p[0] = uint8_t(p[0] - COUNT_ONE);
        return;
    }
    release_last(h);
}
inline void release_keep(ValueHandle h) {
    if (has_storage(h)) take_reference(value_ptr(h)[0]);
}
void free_value(ValueHandle h);
// Frees a temporary; a value someone owns is left alone.
inline void dispose(ValueHandle h) {
    if (is_temporary(h)) free_value(h);
}

// ---- Constructors (count 0, unowned) --------------------------------------
ValueHandle new_integer(int32_t v);
// An Integer for an operation's result. In run mode a small value comes as a
// shared permanent cell, else as new_integer.
ValueHandle small_integer_cell(int32_t v);
inline ValueHandle integer_result(int32_t v) {
    uint32_t at = uint32_t(v) - uint32_t(SMALL_INTEGER_LOW);
    if (at < SMALL_INTEGER_COUNT && g_heap.run_mode) {
        ValueHandle h = g_heap.small_integer[at];
        return h ? h : small_integer_cell(v);
    }
    return new_integer(v);
}
ValueHandle new_float(double v);
// Copies `len` bytes; the buffer gets len + 12 bytes, capacity len + 8.
ValueHandle new_string(const char* text, size_t len);
inline ValueHandle new_string(const char* text) { return new_string(text, std::strlen(text)); }
ValueHandle single_character_cell(char c);
// A String of one ASCII character: during a run, a permanent cell shared by
// every such result (scripts walk texts a character at a time); otherwise as
// new_string. Nothing writes into a String it does not own alone.
inline ValueHandle single_character_string(char c) {
    unsigned code = static_cast<unsigned char>(c);
    if (code < 128 && g_heap.run_mode) {
        ValueHandle h = g_heap.single_character[code];
        return h ? h : single_character_cell(c);
    }
    return new_string(&c, 1);
}
// A string with room for `capacity` bytes and length 0.
ValueHandle new_string_with_capacity(size_t capacity);
// An array of `length` undefined elements: capacity length + 10, vector 4*length + 40 bytes.
ValueHandle new_array(uint32_t length);
// A hash with `count` zeroed pairs: capacity count + 10, vector 8*count + 80 bytes.
ValueHandle new_hash(uint32_t count);
ValueHandle new_assoc_array(uint32_t count);
// Error value with the code text and the message.
ValueHandle new_error(const char* code, size_t code_len, const char* message, size_t message_len);

// ---- Convenience readers ------------------------------------------------------
inline int32_t integer_value(ValueHandle h) { return cell_as<IntegerCell>(h)->value; }
inline double float_value(ValueHandle h) { return cell_as<FloatCell>(h)->value; }
// An Integer's or a Float's number.
inline double number_value(ValueHandle h) { return is_integer(h) ? double(integer_value(h)) : float_value(h); }
// An Integer, or a Float that is a number and not a database reference.
inline bool is_plain_number(ValueHandle h) {
    return is_integer(h) || (is_float(h) && cell_as<FloatCell>(h)->subtype == 0);
}
inline const char* string_text(ValueHandle h) {
    return reinterpret_cast<const char*>(area_ptr(cell_as<StringCell>(h)->text));
}
inline uint32_t string_length(ValueHandle h) { return cell_as<StringCell>(h)->length; }
inline Word32* array_elements(ValueHandle h) { return reinterpret_cast<Word32*>(area_ptr(cell_as<ArrayCell>(h)->elements)); }
inline uint32_t array_length(ValueHandle h) { return cell_as<ArrayCell>(h)->length; }
// Pairs are (key, value) words.
inline Word32* hash_pairs(ValueHandle h) { return reinterpret_cast<Word32*>(area_ptr(cell_as<HashCell>(h)->pairs)); }
inline uint32_t hash_count(ValueHandle h) { return cell_as<HashCell>(h)->count; }
inline Word32* assoc_pairs(ValueHandle h) {
    return reinterpret_cast<Word32*>(area_ptr(cell_as<AssocArrayCell>(h)->pairs));
}
inline uint32_t assoc_count(ValueHandle h) { return cell_as<AssocArrayCell>(h)->count; }

// Changes whenever a Hash's keys may stop being where they were (a pair is
// removed or the hash is freed, its handle free for another): positions
// remembered for faster key lookups are trusted only under the same value.
extern uint32_t g_hash_key_epoch;
inline void hash_keys_moved() { ++g_hash_key_epoch; }

// Appends to an array, growing the vector by allocate-copy-free; the value is retained.
void array_push(ValueHandle array, ValueHandle value);
// Appends to a String's text where it stands, growing its buffer
// geometrically; false for a template literal or past the length limit.
// Only the String's sole owner may call it: `+=` does, so that building a
// string in a loop does not copy it every time.
bool append_in_place(ValueHandle string, const char* text, uint32_t length);
// Sets or adds a hash pair (key is a name index); the value is retained, an old one released.
void hash_set(ValueHandle hash, uint32_t name_index, ValueHandle value);
// Adds a pair whose key the caller knows to be absent (no search).
void hash_append(ValueHandle hash, uint32_t name_index, ValueHandle value);
// Finds the value of a hash key; VALUE_SENTINEL when absent.
ValueHandle hash_get(ValueHandle hash, uint32_t name_index);
// Sets or adds an associative-array pair; key is a name index (kind nibble 0) or
// an integer key (make_handle(KIND_INTEGER, n)).
void assoc_set(ValueHandle assoc, uint32_t key, ValueHandle value);
// Adds a pair whose key the caller knows to be absent (no search).
void assoc_append(ValueHandle assoc, uint32_t key, ValueHandle value);

}  // namespace tolv
