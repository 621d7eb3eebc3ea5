#include "image/module_image_loader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "image/module_image_codec.h"
#include "image/module_image_format.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"
#include "runtime/opcodes.h"
#include "runtime/operation_layout.h"
#include "runtime/value.h"

namespace tolv {

namespace {

constexpr uint32_t BLOCK_BYTES = 4096;
constexpr uint32_t CELLS_PER_BLOCK = 256;
constexpr uint32_t PAGE_WORDS = 1024;
constexpr uint32_t NAME_STEP = 2048;
// No code byte stands for more than 251 bytes (250 zeros and a byte).
constexpr uint64_t MAX_EXPANSION = 256;
constexpr uint64_t MAX_STREAM = 256u << 20;

const char* s_file = "";

[[noreturn]] void malformed(const char* reason) {
    raise_parse(Error::BAD_MODULE_IMAGE, s_file, reason);
}

uint32_t read32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

struct Reader {
    const uint8_t* data;
    size_t length;
    size_t at = 0;

    size_t left() const { return length - at; }
    uint32_t u32(const char* what) {
        if (left() < 4) malformed(what);
        uint32_t v = read32(data + at);
        at += 4;
        return v;
    }
    // `count` items of `size` bytes.
    const uint8_t* take(uint64_t count, uint64_t size, const char* what) {
        if (size && count > left() / size) malformed(what);
        const uint8_t* p = data + at;
        at += size_t(count * size);
        return p;
    }
};

class ImageLoad {
public:
    ImageLoad(uint32_t module) : module_(module) {
        set_heap_floors();
        cell_floor_ = g_heap.cell_floor;
        page_floor_ = g_heap.page_floor;
    }

    void run(Reader& r) {
        while (r.left() > 0) {
            const uint32_t tag = r.u32("section tag");
            if (tag == IMAGE_END) break;
            const uint32_t count = r.u32("section count");
            switch (tag) {
                case IMAGE_CELLS: cells(r, count); break;
                case IMAGE_PAGES: pages(r, count); break;
                case IMAGE_NAMES: names(r, count); break;
                case IMAGE_GLOBALS: globals(r, count); break;
                case IMAGE_CELL_NAMES:
                case IMAGE_CELL_HANDLES:
                case IMAGE_CELL_AREAS:
                case IMAGE_PAGE_NAMES:
                case IMAGE_PAGE_HANDLES:
                case IMAGE_PAGE_AREAS: fixups(r, tag, count); break;
                case IMAGE_INITIALISERS: initialisers(r, count); break;
                default: malformed("unknown section");
            }
        }
        check_cells();
        g_initialisers.insert(g_initialisers.end(), statements_.begin(), statements_.end());
    }

private:
    uint32_t module_;
    uint32_t cell_floor_, page_floor_;
    bool have_cells_ = false, have_pages_ = false, have_names_ = false;
    uint32_t blocks_ = 0, last_cells_ = 0;  // cells in the last block, 1-256
    uint32_t pages_ = 0, last_words_ = 0;   // words copied into the last page, 1-1024
    uint8_t* page_base_ = nullptr;
    std::vector<uint32_t> renumber_;        // image name -> runner name
    uint32_t image_names_ = 0;
    std::vector<ValueHandle> statements_;

    // ---- sections ----

    void cells(Reader& r, uint32_t count) {
        if (have_cells_) malformed("second cell section");
        have_cells_ = true;
        const uint32_t full = count >> 16, last = count & 0xFFFF;
        if (last >= CELLS_PER_BLOCK) malformed("cell count");
        blocks_ = full + (last ? 1 : 0);
        last_cells_ = last ? last : CELLS_PER_BLOCK;
        if (blocks_ == 0) return;
        const uint64_t bytes = uint64_t(full) * BLOCK_BYTES + uint64_t(last) * 16;
        const uint8_t* src = r.take(bytes, 1, "cells past the end");
        if (uint64_t(cell_floor_) + blocks_ - 1 >= IMAGE_CELL_BLOCK_LIMIT)
            raise(Error::IMAGE_AREA_DW16_OVERFLOW);
        for (uint32_t b = 0; b < blocks_; ++b) {
            uint8_t* block = claim_cell_block(cell_floor_ + b);
            const uint32_t n = b + 1 < blocks_ ? CELLS_PER_BLOCK : last_cells_;
            std::memcpy(block, src + size_t(b) * BLOCK_BYTES, size_t(n) * 16);
            for (uint32_t c = 0; c < n; ++c) {
                uint8_t* cell = block + c * 16;
                const unsigned kind = cell[0] & 15;
                if (cell[0] != FREED_CELL && (kind == KIND_OPERATION || kind == KIND_FUNCTION))
                    cell[1] = uint8_t((cell[1] & MODULE_NO_STOP) | (module_ & 0x7F));
            }
        }
        g_heap.next_cell_slot = last_cells_;
    }

