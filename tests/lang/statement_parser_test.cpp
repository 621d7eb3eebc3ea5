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

namespace tolv::tests {
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
        {"if (a) b(); else c();", "(if a (call b []) (call c []))"},
        {"if (a) { x = 1; }", "(if a (block (assign x 1)))"},
        {"if (a) ; else b;", "(if a undefined b)"},
        {"while (a) a--;", "(while a (postfix_dec a))"},
        {"do x++; while (x < 3);", "(do_while (postfix_inc x) (lt x 3))"},
        {"do { x++; } while (x)", "(do_while (block (postfix_inc x)) x)"},
        {"for (let i = 0; i < 3; i++) {}", "(for {(let (assign i 0)) | (lt i 3) | (postfix_inc i)} (block))"},
        {"for (i = 0, j = 1; i < j; i++, j--) x;", "(for {(assign i 0) (assign j 1) | (lt i j) | (postfix_inc i) (postfix_dec j)} x)"},
        {"for (; i; ) x;", "(for { | i | } x)"},
        {"for (const k in h) {}", "(for_in k h (block) 1)"},
        {"for (x of [1, 2]) y;", "(for_of x [1 2] y 0)"},
        {"for (var v of list) {}", "(for_of v list (block) 2)"},
        {"try { } catch (e) { }", "(try (block) <e (block)>)"},
        {"try { } finally { }", "(try (block) 0 (block))"},
        {"try { a(); } catch (e) { } finally { b(); }", "(try (block (call a [])) <e (block)> (block (call b [])))"},
        {"throw e;", "(throw e)"},
        {"return;", "(return)"},
        {"return a + 1;", "(return (add_chain a 1))"},
        {"while (1) { break; }", "(while 1 (block (break)))"},
        {"while (1) { continue ; }", "(while 1 (block (continue)))"},
        {"var a, b = 2;", "(var a (assign b 2))"},
        {"{ let a = 1; const b = a; }", "(block (let (assign a 1)) (const (assign b a)))"},
        {"{ let a; } { let a; }", "(block (let a)); (block (let a))"},
        {"for (let i = 0; i < 1; i++) {} for (let i = 0; i < 1; i++) {}",
         "(for {(let (assign i 0)) | (lt i 1) | (postfix_inc i)} (block)); (for {(let (assign i 0)) | (lt i 1) | (postfix_inc i)} (block))"},
        {"switch (x) { case 1: a = 1; break; case 'b': default: b(); }",
         "(switch x {4,3 default:2 1:0 \"b\":2} [(assign a 1) (break) (call b [])] 1)"},
        {"switch (x) { case 1: if (a) b(); c(); }", "(switch x {3,2 default:0 1:0} [(if a (call b [])) (call c [])] 0)"},
        {"eval(x);", "(eval x)"},
        {"x = decodeURIComponent(s);", "(assign x (decode_uri_component s))"},
        {"parseInt(a, 16);", "(parse_int a 16)"},
        {"parseFloat(a);", "(parse_float a)"},
        {"sendToFront(a);", "(send_to_front a)"},
        {"alertToFront('m');", "(alert_to_front \"m\")"},
        {"c = openDb(0, lib, url);", "(assign c (open_db 0 lib url))"},
        {"closeDb(c, 'commit');", "(close_db c \"commit\")"},
        {"r = mongo_find(c, q);", "(assign r (mongo_find c q))"},
        {"mongo_update_many(c, t, f, u, b);", "(mongo_update_many c t f u b)"},
        {"record_hash(c, q);", "(record_hash c q)"},
        {"mongoc_write_command(c, h);", "(mongoc_write_command c h)"},
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
    EXPECT_EQ(tree_text(g_initialisers[1]), "(assign x 1)");
    EXPECT_EQ(tree_text(g_initialisers[2]), "(var y)");
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
    EXPECT_EQ(tree_text(h), "(call main [a b])");
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
    EXPECT_EQ(tree_text(out[1]), "(add_chain a 1)");
    EXPECT_EQ(g_initialisers.size(), 1u);
    for (ValueHandle h : out) EXPECT_GE(ref_count(h), 1u);
}

}  // namespace
}  // namespace tolv::tests
