#include "protocol/request_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/config.h"
#include "host/journal.h"
#include "host/journal_name.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/module_table.h"
#include "runtime/name_table.h"
#include "runtime/value.h"

namespace tolv {
namespace {

// ---- Body builders: the encodings the front end sends ------------------------

std::string digits_of(uint64_t n) { return std::to_string(n); }

std::string num(uint64_t n) {
    std::string d = digits_of(n);
    return char('0' + d.size()) + d;
}
std::string text(const std::string& s) {
    std::string d = digits_of(s.size());
    return char('0' + d.size()) + d + s;
}
// `sent` is the percent-encoded form as it travels.
std::string encoded(const std::string& sent) {
    std::string d = digits_of(sent.size());
    return char('A' + d.size()) + d + sent;
}
std::string length_field(uint64_t n) { return num(n); }
std::string counted_record(char letter, uint64_t count, const std::string& rest) {
    return letter + num(count) + length_field(rest.size()) + rest;
}
std::string integer_element(uint64_t n) {
    std::string d = digits_of(n);
    return char('N' + d.size()) + d;
}
std::string float_element(const std::string& literal) {
    std::string d = digits_of(literal.size());
    return char('a' + d.size()) + d + literal;
}
std::string int_value(const std::string& signed_digits) {
    return char('0' + signed_digits.size()) + signed_digits;
}
std::string object(char type, uint64_t elements, const std::string& name, const std::string& body) {
    return type + num(elements) + text(name) + body;
}

// ---- Fixture ---------------------------------------------------------------------

int g_hook_calls = 0;
bool g_hook_saw_x_declared = false;

class RequestRecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        heap_reset();
        seed_name_table();
        globals_reset();
        modules_reset();
        config_reset();
        journal_reset();
        g_hook_calls = 0;
        g_hook_saw_x_declared = false;
    }

    static void count_hook() {
        ++g_hook_calls;
        uint32_t x = find_name("x", 1);
        g_hook_saw_x_declared = x != UINT32_MAX && global_declared(x);
    }

    RequestFields decode(const std::string& body) {
        buffer_.assign(body.begin(), body.end());
        buffer_.push_back('\0');
        RequestFields fields;
        decode_request(buffer_.data(), body.size(), fields, RequestHooks{count_hook, apply_journal_name});
        return fields;
    }

    // The error code raised by decoding, or "" when it succeeded.
    std::string error_of(const std::string& body, std::string* message = nullptr) {
        try {
            decode(body);
        } catch (const ScriptThrow& thrown) {
            EXPECT_EQ(kind_of(thrown.value), KIND_ERROR);
            const uint8_t* record = value_ptr(thrown.value);
            if (message) *message = error_message(record);
            return error_code_text(record);
        }
        return "";
    }

    static ValueHandle global(const char* name) {
        uint32_t index = find_name(name, std::strlen(name));
        EXPECT_NE(index, UINT32_MAX) << name;
        EXPECT_TRUE(index != UINT32_MAX && global_declared(index)) << name;
        return index == UINT32_MAX ? VALUE_UNDEFINED : global_value(index);
    }

    std::vector<char> buffer_;
};

void expect_string(ValueHandle v, const std::string& expected) {
    ASSERT_EQ(kind_of(v), KIND_STRING);
    EXPECT_EQ(std::string(string_text(v), string_length(v)), expected);
}
void expect_integer(ValueHandle v, int32_t expected) {
    ASSERT_EQ(kind_of(v), KIND_INTEGER);
    EXPECT_EQ(integer_value(v), expected);
}
void expect_float(ValueHandle v, double expected) {
    ASSERT_EQ(kind_of(v), KIND_FLOAT);
    EXPECT_DOUBLE_EQ(float_value(v), expected);
}

ValueHandle hash_value(ValueHandle hash, const char* key) {
    uint32_t name = find_name(key, std::strlen(key));
    EXPECT_NE(name, UINT32_MAX) << key;
    return name == UINT32_MAX ? VALUE_SENTINEL : hash_get(hash, name);
}

ValueHandle assoc_value(ValueHandle assoc, uint32_t key) {
    Word32* pairs = assoc_pairs(assoc);
    for (uint32_t i = 0; i < assoc_count(assoc); ++i) {
        if (pairs[2 * i] == key) return pairs[2 * i + 1];
    }
    ADD_FAILURE() << "no key " << std::hex << key;
    return VALUE_SENTINEL;
}