    void pages(Reader& r, uint32_t count) {
        if (have_pages_) malformed("second page section");
        have_pages_ = true;
        const uint32_t full = count >> 16, last = count & 0xFFFF;
        if (last >= PAGE_WORDS) malformed("page count");
        pages_ = full + (last ? 1 : 0);
        last_words_ = last ? last : PAGE_WORDS;
        if (pages_ == 0) return;
        const uint64_t words = uint64_t(full) * PAGE_WORDS + last;
        const uint8_t* src = r.take(words, 4, "pages past the end");
        const uint8_t* used = r.take(pages_, 4, "page use past the end");
        if (uint64_t(page_floor_) + pages_ - 1 > IMAGE_LAST_PAGE) raise(Error::PAGE_AREA_OVERFLOW);
        page_base_ = claim_pages(page_floor_, pages_);
        std::memcpy(page_base_, src, size_t(words) * 4);
        for (uint32_t p = 0; p < pages_; ++p) {
            const uint32_t u = read32(used + 4 * p);
            if (u > PAGE_WORDS) malformed("page use");
            g_heap.page_used[page_floor_ + p] = u;
        }
    }

    void names(Reader& r, uint32_t count) {
        if (have_names_) malformed("second name section");
        have_names_ = true;
        const uint8_t* entries = r.take(count, sizeof(NameEntry), "names past the end");
        r.take(count, sizeof(NameKeyPair), "name keys past the end");
        const uint32_t pool_length = r.u32("name pool length");
        const char* pool = reinterpret_cast<const char*>(r.take(pool_length, 1, "name pool past the end"));
        std::vector<NameEntry> table(count);
        if (count) std::memcpy(table.data(), entries, sizeof(NameEntry) * count);
        for (const NameEntry& e : table) {
            if (e.length == 0) malformed("empty name");
            if (e.pool_offset >= pool_length || pool_length - e.pool_offset <= e.length ||
                pool[e.pool_offset + e.length] != '\0')
                malformed("name outside the pool");
        }
        image_names_ = count;
        if (replaces_table(table, pool)) {
            install_table(table, pool, pool_length);
            return;
        }
        renumber_.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            renumber_[i] = intern_name(pool + table[i].pool_offset, table[i].length);
    }

    // The first image after seeding brings the whole table with it.
    static bool replaces_table(const std::vector<NameEntry>& table, const char* pool) {
        if (g_names.count != PREDEFINED_NAME_COUNT || table.size() < PREDEFINED_NAME_COUNT) return false;
        for (uint32_t i = 0; i < PREDEFINED_NAME_COUNT; ++i) {
            const NameEntry& e = table[i];
            if (e.length != name_length(i) || std::memcmp(pool + e.pool_offset, name_text(i), e.length) != 0)
                return false;
        }
        return true;
    }

