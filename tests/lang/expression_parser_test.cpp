#include <gtest/gtest.h>

#include <string>

#include "lang/operation_builder.h"
#include "lang/parser.h"
#include "lang/tree_text.h"
#include "runtime/opcodes.h"

namespace tolv::tests {
namespace {

class ExpressionParserTest : public ::testing::Test {
protected:
    void SetUp() override { reset_front_end(); }
};

struct ShapeCase {
    const char* text;
    const char* tree;
};

TEST_F(ExpressionParserTest, BuildsTreesLevelByLevel) {
    const ShapeCase cases[] = {
        {"1 + 2 * 3;", "(add_chain 1 (mul_chain 2 3))"},
        {"2 ** 3 ** 2;", "(power 2 (power 3 2))"},
        // Operators of one level group by kind, not left to right.
        {"10 - 2 + 3;", "(sub_chain 10 (add_chain 2 3))"},
        {"12 / 2 * 3;", "(div_chain 12 (mul_chain 2 3))"},
        {"a - b - c;", "(sub_chain a b c)"},
        {"a + b - c + d;", "(sub_chain (add_chain a b) (add_chain c d))"},
        {"a < b == c < d;", "(eq (lt a b) (lt c d))"},
        {"a >= b > c;", "(gt (ge a b) c)"},
        {"1 << 2 + 1;", "(shl 1 (add_chain 2 1))"},
        {"a && b || c && d;", "(or_chain (and_chain a b) (and_chain c d))"},
        {"a & b | c ^ d;", "(bitor_chain (bitand_chain a b) (bitxor_chain c d))"},
        {"a ? b : c ? d : e;", "(conditional a b (conditional c d e))"},
        {"a ? b ? c : d : e;", "(conditional a (conditional b c d) e)"},
        {"x = y ? 1 : 2;", "(assign x (conditional y 1 2))"},
        {"a = b = 1;", "(assign a (assign b 1))"},
        {"x += -1;", "(add_assign x -1)"},
        {"x-1;", "(sub_chain x 1)"},
        {"-5 + x;", "(add_chain -5 x)"},
        {"a++;", "(postfix_inc a)"},
        {"--a;", "(prefix_dec a)"},
        {"!!a;", "(not (not a))"},
        {"!typeof a;", "(not (typeof a))"},
        {"~a.b;", "(bitnot (member a b))"},
        {"typeof x === \"s\";", "(strict_eq (typeof x) \"s\")"},
        {"a instanceof Foo;", "(instanceof a Foo)"},
        {"f();", "(call f [])"},
        {"f(a, b)(c);", "(call (call f [a b]) [c])"},
        {"a.b.c(x)[i];", "(index (call (member (member a b) c) [x]) i)"},
        {"obj.if;", "(member obj if)"},
        {"\"abc\".length;", "(member \"abc\" length)"},
        {"(1, 2, 3);", "(paren_list 1 2 3)"},
        {"(a) * 2;", "(mul_chain (paren_list a) 2)"},
        {"new Date(2020, 1, 2);", "(new Date [2020 1 2])"},
        {"new Foo;", "(new Foo [])"},
        {"new Foo(1).bar;", "(member (new Foo [1]) bar)"},
        {"Array;", "(array)"},
        {"Integer(x);", "(integer x)"},
        {"Error(\"m\", 5);", "(error \"m\" 5)"},
        {"a = [1, x];", "(assign a [1 x])"},
        {"parseInt(a) + 1;", "(add_chain (parse_int a) 1)"},
        {"do2 = 1;", "(assign do2 1)"},
        {"x = true || null;", "(assign x (or_chain true null))"},
    };
    for (const ShapeCase& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_text(c.text), c.tree) << c.text;
    }
}

TEST_F(ExpressionParserTest, EvaluationOrderOfMixedChains) {
    // The shapes the evaluator turns into 5 and 2.
    EXPECT_EQ(module_text("10 - 2 + 3;"), "(sub_chain 10 (add_chain 2 3))");
    EXPECT_EQ(module_text("12 / 2 * 3;"), "(div_chain 12 (mul_chain 2 3))");
}

TEST_F(ExpressionParserTest, LongChainsContinueInAFurtherCell) {
    std::string text = "x = 1";
    for (int i = 0; i < 299; ++i) text += " - 1";
    text += ";";
    module_text(text.c_str());
    ASSERT_EQ(g_initialisers.size(), 1u);
    // 300 operands: one cell of 254, then a cell of that and the other 46,
    // which keeps the left-to-right order of subtraction.
    const ValueHandle outer = operation_operand(g_initialisers[0], 1);
    ASSERT_TRUE(is_operation(outer, OP_SUB_CHAIN));
    EXPECT_EQ(operation_operand_count(outer), 47u);
    const ValueHandle inner = operation_operand(outer, 0);
    ASSERT_TRUE(is_operation(inner, OP_SUB_CHAIN));
    EXPECT_EQ(operation_operand_count(inner), 254u);
}

struct ErrorCase {
    const char* text;
    int code;
};

TEST_F(ExpressionParserTest, ReportsMalformedExpressions) {
    const ErrorCase cases[] = {
        {"a +;", 1125},
        {"-x;", 1125},
        {"a ? b;", 1125},
        {"a : b;", 1125},
        {"a, + b;", 1125},
        {"f(a,);", 1125},
        {"new Error();", 1020},
        {"Error;", 1020},
        {"Integer(1, 2);", 1020},
        {"new Date(1,2,3,4,5,6,7,8);", 1020},
        {"Integer.x;", 1015},
        {"new a.b();", 1015},
        {"a[1, 2];", 1015},
        {"a[];", 1015},
        {"@;", 1015},
        {"();", 1015},
        {"a. ;", 1015},
        {"f(a;", 1130},
        {"x = (a;", 1130},
        {"f(a; b);", 1135},
        {"x = 1, y = 2;", 1000},
        {"a b;", 1000},
        {"x = /ab+c;", 4805},
        {"selectToFront(x);", 1211},
        {"x = redis_get(k);", 1211},
        {"x = 'open;", 1010},
        {"x = .2.3;", 1405},
        {"x = 1e;", 1405},
    };
    for (const ErrorCase& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_error(c.text), c.code) << c.text;
    }
}

