#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lang/operation_builder.h"
#include "lang/parser.h"
#include "lang/tree_text.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"
#include "runtime/opcodes.h"

namespace tolv::test {
namespace {

class StatementParserTest : public ::testing::Test {
protected:
    void SetUp() override { reset_front_end(); }
};

uint32_t name_of(const char* text) { return intern_name(text, std::strlen(text)); }

struct ShapeCase {
    const char* text;
    const char* tree;
};

struct ErrorCase {
    const char* text;
    int code;
};

TEST_F(StatementParserTest, BuildsStatementCells) {
    const ShapeCase cases[] = {
        {"if (a) b(); else c();", "(147 a (160 b []) (160 c []))"},
        {"if (a) { x = 1; }", "(147 a (155 (123 x 1)))"},
        {"if (a) ; else b;", "(147 a undefined b)"},
        {"while (a) a--;", "(148 a (102 a))"},
        {"do x++; while (x < 3);", "(149 (101 x) (117 x 3))"},
        {"do { x++; } while (x)", "(149 (155 (101 x)) x)"},
        {"for (let i = 0; i < 3; i++) {}", "(150 {(142 (123 i 0)) | (117 i 3) | (101 i)} (155))"},
        {"for (i = 0, j = 1; i < j; i++, j--) x;", "(150 {(123 i 0) (123 j 1) | (117 i j) | (101 i) (102 j)} x)"},
        {"for (; i; ) x;", "(150 { | i | } x)"},
        {"for (const k in h) {}", "(152 k h (155) 1)"},
        {"for (x of [1, 2]) y;", "(151 x [1 2] y 0)"},
        {"for (var v of list) {}", "(151 v list (155) 2)"},
        {"try { } catch (e) { }", "(153 (155) <e (155)>)"},
        {"try { } finally { }", "(153 (155) 0 (155))"},
        {"try { a(); } catch (e) { } finally { b(); }", "(153 (155 (160 a [])) <e (155)> (155 (160 b [])))"},
        {"throw e;", "(154 e)"},
        {"return;", "(158)"},
        {"return a + 1;", "(158 (118 a 1))"},
        {"while (1) { break; }", "(148 1 (155 (156)))"},
        {"while (1) { continue ; }", "(148 1 (155 (157)))"},
        {"var a, b = 2;", "(141 a (123 b 2))"},
        {"{ let a = 1; const b = a; }", "(155 (142 (123 a 1)) (143 (123 b a)))"},
        {"{ let a; } { let a; }", "(155 (142 a)); (155 (142 a))"},
        {"for (let i = 0; i < 1; i++) {} for (let i = 0; i < 1; i++) {}",
         "(150 {(142 (123 i 0)) | (117 i 1) | (101 i)} (155)); (150 {(142 (123 i 0)) | (117 i 1) | (101 i)} (155))"},
        {"switch (x) { case 1: a = 1; break; case 'b': default: b(); }",
         "(170 x {4,3 default:2 1:0 \"b\":2} [(123 a 1) (156) (160 b [])] 1)"},
        {"switch (x) { case 1: if (a) b(); c(); }", "(170 x {3,2 default:0 1:0} [(147 a (160 b [])) (160 c [])] 0)"},
        {"eval(x);", "(179 x)"},
        {"x = decodeURIComponent(s);", "(123 x (174 s))"},
        {"parseInt(a, 16);", "(178 a 16)"},
        {"parseFloat(a);", "(177 a)"},
        {"sendToFront(a);", "(169 a)"},
        {"alertToFront('m');", "(191 \"m\")"},
        {"c = openDb(0, lib, url);", "(123 c (167 0 lib url))"},
        {"closeDb(c, 'commit');", "(180 c \"commit\")"},
        {"r = mongo_find(c, q);", "(123 r (212 c q))"},
        {"mongo_update_many(c, t, f, u, b);", "(216 c t f u b)"},
        {"record_hash(c, q);", "(193 c q)"},
        {"mongoc_write_command(c, h);", "(211 c h)"},
        {";;; x;", "x"},
    };
    for (const ShapeCase& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_text(c.text), c.tree) << c.text;
    }
}

TEST_F(StatementParserTest, ReportsMalformedStatements) {
    const ErrorCase cases[] = {
        {"x = 1, y = 2;", 1000},
        {"var 1;", 1025},
        {"var a.b;", 1025},
        {"let a.b;", 1030},
        {"const;", 1030},
        {"{ let a = 1; let a = 2; }", 1035},
        {"{ const a = 1; let a; }", 1035},
        {"var g; let g;", 1035},
        {"if (a, b) x;", 1075},
        {"if a x;", 1075},
        {"while () x;", 1080},
        {"do x++; (x);", 1085},
        {"do x++; while x;", 1085},
        {"for (;;) {}", 1090},
        {"for (i = 0; i < 3) {}", 1090},
        {"for (a.b of c) {}", 1090},
        {"for (x to y) {}", 1090},
        {"for x of y {}", 1090},
        {"try { } catch { }", 1095},
        {"try { }", 1095},
        {"try x;", 1095},
        {"try { } catch (a.b) { }", 1095},
        {"throw a, b;", 1100},
        {"throw;", 1100},
        {"while (1) { break }", 1105},
        {"while (1) { break 2; }", 1105},
        {"while (1) { continue }", 1110},
        {"return a, b;", 1115},
        {"{ x = 1;", 1145},
        {"switch (x) { }", 1155},
        {"switch (x) { default: a(); }", 1155},
        {"switch (x) { case 1: }", 1155},
        {"switch x { case 1: a(); }", 1160},
        {"switch (x) { case 1, 2: a(); }", 1160},
        {"switch (x) { case undefined: a(); }", 1160},
        {"switch (x) { case 1 a(); }", 1160},
        {"openDb(a, b);", 1210},
        {"closeDb();", 1210},
        {"closeDb;", 1210},
        {"mongo_find(c);", 1210},
        {"mongo_aggregate(c, q, s, g, x);", 1210},
        {"selectToFront(x);", 1211},
        {"execute(x);", 1211},
        {"eval x;", 1215},
        {"encodeURI;", 1215},
        {"eval();", 1220},
        {"parseFloat(a, b);", 1220},
        {"parseInt(a, b, c);", 1225},
        {"parseInt();", 1225},
        {"sendToFront(a, b, c);", 1230},
        {"alertToFront();", 1235},
    };
    for (const ErrorCase& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_error(c.text), c.code) << c.text;
    }
}

