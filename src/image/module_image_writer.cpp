#include "image/module_image_writer.h"

#include <algorithm>
#include <cstring>

#include "image/module_image_codec.h"
#include "image/module_image_format.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/module_table.h"
#include "runtime/name_table.h"
#include "runtime/operation_layout.h"

namespace tolv {

namespace {

constexpr uint32_t BLOCK_BYTES = 4096;
constexpr uint32_t PAGE_WORDS = 1024;

[[noreturn]] void refuse(const char* reason) {
    raise_parse(Error::BAD_MODULE_IMAGE, module_path(g_error_context.module), reason);
}

void put_bytes(std::vector<uint8_t>& out, const void* p, size_t n) {
    if (n == 0) return;
    const size_t at = out.size();
    out.resize(at + n);
    std::memcpy(out.data() + at, p, n);
}

void put32(std::vector<uint8_t>& out, uint32_t v) { put_bytes(out, &v, 4); }

// Copies of the heaps, laid out as the image numbers them.
struct Snapshot {
    std::vector<uint8_t> cells;  // whole blocks
    uint32_t blocks = 0;
    uint32_t last_cells = 0;     // cells in the last block (1-256)
    std::vector<uint8_t> pages;  // whole pages, contiguous
    uint32_t page_count = 0;
    std::vector<uint32_t> used;  // words used per page

    std::vector<uint32_t> fixups[6];  // cell names, handles, areas; page names, handles, areas
};

void take_snapshot(Snapshot& s) {
    const HeapState& H = g_heap;
    if (H.cell_floor || H.page_floor || H.run_mode) refuse("heap not empty");
    s.blocks = uint32_t(H.current_cell_block + 1);
    s.last_cells = s.blocks ? H.next_cell_slot : 0;
    s.cells.assign(size_t(s.blocks) * BLOCK_BYTES, 0);
    for (uint32_t b = 0; b < s.blocks; ++b) std::memcpy(&s.cells[size_t(b) * BLOCK_BYTES], H.cell_block[b], BLOCK_BYTES);
    s.page_count = uint32_t(H.last_page + 1);
    s.pages.assign(size_t(s.page_count) * BLOCK_BYTES, 0);
    for (uint32_t p = 0; p < s.page_count; ++p) {
        if (!H.page[p]) refuse("page gap");
        std::memcpy(&s.pages[size_t(p) * BLOCK_BYTES], H.page[p], BLOCK_BYTES);
        s.used.push_back(H.page_used[p]);
    }
}

struct Recorder {
    Snapshot& s;
    bool in_cells(const Word32* w) const {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(w);
        return p >= s.cells.data() && p < s.cells.data() + s.cells.size();
    }
    uint32_t position(const Word32* w, bool cells) const {
        const uint8_t* base = cells ? s.cells.data() : s.pages.data();
        size_t offset = size_t(reinterpret_cast<const uint8_t*>(w) - base);
        return uint32_t(offset / BLOCK_BYTES) << 16 | uint32_t(offset % BLOCK_BYTES / 4);
    }
};

void record_word(void* context, Word32* where, WordClass cls) {
    Recorder& r = *static_cast<Recorder*>(context);
    const bool cells = r.in_cells(where);
    const int list_base = cells ? 0 : 3;
    switch (cls) {
        case WordClass::NAME:
            r.s.fixups[list_base + 0].push_back(r.position(where, cells));
            break;
        case WordClass::VALUE:
            // Only cell values can be moved: area records (errors, regular
            // expressions) are never part of a parsed program.
            if (is_area_kind(kind_of(*where))) refuse("area value in a parsed program");
            r.s.fixups[list_base + 1].push_back(r.position(where, cells));
            break;
        case WordClass::AREA:
            r.s.fixups[list_base + 2].push_back(r.position(where, cells));
            break;
        case WordClass::NUMBER:
            break;
    }
}

uint8_t* snapshot_area(void* context, AreaRef ref, size_t bytes) {
    Recorder& r = *static_cast<Recorder*>(context);
    if ((ref >> 20) != 0) refuse("area outside the word pages");
    size_t word = size_t(ref >> 10) * PAGE_WORDS + (ref & 1023);
    if (word * 4 + bytes > r.s.pages.size()) refuse("vector beyond the pages");
    return r.s.pages.data() + word * 4;
}

void put_positions(std::vector<uint8_t>& out, uint32_t tag, std::vector<uint32_t>& positions) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    if (positions.empty()) return;
    put32(out, tag);
    put32(out, uint32_t(positions.size()));
    for (uint32_t p : positions) put32(out, p);
}

}  // namespace

