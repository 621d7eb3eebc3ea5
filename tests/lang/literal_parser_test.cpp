#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lang/operation_builder.h"
#include "lang/parser.h"
#include "lang/tree_text.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"
#include "runtime/opcodes.h"

namespace tolv::test {
namespace {

class LiteralParserTest : public ::testing::Test {
protected:
    void SetUp() override { reset_front_end(); }
};

struct ShapeCase {
    const char* text;
    const char* tree;
};

struct ErrorCase {
    const char* text;
    int code;
};

TEST_F(LiteralParserTest, BuildsFunctionValues) {
    const ShapeCase cases[] = {
        {"function f(a, b = 2) { var t; return a + b + t; }",
         "(123 f (fn (a (123 b 2)) (t) (155 (141 t) (158 (118 a b t)))))"},
        {"var g = function (x) { return x; };", "(141 (123 g (fn (x) () (155 (158 x)))))"},
        // Nested named functions are locals of the enclosing body.
        {"function outer() { function inner() { var z; } var y; }",
         "(123 outer (fn () (inner y) (155 (123 inner (fn () (z) (155 (141 z)))) (141 y))))"},
        // A var naming a parameter or an earlier local adds no local.
        {"function f(a) { var a, b; var b; }", "(123 f (fn (a) (b) (155 (141 a b) (141 b))))"},
        {"for (var i of l) {} function h() { for (var k in o) {} }",
         "(151 i l (155) 2); (123 h (fn () (k) (155 (152 k o (155) 2))))"},
        {"a.sort(function (x, y) { return x - y; });",
         "(160 (145 a sort) [(fn (x y) () (155 (158 (119 x y))))])"},
        {"f(function () {}, 2);", "(160 f [(fn () () (155)) 2])"},
        {"h = { m: function () { return 1; }, n: 2 };", "(123 h {m:(fn () () (155 (158 1))) n:2})"},
        // A definition ends the expression it stands in: no ';' needed.
        {"x = function () {}\ny = 2;", "(123 x (fn () () (155))); (123 y 2)"},
    };
    for (const ShapeCase& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_text(c.text), c.tree) << c.text;
    }
}

TEST_F(LiteralParserTest, FunctionValueRecordsCountsLinesAndModule) {
    module_text("\nfunction f(a, b = 2) {\n  var t;\n  return a;\n}");
    ASSERT_EQ(g_initialisers.size(), 1u);
    const ValueHandle function = operation_operand(g_initialisers[0], 1);
    ASSERT_EQ(kind_of(function), KIND_FUNCTION);
    const FunctionCell* cell = cell_as<FunctionCell>(function);
    EXPECT_EQ(cell->param_count, 2u);
    EXPECT_EQ(cell->local_count, 1u);
    EXPECT_EQ(cell->first_line, 2u);
    EXPECT_EQ(cell->last_line, 5u);
    EXPECT_EQ(cell->module, 1u);
    EXPECT_TRUE(is_operation(cell->body, OP_BLOCK));
    EXPECT_EQ(cell_as<OperationCell>(g_initialisers[0])->position, 2u | 1u << 16);
    EXPECT_TRUE(global_declared(intern_name("f", 1)));
    EXPECT_FALSE(global_declared(intern_name("t", 1)));
}

TEST_F(LiteralParserTest, BuildsArrayAndObjectLiterals) {
    const ShapeCase cases[] = {
        {"x = [1, 2, 3,];", "(123 x [1 2 3])"},
        {"x = [];", "(123 x [])"},
        {"x = [[1], {a: 'b'}, `t${v}`];", "(123 x [[1] {a:\"b\"} `t${v}`])"},
        {"x = [a + 1, f(2)];", "(123 x [(118 a 1) (160 f [2])])"},
        {"x = { \"a b\": 1, c: [x, 2] };", "(123 x {a b:1 c:[x 2]})"},
        {"x = { a: 1, a: 2 };", "(123 x {a:1 a:2})"},
        {"x = { if: 1, 'new': 2, };", "(123 x {if:1 new:2})"},
        {"x = {};", "(123 x {})"},
        {"x = { a: b ? 1 : 2 };", "(123 x {a:(139 b 1 2)})"},
    };
    for (const ShapeCase& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_text(c.text), c.tree) << c.text;
    }
}

TEST_F(LiteralParserTest, LiteralElementsHoldOneReferenceEach) {
    module_text("x = [y, 'a'];");
    const ValueHandle array = operation_operand(g_initialisers[0], 1);
    ASSERT_EQ(kind_of(array), KIND_ARRAY);
    EXPECT_EQ(ref_count(array_elements(array)[1]), 1u);
    EXPECT_EQ(cell_as<ArrayCell>(array)->capacity, 12u);
}

TEST_F(LiteralParserTest, ReportsMalformedDefinitionsAndLiterals) {
    const ErrorCase cases[] = {
        {"function Math() {}", 1040},
        {"function length() {}", 0},
        {"function f(1) {}", 1050},
        {"function f(a.b) {}", 1050},
        {"function f() x", 1050},
        {"function f {}", 1050},
        {"function f( {}", 1050},
        {"x = [1,,3];", 1070},
        {"x = [,1];", 1070},
        {"x = [1, 2;", 1070},
        {"x = { 1: 2 };", 1140},
        {"x = { a };", 1140},
        {"x = { a: };", 1140},
        {"x = { '': 1 };", 1140},
        {"x = { a: 1 ;", 1142},
        {"x = { a: 1; };", 1055},
        {"x = [1; 2];", 1055},
        {"x = [a +];", 1065},
    };
    for (const ErrorCase& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_error(c.text), c.code) << c.text;
    }
    std::string many = "x = [a";
    for (int i = 0; i < 1100; ++i) many += "+a";
    EXPECT_EQ(module_error((many + "];").c_str()), 1060);
}

TEST_F(LiteralParserTest, ReadsConfigurationInitialisers) {
    uint32_t name = 0;
    ValueHandle value = parse_initialiser("'limit': [1, 'two']", name);
    EXPECT_EQ(std::string(name_text(name)), "limit");
    EXPECT_EQ(tree_text(value), "[1 \"two\"]");
    EXPECT_GE(ref_count(value), 1u);

    value = parse_initialiser("  mode : 'fast' ", name);
    EXPECT_EQ(std::string(name_text(name)), "mode");
    EXPECT_EQ(tree_text(value), "\"fast\"");

    for (const char* bad : {"'x' 1", "x: 1 2", "5: 1", "x: 1, y"}) {
        int code = 0;
        try {
            parse_initialiser(bad, name);
        } catch (const ScriptThrow& thrown) {
            code = thrown_code(thrown.value);
        }
        EXPECT_EQ(code, 1140) << bad;
    }
}

}  // namespace
}  // namespace tolv::test