TEST_F(StatementParserTest, SwitchHoldsAtMost1022CaseLabels) {
    auto switch_with = [](int labels) {
        std::string text = "switch (x) {";
        for (int i = 0; i < labels; ++i) text += " case " + std::to_string(i) + ":";
        return text + " a(); }";
    };
    EXPECT_EQ(module_error(switch_with(1022).c_str()), 0);
    reset_front_end();
    EXPECT_EQ(module_error(switch_with(1023).c_str()), 1150);
}

TEST_F(StatementParserTest, DeclarationsEnterGlobalsOutsideFunctions) {
    module_text("var a, b = 1; function f() { var local; } for (var v of l) {} { let inner; }");
    for (const char* name : {"a", "b", "f", "v"}) EXPECT_TRUE(global_declared(name_of(name))) << name;
    for (const char* name : {"local", "inner"}) EXPECT_FALSE(global_declared(name_of(name))) << name;
}

TEST_F(StatementParserTest, ModuleStatementsBecomeInitialisersInOrder) {
    module_text("function f() {} x = 1; var y;");
    ASSERT_EQ(g_initialisers.size(), 3u);
    EXPECT_TRUE(is_operation(g_initialisers[0], OP_ASSIGN));
    EXPECT_EQ(tree_text(g_initialisers[1]), "(123 x 1)");
    EXPECT_EQ(tree_text(g_initialisers[2]), "(141 y)");
    for (ValueHandle h : g_initialisers) EXPECT_GE(ref_count(h), 1u);
}

