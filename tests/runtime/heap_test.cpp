#include <cstring>
#include <vector>

#include "runtime/heap_check.h"
#include "runtime/heap_fixture.h"

namespace tolv::tests {
namespace {

unsigned class_of(AreaRef ref) { return (ref >> 20) & 15; }
uint32_t block_of(AreaRef ref) { return (ref >> 8) & 0xFFF; }
uint32_t slot_of(AreaRef ref) { return ref & 0xFF; }
uint32_t page_of(AreaRef ref) { return (ref >> 10) & 1023; }
uint32_t word_of(AreaRef ref) { return ref & 1023; }

bool holds_marker(AreaRef ref) { return std::memcmp(area_ptr(ref), FREE_SLOT_MARKER, 9) == 0; }

using CellHeapTest = HeapTest;
using PageHeapTest = HeapTest;
using SizeClassHeapTest = HeapTest;

// ---- Cell heap ---------------------------------------------------------------

TEST_F(CellHeapTest, NewCellIsZeroedWithHeaderAndAddressedByBlockAndSlot) {
    ValueHandle first = new_cell(KIND_INTEGER, 0);
    ValueHandle second = new_cell(KIND_STRING, 1);
    EXPECT_EQ(first, make_handle(KIND_INTEGER, 0));
    EXPECT_EQ(second, make_handle(KIND_STRING, 1));
    EXPECT_EQ(cell_of(second), cell_of(first) + 16);
    EXPECT_EQ(cell_of(second)[0], KIND_STRING + 16);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(cell_of(second)[i], 0) << i;
    for (int i = 2; i < 256; ++i) new_cell(KIND_INTEGER, 0);
    EXPECT_EQ(new_cell(KIND_FLOAT, 0), make_handle(KIND_FLOAT, 1u << 8));
}

TEST_F(CellHeapTest, FreedSlotsAreReusedHighestFirstInRunMode) {
    set_run_mode();
    std::vector<ValueHandle> cells;
    for (int i = 0; i < 10; ++i) cells.push_back(new_cell(KIND_INTEGER, 0));
    cell_free(cells[3]);
    cell_free(cells[7]);
    EXPECT_EQ(cell_of(cells[3])[0], FREED_CELL);
    EXPECT_EQ(new_cell(KIND_FLOAT, 0) & 0xFFFFFF, 7u);
    EXPECT_EQ(new_cell(KIND_FLOAT, 0) & 0xFFFFFF, 3u);
    EXPECT_EQ(new_cell(KIND_FLOAT, 0) & 0xFFFFFF, 10u);
    EXPECT_EQ(g_heap.freed_cells, 0u);
}

TEST_F(CellHeapTest, FreedCellsInSeveralBlocksAreAllFoundAgain) {
    set_run_mode();
    std::vector<ValueHandle> cells;
    for (int i = 0; i < 3 * 256; ++i) cells.push_back(new_cell(KIND_INTEGER, 0));
    const int freed[] = {5, 9, 2 * 256 + 1, 2 * 256 + 4, 256 + 100};
    for (int i : freed) cell_free(cells[i]);
    const uint32_t expected[] = {0x204, 0x201, 0x164, 9, 5, 0x300};
    for (uint32_t address : expected) EXPECT_EQ(new_cell(KIND_INTEGER, 0) & 0xFFFFFF, address);
}

TEST_F(CellHeapTest, CellsFreedInLoadModeWaitForRunMode) {
    ValueHandle a = new_cell(KIND_INTEGER, 0);
    new_cell(KIND_INTEGER, 0);
    cell_free(a);
    EXPECT_EQ(new_cell(KIND_INTEGER, 0) & 0xFF, 2u);
    set_run_mode();
    EXPECT_EQ(new_cell(KIND_INTEGER, 0) & 0xFF, 0u);
}

TEST_F(CellHeapTest, FreeingTwiceCountsOnce) {
    set_run_mode();
    ValueHandle a = new_cell(KIND_INTEGER, 0);
    new_cell(KIND_INTEGER, 0);
    cell_free(a);
    cell_free(a);
    EXPECT_EQ(g_heap.freed_cells, 1u);
    EXPECT_EQ(new_cell(KIND_INTEGER, 0), a);
    EXPECT_EQ(new_cell(KIND_INTEGER, 0) & 0xFF, 2u);
}

TEST_F(CellHeapTest, BlockLimitRaises1435) {
    for (uint32_t i = 0; i < CELL_BLOCK_LIMIT * 256; ++i) new_cell(KIND_INTEGER, 0);
    EXPECT_EQ(g_heap.current_cell_block, 4095);
    RaisedError e = raised_by([] { new_cell(KIND_INTEGER, 0); });
    EXPECT_EQ(e.code, "1435");
    EXPECT_TRUE(ends_with(e.message, "Buffer Overflow(Area DW)")) << e.message;
}

TEST_F(CellHeapTest, HandleOfCellAddress) {
    new_cell(KIND_INTEGER, 0);
    ValueHandle h = new_cell(KIND_HASH, 0);
    EXPECT_EQ(cell_handle_of(cell_of(h), KIND_HASH), h);
    uint8_t elsewhere[16] = {};
    RaisedError e = raised_by([&] { cell_handle_of(elsewhere, KIND_HASH); });
    EXPECT_EQ(e.code, "2495");
    EXPECT_TRUE(ends_with(e.message, "システム・エラー(get_self_16)")) << e.message;
}

TEST_F(CellHeapTest, FloorStartsFreshBlockAndPage) {
    new_cell(KIND_INTEGER, 0);
    area_alloc(8);
    set_heap_floors();
    EXPECT_EQ(new_cell(KIND_INTEGER, 0), make_handle(KIND_INTEGER, 1u << 8));
    AreaRef ref = area_alloc(8);
    EXPECT_EQ(page_of(ref), 1u);
    EXPECT_EQ(word_of(ref), 0u);
}

TEST_F(CellHeapTest, ResetReturnsToAnEmptyLoadModeHeap) {
    set_run_mode();
    for (int i = 0; i < 300; ++i) new_cell(KIND_INTEGER, 0);
    area_alloc(40);
    area_alloc(5000);
    heap_reset();
    EXPECT_FALSE(in_run_mode());
    EXPECT_EQ(new_cell(KIND_INTEGER, 0), make_handle(KIND_INTEGER, 0));
    EXPECT_EQ(area_alloc(40), 0u);
}

// ---- Class 0 pages (load mode) -----------------------------------------------

TEST_F(PageHeapTest, AllocationsTakeWordsWithOneSpare) {
    uint8_t* p;
    AreaRef a = area_alloc(0, &p);
    AreaRef b = area_alloc(3);
    AreaRef c = area_alloc(4);
    AreaRef d = area_alloc(1);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 1u);
    EXPECT_EQ(c, 2u);
    EXPECT_EQ(d, 4u);
    EXPECT_EQ(area_ptr(d), p + 16);
    EXPECT_EQ(g_heap.page_used[0], 5u);
}

TEST_F(PageHeapTest, FullPageAndSpanningRequests) {
    uint8_t* p;
    AreaRef whole = area_alloc(4092, &p);
    EXPECT_EQ(whole, 0u);
    EXPECT_EQ(g_heap.page_used[0], 1024u);
    EXPECT_EQ(g_heap.last_page, 0);

    AreaRef small = area_alloc(8);
    EXPECT_EQ(page_of(small), 1u);

    uint8_t* span;
    AreaRef spanning = area_alloc(4096, &span);
    EXPECT_EQ(page_of(spanning), 2u);
    EXPECT_EQ(word_of(spanning), 0u);
    EXPECT_EQ(g_heap.page_used[2], 1024u);
    EXPECT_EQ(g_heap.page_used[3], 1u);
    EXPECT_EQ(g_heap.page[3], g_heap.page[2] + 4096);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(span[i], 0) << i;
    std::memset(span, 0xAB, 4096);  // the whole request is one allocation

    // Later small requests still fill the earlier pages first.
    EXPECT_EQ(page_of(area_alloc(8)), 1u);
    EXPECT_EQ(page_of(area_alloc(4076)), 3u);  // 1020 words: too many for page 1
}

TEST_F(PageHeapTest, FreeingInLoadModeHasNoEffect) {
    uint8_t* p;
    AreaRef a = area_alloc(16, &p);
    std::memcpy(p, "kept", 5);
    area_free(a);
    AreaRef b = area_alloc(16);
    EXPECT_NE(a, b);
    EXPECT_STREQ(reinterpret_cast<char*>(area_ptr(a)), "kept");
}

TEST_F(PageHeapTest, PageLimitRaises1435) {
    for (uint32_t i = 0; i < PAGE_LIMIT; ++i) area_alloc(4092);
    RaisedError e = raised_by([] { area_alloc(4); });
    EXPECT_EQ(e.code, "1435");
    EXPECT_TRUE(ends_with(e.message, "Buffer Overflow(Area Free)")) << e.message;

    heap_reset();
    area_alloc(4);
    e = raised_by([] { area_alloc(size_t(PAGE_LIMIT) * 4096 - 4); });
    EXPECT_EQ(e.code, "1435");
}

// ---- Size classes and single allocations (run mode) -----------------------------

TEST_F(SizeClassHeapTest, RequestSizesPickTheirClass) {
    struct Case {
        size_t size;
        unsigned cls;
    };
    const Case cases[] = {
        {0, 1},     {31, 1},    {32, 2},    {63, 2},    {64, 3},    {95, 3},    {96, 4},     {127, 4},
        {128, 5},   {191, 5},   {192, 6},   {255, 6},   {256, 7},   {383, 7},   {384, 8},    {447, 8},
        {448, 9},   {511, 9},   {512, 10},  {767, 10},  {768, 11},  {1023, 11}, {1024, 12},  {1279, 12},
        {1280, 13}, {1535, 13}, {1536, 14}, {2047, 14}, {2048, 15}, {4096, 15}, {100000, 15},
    };
    set_run_mode();
    for (const Case& c : cases) {
        EXPECT_EQ(area_class_for(c.size), c.cls) << c.size;
        uint8_t* p;
        AreaRef ref = area_alloc(c.size, &p);
        EXPECT_EQ(class_of(ref), c.cls) << c.size;
        EXPECT_EQ(area_ptr(ref), p);
        if (c.cls < 15) {
            EXPECT_GE(AREA_SLOT_SIZE[c.cls], c.size);
            std::memset(p, 0x5C, c.size);  // the whole request is usable
        }
    }
}

TEST_F(SizeClassHeapTest, SlotsFollowTheStrideAndFillBlocks) {
    set_run_mode();
    uint8_t* first;
    AreaRef a = area_alloc(20, &first);
    uint8_t* second;
    AreaRef b = area_alloc(20, &second);
    EXPECT_EQ(a, 1u << 20);
    EXPECT_EQ(b, (1u << 20) | 1);
    EXPECT_EQ(second - first, 34);
    EXPECT_EQ(first - g_heap.size_class[1].blocks[0], 8);
    for (int i = 2; i < 256; ++i) area_alloc(20);
    AreaRef next = area_alloc(20);
    EXPECT_EQ(block_of(next), 1u);
    EXPECT_EQ(slot_of(next), 0u);
}

TEST_F(SizeClassHeapTest, FreedSlotsCarryTheMarkerAndAreReusedHighestFirst) {
    set_run_mode();
    std::vector<AreaRef> refs;
    for (int i = 0; i < 10; ++i) refs.push_back(area_alloc(100));
    area_free(refs[3]);
    area_free(refs[7]);
    EXPECT_TRUE(holds_marker(refs[3]));
    EXPECT_TRUE(holds_marker(refs[7]));
    EXPECT_EQ(area_alloc(100), refs[7]);
    EXPECT_FALSE(holds_marker(refs[7]));
    EXPECT_EQ(area_alloc(100), refs[3]);
    EXPECT_EQ(slot_of(area_alloc(100)), 10u);
}

TEST_F(SizeClassHeapTest, LiveDataThatLooksLikeTheMarkerIsNotTakenForFree) {
    set_run_mode();
    std::vector<AreaRef> refs;
    for (int i = 0; i < 4; ++i) refs.push_back(area_alloc(20));
    std::memcpy(area_ptr(refs[1]), FREE_SLOT_MARKER, 9);  // a live string holding these bytes
    area_free(refs[0]);
    area_free(refs[3]);
    EXPECT_EQ(area_alloc(20), refs[3]);
    EXPECT_EQ(area_alloc(20), refs[0]);
    EXPECT_EQ(slot_of(area_alloc(20)), 4u);
}

TEST_F(SizeClassHeapTest, FreedSlotsInLowerBlocksAreFoundAfterHigherOnes) {
    set_run_mode();
    std::vector<AreaRef> refs;
    for (int i = 0; i < 3 * 8; ++i) refs.push_back(area_alloc(2000));  // class 14, 8 slots a block
    area_free(refs[1]);
    area_free(refs[17]);
    area_free(refs[20]);
    area_free(refs[20]);  // twice: counted once
    EXPECT_EQ(area_alloc(2000), refs[20]);
    EXPECT_EQ(area_alloc(2000), refs[17]);
    EXPECT_EQ(area_alloc(2000), refs[1]);
    AreaRef fresh = area_alloc(2000);
    EXPECT_EQ(block_of(fresh), 3u);
    EXPECT_EQ(slot_of(fresh), 0u);
}

TEST_F(SizeClassHeapTest, SingleAllocationsReuseFreedEntries) {
    set_run_mode();
    AreaRef a = area_alloc(3000);
    AreaRef b = area_alloc(5000);
    AreaRef c = area_alloc(2048);
    EXPECT_EQ(a, 15u << 20);
    EXPECT_EQ(c, (15u << 20) | 2);
    area_free(a);
    area_free(c);
    uint8_t* p;
    EXPECT_EQ(area_alloc(9000, &p), c);
    std::memset(p, 1, 9000);
    EXPECT_EQ(area_alloc(2048), a);
    EXPECT_EQ(area_alloc(2048), (15u << 20) | 3);
    (void)b;
}

TEST_F(SizeClassHeapTest, ClassBlockLimitRaises1435WithTheClass) {
    set_run_mode();
    for (uint32_t i = 0; i < CLASS_BLOCK_LIMIT * 256; ++i) area_alloc(16);
    RaisedError e = raised_by([] { area_alloc(16); });
    EXPECT_EQ(e.code, "1435");
    EXPECT_TRUE(ends_with(e.message, "buffer Overflow(area 1)")) << e.message;
}

TEST_F(SizeClassHeapTest, SingleTableLimitRaises1430) {
    set_run_mode();
    area_alloc(3000);
    uint32_t used = g_heap.single_used;
    g_heap.single_used = SINGLE_LIMIT;  // as if every entry had been handed out
    RaisedError e = raised_by([] { area_alloc(3000); });
    g_heap.single_used = used;
    EXPECT_EQ(e.code, "1430");
    EXPECT_TRUE(ends_with(e.message, "buffer Overflow(area 15)")) << e.message;
}

// ---- Bookkeeping walk --------------------------------------------------------------

// Cells in three blocks, slots of two classes and singles, some of each freed.
void mixed_heap(std::vector<ValueHandle>& cells, std::vector<AreaRef>& areas) {
    set_run_mode();
    for (int i = 0; i < 3 * 256; ++i) cells.push_back(new_cell(KIND_INTEGER, 0));
    for (int i = 0; i < 300; ++i) areas.push_back(area_alloc(i % 2 ? 20 : 2000));
    for (int i = 0; i < 4; ++i) areas.push_back(area_alloc(5000));
    for (int i : {3, 300, 301, 600}) cell_free(cells[i]);
    for (int i : {1, 4, 250, 301, 302}) area_free(areas[i]);
}

TEST_F(HeapTest, BookkeepingWalkAgreesAfterAllocatingAndFreeing) {
    std::vector<ValueHandle> cells;
    std::vector<AreaRef> areas;
    mixed_heap(cells, areas);
    EXPECT_EQ(heap_bookkeeping_fault(), "");
    for (int i = 0; i < 3; ++i) new_cell(KIND_FLOAT, 0);
    area_alloc(20);
    area_alloc(5000);
    EXPECT_EQ(heap_bookkeeping_fault(), "");
}

TEST_F(HeapTest, BookkeepingWalkFindsEachDisagreement) {
    struct Case {
        const char* what;
        void (*spoil)(const std::vector<ValueHandle>& cells, const std::vector<AreaRef>& areas);
        const char* found;
    };
    const Case cases[] = {
        {"header freed behind the bitmap", [](auto& cells, auto&) { cell_of(cells[10])[0] = FREED_CELL; },
         "cell 0.10: freed bit 0"},
        {"block count", [](auto&, auto&) { ++g_heap.cell_block_freed[1]; }, "cell block 1: count says 3"},
        {"highest freed slot", [](auto&, auto&) { g_heap.cell_block_high[1] = 7; },
         "cell block 1: highest freed slot 7"},
        {"heap total", [](auto&, auto&) { --g_heap.freed_cells; }, "cell heap: total says 3"},
        {"highest freed block", [](auto&, auto&) { g_heap.highest_freed_block = 1; },
         "cell heap: highest freed block 1"},
        {"slot freed behind the header",
         [](auto&, auto& areas) {
             uint8_t* at = area_ptr(areas[7]);
             std::memcpy(at, FREE_SLOT_MARKER, 9);
             std::memset(at + AREA_SLOT_SIZE[1], 0xA5, 1);
             std::memset(at + AREA_SLOT_SIZE[1] + 1, 0x5A, 1);
         },
         "class 1 block 0: header says 1 freed, slots hold 2"},
        {"class summary", [](auto&, auto&) { ++g_heap.size_class[14].blocks_with_free; },
         "class 14: 3 blocks with free slots counted"},
        {"single count", [](auto&, auto&) { ++g_heap.single_freed; }, "singles: 3 freed counted, 2 found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        heap_reset();
        seed_name_table();
        std::vector<ValueHandle> cells;
        std::vector<AreaRef> areas;
        mixed_heap(cells, areas);
        ASSERT_EQ(heap_bookkeeping_fault(), "");
        c.spoil(cells, areas);
        EXPECT_EQ(heap_bookkeeping_fault().rfind(c.found, 0), 0u) << heap_bookkeeping_fault();
    }
    heap_reset();  // nothing spoiled is left for the fixture's own check
}

}  // namespace
}  // namespace tolv::tests
