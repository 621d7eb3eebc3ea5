// Compiled module images: the operand layout walk, operation freeing, the
// stream coder, loading in process (relocation, names, limits, malformed
// images) and the built runner running images exactly like their sources.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/module_image_codec.h"
#include "image/module_image_format.h"
#include "image/module_image_loader.h"
#include "image/module_image_writer.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"
#include "runtime/opcodes.h"
#include "runtime/operation_layout.h"
#include "runtime/value.h"
#include "support/runner_sandbox.h"

namespace tolv {
namespace {

using tests::ProcessResult;
using tests::ProcessOptions;
using tests::RunnerSandbox;

// Every shape the parser lays out: call and `new` argument blocks, the three
// `for` forms, catch pairs with and without finally, switch tables with and
// without default, literals, templates, functions with locals.
const char* const LAYOUT_SCRIPT = R"(
var total = 0, names = ["a", "b"];
var LIMIT = 3;
function Point(x, y) { this.x = x; this.y = y; }
function add(a, b = 2) { var t = a + b; return t; }
function main() {
  var s = "x", h = {a: 1, "b c": [1, 2, "three"], f: function (q) { return q * 2; }};
  for (var i = 0, j = 10; i < LIMIT; i++, j--) { total = add(total, i); s += i; }
  for (var q = 0; q < 5;) { break; }
  for (var k in h) console.log(k);
  for (const v of names) console.log(v);
  do { total--; } while (total > 100);
  switch (total) { case 3: console.log("three"); case 4: console.log("four"); break; default: console.log("other"); }
  switch (s) { case "x": console.log("never"); }
  try { throw new Error("boom"); } catch (e) { console.log("caught " + e.message); } finally { console.log("fin"); }
  try { total += 1; } finally { total -= 1; }
  try { total += 0; } catch (e2) { }
  var p = new Point(1, 2);
  console.log(`t=${total} s=${s} p=${p.x + p.y}`, h["b c"][2], h.f(21), typeof p, !(total > 0) ? -1 : 1);
}
console.log("loaded " + names.length);
)";

// ---- the layout walk ----------------------------------------------------------

class ImageRuntime : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }
    void TearDown() override {
        parser_reset();
        globals_reset();
        heap_reset();
    }
    static void fresh() {
        heap_reset();
        seed_name_table();
        globals_reset();
        parser_reset();
        g_error_context = ErrorContext{};
    }
};

struct Census {
    size_t values = 0, names = 0, areas = 0, numbers = 0;
    std::vector<std::string> faults;
};

// Checks every handle the walk reports against the heap: it must name a live
// cell of its own kind; names must exist.
void census_word(void* context, Word32* where, WordClass cls) {
    Census& c = *static_cast<Census*>(context);
    const uint32_t w = *where;
    switch (cls) {
        case WordClass::VALUE: {
            ++c.values;
            const uint32_t block = (w >> 8) & 0xFFF;
            if (is_area_kind(kind_of(w)) || int32_t(block) > g_heap.current_cell_block) {
                c.faults.push_back("handle out of the heap: " + std::to_string(w));
            } else if ((cell_of(w)[0] & 15) != kind_of(w) || cell_of(w)[0] == FREED_CELL) {
                c.faults.push_back("handle to a cell of another kind: " + std::to_string(w));
            }
            break;
        }
        case WordClass::NAME:
            ++c.names;
            if (w >= name_count()) c.faults.push_back("name out of the table: " + std::to_string(w));
            break;
        case WordClass::AREA: ++c.areas; break;
        case WordClass::NUMBER: ++c.numbers; break;
    }
}

uint8_t* census_area(void* context, AreaRef ref, size_t bytes) {
    Census& c = *static_cast<Census*>(context);
    const uint32_t page = (ref >> 10) & 1023;
    if ((ref >> 20) != 0 || int32_t(page) > g_heap.last_page || (ref & 1023) * 4 + bytes > 4096 * size_t(g_heap.last_page + 1 - page)) {
        c.faults.push_back("vector outside the pages: " + std::to_string(ref));
        return nullptr;
    }
    return area_ptr(ref);
}