std::vector<uint8_t> module_image_sections() {
    Snapshot s;
    take_snapshot(s);
    Recorder recorder{s};
    const CellWalker walker = {&recorder, record_word, snapshot_area, nullptr};
    const size_t live_bytes = s.blocks ? size_t(s.blocks - 1) * BLOCK_BYTES + size_t(s.last_cells) * 16 : 0;
    for (size_t at = 0; at < live_bytes; at += 16) walk_cell(&s.cells[at], walker);

    std::vector<uint8_t> out;
    out.reserve(s.cells.size() + s.pages.size() + 4096);
    if (s.blocks) {
        const bool last_full = s.last_cells == 256;
        const uint32_t full = last_full ? s.blocks : s.blocks - 1;
        const uint32_t last = last_full ? 0 : s.last_cells;
        put32(out, IMAGE_CELLS);
        put32(out, full << 16 | last);
        put_bytes(out, s.cells.data(), live_bytes);
    }
    if (s.page_count) {
        const uint32_t last_used = s.used.back();
        const bool last_full = last_used >= PAGE_WORDS;
        const uint32_t full = last_full ? s.page_count : s.page_count - 1;
        const uint32_t last = last_full ? 0 : last_used;
        put32(out, IMAGE_PAGES);
        put32(out, full << 16 | last);
        put_bytes(out, s.pages.data(), (size_t(full) * PAGE_WORDS + last) * 4);
        for (uint32_t u : s.used) put32(out, u);
    }

    const NameTable& t = g_names;
    put32(out, IMAGE_NAMES);
    put32(out, t.count);
    put_bytes(out, t.entries, sizeof(NameEntry) * t.count);
    const std::vector<NameKeyPair> sorted = sorted_name_keys();
    put_bytes(out, sorted.data(), sizeof(NameKeyPair) * t.count);
    put32(out, t.pool_used);
    put_bytes(out, t.pool, t.pool_used);

    std::vector<uint32_t> globals;
    for (uint32_t n = 0; n < t.count; ++n)
        if (global_declared(n)) globals.push_back(n);
    put32(out, IMAGE_GLOBALS);
    put32(out, uint32_t(globals.size()));
    for (uint32_t g : globals) put32(out, g);

    static constexpr uint32_t FIXUP_TAGS[6] = {IMAGE_CELL_NAMES, IMAGE_CELL_HANDLES, IMAGE_CELL_AREAS,
                                               IMAGE_PAGE_NAMES, IMAGE_PAGE_HANDLES, IMAGE_PAGE_AREAS};
    for (int k = 0; k < 6; ++k) put_positions(out, FIXUP_TAGS[k], s.fixups[k]);

    put32(out, IMAGE_INITIALISERS);
    put32(out, uint32_t(g_initialisers.size()));
    for (ValueHandle h : g_initialisers) put32(out, h);
    put32(out, IMAGE_END);
    put32(out, 0);
    return out;
}

std::vector<uint8_t> pack_module_image(const std::vector<uint8_t>& sections, bool compress) {
    std::vector<uint8_t> coded;
    if (compress) coded = encode_image_stream(sections);
    const std::vector<uint8_t>& body = coded.empty() ? sections : coded;
    std::vector<uint8_t> image;
    image.reserve(IMAGE_HEADER_BYTES + body.size());
    put32(image, uint32_t(sections.size()));
    put32(image, uint32_t(body.size()));
    put_bytes(image, body.data(), body.size());
    return image;
}

std::vector<uint8_t> compile_module_image(const std::string& text, bool compress) {
    heap_reset();
    seed_name_table();
    globals_reset();
    parser_reset();
    g_error_context.module = 0;
    g_error_context.parse_line = 1;
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    remove_comments(copy.data());
    parse_module(0, copy.data());
    return pack_module_image(module_image_sections(), compress);
}

}  // namespace tolv