    static void install_table(std::vector<NameEntry>& table, const char* pool, uint32_t pool_length) {
        const uint32_t count = uint32_t(table.size());
        // Capacities as interning grows them, so later names are added in place.
        const uint32_t capacity = (count / NAME_STEP + 1) * NAME_STEP;
        const uint32_t pool_capacity = (pool_length / NAME_STEP + 1) * NAME_STEP;
        auto* entries = static_cast<NameEntry*>(std::calloc(capacity, sizeof(NameEntry)));
        char* text = static_cast<char*>(std::calloc(pool_capacity, 1));
        if (!entries || !text) {
            std::free(entries);
            std::free(text);
            raise(Error::NO_MEMORY);
        }
        std::memcpy(text, pool, pool_length);
        for (uint32_t i = 0; i < count; ++i) {
            NameEntry& e = table[i];
            // The key is recomputed: it must say what the text says.
            e = NameEntry{0, e.length, {0, 0}, name_key(pool + e.pool_offset, e.length), e.pool_offset};
            entries[i] = e;
        }
        std::free(g_names.entries);
        std::free(g_names.pool);
        g_names.entries = entries;
        g_names.count = count;
        g_names.capacity = capacity;
        g_names.pool = text;
        g_names.pool_used = pool_length;
        g_names.pool_capacity = pool_capacity;
        rebuild_name_index();
    }

    uint32_t runner_name(uint32_t image_name) const {
        if (!have_names_ || image_name >= image_names_) malformed("name number");
        return renumber_.empty() ? image_name : renumber_[image_name];
    }

    void globals(Reader& r, uint32_t count) {
        const uint8_t* names = r.take(count, 4, "globals past the end");
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t name = runner_name(read32(names + 4 * i) & 0x0FFFFFFF);
            if (!global_declared(name)) declare_global(name);
        }
    }

    Word32* cell_word(uint32_t position) const {
        const uint32_t block = position >> 16, word = position & 0xFFFF;
        const uint32_t limit = block + 1 == blocks_ ? last_cells_ * 4 : PAGE_WORDS;
        if (block >= blocks_ || word >= limit) malformed("cell position");
        return reinterpret_cast<Word32*>(g_heap.cell_block[cell_floor_ + block] + 4 * word);
    }

    Word32* page_word(uint32_t position) const {
        const uint32_t page = position >> 16, word = position & 0xFFFF;
        const uint32_t limit = page + 1 == pages_ ? last_words_ : PAGE_WORDS;
        if (page >= pages_ || word >= limit) malformed("page position");
        return reinterpret_cast<Word32*>(page_base_ + 4 * (size_t(page) * PAGE_WORDS + word));
    }

    void fixups(Reader& r, uint32_t tag, uint32_t count) {
        const uint8_t* positions = r.take(count, 4, "places past the end");
        const bool in_pages = tag >= IMAGE_PAGE_NAMES;
        const uint32_t what = in_pages ? tag - (IMAGE_PAGE_NAMES - IMAGE_CELL_NAMES) : tag;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t position = read32(positions + 4 * i);
            Word32* w = in_pages ? page_word(position) : cell_word(position);
            if (what == IMAGE_CELL_NAMES) {
                *w = runner_name(*w);
            } else if (what == IMAGE_CELL_HANDLES) {
                if (cell_floor_) *w = *w + cell_floor_ * 256;
            } else if (page_floor_) {
                *w = *w + page_floor_ * 1024;
            }
        }
    }

    void initialisers(Reader& r, uint32_t count) {
        const uint8_t* handles = r.take(count, 4, "statements past the end");
        for (uint32_t i = 0; i < count; ++i) statements_.push_back(read32(handles + 4 * i) + cell_floor_ * 256);
    }

    // ---- checks of what was loaded ----

    // A handle must name a live cell of the image of its own kind.
    void check_handle(ValueHandle h) const {
        const unsigned kind = kind_of(h);
        if (is_sentinel(h) || is_area_kind(kind) || (h & 0xF00000)) malformed("value handle");
        const uint32_t block = (h >> 8) & 0xFFF, slot = h & 0xFF;
        if (block < cell_floor_ || block - cell_floor_ >= blocks_) malformed("cell handle");
        if (block - cell_floor_ + 1 == blocks_ && slot >= last_cells_) malformed("cell handle");
        const uint8_t header = cell_of(h)[0];
        if (header == FREED_CELL || (header & 15) != kind) malformed("cell kind");
    }

    static void check_word(void* context, Word32* where, WordClass cls) {
        const ImageLoad& self = *static_cast<const ImageLoad*>(context);
        if (cls == WordClass::VALUE) {
            self.check_handle(*where);
            self.links_.push_back(Link{self.walked_cell_, self.cell_number(*where)});
        }
        if (cls == WordClass::NAME && *where >= g_names.count) malformed("name number");
    }