TEST_F(StatementParserTest, StoppingPointsAndModuleNumber) {
    std::vector<char> text;
    const char* source = "x = a + b; { f(); }";
    text.assign(source, source + std::strlen(source) + 1);
    parse_module(5, text.data());
    ASSERT_EQ(g_initialisers.size(), 2u);
    const auto module_byte = [](ValueHandle h) { return cell_as<OperationCell>(h)->module; };
    const ValueHandle assign = g_initialisers[0];
    EXPECT_EQ(module_byte(assign), 5u);                                       // assignment: a stopping point
    EXPECT_EQ(module_byte(operation_operand(assign, 1)), 5u | MODULE_NO_STOP);  // the + chain: not one
    const ValueHandle block = g_initialisers[1];
    EXPECT_EQ(module_byte(block), 5u | MODULE_NO_STOP);
    EXPECT_EQ(module_byte(operation_operand(block, 0)), 5u);  // the call

    // Text parsed at run time never stops the debugger.
    std::vector<ValueHandle> statements;
    parse_statements("x = 1; f()", 10, statements);
    ASSERT_EQ(statements.size(), 2u);
    for (ValueHandle h : statements) EXPECT_TRUE(module_byte(h) & MODULE_NO_STOP);
}

TEST_F(StatementParserTest, BlocksOfManyStatementsTakeTheLongForm) {
    std::string text = "{";
    for (int i = 0; i < 300; ++i) text += " x;";
    text += " }";
    module_text(text.c_str());
    ASSERT_EQ(g_initialisers.size(), 1u);
    const OperationCell* cell = cell_as<OperationCell>(g_initialisers[0]);
    EXPECT_EQ(cell->operand_count, OPERATION_LONG_FORM);
    EXPECT_EQ(operation_operand_count(g_initialisers[0]), 300u);
    EXPECT_EQ(operation_operand(g_initialisers[0], 299), name_of("x"));
}

TEST_F(StatementParserTest, TopProgramMustBeOneCall) {
    const char* call = "main(a, b);";
    ValueHandle h = parse_main_script(9, call, std::strlen(call));
    EXPECT_EQ(tree_text(h), "(160 main [a b])");
    EXPECT_TRUE(cell_as<OperationCell>(h)->module & MODULE_NO_STOP);
    EXPECT_EQ(cell_as<OperationCell>(h)->module & 0x7F, 9u);

    const auto code_of = [](const std::string& text) {
        try {
            parse_main_script(9, text.data(), text.size());
        } catch (const ScriptThrow& thrown) {
            return thrown_code(thrown.value);
        }
        return 0;
    };
    EXPECT_EQ(code_of("a + b"), 1725);
    EXPECT_EQ(code_of("f(1); g(2)"), 0);
    EXPECT_EQ(code_of("sendToFront(x)"), 1725);
    std::string many = "f(1)";
    for (int i = 0; i < 14; ++i) many += "+1";  // 31 slots
    EXPECT_EQ(code_of(many), 1725);
    EXPECT_EQ(code_of(many + "+1"), 1720);
    EXPECT_EQ(code_of("main("), 1720);
    EXPECT_EQ(code_of("main(a +)"), 1730);
    try {
        parse_main_script(9, "main(a +)", 9);
        ADD_FAILURE() << "no error";
    } catch (const ScriptThrow& thrown) {
        // The message quotes the whole text, not the part being parsed.
        EXPECT_NE(std::string(error_message(value_ptr(thrown.value))).find("'main(a +)'"), std::string::npos);
    }
}

TEST_F(StatementParserTest, ParseStatementsLeavesTheModuleStateAlone) {
    module_text("x = 1;");
    std::vector<ValueHandle> out;
    parse_statements("{ let a; } a + 1", 16, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(tree_text(out[1]), "(118 a 1)");
    EXPECT_EQ(g_initialisers.size(), 1u);
    for (ValueHandle h : out) EXPECT_GE(ref_count(h), 1u);
}

}  // namespace
}  // namespace tolv::test
