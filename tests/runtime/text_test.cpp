#include <cstring>
#include <string>

#include "runtime/heap_fixture.h"
#include "runtime/regexp_record.h"

namespace tolv::tests {
namespace {

using TextTest = HeapTest;

std::string float_string(double v) {
    TextBuffer out;
    float_text(v, out);
    return out.data();
}

ValueHandle area_value(Kind kind, uint8_t byte1) {
    uint8_t* rec;
    AreaRef ref = area_alloc(96, &rec);
    rec[0] = kind;
    rec[1] = byte1;
    return make_handle(kind, ref);
}

// A RegExp record with only the head the text form reads: flags and source.
ValueHandle regexp_value(uint8_t flags, const char* source) {
    ValueHandle h = area_value(KIND_REGEXP, flags);
    uint8_t* rec = value_ptr(h);
    const uint32_t source_at = REGEXP_HEAD_BYTES;
    std::memcpy(rec + 12, &source_at, 4);
    std::memcpy(rec + source_at, source, std::strlen(source) + 1);
    return h;
}

ValueHandle date_value(uint16_t year, int month, int day, int hour, int minute, int second, int millis) {
    ValueHandle d = new_cell(KIND_DATE, 0);
    DateCell* c = cell_as<DateCell>(d);
    c->month_zone = uint8_t(0x10 | (month - 1));  // zone flag set: must not show
    c->day = uint8_t(0xE0 | day);                 // further date state in the high bits
    c->hour = uint8_t(hour);
    c->minute = uint8_t(minute);
    c->second = uint8_t(second);
    c->year = year;
    c->millis = uint32_t(0xFC00 | millis);
    return d;
}

ValueHandle hash_ax_b1() {
    ValueHandle h = new_hash(0);
    hash_set(h, intern_name("a", 1), new_string("x"));
    hash_set(h, intern_name("b", 1), new_integer(1));
    return h;
}

TEST(FloatTextTest, TrailingZerosCutDownToOneDecimal) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.1, "0.1"},
        {100.0, "100.0"},
        {1e21, "1000000000000000000000.0"},
        {1.5, "1.5"},
        {2.0, "2.0"},
        {0.0, "0.0"},
        {-0.25, "-0.25"},
        {1.0 / 3, "0.3333333333"},
        {1e-11, "0.0"},
        {123456.0001, "123456.0001"},
    };
    for (const Case& c : cases) EXPECT_EQ(float_string(c.value), c.text) << c.value;
}

TEST_F(TextTest, LeafTexts) {
    struct Case {
        ValueHandle value;
        const char* text;
    };
    uint32_t name = intern_name("myName", 6);
    const Case cases[] = {
        {VALUE_UNDEFINED, "undefined"},
        {VALUE_TRUE, "true"},
        {VALUE_FALSE, "false"},
        {VALUE_NULL, "null"},
        {VALUE_NAN, "NaN"},
        {name_handle(NAME_MATH), "Math"},
        {name_handle(name), "myName"},
        {new_integer(-42), "-42"},
        {new_float(2.5), "2.5"},
        {new_string("plain"), "plain"},
        {new_error("2525", 4, "引数不正", std::strlen("引数不正")), "2525:引数不正"},
        {area_value(KIND_SQL_OBJECT, 0), "SQL_Object"},
        {area_value(KIND_DB_CONNECTION, 0), "DB_Connection"},
        {regexp_value(REGEXP_FLAG_S | REGEXP_FLAG_G | REGEXP_FLAG_I | REGEXP_FLAG_M | REGEXP_FLAG_Y, "a|b"),
         "/a|b/imgys"},
        {regexp_value(REGEXP_FLAG_G, "x+"), "/x+/g"},
        {date_value(2024, 2, 9, 7, 5, 3, 0), "2024-02-09 07:05:03"},
        {date_value(1999, 12, 31, 23, 59, 58, 7), "1999-12-31 23:59:58.007"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plain(c.value), c.text);
        EXPECT_EQ(display(c.value, false), c.text);
    }
}

TEST_F(TextTest, StringsAndOperationsDifferByForm) {
    ValueHandle s = new_string("say \"hi\"");
    EXPECT_EQ(display(s, true), "\"say \"hi\"\"");
    EXPECT_EQ(display(s, false), "say \"hi\"");
    EXPECT_EQ(plain(s), "say \"hi\"");

    ValueHandle op = new_cell(KIND_OPERATION, 0);
    cell_as<OperationCell>(op)->opcode = 145;
    EXPECT_EQ(plain(op), "operation_index: 145");
    EXPECT_EQ(display(op, true), "Operation");
}