// A pattern literal is checked as it is read: its fault is the statement's
// parse error, with nothing but the parser set up.
TEST_F(ExpressionParserTest, ChecksPatternLiteralsWhileParsing) {
    const ErrorCase cases[] = {
        {"x = /(?<y>\\d+)[a-z]|\\bq{2,3}?/gimsy;", 0},
        {"x = /a{2,1}/;", 4765},
        {"x = /a**/;", 4655},
        {"x = /(?<1a>x)/;", 4625},
        {"x = /[b-a]/;", 4720},
        {"x = /a/q;", 4795},
    };
    for (const ErrorCase& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_error(c.text), c.code) << c.text;
    }
}

TEST_F(ExpressionParserTest, EnforcesListAndSlotLimits) {
    std::string args = "f(";
    for (int i = 0; i < 255; ++i) args += i ? ",1" : "1";
    EXPECT_EQ(module_error((args + ");").c_str()), 0);
    EXPECT_EQ(module_error((args + ",1);").c_str()), 1123);

    std::string slots = "a";
    for (int i = 0; i < 511; ++i) slots += "+a";  // 1023 slots
    EXPECT_EQ(module_error((slots + ";").c_str()), 0);
    EXPECT_EQ(module_error((slots + "+a;").c_str()), 1120);
}

TEST_F(ExpressionParserTest, DeepNestingFailsInsteadOfExhaustingTheStack) {
    std::string text = "x = " + std::string(5000, '(') + "1" + std::string(5000, ')') + ";";
    EXPECT_EQ(module_error(text.c_str()), 1120);
    std::string shallow = "x = " + std::string(40, '(') + "1" + std::string(40, ')') + ";";
    EXPECT_EQ(module_error(shallow.c_str()), 0);
}

}  // namespace
}  // namespace tolv::tests
