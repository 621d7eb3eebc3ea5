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

namespace tolv::tests {
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
         "(assign f (fn (a (assign b 2)) (t) (block (var t) (return (add_chain a b t)))))"},
        {"var g = function (x) { return x; };", "(var (assign g (fn (x) () (block (return x)))))"},
        // Nested named functions are locals of the enclosing body.
        {"function outer() { function inner() { var z; } var y; }",
         "(assign outer (fn () (inner y) (block (assign inner (fn () (z) (block (var z)))) (var y))))"},
        // A var naming a parameter or an earlier local adds no local.
        {"function f(a) { var a, b; var b; }", "(assign f (fn (a) (b) (block (var a b) (var b))))"},
        {"for (var i of l) {} function h() { for (var k in o) {} }",
         "(for_of i l (block) 2); (assign h (fn () (k) (block (for_in k o (block) 2))))"},
        {"a.sort(function (x, y) { return x - y; });",
         "(call (member a sort) [(fn (x y) () (block (return (sub_chain x y))))])"},
        {"f(function () {}, 2);", "(call f [(fn () () (block)) 2])"},
        {"h = { m: function () { return 1; }, n: 2 };", "(assign h {m:(fn () () (block (return 1))) n:2})"},
        // A definition ends the expression it stands in: no ';' needed.
        {"x = function () {}\ny = 2;", "(assign x (fn () () (block))); (assign y 2)"},
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
        {"x = [1, 2, 3,];", "(assign x [1 2 3])"},
        {"x = [];", "(assign x [])"},
        {"x = [[1], {a: 'b'}, `t${v}`];", "(assign x [[1] {a:\"b\"} `t${v}`])"},
        {"x = [a + 1, f(2)];", "(assign x [(add_chain a 1) (call f [2])])"},
        {"x = { \"a b\": 1, c: [x, 2] };", "(assign x {a b:1 c:[x 2]})"},
        {"x = { a: 1, a: 2 };", "(assign x {a:1 a:2})"},
        {"x = { if: 1, 'new': 2, };", "(assign x {if:1 new:2})"},
        {"x = {};", "(assign x {})"},
        {"x = { a: b ? 1 : 2 };", "(assign x {a:(conditional b 1 2)})"},
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
}  // namespace tolv::tests