Census walk_heap() {
    Census c;
    const CellWalker walker = {&c, census_word, census_area, nullptr};
    for (int32_t b = 0; b <= g_heap.current_cell_block; ++b) {
        const uint32_t n = b == g_heap.current_cell_block ? g_heap.next_cell_slot : 256;
        for (uint32_t s = 0; s < n; ++s) walk_cell(g_heap.cell_block[b] + 16 * s, walker);
    }
    return c;
}

TEST_F(ImageRuntime, LayoutWalkMeetsOnlyLiveCellsAndNamesInParsedScripts) {
    std::vector<char> text(LAYOUT_SCRIPT, LAYOUT_SCRIPT + std::strlen(LAYOUT_SCRIPT) + 1);
    remove_comments(text.data());
    parse_module(0, text.data());
    Census c = walk_heap();
    EXPECT_TRUE(c.faults.empty()) << c.faults.front();
    EXPECT_GT(c.values, 100u);
    EXPECT_GT(c.names, 20u);
    EXPECT_GT(c.areas, 20u);
}

TEST_F(ImageRuntime, LayoutTableNamesTheVectorOperands) {
    EXPECT_EQ(operation_layout(OP_CALL).shape[1], SHAPE_ARGUMENTS);
    EXPECT_EQ(operation_layout(OP_NEW).shape[1], SHAPE_ARGUMENTS);
    EXPECT_EQ(operation_layout(OP_FOR).shape[0], SHAPE_FOR_VECTOR);
    EXPECT_EQ(operation_layout(OP_TRY).shape[1], SHAPE_CATCH_PAIR);
    EXPECT_EQ(operation_layout(OP_SWITCH).shape[1], SHAPE_SWITCH_TABLE);
    EXPECT_EQ(operation_layout(OP_SWITCH).shape[2], SHAPE_SWITCH_STATEMENTS);
    EXPECT_EQ(operation_layout(OP_ADD_CHAIN).shape[3], SHAPE_HANDLE);
}

// Statements parsed while a script runs (eval, templates) are freed when
// dropped: repeating parse-and-release must not grow any part of the heap.
TEST_F(ImageRuntime, ReleasingOperationsFreesTheirVectorsAndOperands) {
    set_run_mode();
    const std::string text =
        "f(1, g(2, 3), [4, 5]); new P(6, 'seven');"
        "for (var i = 0, j = 1; i < 3; i++, j++) { h(i, j); }"
        "try { a(1); } catch (e) { b(e, 2); } finally { c(); }"
        "switch (x) { case 1: y(1); case 'two': y(2); break; default: y(3); }"
        "for (var k of [1, 2]) { z(k); }";
    auto round = [&] {
        std::vector<ValueHandle> statements;
        parse_statements(text.data(), text.size(), statements);
        for (ValueHandle h : statements) release(h);
    };
    round();
    HeapState before = g_heap;
    std::vector<uint32_t> handed_out;
    for (unsigned cls = 1; cls < AREA_CLASS_SINGLE; ++cls) {
        const SizeClass& sc = g_heap.size_class[cls];
        for (int32_t b = 0; sc.blocks && b <= sc.current_block; ++b) {
            uint16_t n, freed;
            std::memcpy(&n, sc.blocks[b], 2);
            std::memcpy(&freed, sc.blocks[b] + 4, 2);
            handed_out.push_back(n - freed);
        }
    }
    for (int i = 0; i < 20; ++i) round();
    EXPECT_EQ(g_heap.current_cell_block, before.current_cell_block);
    EXPECT_EQ(g_heap.next_cell_slot, before.next_cell_slot);
    EXPECT_EQ(g_heap.single_used, before.single_used);
    std::vector<uint32_t> after;
    for (unsigned cls = 1; cls < AREA_CLASS_SINGLE; ++cls) {
        const SizeClass& sc = g_heap.size_class[cls];
        EXPECT_EQ(sc.current_block, before.size_class[cls].current_block) << "class " << cls;
        for (int32_t b = 0; sc.blocks && b <= sc.current_block; ++b) {
            uint16_t n, freed;
            std::memcpy(&n, sc.blocks[b], 2);
            std::memcpy(&freed, sc.blocks[b] + 4, 2);
            after.push_back(n - freed);
        }
    }
    EXPECT_EQ(after, handed_out);
}

// ---- the coder -------------------------------------------------------------------