TEST_F(TextTest, Containers) {
    ValueHandle empty_array = new_array(0);
    ValueHandle empty_hash = new_hash(0);
    EXPECT_EQ(plain(empty_array), "[]");
    EXPECT_EQ(plain(empty_hash), "{}");
    EXPECT_EQ(display(empty_hash, false), "{}");
    EXPECT_EQ(plain(new_assoc_array(0)), "[]");

    ValueHandle h = hash_ax_b1();
    EXPECT_EQ(plain(h), "{a:\"x\",b:1}");
    EXPECT_EQ(display(h, false), "{'a':\"x\",'b':1}");

    ValueHandle a = new_array(0);
    ValueHandle inner = new_array(0);
    array_push(inner, new_string("s"));
    array_push(a, new_integer(1));
    array_push(a, new_string("t"));
    array_push(a, inner);
    array_push(a, VALUE_NULL);
    array_push(a, h);
    EXPECT_EQ(plain(a), "[1,\"t\",[\"s\"],null,{'a':\"x\",'b':1}]");
    EXPECT_EQ(display(a, false), "[1,t,[s],null,{'a':\"x\",'b':1}]");
    EXPECT_EQ(display(a, true), plain(a));

    ValueHandle m = new_assoc_array(0);
    assoc_set(m, intern_name("k", 1), new_string("v"));
    assoc_set(m, make_handle(KIND_INTEGER, 12), new_float(0.5));
    EXPECT_EQ(plain(m), "[k:\"v\",12:0.5]");
    EXPECT_EQ(display(m, false), "[k:v,12:0.5]");
}

TEST_F(TextTest, SelfContainingArrayStopsInsteadOfRecursing) {
    ValueHandle a = new_array(0);
    array_push(a, new_integer(1));
    array_push(a, a);
    EXPECT_EQ(plain(a), "[1,...]");
}

TEST_F(TextTest, KindsWithoutTextRaise) {
    ValueHandle function = new_cell(KIND_FUNCTION, 0);
    const ValueHandle no_text[] = {function, make_handle(4, 0), make_handle(15, 0)};
    for (ValueHandle v : no_text) {
        RaisedError e = raised_by([&] { plain(v); });
        EXPECT_EQ(e.code, "2522");
        EXPECT_TRUE(ends_with(e.message, "データの型不正")) << e.message;
        EXPECT_EQ(raised_by([&] { display(v, true); }).code, "2520");
    }
    ValueHandle a = new_array(0);
    array_push(a, function);
    EXPECT_EQ(raised_by([&] { plain(a); }).code, "2520");
}

struct JoinSource {
    ValueHandle values[4];
};
ValueHandle element_of(void* context, uint32_t index) { return static_cast<JoinSource*>(context)->values[index]; }

TEST_F(TextTest, JoinValues) {
    ValueHandle inner = new_array(0);
    array_push(inner, new_string("q"));
    JoinSource source{{new_string("a"), new_integer(2), inner, VALUE_NULL}};
    ValueHandle joined = join_values(4, element_of, &source, VALUE_SENTINEL);
    EXPECT_STREQ(string_text(joined), "a,2,[q],null");
    EXPECT_EQ(ref_count(joined), 0u);

    ValueHandle separator = new_string(" - ");
    EXPECT_STREQ(string_text(join_values(2, element_of, &source, separator)), "a - 2");
    EXPECT_STREQ(string_text(join_values(0, element_of, &source, separator)), "");

    RaisedError e = raised_by([&] { join_values(2, element_of, &source, new_integer(1)); });
    EXPECT_EQ(e.code, "2525");
    EXPECT_TRUE(ends_with(e.message, "引数不正")) << e.message;
}

TEST(TextBufferTest, GrowsPastItsInlineRoomAndFormatsLongTexts) {
    TextBuffer out;
    std::string expected;
    for (int i = 0; i < 100; ++i) {
        out.append("0123456789");
        expected += "0123456789";
    }
    std::string long_text(5000, 'z');
    out.appendf("<%s>%d", long_text.c_str(), 7);
    expected += "<" + long_text + ">7";
    EXPECT_EQ(out.size(), expected.size());
    EXPECT_EQ(std::string(out.data()), expected);
    out.truncate(3);
    EXPECT_STREQ(out.data(), "012");
}

}  // namespace
}  // namespace tolv::tests
