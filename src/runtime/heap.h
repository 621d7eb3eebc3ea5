// The runner's two heaps, addressed by handles rather than pointers.
//
// Cell heap: 16-byte cells in 4096-byte blocks of 256, block numbers 0-4095.
// Area heap: class 0 word pages (load mode, permanent), size classes 1-14
// (run mode, reusable slots), class 15 single allocations. Free state lives
// in the storage itself (0xFF cell header, free-slot marker) with
// highest-freed hints and counts instead of linked lists.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolv {

using ValueHandle = uint32_t;
using AreaRef = uint32_t;

// A 32-bit word that may sit at any even address (size-class slots are laid
// out with a stride of slot size + 2). GCC honours the reduced alignment, so
// indexing through this type is well defined and compiles to plain moves.
typedef uint32_t Word32 __attribute__((aligned(1)));

constexpr unsigned CELL_BLOCK_LIMIT = 4096;
constexpr unsigned PAGE_LIMIT = 1024;
constexpr unsigned CLASS_BLOCK_LIMIT = 4096;
constexpr unsigned SINGLE_LIMIT = 0x100000;
constexpr unsigned AREA_CLASS_SINGLE = 15;

// Run mode hands out one permanent Integer cell per small value (see
// new_integer); the cells are made on first use.
constexpr int32_t SMALL_INTEGER_LOW = -256;
constexpr uint32_t SMALL_INTEGER_COUNT = 1280;

struct SizeClass {
    uint8_t** blocks = nullptr;    // block addresses
    uint32_t block_capacity = 0;   // entries in `blocks`
    int32_t current_block = -1;
    uint32_t blocks_with_free = 0;
    int32_t highest_free_block = -1;
};

// Process-wide heap state. Public so the accessors below can stay inline.
struct HeapState {
    // Cell heap: block b sits at cell_base + 4096 * b in one reserved range
    uint8_t* cell_base = nullptr;
    uint8_t** cell_block = nullptr;         // block addresses, nullptr until made
    uint32_t* cell_block_freed = nullptr;   // freed cells per block
    uint32_t* cell_block_high = nullptr;    // highest freed slot per block
    uint32_t cell_block_capacity = 0;
    int32_t current_cell_block = -1;
    uint32_t next_cell_slot = 0;
    uint32_t freed_cells = 0;
    int32_t highest_freed_block = -1;
    uint32_t cell_floor = 0;

    // Area heap, class 0
    uint8_t** page = nullptr;
    uint32_t* page_used = nullptr;          // words used per page
    uint32_t page_capacity = 0;
    int32_t last_page = -1;
    uint32_t page_floor = 0;

    // Area heap, classes 1-14
    SizeClass size_class[15];

    // Area heap, class 15
    uint8_t** single = nullptr;
    uint32_t single_capacity = 0;
    uint32_t single_used = 0;
    uint32_t single_freed = 0;
    int32_t highest_freed_single = -1;

    bool run_mode = false;

    // Permanent Integer cells by value - SMALL_INTEGER_LOW; 0 = not made yet.
    // Part of the state so that a reset forgets them with the cells.
    ValueHandle small_integer[SMALL_INTEGER_COUNT] = {};
    // Permanent one-character Strings by ASCII code, made on first use.
    ValueHandle single_character[128] = {};
};

extern HeapState g_heap;

// Slot size and stride (slot size + 2) per size class 1-14; index 0 and 15 unused.
extern const uint32_t AREA_SLOT_SIZE[16];
extern const uint32_t AREA_SLOTS_PER_BLOCK[16];
inline uint32_t area_stride(unsigned cls) { return AREA_SLOT_SIZE[cls] + 2; }

// Size class for a run-mode request of `size` bytes (1-15).
unsigned area_class_for(size_t size);

// Block and slot (bits 0-19) are the cell's number in the reserved range.
inline uint8_t* cell_of(ValueHandle h) { return g_heap.cell_base + size_t(h & 0xFFFFF) * 16; }

inline uint8_t* area_ptr(AreaRef ref) {
    unsigned cls = (ref >> 20) & 15;
    if (cls == 0) return g_heap.page[(ref >> 10) & 1023] + 4 * (ref & 1023);
    if (cls == AREA_CLASS_SINGLE) return g_heap.single[ref & 0xFFFFF];
    return g_heap.size_class[cls].blocks[(ref >> 8) & 0xFFF] + 8 + area_stride(cls) * (ref & 0xFF);
}

// Returns the handle of a zeroed cell whose header byte is kind + 16 * count.
ValueHandle new_cell(unsigned kind, unsigned initial_count);
void cell_free(ValueHandle h);
// Reverse lookup from a cell address; raises 2495 when no block holds it.
ValueHandle cell_handle_of(const uint8_t* cell, unsigned kind);

// Storage is zeroed in load mode (class 0), uninitialised otherwise.
AreaRef area_alloc(size_t size, uint8_t** out = nullptr);
void area_free(AreaRef ref);

void set_run_mode();
inline bool in_run_mode() { return g_heap.run_mode; }

// Before a compiled image is loaded: its cells and pages start on fresh
// blocks and pages, and later allocations never go below.
void set_heap_floors();

// Loading a compiled image: a fresh zeroed cell block at this number (the
// current block moves there, counted as full), and `count` fresh zeroed
// consecutive pages from `first` (1435 when taken or beyond the limits).
uint8_t* claim_cell_block(uint32_t block);
uint8_t* claim_pages(uint32_t first, uint32_t count);

// Releases everything and starts again in load mode (tests, and nothing else).
void heap_reset();

// The memory a request's values may take from the system: cell blocks,
// size-class blocks and single allocations (the parsed program's pages are
// not counted). An allocation that would pass it raises 1400.
constexpr size_t VALUE_MEMORY_DEFAULT = size_t(256) << 20;
void set_value_memory_limit(size_t bytes);
size_t value_memory_in_use();

// The free-slot marker written at the start of a freed size-class slot.
extern const uint8_t FREE_SLOT_MARKER[9];

}  // namespace tolv
