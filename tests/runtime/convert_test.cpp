#include <cmath>
#include <cstring>
#include <string>

#include "runtime/convert.h"
#include "runtime/heap_fixture.h"

namespace tolv::tests {
namespace {

using ConvertTest = HeapTest;

TEST_F(ConvertTest, ParseNumberForms) {
    struct Case {
        const char* text;
        int sign;
        bool is_integer;
        int64_t integer;
        double real;
        size_t consumed;
    };
    const Case cases[] = {
        {"0x1F", 1, true, 31, 0, 4},
        {"0xff;", -1, true, -255, 0, 4},
        {"0xFfg", 1, true, 255, 0, 4},
        {"0X1F", 1, true, 0, 0, 1},  // only a lower-case x starts hexadecimal
        {"0x", 1, true, 0, 0, 1},
        {"12", 1, true, 12, 0, 2},
        {"12abc", -1, true, -12, 0, 2},
        {"1.", 1, true, 1, 0, 1},
        {"12.5)", 1, false, 0, 12.5, 4},
        {"0.3", 1, false, 0, 0.3, 3},
        {"1e3", 1, false, 0, 1000.0, 3},
        {"1.5E-2", 1, false, 0, 0.015, 6},
        {"2e+2x", -1, false, 0, -200.0, 4},
        {".5", 1, false, 0, 0.5, 2},
        {".25e2", -1, false, 0, -25.0, 5},
        {"9223372036854775807", 1, true, INT64_MAX, 0, 19},
        {"99999999999999999999", 1, false, 0, 1e20, 20},
        {"abc", 1, true, 0, 0, 0},
    };
    for (const Case& c : cases) {
        ParsedNumber n = parse_number(c.text, c.sign);
        EXPECT_EQ(n.is_integer, c.is_integer) << c.text;
        if (c.is_integer) {
            EXPECT_EQ(n.integer, c.integer) << c.text;
        } else {
            EXPECT_DOUBLE_EQ(n.real, c.real) << c.text;
        }
        EXPECT_EQ(size_t(n.end - c.text), c.consumed) << c.text;
    }
}

TEST_F(ConvertTest, MalformedNumbersRaise1405) {
    const char* bad[] = {".2.3", ".", ".e5", "1e", "1e+", "1Ex", ".5e-"};
    for (const char* text : bad) {
        RaisedError e = raised_by([&] { parse_number(text, 1); });
        EXPECT_EQ(e.code, "1405") << text;
        EXPECT_TRUE(ends_with(e.message, std::string("数字のフォーマット不正 '") + text + "'")) << e.message;
    }
}

TEST_F(ConvertTest, MalformedNumberQuoteIsCutAt120CharactersWithoutSplittingUtf8) {
    std::string text = "..";
    for (int i = 0; i < 130; ++i) text += "あ";
    RaisedError e = raised_by([&] { parse_number(text.c_str(), 1); });
    std::string quote = "..";
    for (int i = 0; i < 118; ++i) quote += "あ";
    EXPECT_TRUE(ends_with(e.message, "'" + quote + "'")) << e.message;

    e = raised_by([] { parse_number(".1.\nnext line", 1); });
    EXPECT_TRUE(ends_with(e.message, "'.1.'")) << e.message;
}

TEST_F(ConvertTest, ToInteger) {
    struct Case {
        ValueHandle value;
        Kind kind;
        double expected;
    };
    const Case cases[] = {
        {new_string("12.7"), KIND_INTEGER, 12},
        {new_string("-12.7"), KIND_FLOAT, -12.7},
        {new_string("0x1F"), KIND_INTEGER, 31},
        {new_string("-0x1F"), KIND_INTEGER, -31},
        {new_string("+7"), KIND_INTEGER, 7},
        {new_string("-5"), KIND_INTEGER, -5},
        {new_string("-0.5"), KIND_INTEGER, 0},
        {new_string("4294967297"), KIND_INTEGER, 1},  // low 32 bits
        {new_string("3e9"), KIND_FLOAT, 3e9},          // beyond 32 bits
        {new_string(""), KIND_INTEGER, 0},
        {new_integer(-8), KIND_INTEGER, -8},
        {new_float(3.9), KIND_INTEGER, 3},
        {new_float(-3.9), KIND_INTEGER, -3},
        {new_float(1e10), KIND_INTEGER, INT32_MIN},
        {new_float(NAN), KIND_INTEGER, INT32_MIN},
    };
    for (const Case& c : cases) {
        ValueHandle r = to_integer(c.value);
        ASSERT_EQ(kind_of(r), c.kind) << plain(c.value);
        EXPECT_EQ(ref_count(r), 0u);
        if (c.kind == KIND_INTEGER) {
            EXPECT_EQ(integer_value(r), int32_t(c.expected)) << plain(c.value);
        } else {
            EXPECT_DOUBLE_EQ(float_value(r), c.expected) << plain(c.value);
        }
    }
    const ValueHandle others[] = {VALUE_NULL, new_hash(0), new_array(0)};
    for (ValueHandle v : others) {
        RaisedError e = raised_by([&] { to_integer(v); });
        EXPECT_EQ(e.code, "1410");
        EXPECT_TRUE(ends_with(e.message, "Integerの引数不正")) << e.message;
    }
}

TEST_F(ConvertTest, ToFloat) {
    struct Case {
        ValueHandle value;
        double expected;
    };
    const Case cases[] = {
        {new_float(2.5), 2.5},       {new_integer(-3), -3.0},     {new_string("12"), 12.0},
        {new_string("-.5"), -0.5},   {new_string("1e2"), 100.0},  {new_string("12.7"), 12.7},
    };
    for (const Case& c : cases) {
        ValueHandle r = to_float(c.value);
        ASSERT_EQ(kind_of(r), KIND_FLOAT);
        EXPECT_DOUBLE_EQ(float_value(r), c.expected);
    }
    RaisedError e = raised_by([] { to_float(VALUE_TRUE); });
    EXPECT_EQ(e.code, "1415");
    EXPECT_TRUE(ends_with(e.message, "Floatの引数不正")) << e.message;
}

TEST_F(ConvertTest, CopyIsDeepAndRetainsItsParts) {
    set_run_mode();
    ValueHandle inner = new_hash(0);
    hash_set(inner, intern_name("n", 1), new_integer(5));
    cell_as<HashCell>(inner)->class_name = intern_name("Point", 5);
    cell_as<HashCell>(inner)->flags[1] = 0x40;
    ValueHandle error = new_error("E1", 2, "boom", 4);
    ValueHandle original = retain(new_array(0));
    array_push(original, new_string("s"));
    array_push(original, inner);
    array_push(original, error);
    array_push(original, VALUE_TRUE);
    cell_as<ArrayCell>(original)->flags[0] = 3;

    ValueHandle copy = copy_value(original);
    EXPECT_NE(copy, original);
    EXPECT_EQ(ref_count(copy), 0u);
    EXPECT_EQ(plain(copy), plain(original));
    const ArrayCell* c = cell_as<ArrayCell>(copy);
    EXPECT_EQ(c->flags[0], 3);
    EXPECT_EQ(c->capacity, cell_as<ArrayCell>(original)->capacity);
    for (uint32_t k = c->length; k < c->capacity; ++k) EXPECT_EQ(array_elements(copy)[k], 0u);

    ValueHandle copied_inner = array_elements(copy)[1];
    EXPECT_NE(copied_inner, inner);
    EXPECT_EQ(ref_count(copied_inner), 1u);
    EXPECT_EQ(cell_as<HashCell>(copied_inner)->class_name, cell_as<HashCell>(inner)->class_name);
    EXPECT_EQ(cell_as<HashCell>(copied_inner)->flags[1], 0x40);
    EXPECT_NE(hash_get(copied_inner, find_name("n", 1)), hash_get(inner, find_name("n", 1)));
    EXPECT_EQ(array_elements(copy)[2], error);  // errors are shared, not copied
    EXPECT_EQ(ref_count(error), 2u);
    EXPECT_EQ(array_elements(copy)[3], VALUE_TRUE);

    hash_set(copied_inner, find_name("n", 1), new_integer(6));
    EXPECT_EQ(integer_value(hash_get(inner, find_name("n", 1))), 5);

    release(copy);
    EXPECT_EQ(ref_count(error), 1u);
    EXPECT_EQ(plain(original), "[\"s\",{'n':5},E1:boom,true]");
}

TEST_F(ConvertTest, CopyOfLeavesKeepsEveryByte) {
    ValueHandle date = new_cell(KIND_DATE, 0);
    for (int i = 1; i < 16; ++i) cell_of(date)[i] = uint8_t(i * 17);
    ValueHandle copy = copy_value(date);
    EXPECT_EQ(std::memcmp(cell_of(copy) + 1, cell_of(date) + 1, 15), 0);

    ValueHandle s = copy_value(new_string("text"));
    EXPECT_STREQ(string_text(s), "text");
    EXPECT_EQ(cell_as<StringCell>(s)->capacity, 12u);
    EXPECT_EQ(float_value(copy_value(new_float(-1.25))), -1.25);
    EXPECT_EQ(integer_value(copy_value(new_integer(77))), 77);

    ValueHandle error = new_error("E", 1, "m", 1);
    EXPECT_EQ(copy_value(error), error);
    EXPECT_EQ(ref_count(error), 1u);  // so that disposing the original keeps it
    EXPECT_EQ(copy_value(VALUE_NULL), VALUE_NULL);

    ValueHandle m = new_assoc_array(0);
    assoc_set(m, make_handle(KIND_INTEGER, 4), new_string("four"));
    ValueHandle mc = copy_value(m);
    EXPECT_EQ(plain(mc), "[4:\"four\"]");
    EXPECT_NE(assoc_pairs(mc)[1], assoc_pairs(m)[1]);
}

TEST_F(ConvertTest, UncopyableValuesRaise1420) {
    ValueHandle function = new_cell(KIND_FUNCTION, 0);
    RaisedError e = raised_by([&] { copy_value(function); });
    EXPECT_EQ(e.code, "1420");
    EXPECT_TRUE(ends_with(e.message, "newの引数不正")) << e.message;

    set_run_mode();
    ValueHandle holder = retain(new_array(0));
    ValueHandle element = retain(new_integer(1));
    array_push(holder, element);
    array_push(holder, function);
    ASSERT_EQ(g_heap.freed_cells, 0u);
    EXPECT_EQ(raised_by([&] { copy_value(holder); }).code, "1420");
    // The partial copy and the element copied so far were freed.
    EXPECT_EQ(g_heap.freed_cells, 2u);
    EXPECT_EQ(ref_count(element), 2u);

    // A Hash or an assoc array gives back the pairs copied so far: the
    // shared Error they took a reference to is left as it was.
    ValueHandle error = retain(new_error("E", 1, "m", 1));
    for (ValueHandle pairs : {new_hash(0), new_assoc_array(0)}) {
        retain(pairs);
        if (kind_of(pairs) == KIND_HASH) {
            hash_append(pairs, intern_name("a", 1), error);
            hash_append(pairs, intern_name("b", 1), function);
        } else {
            assoc_append(pairs, intern_name("a", 1), error);
            assoc_append(pairs, intern_name("b", 1), function);
        }
        unsigned count = ref_count(error);
        EXPECT_EQ(raised_by([&] { copy_value(pairs); }).code, "1420");
        EXPECT_EQ(ref_count(error), count);
    }

    ValueHandle self = new_array(0);
    array_push(self, self);
    EXPECT_EQ(raised_by([&] { copy_value(self); }).code, "1420");
}

}  // namespace
}  // namespace tolv::tests