// ---- Good bodies ---------------------------------------------------------------------

struct GoodBody {
    const char* what;
    std::string body;
    std::function<void(const RequestFields&)> check;
};

TEST_F(RequestRecordsTest, DecodesEveryRecordKind) {
    const std::string program255(255, 'f');
    const GoodBody cases[] = {
        {"P plain", "P" + text("main(a, b)"),
         [](const RequestFields& f) {
             EXPECT_TRUE(f.has_top_program);
             EXPECT_EQ(f.top_program, "main(a, b)");
         }},
        {"P of 255 bytes", "P" + text(program255),
         [&](const RequestFields& f) { EXPECT_EQ(f.top_program, program255); }},
        {"P percent-encoded, both cases, stray percents kept",
         "P" + encoded("f(%22a%2fb%2F%E3%81%82%22)%zz%4"),
         [](const RequestFields& f) { EXPECT_EQ(f.top_program, "f(\"a/b/\xE3\x81\x82\")%zz%4"); }},
        {"E of 255 bytes and a T of thirteen digits", "E" + text(program255) + "T=1234567890123",
         [](const RequestFields& f) { EXPECT_FALSE(f.has_top_program); }},
        {"I of ten digits, signed or not", counted_record('I', 2, text("big") + int_value("9999999999") + text("low") +
                                                                   int_value("-999999999")),
         [](const RequestFields&) {
             expect_float(global("big"), 9999999999.0);
             expect_integer(global("low"), -999999999);
         }},
        {"257 sent bytes decoding to 255 fit", "P" + encoded("%41" + std::string(254, 'b')),
         [](const RequestFields& f) { EXPECT_EQ(f.top_program, "A" + std::string(254, 'b')); }},
        {"E, L, T and Q", "E" + text("x") + "L" + "T" + num(123456) + "Q" + text("first") + encoded("t%2Bk"),
         [](const RequestFields& f) {
             EXPECT_FALSE(f.has_top_program);
             EXPECT_TRUE(f.no_debugger_modules);
             EXPECT_TRUE(f.has_token);
             EXPECT_EQ(f.token_first, "first");
             EXPECT_EQ(f.token, "t+k");
         }},
        {"empty texts and the bare zero count", "P" + std::string("10") + "T0" + "P0",
         [](const RequestFields& f) {
             EXPECT_TRUE(f.has_top_program);
             EXPECT_EQ(f.top_program, "");
         }},
        {"newlines between records", "\nL\n\nP" + text("g()") + "\n",
         [](const RequestFields& f) {
             EXPECT_TRUE(f.no_debugger_modules);
             EXPECT_EQ(f.top_program, "g()");
         }},
        {"record length longer than the variables: the rest is skipped",
         counted_record('S', 1, text("x") + text("v") + "ZZZ") + "P" + text("h()"),
         [](const RequestFields& f) {
             EXPECT_EQ(f.top_program, "h()");
             expect_string(global("x"), "v");
         }},
    };
    for (const GoodBody& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        RequestFields fields;
        ASSERT_NO_THROW(fields = decode(c.body));
        c.check(fields);
    }
}

TEST_F(RequestRecordsTest, DefinesScalarVariables) {
    std::string ints = text("neg") + int_value("-12") + text("pos") + int_value("+7") + text("zero") + "0" +
                       text("big") + int_value("9999999999") + text("max") + int_value("2147483647");
    std::string floats = text("half") + text("0.5") + text("exp") + encoded("-2e%2B3");
    std::string strings = text("plain") + text("abc") + text("enc") + encoded("%E6%97%A5 %25") + text("empty") + "10";
    decode(counted_record('I', 5, ints) + counted_record('D', 2, floats) + counted_record('S', 3, strings));

    expect_integer(global("neg"), -12);
    expect_integer(global("pos"), 7);
    expect_integer(global("zero"), 0);
    expect_integer(global("max"), INT32_MAX);
    expect_float(global("big"), 9999999999.0);  // beyond 32 bits: kept as a Float
    expect_float(global("half"), 0.5);
    expect_float(global("exp"), -2000.0);
    expect_string(global("plain"), "abc");
    expect_string(global("enc"), "\xE6\x97\xA5 %");
    expect_string(global("empty"), "");
    EXPECT_EQ(ref_count(global("plain")), 1u);
}