    static uint8_t* check_area(void* context, AreaRef ref, size_t bytes) {
        const ImageLoad& self = *static_cast<const ImageLoad*>(context);
        const uint32_t page = (ref >> 10) & 1023;
        if ((ref >> 20) != 0 || page < self.page_floor_ || page - self.page_floor_ >= self.pages_)
            malformed("area reference");
        const size_t word = size_t(page - self.page_floor_) * PAGE_WORDS + (ref & 1023);
        const size_t total = size_t(self.pages_) * PAGE_WORDS * 4;
        if (word * 4 > total || bytes > total - word * 4) malformed("vector past the pages");
        return self.page_base_ + word * 4;
    }

    void check_cell(uint8_t* cell) const {
        switch (cell[0] & 15) {
            case KIND_INTEGER:
            case KIND_DATE:
            case KIND_FLOAT:
                return;
            case KIND_STRING:
            case KIND_ARRAY:
            case KIND_ASSOC_ARRAY:
            case KIND_HASH:
            case KIND_FUNCTION:
                break;
            case KIND_OPERATION: {
                const auto* op = reinterpret_cast<const OperationCell*>(cell);
                if (!is_operation_code(op->opcode)) malformed("operation code");
                const bool long_form = op->operand_count == OPERATION_LONG_FORM;
                if (long_form && op->opcode != OP_BLOCK) malformed("operand count");
                const uint32_t count = long_form ? op->position : op->operand_count;
                const OperationLayout& layout = operation_layout(op->opcode);
                if (count < layout.min_operands || count > layout.max_operands) malformed("operand count");
                break;
            }
            default:
                malformed("cell kind");
        }
        const CellWalker walker = {const_cast<ImageLoad*>(this), check_word, check_area, nullptr};
        walk_cell(cell, walker);
        switch (cell[0] & 15) {
            case KIND_STRING: {
                const auto* s = reinterpret_cast<const StringCell*>(cell);
                if (area_ptr(s->text)[s->length] != 0) malformed("string end");
                break;
            }
            case KIND_ARRAY: {
                const auto* a = reinterpret_cast<const ArrayCell*>(cell);
                if (a->capacity < a->length) malformed("array capacity");
                break;
            }
            case KIND_ASSOC_ARRAY: {
                const auto* a = reinterpret_cast<const AssocArrayCell*>(cell);
                if (a->capacity < a->count) malformed("pair capacity");
                break;
            }
            case KIND_HASH: {
                const auto* h = reinterpret_cast<const HashCell*>(cell);
                if (h->capacity < h->count) malformed("pair capacity");
                break;
            }
            case KIND_FUNCTION: {
                const auto* f = reinterpret_cast<const FunctionCell*>(cell);
                if (!f->names && f->param_count + f->local_count) malformed("function names");
                break;
            }
            default:
                break;
        }
    }

    void check_cells() const {
        for (uint32_t b = 0; b < blocks_; ++b) {
            uint8_t* block = g_heap.cell_block[cell_floor_ + b];
            const uint32_t n = b + 1 < blocks_ ? CELLS_PER_BLOCK : last_cells_;
            for (uint32_t c = 0; c < n; ++c) {
                uint8_t* cell = block + 16 * c;
                walked_cell_ = b * CELLS_PER_BLOCK + c;
                if (cell[0] != FREED_CELL) check_cell(cell);
            }
        }
        for (ValueHandle h : statements_) {
            check_handle(h);
            if (kind_of(h) != KIND_OPERATION) malformed("statement out of place");
        }
        check_program_shape();
    }

    // ---- the shape of the program ----
    //
    // The parser makes trees: every operation hangs from one place only (an
    // operation, a function, a literal's element or the statement list), a
    // function's body is an operation, and nothing leads back to itself. The
    // evaluator relies on it: a cycle would recurse until the stack ends.

    struct Link {
        uint32_t from, to;  // cell numbers within the image
    };
    mutable std::vector<Link> links_;
    mutable uint32_t walked_cell_ = 0;

