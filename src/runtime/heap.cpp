#include "runtime/heap.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/reserved_memory.h"
#include "runtime/errors.h"
#include "runtime/heap_check.h"
#include "runtime/operation_notes.h"
#include "runtime/value.h"

namespace tolv {

HeapState g_heap;

const uint32_t AREA_SLOT_SIZE[16] = {0, 32, 64, 96, 128, 192, 256, 384, 448, 512, 768, 1024, 1280, 1536, 2048, 0};
const uint32_t AREA_SLOTS_PER_BLOCK[16] = {0, 256, 256, 256, 128, 128, 64, 64, 32, 32, 16, 16, 8, 8, 8, 0};

const uint8_t FREE_SLOT_MARKER[9] = {0xFF, 0x01, 0xEE, 0x02, 0xDD, 0x03, 0xCC, 0x04, 0x00};

namespace {

constexpr uint32_t CELL_BLOCK_BYTES = 4096;
constexpr uint32_t CELLS_PER_BLOCK = 256;
constexpr uint32_t PAGE_BYTES = 4096;
constexpr uint32_t PAGE_WORDS = 1024;
constexpr uint32_t INITIAL_CELL_BLOCKS = 128;
constexpr uint32_t CELL_TABLE_STEP = 128;
constexpr uint32_t INITIAL_PAGES = 128;
constexpr uint32_t PAGE_TABLE_STEP = 128;
constexpr uint32_t CLASS_TABLE_STEP = 256;
constexpr uint32_t INITIAL_SINGLES = 1024;
constexpr uint32_t SINGLE_TABLE_STEP = 512;

// A marker alone could be forged by data that happens to start with the same
// nine bytes (a string buffer holding request bytes, say). The two spare
// bytes that the stride leaves after every slot carry a second tag that no
// owner writes, so a live slot is never taken for a free one.
constexpr uint8_t FREE_SLOT_TAG[2] = {0xA5, 0x5A};

// First tables; never released, only outgrown.
uint8_t* s_cell_block[INITIAL_CELL_BLOCKS];
uint32_t s_cell_block_freed[INITIAL_CELL_BLOCKS];
uint32_t s_cell_block_high[INITIAL_CELL_BLOCKS];
// One bit per cell block that holds freed cells, so that the next block to
// take cells from is found in a few words instead of a walk over every block.
uint64_t s_blocks_with_freed[CELL_BLOCK_LIMIT / 64];
// One bit per word above that is not zero: the highest block is two bit scans away.
uint64_t s_freed_block_words;
static_assert(CELL_BLOCK_LIMIT / 64 <= 64);

inline void mark_block_freed(uint32_t block) {
    s_blocks_with_freed[block / 64] |= uint64_t(1) << (block % 64);
    s_freed_block_words |= uint64_t(1) << (block / 64);
}
inline void mark_block_used_up(uint32_t block) {
    uint64_t& word = s_blocks_with_freed[block / 64];
    word &= ~(uint64_t(1) << (block % 64));
    if (!word) s_freed_block_words &= ~(uint64_t(1) << (block / 64));
}
// Which cells of each block are freed, so that the next freed cell below the
// one taken is found in four words instead of a walk over the headers.
uint64_t s_freed_slots[CELL_BLOCK_LIMIT][CELLS_PER_BLOCK / 64];
inline void mark_slot_freed(uint32_t block, uint32_t slot) {
    s_freed_slots[block][slot / 64] |= uint64_t(1) << (slot % 64);
}
inline void mark_slot_taken(uint32_t block, uint32_t slot) {
    s_freed_slots[block][slot / 64] &= ~(uint64_t(1) << (slot % 64));
}
// The highest freed slot of the block, or -1.
inline int32_t highest_freed_slot(uint32_t block) {
    for (int32_t w = CELLS_PER_BLOCK / 64 - 1; w >= 0; --w)
        if (uint64_t bits = s_freed_slots[block][w]) return w * 64 + 63 - __builtin_clzll(bits);
    return -1;
}
int32_t highest_block_with_freed() {
    if (!s_freed_block_words) return -1;
    int32_t w = 63 - __builtin_clzll(s_freed_block_words);
    return w * 64 + 63 - __builtin_clzll(s_blocks_with_freed[w]);
}
uint8_t* s_page[INITIAL_PAGES];
uint32_t s_page_used[INITIAL_PAGES];
uint8_t* s_single[INITIAL_SINGLES];

// Pages that begin a system allocation (a multi-page request is one), so the
// reset knows what to release.
bool s_page_starts_allocation[PAGE_LIMIT];

// Set while a heap limit error is being raised: building the error value must
// not run into the same limit again.
bool s_raising = false;

struct RaisingGuard {
    RaisingGuard() { s_raising = true; }
    ~RaisingGuard() { s_raising = false; }
};

// Bytes of value storage taken from the system, and the bound on them. The
// bound outlives heap_reset: it comes from the configuration.
size_t s_value_memory = 0;
size_t s_value_memory_limit = VALUE_MEMORY_DEFAULT;
// What the bookkeeping walk finds the blocks and singles to hold.
size_t s_checked_bytes = 0;

[[noreturn]] void raise_out_of_memory();

// Raises 1400 when `bytes` more of value storage would pass the bound (the
// error value being built for a failure may always have its few bytes).
// Called before anything is taken, so that a refusal leaves no trace.
void check_value_memory(size_t bytes) {
    if (bytes > s_value_memory_limit - s_value_memory && !s_raising) raise_out_of_memory();
}

[[noreturn]] void raise_out_of_memory() {
    if (s_raising) std::abort();  // not even the error value fits
    RaisingGuard guard;
    raise(Error::NO_MEMORY);
}

template <class... Args>
[[noreturn]] void raise_limit(ErrorForm<std::type_identity_t<Args>...> form, Args... args) {
    if (s_raising) std::abort();  // the error value itself hit a limit
    RaisingGuard guard;
    raise(form, args...);
}

void* system_alloc(size_t bytes) {
    void* p = std::malloc(bytes);
    if (!p) raise_out_of_memory();
    return p;
}

void* system_calloc(size_t bytes) {
    void* p = std::calloc(1, bytes);
    if (!p) raise_out_of_memory();
    return p;
}

// Allocate-copy-zero growth; the static first array is never released.
template <class T>
T* grow_table(T* old, uint32_t old_capacity, uint32_t new_capacity, const T* static_first) {
    T* table = static_cast<T*>(system_alloc(sizeof(T) * new_capacity));
    if (old_capacity) std::memcpy(table, old, sizeof(T) * old_capacity);
    std::memset(table + old_capacity, 0, sizeof(T) * (new_capacity - old_capacity));
    if (old != static_first) std::free(old);
    return table;
}

// ---- Cell heap ---------------------------------------------------------------

void ensure_cell_table(uint32_t block) {
    HeapState& H = g_heap;
    if (H.cell_block_capacity == 0) {
        H.cell_block = s_cell_block;
        H.cell_block_freed = s_cell_block_freed;
        H.cell_block_high = s_cell_block_high;
        H.cell_block_capacity = INITIAL_CELL_BLOCKS;
    }
    if (block < H.cell_block_capacity) return;
    uint32_t capacity = H.cell_block_capacity;
    while (capacity <= block) capacity += CELL_TABLE_STEP;
    H.cell_block = grow_table(H.cell_block, H.cell_block_capacity, capacity, s_cell_block);
    H.cell_block_freed = grow_table(H.cell_block_freed, H.cell_block_capacity, capacity, s_cell_block_freed);
    H.cell_block_high = grow_table(H.cell_block_high, H.cell_block_capacity, capacity, s_cell_block_high);
    H.cell_block_capacity = capacity;
}

uint8_t* allocate_cell_block(uint32_t block) {
    if (block >= CELL_BLOCK_LIMIT) raise_limit(Error::CELL_AREA_OVERFLOW);
    ensure_cell_table(block);
    HeapState& H = g_heap;
    if (!H.cell_base) {
        H.cell_base = reserve_zeroed_memory(size_t(CELL_BLOCK_LIMIT) * CELL_BLOCK_BYTES);
        if (!H.cell_base) raise_out_of_memory();
    }
    if (!H.cell_block[block]) {
        // Zeroed (fresh pages or rezeroed at reset) so that a downward scan
        // never meets a stray 0xFF header.
        check_value_memory(CELL_BLOCK_BYTES);
        s_value_memory += CELL_BLOCK_BYTES;
        H.cell_block[block] = H.cell_base + size_t(block) * CELL_BLOCK_BYTES;
        H.cell_block_freed[block] = 0;
        H.cell_block_high[block] = 0;
    }
    return H.cell_block[block];
}

// Takes the recorded highest freed cell and moves the hints to the next one.
uint32_t take_freed_cell(uint32_t* slot_out) {
    HeapState& H = g_heap;
    uint32_t block = uint32_t(H.highest_freed_block);
    uint32_t slot = H.cell_block_high[block];
    mark_slot_taken(block, slot);
    if (--H.cell_block_freed[block] > 0) {
        int32_t next = highest_freed_slot(block);
        if (next >= 0) {
            H.cell_block_high[block] = uint32_t(next);
        } else {
            H.cell_block_freed[block] = 0;
        }
    }
    if (H.cell_block_freed[block] == 0) mark_block_used_up(block);
    if (--H.freed_cells > 0 && H.cell_block_freed[block] == 0) {
        // This block is used up: the next lower one that has freed cells
        // (every block above it has none).
        int32_t b = highest_block_with_freed();
        if (b >= 0) {
            H.highest_freed_block = b;
        } else {
            H.freed_cells = 0;
            H.highest_freed_block = -1;
        }
    } else if (H.freed_cells == 0) {
        H.highest_freed_block = -1;
    }
    *slot_out = slot;
    return block;
}

// ---- Area heap, class 0 --------------------------------------------------------

void ensure_page_table(uint32_t pages_needed) {
    HeapState& H = g_heap;
    if (H.page_capacity == 0) {
        H.page = s_page;
        H.page_used = s_page_used;
        H.page_capacity = INITIAL_PAGES;
    }
    if (pages_needed <= H.page_capacity) return;
    uint32_t capacity = H.page_capacity;
    while (capacity < pages_needed) capacity += PAGE_TABLE_STEP;
    H.page = grow_table(H.page, H.page_capacity, capacity, s_page);
    H.page_used = grow_table(H.page_used, H.page_capacity, capacity, s_page_used);
    H.page_capacity = capacity;
}

// Obtains `count` consecutive fresh pages from one allocation, starting at `first`.
uint8_t* allocate_pages(uint32_t first, uint32_t count) {
    if (first >= PAGE_LIMIT || count > PAGE_LIMIT - first) raise_limit(Error::PAGE_AREA_OVERFLOW);
    ensure_page_table(first + count);
    HeapState& H = g_heap;
    uint8_t* base = static_cast<uint8_t*>(system_calloc(size_t(count) * PAGE_BYTES));
    for (uint32_t i = 0; i < count; ++i) {
        H.page[first + i] = base + size_t(i) * PAGE_BYTES;
        H.page_used[first + i] = 0;
        s_page_starts_allocation[first + i] = (i == 0);
    }
    if (int32_t(first + count - 1) > H.last_page) H.last_page = int32_t(first + count - 1);
    return base;
}

AreaRef page_alloc(size_t size, uint8_t** out) {
    HeapState& H = g_heap;
    if (size > size_t(PAGE_LIMIT) * PAGE_BYTES) raise_limit(Error::PAGE_AREA_OVERFLOW);
    uint32_t words = uint32_t((size + 4) / 4);
    ensure_page_table(0);
    for (int32_t p = int32_t(H.page_floor); p <= H.last_page; ++p) {
        if (!H.page[p] || H.page_used[p] + words > PAGE_WORDS) continue;
        uint32_t word = H.page_used[p];
        H.page_used[p] += words;
        uint8_t* at = H.page[p] + 4 * word;
        std::memset(at, 0, size_t(words) * 4);
        if (out) *out = at;
        return (uint32_t(p) << 10) | word;
    }
    uint32_t first = uint32_t(H.last_page + 1);
    if (first < H.page_floor) first = H.page_floor;
    // A request that does not fit one page spans consecutive pages: every one
    // but the last is full, the last holds the remainder.
    uint32_t count = (words + PAGE_WORDS - 1) / PAGE_WORDS;
    uint8_t* base = allocate_pages(first, count);
    for (uint32_t i = 0; i + 1 < count; ++i) H.page_used[first + i] = PAGE_WORDS;
    H.page_used[first + count - 1] = words - (count - 1) * PAGE_WORDS;
    if (out) *out = base;
    return first << 10;
}

// ---- Area heap, classes 1-14 -----------------------------------------------------

inline uint16_t block_u16(const uint8_t* block, unsigned offset) {
    uint16_t v;
    std::memcpy(&v, block + offset, 2);
    return v;
}
inline void set_block_u16(uint8_t* block, unsigned offset, uint16_t v) { std::memcpy(block + offset, &v, 2); }
// Block header: bytes 0-1 slots handed out, 4-5 freed slots, 6-7 highest freed slot.
constexpr unsigned HANDED_OUT = 0, FREED = 4, HIGHEST_FREED = 6;

inline uint8_t* slot_at(uint8_t* block, unsigned cls, uint32_t slot) { return block + 8 + area_stride(cls) * slot; }

inline bool slot_is_free(const uint8_t* slot, unsigned cls) {
    return std::memcmp(slot, FREE_SLOT_MARKER, sizeof FREE_SLOT_MARKER) == 0 &&
           std::memcmp(slot + AREA_SLOT_SIZE[cls], FREE_SLOT_TAG, 2) == 0;
}

inline uint8_t* hand_out(uint8_t* block, unsigned cls, uint32_t slot) {
    uint8_t* at = slot_at(block, cls, slot);
    std::memset(at, 0, sizeof FREE_SLOT_MARKER);
    std::memset(at + AREA_SLOT_SIZE[cls], 0, 2);
    return at;
}

uint8_t* allocate_class_block(SizeClass& sc, unsigned cls, uint32_t block) {
    if (block >= sc.block_capacity) {
        uint32_t capacity = sc.block_capacity + CLASS_TABLE_STEP;
        sc.blocks = grow_table<uint8_t*>(sc.blocks, sc.block_capacity, capacity, nullptr);
        sc.block_capacity = capacity;
    }
    const size_t bytes = size_t(AREA_SLOTS_PER_BLOCK[cls]) * area_stride(cls) + 12;
    check_value_memory(bytes);
    uint8_t* b = static_cast<uint8_t*>(system_alloc(bytes));
    s_value_memory += bytes;
    set_block_u16(b, HANDED_OUT, 1);
    set_block_u16(b, 2, 0);
    set_block_u16(b, FREED, 0);
    set_block_u16(b, HIGHEST_FREED, 0);
    sc.blocks[block] = b;
    sc.current_block = int32_t(block);
    return b;
}

AreaRef single_alloc(size_t size, uint8_t** out);

AreaRef class_alloc(unsigned cls, size_t size, uint8_t** out) {
    SizeClass& sc = g_heap.size_class[cls];
    uint32_t block, slot;
    if (!sc.blocks) {
        sc.blocks = grow_table<uint8_t*>(nullptr, 0, CLASS_TABLE_STEP, nullptr);
        sc.block_capacity = CLASS_TABLE_STEP;
        allocate_class_block(sc, cls, 0);
        block = 0;
        slot = 0;
    } else if (sc.blocks_with_free > 0) {
        block = uint32_t(sc.highest_free_block);
        uint8_t* b = sc.blocks[block];
        slot = block_u16(b, HIGHEST_FREED);
        uint16_t freed = uint16_t(block_u16(b, FREED) - 1);
        if (freed > 0) {
            bool found = false;
            for (int32_t s = int32_t(slot) - 1; s >= 0; --s) {
                if (slot_is_free(slot_at(b, cls, uint32_t(s)), cls)) {
                    set_block_u16(b, HIGHEST_FREED, uint16_t(s));
                    found = true;
                    break;
                }
            }
            if (!found) freed = 0;
        }
        set_block_u16(b, FREED, freed);
        if (freed == 0 && --sc.blocks_with_free > 0) {
            int32_t lower = int32_t(block) - 1;
            while (lower >= 0 && block_u16(sc.blocks[lower], FREED) == 0) --lower;
            if (lower >= 0) {
                sc.highest_free_block = lower;
            } else {
                sc.blocks_with_free = 0;
                sc.highest_free_block = -1;
            }
        } else if (sc.blocks_with_free == 0) {
            sc.highest_free_block = -1;
        }
    } else {
        block = uint32_t(sc.current_block);
        uint8_t* b = sc.blocks[block];
        slot = block_u16(b, HANDED_OUT);
        if (slot < AREA_SLOTS_PER_BLOCK[cls]) {
            set_block_u16(b, HANDED_OUT, uint16_t(slot + 1));
        } else {
            ++block;
            if (block >= CLASS_BLOCK_LIMIT) {
                // The error value itself must not need this class again.
                if (s_raising) return single_alloc(size, out);
                raise_limit(Error::CLASS_AREA_OVERFLOW, cls);
            }
            allocate_class_block(sc, cls, block);
            slot = 0;
        }
    }
    uint8_t* at = hand_out(sc.blocks[block], cls, slot);
    if (out) *out = at;
    return (uint32_t(cls) << 20) | (block << 8) | slot;
}

void class_free(unsigned cls, uint32_t block, uint32_t slot) {
    SizeClass& sc = g_heap.size_class[cls];
    if (!sc.blocks || block >= sc.block_capacity || !sc.blocks[block]) return;
    uint8_t* b = sc.blocks[block];
    if (slot >= block_u16(b, HANDED_OUT)) return;
    uint8_t* at = slot_at(b, cls, slot);
    if (slot_is_free(at, cls)) return;  // freed twice: keep the counts right
    std::memcpy(at, FREE_SLOT_MARKER, sizeof FREE_SLOT_MARKER);
    std::memcpy(at + AREA_SLOT_SIZE[cls], FREE_SLOT_TAG, 2);
    bool class_had_none = sc.blocks_with_free == 0;
    uint16_t freed = block_u16(b, FREED);
    if (freed == 0) {
        ++sc.blocks_with_free;
        set_block_u16(b, HIGHEST_FREED, uint16_t(slot));
    } else if (slot > block_u16(b, HIGHEST_FREED)) {
        set_block_u16(b, HIGHEST_FREED, uint16_t(slot));
    }
    set_block_u16(b, FREED, uint16_t(freed + 1));
    if (class_had_none || sc.highest_free_block < int32_t(block)) sc.highest_free_block = int32_t(block);
}

// ---- Area heap, class 15 ---------------------------------------------------------

// Keeps single payloads 16-byte aligned, as malloc's are.
constexpr size_t SINGLE_HEADER = 16;

void release_single(uint8_t* payload) {
    size_t size;
    std::memcpy(&size, payload - SINGLE_HEADER, sizeof size);
    s_value_memory -= size + SINGLE_HEADER;
    std::free(payload - SINGLE_HEADER);
}

AreaRef single_alloc(size_t size, uint8_t** out) {
    HeapState& H = g_heap;
    check_value_memory(size + SINGLE_HEADER);
    if (H.single_capacity == 0) {
        H.single = s_single;
        H.single_capacity = INITIAL_SINGLES;
    }
    uint32_t index;
    if (H.single_freed > 0) {
        index = uint32_t(H.highest_freed_single);
        if (--H.single_freed > 0) {
            bool found = false;
            for (int32_t i = int32_t(index) - 1; i >= 0; --i) {
                if (!H.single[i]) {
                    H.highest_freed_single = i;
                    found = true;
                    break;
                }
            }
            if (!found) {
                H.single_freed = 0;
                H.highest_freed_single = 0;
            }
        }
    } else {
        if (H.single_used >= SINGLE_LIMIT) raise_limit(Error::SINGLE_AREA_OVERFLOW);
        if (H.single_used >= H.single_capacity) {
            uint32_t capacity = H.single_capacity + SINGLE_TABLE_STEP;
            H.single = grow_table(H.single, H.single_capacity, capacity, s_single);
            H.single_capacity = capacity;
        }
        index = H.single_used++;
    }
    // The size goes in a header before the payload, for single_free's count.
    uint8_t* p = static_cast<uint8_t*>(system_alloc(size + SINGLE_HEADER)) + SINGLE_HEADER;
    std::memcpy(p - SINGLE_HEADER, &size, sizeof size);
    s_value_memory += size + SINGLE_HEADER;
    H.single[index] = p;
    if (out) *out = p;
    return (uint32_t(AREA_CLASS_SINGLE) << 20) | index;
}

void single_free(uint32_t index) {
    HeapState& H = g_heap;
    if (index >= H.single_used || !H.single[index]) return;
    release_single(H.single[index]);
    H.single[index] = nullptr;
    if (H.single_freed == 0 || H.highest_freed_single < int32_t(index)) H.highest_freed_single = int32_t(index);
    ++H.single_freed;
}

}  // namespace

unsigned area_class_for(size_t size) {
    static const uint8_t by_32[64] = {
        1,  2,  3,  4,  5,  5,  6,  6,  7,  7,  7,  7,  8,  8,  9,  9,   //
        10, 10, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 11, 11, 11,  //
        12, 12, 12, 12, 12, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13,  //
        14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14,
    };
    size_t q = size / 32;
    return q < 64 ? by_32[q] : AREA_CLASS_SINGLE;
}

ValueHandle new_cell(unsigned kind, unsigned initial_count) {
    HeapState& H = g_heap;
    uint32_t block, slot;
    if (H.run_mode && H.freed_cells > 0) {
        block = take_freed_cell(&slot);
    } else {
        if (H.current_cell_block < int32_t(H.cell_floor)) {
            H.current_cell_block = int32_t(H.cell_floor);
            ensure_cell_table(H.cell_floor);
            // A block already there was filled by someone else: treat it as full.
            H.next_cell_slot = H.cell_block[H.cell_floor] ? CELLS_PER_BLOCK : 0;
        }
        block = uint32_t(H.current_cell_block);
        ensure_cell_table(block);
        if (!H.cell_block[block]) {
            allocate_cell_block(block);
            slot = 0;
            H.next_cell_slot = 1;
        } else if (H.next_cell_slot < CELLS_PER_BLOCK) {
            slot = H.next_cell_slot++;
        } else {
            allocate_cell_block(block + 1);
            block = block + 1;
            H.current_cell_block = int32_t(block);
            slot = 0;
            H.next_cell_slot = 1;
        }
    }
    uint8_t* cell = H.cell_block[block] + slot * 16;
    std::memset(cell, 0, 16);
    cell[0] = header_of(kind, initial_count);
    return (uint32_t(kind) << 24) | (block << 8) | slot;
}

void cell_free(ValueHandle h) {
    HeapState& H = g_heap;
    uint32_t block = (h >> 8) & 0xFFF;
    uint32_t slot = h & 0xFF;
    uint8_t* cell = H.cell_block[block] + slot * 16;
    if (cell[0] == 0xFF) return;  // freed twice: keep the counts right
    cell[0] = 0xFF;
    mark_slot_freed(block, slot);
    if (H.cell_block_freed[block] == 0 || H.cell_block_high[block] < slot) H.cell_block_high[block] = slot;
    ++H.cell_block_freed[block];
    mark_block_freed(block);
    if (H.freed_cells == 0 || H.highest_freed_block < int32_t(block)) H.highest_freed_block = int32_t(block);
    ++H.freed_cells;
}

ValueHandle cell_handle_of(const uint8_t* cell, unsigned kind) {
    const HeapState& H = g_heap;
    uintptr_t address = reinterpret_cast<uintptr_t>(cell);
    uintptr_t base = reinterpret_cast<uintptr_t>(H.cell_base);
    if (base && address >= base && address < base + size_t(CELL_BLOCK_LIMIT) * CELL_BLOCK_BYTES) {
        uint32_t number = uint32_t((address - base) / 16);
        uint32_t b = number / CELLS_PER_BLOCK;
        if (b < H.cell_block_capacity && H.cell_block[b]) return (uint32_t(kind) << 24) | number;
    }
    raise(Error::SELF_16_SYSTEM);
}

AreaRef area_alloc(size_t size, uint8_t** out) {
    if (!g_heap.run_mode) {
        if (s_raising) {
            // The error value of a full page heap goes where pages are not needed.
            HeapState& H = g_heap;
            uint32_t words = uint32_t(size / 4 + 1);
            bool fits = false;
            for (int32_t p = int32_t(H.page_floor); p <= H.last_page && !fits; ++p)
                fits = H.page[p] && H.page_used[p] + words <= PAGE_WORDS;
            if (!fits && H.last_page + 1 >= int32_t(PAGE_LIMIT)) return single_alloc(size, out);
        }
        return page_alloc(size, out);
    }
    unsigned cls = area_class_for(size);
    if (cls == AREA_CLASS_SINGLE) return single_alloc(size, out);
    return class_alloc(cls, size, out);
}

void area_free(AreaRef ref) {
    if (!g_heap.run_mode) return;
    unsigned cls = (ref >> 20) & 15;
    if (cls == 0) return;
    if (cls == AREA_CLASS_SINGLE) {
        single_free(ref & 0xFFFFF);
        return;
    }
    class_free(cls, (ref >> 8) & 0xFFF, ref & 0xFF);
}

void set_run_mode() { g_heap.run_mode = true; }

void set_heap_floors() {
    HeapState& H = g_heap;
    H.cell_floor = uint32_t(H.current_cell_block + 1);
    H.page_floor = uint32_t(H.last_page + 1);
}

uint8_t* claim_cell_block(uint32_t block) {
    HeapState& H = g_heap;
    if (block < H.cell_block_capacity && H.cell_block[block]) raise_limit(Error::CELL_AREA_OVERFLOW);
    uint8_t* b = allocate_cell_block(block);
    if (int32_t(block) >= H.current_cell_block) {
        H.current_cell_block = int32_t(block);
        H.next_cell_slot = CELLS_PER_BLOCK;
    }
    return b;
}

uint8_t* claim_pages(uint32_t first, uint32_t count) {
    HeapState& H = g_heap;
    ensure_page_table(0);
    for (uint32_t i = 0; i < count && first + i < H.page_capacity; ++i)
        if (H.page[first + i]) raise_limit(Error::PAGE_AREA_OVERFLOW);
    return allocate_pages(first, count);
}

void heap_reset() {
    HeapState& H = g_heap;
    // The reserved range stays; only its pages go back.
    uint8_t* cell_base = H.cell_base;
    if (cell_base) rezero_memory(cell_base, size_t(CELL_BLOCK_LIMIT) * CELL_BLOCK_BYTES);
    if (H.cell_block != s_cell_block) {
        std::free(H.cell_block);
        std::free(H.cell_block_freed);
        std::free(H.cell_block_high);
    }
    for (uint32_t p = 0; p < H.page_capacity; ++p)
        if (s_page_starts_allocation[p]) std::free(H.page[p]);
    if (H.page != s_page) {
        std::free(H.page);
        std::free(H.page_used);
    }
    for (unsigned cls = 1; cls < AREA_CLASS_SINGLE; ++cls) {
        SizeClass& sc = H.size_class[cls];
        for (uint32_t b = 0; b < sc.block_capacity; ++b) std::free(sc.blocks[b]);
        std::free(sc.blocks);
    }
    for (uint32_t i = 0; i < H.single_used; ++i)
        if (H.single[i]) std::free(H.single[i] - SINGLE_HEADER);
    s_value_memory = 0;
    if (H.single != s_single) std::free(H.single);

    std::memset(s_cell_block, 0, sizeof s_cell_block);
    std::memset(s_cell_block_freed, 0, sizeof s_cell_block_freed);
    std::memset(s_cell_block_high, 0, sizeof s_cell_block_high);
    std::memset(s_blocks_with_freed, 0, sizeof s_blocks_with_freed);
    s_freed_block_words = 0;
    std::memset(s_freed_slots, 0, sizeof s_freed_slots);
    std::memset(s_page, 0, sizeof s_page);
    std::memset(s_page_used, 0, sizeof s_page_used);
    std::memset(s_single, 0, sizeof s_single);
    std::memset(s_page_starts_allocation, 0, sizeof s_page_starts_allocation);
    s_raising = false;
    H = HeapState{};
    H.cell_base = cell_base;
    hash_keys_moved();  // every handle may come back as another hash
    operation_notes_reset();
}

// ---- Bookkeeping walk (tests) ----------------------------------------------------

namespace {

std::string fault(const char* format, long a = 0, long b = 0, long c = 0, long d = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

std::string cell_heap_fault() {
    const HeapState& H = g_heap;
    uint32_t total_freed = 0;
    int32_t highest_block = -1;
    size_t block_bytes = 0;
    for (uint32_t b = 0; b < CELL_BLOCK_LIMIT; ++b) {
        const uint8_t* block = b < H.cell_block_capacity ? H.cell_block[b] : nullptr;
        const uint64_t* bits = s_freed_slots[b];
        bool summary_bit = (s_blocks_with_freed[b / 64] >> (b % 64)) & 1;
        if (!block) {
            if (bits[0] | bits[1] | bits[2] | bits[3]) return fault("cell block %ld: freed bits but no storage", b);
            if (summary_bit) return fault("cell block %ld: marked as holding freed cells but no storage", b);
            continue;
        }
        block_bytes += CELL_BLOCK_BYTES;
        uint32_t freed = 0;
        int32_t highest = -1;
        for (uint32_t slot = 0; slot < CELLS_PER_BLOCK; ++slot) {
            bool bit = (bits[slot / 64] >> (slot % 64)) & 1;
            bool header_freed = block[16 * slot] == FREED_CELL;
            if (bit != header_freed)
                return fault("cell %ld.%ld: freed bit %ld, header %ld", b, slot, bit, block[16 * slot]);
            if (bit) {
                ++freed;
                highest = int32_t(slot);
            }
        }
        if (H.cell_block_freed[b] != freed)
            return fault("cell block %ld: count says %ld freed, bitmap holds %ld", b, H.cell_block_freed[b], freed);
        if (freed && H.cell_block_high[b] != uint32_t(highest))
            return fault("cell block %ld: highest freed slot %ld, bitmap says %ld", b, H.cell_block_high[b], highest);
        if (summary_bit != (freed > 0))
            return fault("cell block %ld: summary bit %ld with %ld freed cells", b, summary_bit, freed);
        total_freed += freed;
        if (freed) highest_block = int32_t(b);
    }
    for (uint32_t w = 0; w < CELL_BLOCK_LIMIT / 64; ++w)
        if (bool((s_freed_block_words >> w) & 1) != (s_blocks_with_freed[w] != 0))
            return fault("cell summary word %ld disagrees with its bits", w);
    if (H.freed_cells != total_freed)
        return fault("cell heap: total says %ld freed, blocks hold %ld", H.freed_cells, total_freed);
    if (H.highest_freed_block != highest_block)
        return fault("cell heap: highest freed block %ld, blocks say %ld", H.highest_freed_block, highest_block);
    if (int32_t(H.current_cell_block) >= 0 && H.next_cell_slot > CELLS_PER_BLOCK)
        return fault("cell heap: next slot %ld past the block", H.next_cell_slot);
    s_checked_bytes = block_bytes;
    return "";
}

std::string page_fault() {
    const HeapState& H = g_heap;
    for (uint32_t p = 0; p < H.page_capacity; ++p) {
        if (!H.page[p]) continue;
        if (int32_t(p) > H.last_page) return fault("page %ld above the last page %ld", p, H.last_page);
        if (H.page_used[p] > PAGE_WORDS) return fault("page %ld: %ld words used", p, H.page_used[p]);
    }
    return "";
}

std::string size_class_fault(unsigned cls) {
    const SizeClass& sc = g_heap.size_class[cls];
    uint32_t blocks_with_free = 0;
    int32_t highest_block = -1;
    const size_t bytes = size_t(AREA_SLOTS_PER_BLOCK[cls]) * area_stride(cls) + 12;
    for (uint32_t b = 0; b < sc.block_capacity; ++b) {
        uint8_t* block = sc.blocks[b];
        if (!block) continue;
        s_checked_bytes += bytes;
        if (int32_t(b) > sc.current_block)
            return fault("class %ld block %ld above the current block %ld", cls, b, sc.current_block);
        uint32_t handed = block_u16(block, HANDED_OUT);
        if (handed > AREA_SLOTS_PER_BLOCK[cls])
            return fault("class %ld block %ld: %ld slots handed out", cls, b, handed);
        uint32_t freed = 0;
        int32_t highest = -1;
        for (uint32_t slot = 0; slot < handed; ++slot) {
            if (!slot_is_free(slot_at(block, cls, slot), cls)) continue;
            ++freed;
            highest = int32_t(slot);
        }
        if (block_u16(block, FREED) != freed)
            return fault("class %ld block %ld: header says %ld freed, slots hold %ld", cls, b,
                         block_u16(block, FREED), freed);
        if (freed && block_u16(block, HIGHEST_FREED) != highest)
            return fault("class %ld block %ld: highest freed slot %ld, slots say %ld", cls, b,
                         block_u16(block, HIGHEST_FREED), highest);
        if (freed) {
            ++blocks_with_free;
            highest_block = int32_t(b);
        }
    }
    if (sc.blocks_with_free != blocks_with_free)
        return fault("class %ld: %ld blocks with free slots counted, %ld found", cls, sc.blocks_with_free,
                     blocks_with_free);
    if (sc.highest_free_block != highest_block)
        return fault("class %ld: highest block with free slots %ld, found %ld", cls, sc.highest_free_block,
                     highest_block);
    return "";
}

std::string single_fault() {
    const HeapState& H = g_heap;
    uint32_t freed = 0;
    int32_t highest = -1;
    for (uint32_t i = 0; i < H.single_used; ++i) {
        if (!H.single[i]) {
            ++freed;
            highest = int32_t(i);
            continue;
        }
        size_t size;
        std::memcpy(&size, H.single[i] - SINGLE_HEADER, sizeof size);
        s_checked_bytes += size + SINGLE_HEADER;
    }
    if (H.single_freed != freed) return fault("singles: %ld freed counted, %ld found", H.single_freed, freed);
    if (freed && H.highest_freed_single != highest)
        return fault("singles: highest freed %ld, found %ld", H.highest_freed_single, highest);
    return "";
}

}  // namespace

std::string heap_bookkeeping_fault() {
    std::string found = cell_heap_fault();
    if (found.empty()) found = page_fault();
    for (unsigned cls = 1; cls < AREA_CLASS_SINGLE && found.empty(); ++cls) found = size_class_fault(cls);
    if (found.empty()) found = single_fault();
    if (found.empty() && s_checked_bytes != s_value_memory)
        found = fault("value memory: %ld bytes counted, %ld held", long(s_value_memory), long(s_checked_bytes));
    return found;
}

void set_value_memory_limit(size_t bytes) { s_value_memory_limit = bytes; }

size_t value_memory_in_use() { return s_value_memory; }

}  // namespace tolv