TEST_F(RequestRecordsTest, DefinesArraysHashesAndAssociativeArrays) {
    // Nested objects come first; the top-level ones refer to them.
    std::string objects =
        object('a', 2, "^A500001", text("in") + integer_element(5)) +
        object('h', 1, "^H500002", text("k") + float_element("1.25")) +
        object('H', 3, "conf", text("list") + text("^A500001") + text("name") + encoded("a%20b") + text("n") +
                                   integer_element(4000000000)) +
        object('A', 4, "arr", text("^H500002") + integer_element(0) + float_element("-3e-1") + "10") +
        object('I', 4, "map", integer_element(7) + text("seven") + text("key") + integer_element(1) +
                                  integer_element(1u << 24) + text("big") + float_element("2.0") + text("two"));
    decode(counted_record('A', 5, objects));

    ValueHandle conf = global("conf");
    ASSERT_EQ(kind_of(conf), KIND_HASH);
    EXPECT_EQ(hash_count(conf), 3u);
    EXPECT_EQ(ref_count(conf), 1u);
    ValueHandle list = hash_value(conf, "list");
    ASSERT_EQ(kind_of(list), KIND_ARRAY);
    EXPECT_EQ(ref_count(list), 1u);  // owned by the hash only
    ASSERT_EQ(array_length(list), 2u);
    expect_string(array_elements(list)[0], "in");
    expect_integer(array_elements(list)[1], 5);
    expect_string(hash_value(conf, "name"), "a b");
    expect_float(hash_value(conf, "n"), 4000000000.0);

    ValueHandle arr = global("arr");
    ASSERT_EQ(kind_of(arr), KIND_ARRAY);
    ASSERT_EQ(array_length(arr), 4u);
    ValueHandle inner = array_elements(arr)[0];
    ASSERT_EQ(kind_of(inner), KIND_HASH);
    expect_float(hash_value(inner, "k"), 1.25);
    expect_integer(array_elements(arr)[1], 0);
    expect_float(array_elements(arr)[2], -0.3);
    expect_string(array_elements(arr)[3], "");

    ValueHandle map = global("map");
    ASSERT_EQ(kind_of(map), KIND_ASSOC_ARRAY);
    EXPECT_EQ(assoc_count(map), 4u);
    expect_string(assoc_value(map, make_handle(KIND_INTEGER, 7)), "seven");
    expect_integer(assoc_value(map, find_name("key", 3)), 1);
    expect_string(assoc_value(map, find_name("16777216", 8)), "big");  // too large for an integer key
    expect_string(assoc_value(map, make_handle(KIND_INTEGER, 2)), "two");  // whole float
}