    uint32_t cell_number(ValueHandle h) const { return (((h >> 8) & 0xFFF) - cell_floor_) * CELLS_PER_BLOCK + (h & 0xFF); }
    unsigned kind_at(uint32_t number) const {
        return g_heap.cell_block[cell_floor_ + number / CELLS_PER_BLOCK][16 * (number % CELLS_PER_BLOCK)] & 15;
    }

    void check_program_shape() const {
        const uint32_t cells = blocks_ ? (blocks_ - 1) * CELLS_PER_BLOCK + last_cells_ : 0;
        std::vector<uint8_t> parents(cells, 0);
        for (ValueHandle h : statements_) parents[cell_number(h)] = 1;
        for (const Link& link : links_) {
            if (kind_at(link.to) == KIND_OPERATION && parents[link.to]++ != 0) malformed("operation out of place");
        }
        for (uint32_t c = 0; c < cells; ++c) {
            if (kind_at(c) == KIND_FUNCTION) {
                const ValueHandle body = reinterpret_cast<const FunctionCell*>(
                    g_heap.cell_block[cell_floor_ + c / CELLS_PER_BLOCK] + 16 * (c % CELLS_PER_BLOCK))->body;
                if (body != 0 && kind_of(body) != KIND_OPERATION) malformed("operation out of place");
            }
        }
        check_no_cycle(cells);
    }

    // Depth-first over the links without recursion: a cell met again while
    // it is still on the path closes a cycle.
    void check_no_cycle(uint32_t cells) const {
        std::vector<uint32_t> first(cells + 1, 0);
        for (const Link& link : links_) ++first[link.from + 1];
        for (uint32_t c = 0; c < cells; ++c) first[c + 1] += first[c];
        std::vector<uint32_t> next(first.begin(), first.end() - 1), targets(links_.size());
        for (const Link& link : links_) targets[next[link.from]++] = link.to;
        links_.clear();
        links_.shrink_to_fit();

        enum : uint8_t { UNSEEN, ON_PATH, DONE };
        std::vector<uint8_t> state(cells, UNSEEN);
        std::vector<std::pair<uint32_t, uint32_t>> path;  // cell, next link to follow
        for (uint32_t root = 0; root < cells; ++root) {
            if (state[root] != UNSEEN) continue;
            state[root] = ON_PATH;
            path.push_back({root, first[root]});
            while (!path.empty()) {
                auto& [cell, at] = path.back();
                if (at == first[cell + 1]) {
                    state[cell] = DONE;
                    path.pop_back();
                    continue;
                }
                const uint32_t to = targets[at++];
                if (state[to] == ON_PATH) malformed("cycle");
                if (state[to] == UNSEEN) {
                    state[to] = ON_PATH;
                    path.push_back({to, first[to]});
                }
            }
        }
    }
};

}  // namespace

void load_module_image(const uint8_t* data, size_t size, uint32_t module, const char* file_name) {
    s_file = file_name ? file_name : "";
    if (size < IMAGE_HEADER_BYTES) malformed("header");
    const int32_t length = int32_t(read32(data));
    const int32_t stored = int32_t(read32(data + 4));
    if (length < 0 || stored < 0 || uint64_t(stored) > size - IMAGE_HEADER_BYTES) malformed("lengths");
    const uint8_t* body = data + IMAGE_HEADER_BYTES;
    std::unique_ptr<uint8_t[]> decoded;
    const uint8_t* stream = body;
    if (stored != length) {
        if (uint64_t(length) > MAX_STREAM || uint64_t(length) > uint64_t(stored) * MAX_EXPANSION + 64)
            malformed("lengths");
        const size_t capacity = size_t(length) + IMAGE_DECODE_SLACK;
        decoded.reset(new uint8_t[capacity]);
        size_t produced = 0;
        if (!decode_image_stream(body, size_t(stored), decoded.get(), capacity, &produced)) malformed("coding");
        if (produced < size_t(length)) malformed("coding");
        stream = decoded.get();
    }
    Reader reader{stream, size_t(length)};
    ImageLoad load(module);
    load.run(reader);
}

}  // namespace tolv