std::vector<uint8_t> decoded(const std::vector<uint8_t>& in, size_t capacity, bool& ok) {
    std::vector<uint8_t> out(capacity);
    size_t n = 0;
    ok = decode_image_stream(in.data(), in.size(), out.data(), out.size(), &n);
    out.resize(ok ? n : 0);
    return out;
}

TEST(ImageCoder, DecodesEveryCode) {
    // R=0xF0 Z2=0xF2 Z3=0xF3 Z4=0xF4; entries: 0xE1 -> 0x0D fixed run 3,
    // 0xE2 -> 0x0E fixed run 6, 0xE3 -> 0x41 with a run byte.
    const std::vector<uint8_t> header = {0xF0, 0xF2, 0xF3, 0xF4, 2, 3, 0xE1, 0xE2, 0xE3, 0x0D, 0x0E, 0x41, 3, 6};
    struct Case {
        const char* what;
        std::vector<uint8_t> coded;
        std::vector<uint8_t> plain;
    } cases[] = {
        {"zero and plain bytes", {0, 7, 0}, {0, 7, 0}},
        {"Z2", {0xF2, 9}, {0, 0, 9}},
        {"Z2 doubled", {0xF2, 0xF2}, {0xF2}},
        {"Z2 at the end", {0xF2}, {0, 0}},
        {"Z3", {0xF3, 1}, {0, 0, 0, 1}},
        {"Z3 doubled", {0xF3, 0xF3, 0xF3}, {0xF3, 0, 0, 0}},
        {"Z4", {0xF4}, {0, 0, 0, 0}},
        {"Z4 doubled", {0xF4, 0xF4}, {0xF4}},
        {"R run", {0xF0, 6}, std::vector<uint8_t>(6, 0)},
        {"R literal", {0xF0, 0}, {0xF0}},
        {"fixed entry, byte then zeros", {0xE1}, {0x0D, 0, 0, 0}},
        {"fixed entry, zeros then byte", {0xE2}, {0, 0, 0, 0x0E}},
        {"run entry, byte then zeros", {0xE3, 2}, {0x41, 0, 0}},
        {"run entry, zeros then byte", {0xE3, 7}, {0, 0, 0, 0, 0x41}},
        {"run entry, no zeros", {0xE3, 0}, {0x41}},
        {"run entry escaped", {0xE3, 254}, {0xE3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> in = header;
        in.insert(in.end(), c.coded.begin(), c.coded.end());
        bool ok = false;
        EXPECT_EQ(decoded(in, 64, ok), c.plain);
        EXPECT_TRUE(ok);
    }
}

TEST(ImageCoder, RefusesMalformedCoding) {
    const std::vector<uint8_t> header = {0xF0, 0xF2, 0xF3, 0xF4, 0, 1, 0xE3, 0x41};
    struct Case {
        const char* what;
        std::vector<uint8_t> in;
        size_t capacity;
    } cases[] = {
        {"short header", {0xF0, 0xF2, 0xF3}, 64},
        {"entries past the end", {0xF0, 0xF2, 0xF3, 0xF4, 0, 9, 1, 2}, 64},
        {"more fixed than entries", {0xF0, 0xF2, 0xF3, 0xF4, 2, 1, 0xE3, 0x41, 3, 3}, 64},
        {"R without its count", {0xF0, 0xF2, 0xF3, 0xF4, 0, 0, 0xF0}, 64},
        {"run entry without its run", {0xF0, 0xF2, 0xF3, 0xF4, 0, 1, 0xE3, 0x41, 0xE3}, 64},
        {"run past the buffer", {0xF0, 0xF2, 0xF3, 0xF4, 0, 0, 0xF0, 255}, 100},
        {"zeros past the buffer", {0xF0, 0xF2, 0xF3, 0xF4, 0, 0, 0xF4, 0xF4, 0xF4}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool ok = true;
        decoded(c.in, c.capacity, ok);
        EXPECT_FALSE(ok);
    }
    (void)header;
}

TEST(ImageCoder, CodedStreamsReadBack) {
    std::vector<std::vector<uint8_t>> streams;
    std::vector<uint8_t> words;
    for (uint32_t i = 0; i < 4000; ++i) {
        uint32_t w = i % 7 == 0 ? 0x0D000000u | i : i % 3 == 0 ? 0 : i * 2654435761u % 300;
        words.insert(words.end(), reinterpret_cast<uint8_t*>(&w), reinterpret_cast<uint8_t*>(&w) + 4);
    }
    streams.push_back(words);
    std::vector<uint8_t> every_byte;  // codes must come from rare bytes, escaped
    for (int r = 0; r < 40; ++r)
        for (int b = 0; b < 256; ++b) every_byte.push_back(uint8_t(b * r % 256 == 0 ? 0 : b));
    streams.push_back(every_byte);
    for (const auto& s : streams) {
        std::vector<uint8_t> coded = encode_image_stream(s);
        if (coded.empty()) continue;  // not worth coding: stored plainly
        EXPECT_LT(coded.size(), s.size());
        bool ok = false;
        EXPECT_EQ(decoded(coded, s.size() + IMAGE_DECODE_SLACK, ok), s);
    }
    EXPECT_FALSE(encode_image_stream(words).empty());
}

// ---- loading in process -----------------------------------------------------------

std::string code_of(const ScriptThrow& thrown) { return error_code_text(value_ptr(thrown.value)); }

template <class F>
std::string raised(F&& f) {
    try {
        f();
    } catch (const ScriptThrow& thrown) {
        return code_of(thrown);
    }
    return "";
}

class ImageLoading : public ImageRuntime {
protected:
    static std::vector<uint8_t> compile(const std::string& text, bool compress = true) {
        std::vector<uint8_t> image = compile_module_image(text, compress);
        fresh();
        return image;
    }
    static void load(const std::vector<uint8_t>& image, uint32_t module = 1) {
        load_module_image(image.data(), image.size(), module, "test.jo");
    }
};

TEST_F(ImageLoading, FirstImageReplacesTheNameTableAndKeepsItsCells) {
    std::vector<uint8_t> image = compile(LAYOUT_SCRIPT);
    uint32_t length, stored;
    std::memcpy(&length, image.data(), 4);
    std::memcpy(&stored, image.data() + 4, 4);
    EXPECT_LT(stored, length);  // coded
    load(image, 5);
    EXPECT_EQ(find_name("Point", 5), find_name("Point", 5));
    EXPECT_NE(find_name("total", 5), UINT32_MAX);
    EXPECT_TRUE(global_declared(find_name("total", 5)));
    EXPECT_TRUE(global_declared(find_name("main", 4)));
    EXPECT_FALSE(g_initialisers.empty());
    // Interning after the replacement adds in place.
    uint32_t added = intern_name("brand_new", 9);
    EXPECT_EQ(added, name_count() - 1);
    EXPECT_EQ(find_name("total", 5), intern_name("total", 5));
    for (ValueHandle h : g_initialisers) {
        ASSERT_EQ(kind_of(h), KIND_OPERATION);
        EXPECT_EQ(cell_as<OperationCell>(h)->module & 0x7F, 5);
    }
    Census c = walk_heap();
    EXPECT_TRUE(c.faults.empty()) << c.faults.front();
}

TEST_F(ImageLoading, SecondImageIsShiftedAndRenumbered) {
    std::vector<uint8_t> first = compile("var alpha = 'one'; function fa(p, q, r) { return alpha + p + q + r; }");
    std::vector<uint8_t> second = compile("var beta = 'b'; function fb(x) { return x + beta + [1, 2].length; }");
    load(first, 1);
    const size_t first_statements = g_initialisers.size();
    const uint32_t floor_before = uint32_t(g_heap.current_cell_block + 1);
    load(second, 2);
    EXPECT_EQ(g_heap.cell_floor, floor_before);
    EXPECT_GT(g_heap.page_floor, 0u);
    uint32_t beta = find_name("beta", 4);
    ASSERT_NE(beta, UINT32_MAX);
    EXPECT_TRUE(global_declared(beta));
    EXPECT_TRUE(global_declared(find_name("fa", 2)));
    ASSERT_GT(g_initialisers.size(), first_statements);
    for (size_t i = first_statements; i < g_initialisers.size(); ++i) {
        ValueHandle h = g_initialisers[i];
        EXPECT_GE((h >> 8) & 0xFFF, floor_before);
        EXPECT_EQ(cell_as<OperationCell>(h)->module & 0x7F, 2);
    }
    Census c = walk_heap();
    EXPECT_TRUE(c.faults.empty()) << c.faults.front();
    // The second image's names point at the runner's numbers: no name in
    // its cells may still hold the image's own numbering of "beta".
    EXPECT_GT(c.names, 0u);
}

TEST_F(ImageLoading, PlainImageLoadsWithoutDecoding) {
    std::vector<uint8_t> image = compile("var x = 1;", false);
    uint32_t length, stored;
    std::memcpy(&length, image.data(), 4);
    std::memcpy(&stored, image.data() + 4, 4);
    EXPECT_EQ(length, stored);
    EXPECT_EQ(raised([&] { load(image); }), "");
    EXPECT_TRUE(global_declared(find_name("x", 1)));
}

TEST_F(ImageLoading, HeapLimitsRaise1435) {
    std::vector<uint8_t> image = compile("var x = [1, 2]; function f() { return x; }");
    claim_cell_block(4093);
    EXPECT_EQ(raised([&] { load(image); }), "1435");
    fresh();
    claim_pages(1022, 1);
    EXPECT_EQ(raised([&] { load(image); }), "1435");
    fresh();
    claim_cell_block(4092);
    EXPECT_EQ(raised([&] { load(image); }), "");
}

// Writes a 32-bit word into an uncompressed image's stream.
void poke(std::vector<uint8_t>& image, size_t at, uint32_t v) { std::memcpy(image.data() + at, &v, 4); }
uint32_t peek(const std::vector<uint8_t>& image, size_t at) {
    uint32_t v;
    std::memcpy(&v, image.data() + at, 4);
    return v;
}
// Offset of a section's tag in an uncompressed image; 0 when absent.
size_t section_at(const std::vector<uint8_t>& image, uint32_t tag) {
    size_t at = IMAGE_HEADER_BYTES;
    while (at + 8 <= image.size()) {
        const uint32_t t = peek(image, at), count = peek(image, at + 4);
        if (t == tag) return at;
        if (t == IMAGE_END) return 0;
        size_t data = 0;
        if (t == IMAGE_CELLS) data = size_t(count >> 16) * 4096 + size_t(count & 0xFFFF) * 16;
        else if (t == IMAGE_PAGES) data = (size_t(count >> 16) * 1024 + (count & 0xFFFF)) * 4 + 4 * ((count >> 16) + ((count & 0xFFFF) ? 1 : 0));
        else if (t == IMAGE_NAMES) {
            data = size_t(count) * 20;
            data += 4 + peek(image, at + 8 + data);
        } else data = size_t(count) * 4;
        at += 8 + data;
    }
    return 0;
}

TEST_F(ImageLoading, MalformedImagesRaise1168) {
    const std::vector<uint8_t> good = compile("var s = 'text'; function f(a) { return g(a, 1) + s; } f(2);", false);
    const std::string image_error = "1168";
    struct Case {
        const char* what;
        void (*change)(std::vector<uint8_t>&);
    } cases[] = {
        {"stored length past the file", [](std::vector<uint8_t>& i) { poke(i, 4, uint32_t(i.size())); poke(i, 0, uint32_t(i.size())); }},
        {"negative length", [](std::vector<uint8_t>& i) { poke(i, 0, 0x80000000u); }},
        {"unknown section", [](std::vector<uint8_t>& i) { poke(i, 8, 0x1000F00); }},
        {"cell count past the end", [](std::vector<uint8_t>& i) { poke(i, section_at(i, IMAGE_CELLS) + 4, 0x00400000); }},
        {"name count past the end", [](std::vector<uint8_t>& i) { poke(i, section_at(i, IMAGE_NAMES) + 4, 0x10000000); }},
        {"name of length 0", [](std::vector<uint8_t>& i) { i[section_at(i, IMAGE_NAMES) + 8 + 12 * 54 + 1] = 0; }},
        {"pool offset outside the pool", [](std::vector<uint8_t>& i) { poke(i, section_at(i, IMAGE_NAMES) + 8 + 12 * 54 + 8, 0x7FFFFFFF); }},
        {"cell place outside the cells", [](std::vector<uint8_t>& i) { poke(i, section_at(i, IMAGE_CELL_HANDLES) + 8, 0x00050000); }},
        {"page place outside the pages", [](std::vector<uint8_t>& i) { poke(i, section_at(i, IMAGE_PAGE_HANDLES) + 8, 0x0000FFFF); }},
        {"name number past the table", [](std::vector<uint8_t>& i) {
             const uint32_t place = peek(i, section_at(i, IMAGE_CELL_NAMES) + 8);
             poke(i, section_at(i, IMAGE_CELLS) + 8 + (place >> 16) * 4096 + (place & 0xFFFF) * 4, 0x00FFFFFF); }},
        {"statement outside the cells", [](std::vector<uint8_t>& i) { poke(i, section_at(i, IMAGE_INITIALISERS) + 8, 0x0D0FFF00); }},
        {"area reference outside the pages", [](std::vector<uint8_t>& i) {
             size_t cells = section_at(i, IMAGE_CELLS) + 8;
             for (size_t c = cells; c < cells + 16 * 256; c += 16)
                 if ((i[c] & 15) == KIND_STRING) { poke(i, c + 4, 0x000FFC00); return; } }},
        {"operation code out of range", [](std::vector<uint8_t>& i) {
             size_t cells = section_at(i, IMAGE_CELLS) + 8;
             for (size_t c = cells; c < cells + 16 * 256; c += 16)
                 if ((i[c] & 15) == KIND_OPERATION) { i[c + 3] = 99; return; } }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bad = good;
        c.change(bad);
        fresh();
        EXPECT_EQ(raised([&] { load(bad); }), image_error);
    }
    // Every truncation fails cleanly.
    for (size_t n = 0; n < good.size(); n += 7) {
        fresh();
        std::vector<uint8_t> cut(good.begin(), good.begin() + ptrdiff_t(n));
        EXPECT_EQ(raised([&] { load(cut); }), image_error) << n;
    }
    // A coded stream that decodes to more than the buffer.
    std::vector<uint8_t> overrun = {16, 0, 0, 0, 10, 0, 0, 0, 0xF0, 0xF2, 0xF3, 0xF4, 0, 0, 0xF0, 255, 0xF0, 255};
    fresh();
    EXPECT_EQ(raised([&] { load(overrun); }), image_error);
}

// ---- the built runner --------------------------------------------------------------

ProcessResult compile_in(const RunnerSandbox& box, const std::string& source, const std::string& image) {
    ProcessOptions options;
    options.args = {source, image};
    options.working_dir = box.dir();
    return run_process(TOLV_COMPILE_PATH, options);
}

struct AppModule {
    const char* name;  // without extension
    const char* text;
};

const AppModule LIBRARY = {"lib", R"(
var counter = 10;
var GREETING = "hi";
function Greeter(name) { this.name = name; }
function greet(who, times) {
  var out = "";
  for (var i = 0; i < times; i++) out += `${GREETING} ${who} #${i}, `;
  return out;
}
function bump(n) { counter += n; return counter; }
)"};

const AppModule APP = {"app", R"(
var seen = {};
function classify(n) {
  switch (n % 3) { case 0: return "fizz"; case 1: return "one"; default: return "two"; }
}
function main() {
  console.log(greet("bo", 3));
  console.log(bump(5), bump(1));
  var g = new Greeter("cy");
  console.log(g.name, typeof g);
  var acc = "";
  for (var n = 0; n < 7; n++) { acc += classify(n) + ";"; seen[classify(n)] = n; }
  console.log(acc);
  for (var k in seen) console.log(k, seen[k]);
  try { missing(); } catch (e) { console.log("caught", e.message.length > 0); }
  var words = ["the", "quick", "brown", "fox"];
  console.log(words[2], 7 / 2, 2 ** 10, 17 % 5, 1 << 4, "a" + 1 + 2.5);
}
)"};

class CompiledModules : public ::testing::Test {
protected:
    RunnerSandbox box;
    void SetUp() override {
        box.write_config("");
        for (const AppModule* m : {&LIBRARY, &APP}) {
            const std::string js = std::string(m->name) + ".js";
            box.write_file(js, m->text);
            ProcessResult r = compile_in(box, js, std::string(m->name) + ".jo");
            ASSERT_EQ(r.exit_code, 0) << r.err;
        }
    }
    std::string run(const std::vector<std::string>& files) {
        std::vector<std::string> args = {"-e", "main()"};
        args.insert(args.end(), files.begin(), files.end());
        ProcessResult r = box.run(args);
        EXPECT_EQ(r.exit_code, 0);
        // Messages name the module's own file; the rest must match.
        for (size_t at; (at = r.out.find(".jo:")) != std::string::npos;) r.out.replace(at, 4, ".js:");
        return r.out;
    }
};

TEST_F(CompiledModules, ImagesRunExactlyLikeTheirSources) {
    const std::string expected = run({"lib.js", "app.js"});
    ASSERT_NE(expected.find("hi bo #2"), std::string::npos) << expected;
    ASSERT_NE(expected.find("caughttrue"), std::string::npos) << expected;
    // Two images (the second shifted and renumbered), and each mixed with source.
    for (const auto& files : std::vector<std::vector<std::string>>{
             {"lib.jo", "app.jo"}, {"lib.js", "app.jo"}, {"lib.jo", "app.js"}}) {
        SCOPED_TRACE(files[0] + " " + files[1]);
        EXPECT_EQ(run(files), expected);
    }
}

TEST_F(CompiledModules, LayoutScriptRunsLikeItsSource) {
    box.write_file("layout.js", LAYOUT_SCRIPT);
    ASSERT_EQ(compile_in(box, "layout.js", "layout.jo").exit_code, 0);
    const std::string expected = run({"layout.js"});
    ASSERT_NE(expected.find("caught boom"), std::string::npos) << expected;
    EXPECT_EQ(run({"layout.jo"}), expected);
    EXPECT_EQ(run({"lib.jo", "layout.jo"}), run({"lib.js", "layout.js"}));
}

TEST_F(CompiledModules, CompilerReportsParseErrorsAndUsage) {
    box.write_file("broken.js", "function f( { return 1; }");
    ProcessResult r = compile_in(box, "broken.js", "broken.jo");
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(r.err.find("PARSE ERROR"), std::string::npos) << r.err;
    EXPECT_FALSE(box.exists("broken.jo"));
    ProcessOptions help;
    help.args = {"--help"};
    ProcessResult h = run_process(TOLV_COMPILE_PATH, help);
    EXPECT_EQ(h.exit_code, 0);
    EXPECT_NE(h.out.find("usage: runner-compile [--plain] input.js output.jo"), std::string::npos);
}

// The compiler parses as the runner parses: a module the runner refuses as
// source (here for a literal the library checks while parsing) does not
// compile, with the same error; one it takes compiles and runs alike.
TEST_F(CompiledModules, ModulesTheRunnerRefusesDoNotCompile) {
    const struct {
        const char* source;
        const char* code;
    } refused[] = {
        {"function main() { return /(a)*/.test('a'); }\n", "PARSE ERROR 4660"},
        {"var r = /a{2,1}/;\nfunction main() {}\n", "PARSE ERROR 4765"},
        {"function main() { return /a/q; }\n", "PARSE ERROR 4795"},
        {"function main() { return /[b-a]/; }\n", "PARSE ERROR 4720"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.source);
        box.write_file("bad.js", c.source);
        ProcessResult as_source = box.run({"-e", "main()", "bad.js"});
        EXPECT_NE(as_source.out.find(c.code), std::string::npos) << as_source.out;
        ProcessResult compiled = compile_in(box, "bad.js", "bad.jo");
        EXPECT_NE(compiled.exit_code, 0);
        EXPECT_NE(compiled.err.find(c.code), std::string::npos) << compiled.err;
        EXPECT_FALSE(box.exists("bad.jo"));
    }
    box.write_file("good.js", "function main() { console.log(/^(?:a|\xF0\x9F\x98\x80)+$/.test('a\xF0\x9F\x98\x80'), ' ', 'x,y'.split(/,/)); }\n");
    ASSERT_EQ(compile_in(box, "good.js", "good.jo").exit_code, 0);
    EXPECT_EQ(run({"good.jo"}), run({"good.js"}));
    EXPECT_NE(run({"good.js"}).find("true [\"x\",\"y\"]"), std::string::npos) << run({"good.js"});
}

TEST_F(CompiledModules, DamagedImageEndsTheRequestWithAParseError) {
    std::string image = box.read_file("app.jo");
    image.resize(image.size() / 2);
    box.write_file("cut.jo", image);
    const std::string out = run({"lib.jo", "cut.jo"});
    EXPECT_NE(out.find("PARSE ERROR 1168"), std::string::npos) << out;
}

}  // namespace
}  // namespace tolv
