#include <cstring>

#include "runtime/heap_fixture.h"

namespace tolv::tests {
namespace {

bool is_freed_cell(ValueHandle h) { return cell_of(h)[0] == FREED_CELL; }

using OwnershipTest = HeapTest;
using RecordTest = HeapTest;
using ContainerTest = HeapTest;

TEST(HandleTest, KindsAndStorage) {
    EXPECT_EQ(VALUE_UNDEFINED, 0u);
    EXPECT_EQ(VALUE_NULL, 3u);
    EXPECT_EQ(kind_of(make_handle(KIND_HASH, 0x123456)), KIND_HASH);
    EXPECT_EQ(payload_of(make_handle(KIND_HASH, 0x123456)), 0x123456u);
    for (unsigned kind = 0; kind < 16; ++kind) {
        bool area = kind == 1 || kind == 3 || kind == 6 || kind == 7;
        EXPECT_EQ(is_area_kind(kind), area) << kind;
    }
    EXPECT_FALSE(has_storage(VALUE_NAN));
    EXPECT_FALSE(has_storage(NAME_MATH));
    EXPECT_FALSE(has_storage(VALUE_SENTINEL));
    EXPECT_FALSE(has_storage(make_handle(4, 1)));
    EXPECT_TRUE(has_storage(make_handle(KIND_ERROR, 0)));
}

TEST(HandleTest, KindTestsNeverPassASentinel) {
    struct Case {
        ValueHandle handle;
        Kind reads_as;  // kind_or_reserved
        bool string, hash, number, plain_name;
    };
    const Case cases[] = {
        {make_handle(KIND_STRING, 7), KIND_STRING, true, false, false, false},
        {make_handle(KIND_HASH, 7), KIND_HASH, false, true, false, false},
        {make_handle(KIND_INTEGER, 7), KIND_INTEGER, false, false, true, false},
        {make_handle(KIND_FLOAT, 7), KIND_FLOAT, false, false, true, false},
        {VALUE_SENTINEL, KIND_RESERVED, false, false, false, false},
        // Sentinels whose kind bits happen to read as a value's kind.
        {0x19000001u, KIND_RESERVED, false, false, false, false},
        {0xFC000000u, KIND_RESERVED, false, false, false, false},
        {0x12000000u, KIND_RESERVED, false, false, false, false},
        {0x0FFFFFFFu, KIND_RESERVED, false, false, false, false},
        {VALUE_NAN, KIND_NAME, false, false, false, false},
        {NAME_MATH, KIND_NAME, false, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.handle);
        EXPECT_EQ(kind_or_reserved(c.handle), c.reads_as);
        EXPECT_EQ(is_string(c.handle), c.string);
        EXPECT_EQ(is_hash(c.handle), c.hash);
        EXPECT_EQ(is_number(c.handle), c.number);
        EXPECT_EQ(is_plain_name(c.handle), c.plain_name);
    }
}

// ---- Ownership -----------------------------------------------------------------

TEST(OwnershipHeaderTest, CountsStayBetweenZeroAndPermanent) {
    uint8_t header = header_of(KIND_HASH, 0);
    take_reference(header);  // a temporary stays one
    EXPECT_EQ(count_in(header), 0u);
    add_reference(header);
    EXPECT_TRUE(owned_by(header, 1));
    for (int i = 0; i < 20; ++i) add_reference(header);
    EXPECT_EQ(count_in(header), PERMANENT_COUNT);
    take_reference(header);  // permanent for good
    EXPECT_EQ(count_in(header), PERMANENT_COUNT);
    EXPECT_EQ(kind_in(header), KIND_HASH);
    header = header_of(KIND_STRING, 14);
    take_reference(header);
    EXPECT_EQ(count_in(header), 13u);
    EXPECT_EQ(kind_in(header), KIND_STRING);
}

TEST_F(OwnershipTest, ADatabaseReferenceIsANumberButNotAPlainOne) {
    ValueHandle reference = new_float(0);
    cell_as<FloatCell>(reference)->subtype = FLOAT_DB_REFERENCE;
    EXPECT_TRUE(is_number(reference));
    EXPECT_FALSE(is_plain_number(reference));
    EXPECT_TRUE(is_plain_number(new_float(2.5)));
    EXPECT_TRUE(is_plain_number(new_integer(2)));
    EXPECT_FALSE(is_plain_number(new_string("2")));
    EXPECT_EQ(number_value(new_integer(-3)), -3.0);
    EXPECT_EQ(number_value(new_float(-3.5)), -3.5);
}

TEST_F(OwnershipTest, CountsUpAndDownAndFreesAtZero) {
    ValueHandle v = new_integer(7);
    EXPECT_EQ(ref_count(v), 0u);
    EXPECT_EQ(retain_was(v), 0u);
    EXPECT_EQ(retain_was(v), 16u);
    EXPECT_EQ(retain(v), v);
    EXPECT_EQ(ref_count(v), 3u);
    release(v);
    release(v);
    EXPECT_EQ(ref_count(v), 1u);
    dispose(v);  // owned: left alone
    EXPECT_FALSE(is_freed_cell(v));
    release(v);
    EXPECT_TRUE(is_freed_cell(v));
}

TEST_F(OwnershipTest, ReleasingAnUnownedValueFreesIt) {
    ValueHandle v = new_float(1.5);
    release(v);
    EXPECT_TRUE(is_freed_cell(v));
}

TEST_F(OwnershipTest, ReleaseKeepNeverFrees) {
    ValueHandle v = retain(new_string("x"));
    release_keep(v);
    EXPECT_EQ(ref_count(v), 0u);
    release_keep(v);
    EXPECT_FALSE(is_freed_cell(v));
    dispose(v);
    EXPECT_TRUE(is_freed_cell(v));
}

TEST_F(OwnershipTest, FifteenRetainsMakeAValuePermanent) {
    ValueHandle v = new_integer(1);
    for (int i = 0; i < 15; ++i) retain(v);
    EXPECT_EQ(ref_count(v), PERMANENT_COUNT);
    EXPECT_EQ(retain_was(v), 0xF0u);
    for (int i = 0; i < 40; ++i) release(v);
    release_keep(v);
    dispose(v);
    free_value(make_handle(0, 5));  // names and constants are ignored everywhere
    release(VALUE_SENTINEL);
    EXPECT_EQ(ref_count(v), PERMANENT_COUNT);
    EXPECT_EQ(integer_value(v), 1);
}

TEST_F(OwnershipTest, ArrayReleaseKeepsAnElementOwnedElsewhere) {
    ValueHandle array = retain(new_array(0));
    ValueHandle shared = retain(new_string("kept"));  // also held by a variable
    ValueHandle only_here = new_integer(5);
    array_push(array, shared);
    array_push(array, only_here);
    EXPECT_EQ(ref_count(shared), 2u);
    release(array);
    EXPECT_TRUE(is_freed_cell(array));
    EXPECT_TRUE(is_freed_cell(only_here));
    EXPECT_FALSE(is_freed_cell(shared));
    EXPECT_EQ(ref_count(shared), 1u);
    EXPECT_STREQ(string_text(shared), "kept");
}

TEST_F(OwnershipTest, ContainersReleaseTheirChildren) {
    set_run_mode();
    ValueHandle hash = new_hash(0);
    ValueHandle in_hash = new_integer(1);
    hash_set(hash, intern_name("a", 1), in_hash);
    release(hash);
    EXPECT_TRUE(is_freed_cell(hash));
    EXPECT_TRUE(is_freed_cell(in_hash));

    ValueHandle assoc = new_assoc_array(0);
    ValueHandle in_assoc = new_string("v");
    assoc_set(assoc, make_handle(KIND_INTEGER, 3), in_assoc);

    // An operation with three operands keeps them in a vector.
    ValueHandle op = new_cell(KIND_OPERATION, 0);
    const ValueHandle operands[3] = {new_integer(1), new_float(2), assoc};
    uint8_t* vector;
    AreaRef ref = area_alloc(12, &vector);
    for (int i = 0; i < 3; ++i) reinterpret_cast<Word32*>(vector)[i] = retain(operands[i]);
    cell_as<OperationCell>(op)->operand_count = 3;
    cell_as<OperationCell>(op)->operand[0] = ref;

    ValueHandle inline_op = new_cell(KIND_OPERATION, 0);
    ValueHandle inline_operand = new_integer(9);
    cell_as<OperationCell>(inline_op)->operand_count = 1;
    cell_as<OperationCell>(inline_op)->operand[0] = retain(inline_operand);
    ValueHandle function = new_cell(KIND_FUNCTION, 0);
    cell_as<FunctionCell>(function)->body = retain(inline_op);

    release(op);
    EXPECT_TRUE(is_freed_cell(op));
    for (ValueHandle operand : operands) EXPECT_TRUE(is_freed_cell(operand));
    EXPECT_TRUE(is_freed_cell(in_assoc));
    EXPECT_EQ(std::memcmp(area_ptr(ref), FREE_SLOT_MARKER, 9), 0);

    release(function);
    EXPECT_TRUE(is_freed_cell(function));
    EXPECT_TRUE(is_freed_cell(inline_op));
    EXPECT_TRUE(is_freed_cell(inline_operand));
}

TEST_F(OwnershipTest, AreaRecordsAreFreedInRunMode) {
    set_run_mode();
    ValueHandle error = new_error("1", 1, "m", 1);
    AreaRef ref = payload_of(error);
    release(error);
    EXPECT_EQ(std::memcmp(area_ptr(ref), FREE_SLOT_MARKER, 9), 0);

    uint8_t* rec;
    AreaRef connection = area_alloc(96, &rec);
    rec[0] = KIND_DB_CONNECTION;
    release(make_handle(KIND_DB_CONNECTION, connection));  // connections outlive their handles
    EXPECT_EQ(rec[0], KIND_DB_CONNECTION);
}

TEST_F(OwnershipTest, LongChainOfNestedArraysIsFreedWithoutDeepRecursion) {
    set_run_mode();
    ValueHandle inner = new_integer(0);
    ValueHandle first = inner;
    for (int i = 0; i < 200000; ++i) {
        ValueHandle outer = new_array(0);
        array_push(outer, inner);
        inner = outer;
    }
    release(inner);
    EXPECT_TRUE(is_freed_cell(inner));
    EXPECT_TRUE(is_freed_cell(first));
    EXPECT_EQ(g_heap.freed_cells, 200001u);
}

// ---- Records -------------------------------------------------------------------

TEST_F(RecordTest, ErrorRecordLayout) {
    ValueHandle e = new_error("1435", 4, "overflow", 8);
    EXPECT_EQ(kind_of(e), KIND_ERROR);
    const uint8_t* rec = value_ptr(e);
    EXPECT_EQ(rec[0], KIND_ERROR);
    EXPECT_EQ(rec[1], 0);
    EXPECT_EQ(error_message_length(rec), 8);
    EXPECT_EQ(error_code_length(rec), 4);
    EXPECT_STREQ(error_code_text(rec), "1435");
    EXPECT_EQ(error_message(rec), reinterpret_cast<const char*>(rec + 12));
    EXPECT_STREQ(error_message(rec), "overflow");
}

TEST_F(RecordTest, ErrorWithALongCodeAndShortMessageFits) {
    set_run_mode();
    std::string code(300, 'C');
    ValueHandle e = new_error(code.data(), code.size(), "", 0);
    EXPECT_EQ(error_code_text(value_ptr(e)), code);
    EXPECT_STREQ(error_message(value_ptr(e)), "");
    ValueHandle next = new_error("1", 1, "after", 5);  // neighbour intact
    EXPECT_EQ(error_code_text(value_ptr(e)), code);
    EXPECT_STREQ(error_message(value_ptr(next)), "after");
}

TEST_F(RecordTest, StringLayout) {
    set_run_mode();
    ValueHandle s = new_string("hello, world", 5);
    const StringCell* c = cell_as<StringCell>(s);
    EXPECT_EQ(c->header, KIND_STRING);
    EXPECT_EQ(c->template_mark, 0);
    EXPECT_EQ(c->length, 5u);
    EXPECT_EQ(c->capacity, 13u);
    EXPECT_EQ((c->text >> 20) & 15, 1u);  // 17 bytes: a 32-byte slot
    EXPECT_STREQ(string_text(s), "hello");

    ValueHandle empty = new_string_with_capacity(100);
    EXPECT_EQ(string_length(empty), 0u);
    EXPECT_EQ(cell_as<StringCell>(empty)->capacity, 100u);
    EXPECT_STREQ(string_text(empty), "");
}

TEST_F(RecordTest, NumberAndContainerLayouts) {
    ValueHandle i = new_integer(-3);
    EXPECT_EQ(cell_of(i)[0], KIND_INTEGER);
    int32_t raw;
    std::memcpy(&raw, cell_of(i) + 4, 4);
    EXPECT_EQ(raw, -3);
    ValueHandle f = new_float(0.25);
    double d;
    std::memcpy(&d, cell_of(f) + 8, 8);
    EXPECT_EQ(d, 0.25);

    ValueHandle a = new_array(3);
    EXPECT_EQ(array_length(a), 3u);
    EXPECT_EQ(cell_as<ArrayCell>(a)->capacity, 13u);
    for (uint32_t k = 0; k < 13; ++k) EXPECT_EQ(array_elements(a)[k], VALUE_UNDEFINED);

    ValueHandle h = new_hash(2);
    EXPECT_EQ(hash_count(h), 2u);
    EXPECT_EQ(cell_as<HashCell>(h)->capacity, 12u);
    EXPECT_EQ(cell_as<HashCell>(h)->class_name, 0u);
}

// ---- Container helpers ----------------------------------------------------------

TEST_F(ContainerTest, ArrayGrowsAndKeepsElementsAtAnyAlignment) {
    set_run_mode();
    area_alloc(40);  // pushes the next 64-byte slot to an address that is 2 mod 4
    ValueHandle a = new_array(0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(array_elements(a)) % 4, 2u);
    for (int k = 0; k < 100; ++k) array_push(a, new_integer(k));
    EXPECT_EQ(array_length(a), 100u);
    EXPECT_GE(cell_as<ArrayCell>(a)->capacity, 100u);
    for (int k = 0; k < 100; ++k) {
        ValueHandle e = array_elements(a)[k];
        EXPECT_EQ(integer_value(e), k);
        EXPECT_EQ(ref_count(e), 1u);
    }
}

TEST_F(ContainerTest, HashSetGetAndOverwrite) {
    set_run_mode();
    ValueHandle h = new_hash(0);
    uint32_t a = intern_name("a", 1);
    ValueHandle first = new_integer(1);
    hash_set(h, a, first);
    for (int k = 0; k < 30; ++k) {
        std::string name = "k" + std::to_string(k);
        hash_set(h, intern_name(name.data(), name.size()), new_integer(k));
    }
    EXPECT_EQ(hash_count(h), 31u);
    EXPECT_EQ(hash_get(h, a), first);
    ValueHandle second = new_string("two");
    hash_set(h, a, second);
    EXPECT_EQ(hash_count(h), 31u);
    EXPECT_TRUE(is_freed_cell(first));
    EXPECT_EQ(hash_get(h, a), second);
    EXPECT_EQ(integer_value(hash_get(h, find_name("k29", 3))), 29);
    EXPECT_EQ(hash_get(h, NAME_COUNT), VALUE_SENTINEL);

    hash_set(h, a, second);  // same value again: kept alive
    EXPECT_FALSE(is_freed_cell(second));
    EXPECT_EQ(ref_count(second), 1u);
}

// A Hash's count and capacity are 16-bit fields: it stops growing there,
// where an assoc array goes on.
TEST_F(ContainerTest, HashGrowthStopsAtItsSixteenBitFields) {
    ValueHandle h = new_hash(0);
    ValueHandle m = new_assoc_array(0);
    for (uint32_t k = 0; k < 0xFFFF; ++k) {
        hash_append(h, 5 + k, VALUE_TRUE);
        assoc_append(m, 5 + k, VALUE_TRUE);
    }
    EXPECT_EQ(hash_count(h), 0xFFFFu);
    EXPECT_EQ(cell_as<HashCell>(h)->capacity, 0xFFFFu);
    EXPECT_EQ(hash_pairs(h)[2 * 0xFFFE], 5u + 0xFFFE);
    EXPECT_EQ(raised_by([&] { hash_append(h, 1, VALUE_TRUE); }).code, "1400");
    EXPECT_EQ(hash_count(h), 0xFFFFu);
    assoc_append(m, 1, VALUE_TRUE);
    EXPECT_EQ(assoc_count(m), 0x10000u);
    EXPECT_GT(cell_as<AssocArrayCell>(m)->capacity, 0x10000u);
    EXPECT_EQ(assoc_pairs(m)[2 * 0xFFFF], 1u);
}

TEST_F(ContainerTest, AssocKeysAreNamesOrIntegers) {
    ValueHandle m = new_assoc_array(0);
    uint32_t named = intern_name("x", 1);
    uint32_t numbered = make_handle(KIND_INTEGER, 7);
    assoc_set(m, named, new_integer(1));
    assoc_set(m, numbered, new_integer(2));
    assoc_set(m, named, new_integer(3));
    ASSERT_EQ(assoc_count(m), 2u);
    EXPECT_EQ(assoc_pairs(m)[0], named);
    EXPECT_EQ(integer_value(assoc_pairs(m)[1]), 3);
    EXPECT_EQ(assoc_pairs(m)[2], numbered);
    EXPECT_EQ(integer_value(assoc_pairs(m)[3]), 2);
}

}  // namespace
}  // namespace tolv::tests
