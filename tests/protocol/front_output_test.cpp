#include "protocol/front_output.h"

#include <gtest/gtest.h>

#include "host/journal.h"
#include "protocol/answer.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"

namespace tolv {
namespace {

class FrontOutput : public ::testing::Test {
protected:
    void SetUp() override {
        heap_reset();
        seed_name_table();
        journal_reset();
        front_output_reset();
        g_answer_counters = {};
        answer_enable(true);
    }

    static std::string sent(const char* name, ValueHandle value) {
        ::testing::internal::CaptureStdout();
        try {
            send_to_front(name, std::strlen(name), value);
        } catch (const ScriptThrow& thrown) {
            std::string out = ::testing::internal::GetCapturedStdout();
            return out + "!" + error_code_text(value_ptr(thrown.value));
        }
        return ::testing::internal::GetCapturedStdout();
    }
    static std::string alerted(ValueHandle value) {
        ::testing::internal::CaptureStdout();
        try {
            alert_to_front(value);
        } catch (const ScriptThrow& thrown) {
            std::string out = ::testing::internal::GetCapturedStdout();
            return out + "!" + error_code_text(value_ptr(thrown.value));
        }
        return ::testing::internal::GetCapturedStdout();
    }
    static uint32_t name(const char* text) { return intern_name(text, std::strlen(text)); }
};

TEST_F(FrontOutput, ScalarRecords) {
    struct Case {
        ValueHandle value;
        const char* record;
    } cases[] = {
        {new_integer(42), "s11xP42"},
        {new_integer(-5), "s11xP-5"},
        {new_float(0.5), "s11xd0.5"},
        {new_float(1e21), "s11xf1e+21"},
        // Floats go as the shortest text that reads back as the same double.
        {new_float(1234567.89), "s11xk1234567.89"},
        {new_float(0.1), "s11xd0.1"},
        {new_float(1e300), "s11xg1e+300"},
        {new_float(-0.0), "s11xc-0"},
        {new_float(5e-324), "s11xg5e-324"},
        {new_float(0.30000000000000004), "s11xt0.30000000000000004"},
        {new_float(100.0), "s11xd100"},
        {new_string("a b"), "s11xB5a%20b"},
        {new_string(""), "s11x10"},
        {new_string("\"%<>日"), "s11xC21%22%25%3C%3E%E6%97%A5"},
        {VALUE_UNDEFINED, "s11x10"},
        {VALUE_TRUE, "s11x14true"},
        {VALUE_NULL, "s11x14null"},
        {VALUE_NAN, "s11x13NaN"},
    };
    for (const Case& c : cases) EXPECT_EQ(sent("x", c.value), c.record);
    EXPECT_EQ(g_answer_counters.scalars, std::size(cases));
}

// Exactly digits, ASCII letters and ";,/?:@&=+$-_.*'()#" travel plain; every
// other byte of the 256 is percent-encoded with upper-case digits.
TEST_F(FrontOutput, EveryByteIsSentPlainOrEncodedAsTheProtocolSays) {
    const std::string plain_punctuation = ";,/?:@&=+$-_.*'()#";
    for (int byte = 0; byte < 256; ++byte) {
        const char c = char(byte);
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           plain_punctuation.find(c) != std::string::npos;
        TextBuffer out;
        put_counted_text(out, &c, 1);
        char encoded[8];
        std::snprintf(encoded, sizeof encoded, "B3%%%02X", byte);
        EXPECT_EQ(std::string(out.data(), out.size()), plain ? std::string("11") + c : std::string(encoded))
            << "byte " << byte;
    }
    // The ones a front end is most likely to get wrong, by name.
    for (const char* c : {"!", "~", "[", "]", "{", "}", "\\", "^", "`", "|", " ", "\"", "%", "<", ">"}) {
        TextBuffer out;
        put_counted_text(out, c, 1);
        EXPECT_EQ(std::string(out.data(), 2), "B3") << c;
    }
}

TEST_F(FrontOutput, DatesAreSentAsTheirText) {
    ValueHandle date = new_cell(KIND_DATE, 0);
    DateCell* cell = cell_as<DateCell>(date);
    cell->year = 2026;
    cell->month_zone = 11;  // December
    cell->day = 9;
    cell->hour = 22;
    cell->minute = 5;
    cell->second = 7;
    EXPECT_EQ(sent("d", date), "s11dC212026-12-09%2022:05:07");
    cell->millis = 30;
    ValueHandle array = new_array(0);
    array_push(array, date);
    EXPECT_EQ(sent("a", array), "A1111aC252026-12-09%2022:05:07.030");
}

TEST_F(FrontOutput, EmptyArrayAndArrayElements) {
    EXPECT_EQ(sent("list", new_array(0)), "A1014list");
    ValueHandle array = new_array(0);
    array_push(array, new_integer(1));
    array_push(array, new_float(2.5));
    array_push(array, new_string("t x"));
    array_push(array, VALUE_UNDEFINED);
    array_push(array, VALUE_FALSE);
    EXPECT_EQ(sent("a", array), "A1511aO1d2.5B5t%20x1015false");
    EXPECT_EQ(g_answer_counters.arrays, 2u);
}

TEST_F(FrontOutput, HashHoldingAnArrayWritesTheNestedRecordFirst) {
    ValueHandle inner = new_array(0);
    array_push(inner, new_integer(7));
    ValueHandle hash = new_hash(0);
    hash_set(hash, name("k"), inner);
    hash_set(hash, name("n"), new_string("v"));
    EXPECT_EQ(sent("h", hash), "A1118^A500001O7" "H1211h11k18^A500001" "11n11v");
    EXPECT_EQ(g_answer_counters.arrays, 1u);
    EXPECT_EQ(g_answer_counters.hashes, 1u);
}

TEST_F(FrontOutput, RefusedValues) {
    EXPECT_EQ(sent("x", new_assoc_array(0)), "!1330");
    EXPECT_EQ(sent("x", new_error("1", 1, "m", 1)), "!1335");
    ValueHandle array = new_array(0);
    array_push(array, new_integer(1));
    array_push(array, new_assoc_array(0));
    // The record that failed is not written.
    EXPECT_EQ(sent("x", array), "!1215");
}

TEST_F(FrontOutput, SelfContainingArrayIsRefusedNotRecursedForever) {
    ValueHandle array = new_array(0);
    array_push(array, array);
    std::string out = sent("x", array);
    EXPECT_EQ(out.substr(out.size() - 5), "!1215");
}

TEST_F(FrontOutput, LongRecordIsWrittenWhole) {
    ValueHandle array = new_array(0);
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        array_push(array, new_string("abcdefghij"));
        expected += "210abcdefghij";
    }
    EXPECT_EQ(sent("big", array), "A43000" "13big" + expected);
}

TEST_F(FrontOutput, Alerts) {
    EXPECT_EQ(alerted(VALUE_UNDEFINED), "s219XYZBCA_ALERT_ABCZYX10");
    EXPECT_EQ(alerted(new_string("hi")), "s219XYZBCA_ALERT_ABCZYX12hi");
    EXPECT_EQ(alerted(new_error("12", 2, "bad", 3)),
              "s219XYZBCA_ALERT_ABCZYXC37Exception:%20CODE=12,%20MESSAGE='bad'");
    EXPECT_EQ(alerted(new_integer(1)), "!1340");
}

}  // namespace
}  // namespace tolv