// Orphaned nested objects, and the object being built when an error strikes,
// are freed with their elements.
TEST_F(RequestRecordsTest, FreesObjectsNobodyOwns) {
    struct Case {
        const char* what;
        std::string body;
        uint32_t freed_cells;
    };
    const Case cases[] = {
        {"nested object never referenced",
         counted_record('A', 2, object('a', 1, "^A000001", text("lost")) + object('A', 0, "x", "")), 2},
        {"array abandoned at a bad element",
         counted_record('A', 1, object('A', 3, "x", text("s") + integer_element(1) + "~")), 3},
        {"nested objects left when the record fails",
         counted_record('A', 3, object('h', 1, "^H000001", text("k") + text("v")) +
                                    object('a', 0, "^A000002", "") + object('A', 1, "x", text("^A000009"))),
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        try {
            decode(c.body);
        } catch (const ScriptThrow&) {
        }
        EXPECT_EQ(g_heap.freed_cells, c.freed_cells);
    }
}

TEST_F(RequestRecordsTest, HookRunsOnceBeforeTheFirstVariableRecord) {
    decode("P" + text("f()") + "M" + num(0) + length_field(0));
    EXPECT_EQ(g_hook_calls, 0);
    decode(counted_record('S', 1, text("x") + text("1")) + counted_record('I', 1, text("x") + int_value("2")) +
           counted_record('A', 0, ""));
    EXPECT_EQ(g_hook_calls, 1);
    EXPECT_FALSE(g_hook_saw_x_declared);
    expect_integer(global("x"), 2);
    EXPECT_EQ(g_heap.freed_cells, 1u);  // the string x held first
}

TEST_F(RequestRecordsTest, AddsModulePathsWithTheirTypes) {
    std::string paths = length_field(11) + "app/main.js" + length_field(11) + "lib/Util.JO" + length_field(12) + "v1.2/tool.jS";
    decode(counted_record('M', 3, paths));
    ASSERT_EQ(g_modules.size(), 3u);
    EXPECT_EQ(g_modules[0].path, "app/main.js");
    EXPECT_EQ(g_modules[0].type, MODULE_SOURCE);
    EXPECT_EQ(g_modules[1].path, "lib/Util.JO");
    EXPECT_EQ(g_modules[1].type, MODULE_IMAGE);
    EXPECT_EQ(g_modules[2].type, MODULE_SOURCE);
    // The 'A'-'J' digit-count form of a length field.
    decode("M" + num(1) + "C11" + "B9" + "x/last.jo");
    ASSERT_EQ(g_modules.size(), 4u);
    EXPECT_EQ(g_modules[3].path, "x/last.jo");
}

TEST_F(RequestRecordsTest, JournalNameReplacesOnlyTheFilePart) {
    struct Case {
        const char* logfile;
        std::string record;
        std::string expected;
    };
    const Case cases[] = {
        {"/var/log/tolv/journal.log", "l" + text("req7.log"), "/var/log/tolv/req7.log"},
        {"/var/log/tolv/journal.log", "l" + encoded("a%2F..%2Fb"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text("../x.log"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text("..log"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text("a\\b.log"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + encoded("a%00b"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + std::string("10"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text(std::string(250, 'n')), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text("req-7_a.b.log"), "/var/log/tolv/req-7_a.b.log"},
        {"/var/log/tolv/journal.log", "l" + text(std::string(60, 'n') + ".log"), "/var/log/tolv/" + std::string(60, 'n') + ".log"},
        {"/var/log/tolv/journal.log", "l" + text(std::string(61, 'n') + ".log"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text(".hidden.log"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text("a b.log"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text("req.txt"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text("mongoTOLV.config"), "/var/log/tolv/journal.log"},
        {"/var/log/tolv/journal.log", "l" + text("req.log.sh"), "/var/log/tolv/journal.log"},
        {"/srv/app/journal.config", "l" + text("TOLV.config"), "/srv/app/journal.config"},
        {"/srv/app/journal.config", "l" + text("mongotolv.CONFIG"), "/srv/app/journal.config"},
        {"/srv/app/journal.config", "l" + text("day2.config"), "/srv/app/day2.config"},
        {"/var/log/tolv/journal", "l" + text("req.log"), "/var/log/tolv/req.log"},
        {"/var/log/tolv/journal", "l" + text("req"), "/var/log/tolv/journal"},
        {"journal.log", "l" + text("req.log"), "journal.log"},
        {"", "l" + text("req.log"), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        SetUp();
        g_config.logfile = c.logfile;
        RequestFields fields = decode(c.record);
        EXPECT_EQ(g_config.logfile, c.expected);
        EXPECT_EQ(fields.has_journal_name, g_config.logfile != c.logfile);
    }
}

// ---- Bad bodies ------------------------------------------------------------------------

struct BadBody {
    const char* what;
    std::string body;
    const char* code;
};

std::string module_record(const std::string& path) {
    std::string list = length_field(path.size()) + path;
    return counted_record('M', 1, list);
}

std::string nested_objects(size_t count) {
    std::string objects;
    char name[16];
    for (size_t i = 1; i <= count; ++i) {
        std::snprintf(name, sizeof name, "^A%06zu", i);
        objects += object('a', 0, name, "");
    }
    return counted_record('A', count, objects);
}

TEST_F(RequestRecordsTest, RejectsMalformedBodies) {
    const std::string var_x = text("x");
    const BadBody cases[] = {
        {"P of 256 bytes", "P" + text(std::string(256, 'f')), "1740"},
        {"E of 256 bytes", "E" + text(std::string(256, 'e')), "1745"},
        {"unknown record letter", "P" + text("f()") + "Z", "1750"},
        {"NUL as a record letter", std::string("L\0", 2), "1750"},
        {"digit count past '='", "T>1", "1500"},
        {"counted number cut off", "T", "1500"},
        {"non-digit in a counted number", "T3a23", "1505"},
        {"counted number digits cut off", "T512", "1505"},
        {"bad text marker", "P>3abc", "1530"},
        {"bad encoded marker", "PN3abc", "1530"},
        {"text length past the end", "P15abc", "1535"},
        {"text length digits cut off", "P31", "1535"},
        {"Q token missing", "Q" + text("first"), "1530"},
        {"record length marker", "I11K", "1540"},
        {"record length past the end", "S" + num(0) + length_field(50) + "abc", "1545"},
        {"record length digits cut off", "S" + num(0) + "31", "1545"},
        {"variable name marker", counted_record('S', 1, "~"), "1520"},
        {"empty variable name", counted_record('S', 1, "10" + text("v")), "1525"},
        {"256-byte variable name", counted_record('S', 1, text(std::string(256, 'n')) + text("v")), "1525"},
        {"variable name past the end", counted_record('S', 1, "19x"), "1525"},
        {"variable missing", counted_record('S', 2, var_x + text("v")), "1520"},
        {"S value cut off", counted_record('S', 1, var_x + "15ab"), "1535"},
        {"I digit count past ':'", counted_record('I', 1, var_x + ";12345678901"), "1550"},
        {"I value missing", counted_record('I', 1, var_x), "1550"},
        {"I sign only", counted_record('I', 1, var_x + "1-"), "1555"},
        {"I sign not first", counted_record('I', 1, var_x + "21-"), "1555"},
        {"I non-digit", counted_record('I', 1, var_x + "31x2"), "1555"},
        {"I digits past the end", counted_record('I', 1, var_x + "512"), "1555"},
        {"D not a number", counted_record('D', 1, var_x + text("1.5x")), "1700"},
        {"D empty", counted_record('D', 1, var_x + "10"), "1700"},
        {"D leading blank", counted_record('D', 1, var_x + text(" 1")), "1700"},
        {"object type letter", counted_record('A', 1, "X" + num(0) + var_x), "1750"},
        {"object count marker", counted_record('A', 1, "A>"), "1500"},
        {"element count beyond the body", counted_record('A', 1, object('A', 99, "x", "10")), "1505"},
        {"element marker", counted_record('A', 1, object('A', 1, "x", "~")), "1560"},
        {"element runs into the next record", counted_record('A', 1, object('A', 2, "x", "10")) + "~~", "1560"},
        {"integer element non-digit", counted_record('A', 1, object('A', 1, "x", "P1x4")), "1565"},
        {"integer element cut off", counted_record('A', 1, object('A', 1, "x", "R12")), "1565"},
        {"float element length cut off", counted_record('A', 1, object('A', 1, "x", "b91.5")), "1565"},
        {"float element not a number", counted_record('A', 1, object('A', 1, "x", float_element("1.2.3"))),
         "1570"},
        {"hash key empty", counted_record('A', 1, object('H', 1, "x", "10" + text("v"))), "1525"},
        {"assoc key empty string", counted_record('A', 1, object('I', 1, "x", "10" + text("v"))), "1565"},
        {"reference before it was sent", counted_record('A', 1, object('A', 1, "x", text("^A000001"))), "1575"},
        {"reference used twice",
         counted_record('A', 2,
                        object('a', 0, "^A000001", "") +
                            object('A', 2, "x", text("^A000001") + text("^A000001"))),
         "1575"},
        {"reference of the other letter",
         counted_record('A', 2, object('h', 0, "^H000001", "") + object('A', 1, "x", text("^A000001"))), "1575"},
        {"nested name not a reference", counted_record('A', 1, object('a', 0, "tmp", "")), "1705"},
        {"nested name with a letter", counted_record('A', 1, object('h', 0, "^H00001x", "")), "1705"},
        {"1025 nested objects", nested_objects(1025), "1710"},
        {"module without extension", module_record("lib/main"), "1170"},
        {"module extension not j", module_record("main.txt"), "1170"},
        {"module empty extension", module_record("main."), "1170"},
        {"module dot only in directory", module_record("v1.js/main"), "1170"},
        {"module .jx", module_record("main.jx"), "1175"},
        {"module .jsx", module_record("main.jsx"), "1175"},
        {"module .j", module_record("main.j"), "1175"},
        {"module absolute", module_record("/etc/app/main.js"), "1170"},
        {"module parent", module_record("../main.js"), "1170"},
        {"module inner parent", module_record("app/../../main.js"), "1170"},
        {"module backslash parent", module_record("app\\..\\..\\main.js"), "1170"},
        {"module empty path", module_record(""), "1170"},
        {"module NUL in path", module_record(std::string("evil\0.js", 8)), "1170"},
        {"hash key $ne", counted_record('A', 1, object('H', 1, "pw", text("$ne") + text(""))), "1715"},
        {"hash key $where among others",
         counted_record('A', 1, object('H', 2, "q", text("name") + text("ann") + text("$where") + text("1"))), "1715"},
        {"hash key percent-encoded $gt", counted_record('A', 1, object('H', 1, "pw", encoded("%24gt") + text(""))),
         "1715"},
        {"nested hash key $regex",
         counted_record('A', 2, object('h', 1, "^H000001", text("$regex") + text(".*")) +
                                    object('H', 1, "q", text("pw") + text("^H000001"))),
         "1715"},
        {"assoc key $exists", counted_record('A', 1, object('I', 1, "q", text("$exists") + integer_element(1))), "1715"},
        {"variable named Math", counted_record('A', 1, object('H', 1, "Math", text("PI") + integer_element(3))), "1760"},
        {"variable named console", counted_record('S', 1, text("console") + text("x")), "1760"},
        {"variable named undefined", counted_record('I', 1, text("undefined") + int_value("1")), "1760"},
        {"variable named String", counted_record('D', 1, text("String") + text("1.5")), "1760"},
        {"variable named this", counted_record('A', 1, object('A', 0, "this", "")), "1760"},
        {"module path marker", counted_record('M', 1, "K"), "1540"},
        {"module path past the end", "M" + num(1) + length_field(3) + length_field(9) + "a.js", "1545"},
        {"module list past the end", "M" + num(1) + length_field(99) + length_field(4) + "a.js", "1545"},
    };
    for (const BadBody& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        EXPECT_EQ(error_of(c.body), c.code);
    }
}

// Names of 1 to 255 bytes are taken, as keys and as variable names; "$"
// elsewhere than at the start of a key, and in values, is plain data.
TEST_F(RequestRecordsTest, NameLengthsAndDollarsThatStayData) {
    for (size_t length : {size_t(1), size_t(254), size_t(255)}) {
        SCOPED_TRACE(length);
        SetUp();
        const std::string name(length, 'v');
        const std::string key(length, 'k');
        decode(counted_record('S', 1, text(name) + text("s")) +
               counted_record('A', 1, object('H', 1, "h" + name.substr(1), text(key) + text("$ne"))));
        expect_string(global(name.c_str()), "s");
        expect_string(hash_value(global(("h" + name.substr(1)).c_str()), key.c_str()), "$ne");
    }
    SetUp();
    EXPECT_EQ(error_of(counted_record('S', 1, text(std::string(256, 'v')) + text("s"))), "1525");
    EXPECT_EQ(error_of(counted_record('A', 1, object('H', 1, "h", text(std::string(256, 'k')) + text("s")))), "1525");
    SetUp();
    decode(counted_record('A', 1, object('H', 1, "h", text("price$") + text("$5"))) +
           counted_record('S', 1, text("$name") + text("x")));
    expect_string(hash_value(global("h"), "price$"), "$5");
    expect_string(global("$name"), "x");
}

TEST_F(RequestRecordsTest, ModuleErrorsNameThePathAndOpenNothing) {
    std::string message;
    EXPECT_EQ(error_of(module_record("/etc/passwd.js"), &message), "1170");
    EXPECT_NE(message.find("PARSE ERROR 1170"), std::string::npos) << message;
    EXPECT_NE(message.find("モジュール名不正 '/etc/passwd.js'"), std::string::npos) << message;
    EXPECT_TRUE(g_modules.empty());

    EXPECT_EQ(error_of("P>", &message), "1530");
    EXPECT_NE(message.find("EVAL ERROR 1530"), std::string::npos) << message;
    EXPECT_NE(message.find("文字列の長さ不正"), std::string::npos) << message;
}

TEST_F(RequestRecordsTest, The128thModulePathRaises1735) {
    std::string list;
    for (int i = 0; i < 128; ++i) {
        std::string path = "m" + std::to_string(i) + ".js";
        list += length_field(path.size()) + path;
    }
    std::string message;
    EXPECT_EQ(error_of(counted_record('M', 128, list), &message), "1735");
    EXPECT_NE(message.find("モジュール(.js、.jo)が多すぎます。125ファイル以下にしてください。"), std::string::npos);
    EXPECT_EQ(g_modules.size(), size_t(MODULE_PATH_LIMIT));
}

TEST_F(RequestRecordsTest, AThousandAndTwentyFourNestedObjectsFit) {
    std::string body = nested_objects(1024);
    EXPECT_EQ(error_of(body), "");
}

}  // namespace
}  // namespace tolv
