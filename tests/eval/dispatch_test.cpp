// The operation tables on hand-built cells: the debugger's expression mode,
// codes without an operation and handles that cannot be evaluated.
#include <gtest/gtest.h>

#include "eval/cell_builder.h"
#include "eval/evaluate.h"
#include "eval/program.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"

namespace tolv::tests {
namespace {

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        heap_reset();
        seed_name_table();
        globals_reset();
        parser_reset();
        evaluator_reset();
        g_error_context = ErrorContext{};
        g_error_context.run_started = true;
    }
    void TearDown() override { evaluator_reset(); }

    static std::string error_of(ValueHandle tree) {
        try {
            dispose(evaluate(tree));
        } catch (const ScriptThrow& thrown) {
            const uint8_t* rec = value_ptr(thrown.value);
            return std::string(error_code_text(rec), error_code_length(rec));
        }
        return "";
    }
};

TEST_F(DispatchTest, ExpressionModeRunsExpressionsAndRefusesEffects) {
    ValueHandle f = function({}, {}, block({ret(num(1))}));
    define_global(intern_name("f", 1), f);
    g_expression_mode = true;
    ValueHandle x = nm("x");
    EXPECT_EQ(error_of(assign(x, op(OP_ADD_CHAIN, {num(2), num(3)}))), "");
    EXPECT_EQ(integer_value(global_value(x)), 5);
    EXPECT_EQ(error_of(op(OP_IF, {VALUE_TRUE, assign(x, num(6))})), "");
    EXPECT_EQ(integer_value(global_value(x)), 6);
    const ValueHandle refused[] = {call(nm("f"), {}), op(OP_TYPEOF, {x}), block({}), op(OP_VAR, {x}),
                                   op(OP_NEW, {nm("f"), args({})})};
    for (ValueHandle tree : refused) EXPECT_EQ(error_of(tree), "1860");
    g_expression_mode = false;
    EXPECT_EQ(error_of(call(nm("f"), {})), "");
}

TEST_F(DispatchTest, CodesWithoutOperationAndUnevaluableHandles) {
    EXPECT_EQ(error_of(op(162, {})), "1860");
    EXPECT_EQ(error_of(op(OP_HASH, {})), "1860");
    EXPECT_EQ(error_of(op(99, {})), "1860");
    EXPECT_EQ(error_of(make_handle(4, 0)), "2015");
    EXPECT_EQ(error_of(op(OP_PAREN_LIST, {num(1), num(2), make_handle(15, 0)})), "2015");
}

TEST_F(DispatchTest, EveryLiteralEvaluationIsNew) {
    set_run_mode();
    ValueHandle constant = array_literal({num(1), num(2)});
    ValueHandle copy = evaluate(constant);
    EXPECT_NE(copy, constant);
    EXPECT_EQ(array_length(copy), 2u);
    EXPECT_EQ(ValueHandle(array_elements(copy)[1]), ValueHandle(array_elements(constant)[1]));
    dispose(copy);
    ValueHandle computed = array_literal({nm("v"), num(2)});
    define_global(intern_name("v", 1), num(7));
    ValueHandle first = evaluate(computed);
    ValueHandle second = evaluate(computed);
    EXPECT_NE(first, computed);
    EXPECT_NE(first, second);
    EXPECT_EQ(integer_value(array_elements(first)[0]), 7);
    EXPECT_EQ(kind_of(array_elements(computed)[0]), KIND_NAME);
    dispose(first);
    dispose(second);
}

}  // namespace
}  // namespace tolv::tests
