// The operation handlers behind the dispatch table, by file.
#pragma once

#include "runtime/opcodes.h"
#include "runtime/value.h"

namespace tolv {

// evaluate.cpp
ValueHandle op_nop(ValueHandle cell);
ValueHandle op_paren_list(ValueHandle cell);
ValueHandle op_no_operation(ValueHandle cell);

// operators.cpp
ValueHandle op_typeof(ValueHandle cell);
ValueHandle op_instanceof(ValueHandle cell);
ValueHandle op_not(ValueHandle cell);
ValueHandle op_and_chain(ValueHandle cell);
ValueHandle op_or_chain(ValueHandle cell);
ValueHandle op_eq(ValueHandle cell);
ValueHandle op_strict_eq(ValueHandle cell);
ValueHandle op_ne(ValueHandle cell);
ValueHandle op_strict_ne(ValueHandle cell);
ValueHandle op_ge(ValueHandle cell);
ValueHandle op_gt(ValueHandle cell);
ValueHandle op_le(ValueHandle cell);
ValueHandle op_lt(ValueHandle cell);
// A comparison's outcome (== != === !== >= > <= <) without the boolean
// constant, for conditions.
bool comparison_holds(ValueHandle cell);
inline bool is_comparison(uint8_t opcode) { return opcode >= OP_EQ && opcode <= OP_LT; }
ValueHandle op_add_chain(ValueHandle cell);
ValueHandle op_sub_chain(ValueHandle cell);
ValueHandle op_mul_chain(ValueHandle cell);
ValueHandle op_div_chain(ValueHandle cell);
ValueHandle op_mod_chain(ValueHandle cell);
ValueHandle op_power(ValueHandle cell);
ValueHandle op_bitand_chain(ValueHandle cell);
ValueHandle op_bitor_chain(ValueHandle cell);
ValueHandle op_bitxor_chain(ValueHandle cell);
ValueHandle op_bitnot(ValueHandle cell);
ValueHandle op_shift(ValueHandle cell);
ValueHandle op_conditional(ValueHandle cell);

// assignment.cpp
ValueHandle op_postfix_inc(ValueHandle cell);
ValueHandle op_postfix_dec(ValueHandle cell);
ValueHandle op_prefix_inc(ValueHandle cell);
ValueHandle op_prefix_dec(ValueHandle cell);
// A postfix ++/-- whose value is not used: undefined when the number was
// stepped where it is, else a value to drop.
ValueHandle step_as_statement(ValueHandle cell);
ValueHandle op_assign(ValueHandle cell);
ValueHandle op_add_assign(ValueHandle cell);
ValueHandle op_arith_assign(ValueHandle cell);
ValueHandle op_bit_assign(ValueHandle cell);

// conversions.cpp
ValueHandle op_number(ValueHandle cell);
ValueHandle op_string(ValueHandle cell);
ValueHandle op_integer(ValueHandle cell);
ValueHandle op_float(ValueHandle cell);
ValueHandle op_regexp(ValueHandle cell);
ValueHandle op_array(ValueHandle cell);

// statements.cpp
ValueHandle op_if(ValueHandle cell);
ValueHandle op_while(ValueHandle cell);
ValueHandle op_do_while(ValueHandle cell);
ValueHandle op_for(ValueHandle cell);
ValueHandle op_for_of(ValueHandle cell);
ValueHandle op_for_in(ValueHandle cell);
ValueHandle op_try(ValueHandle cell);
ValueHandle op_throw(ValueHandle cell);
ValueHandle op_block(ValueHandle cell);
ValueHandle op_break(ValueHandle cell);
ValueHandle op_continue(ValueHandle cell);
ValueHandle op_return(ValueHandle cell);
ValueHandle op_switch(ValueHandle cell);
ValueHandle op_error(ValueHandle cell);

// declarations.cpp
ValueHandle op_var(ValueHandle cell);
ValueHandle op_let(ValueHandle cell);
ValueHandle op_const(ValueHandle cell);

// calls.cpp
ValueHandle op_call(ValueHandle cell);
ValueHandle op_new(ValueHandle cell);
ValueHandle op_eval(ValueHandle cell);

// members.cpp
ValueHandle op_member(ValueHandle cell);
ValueHandle op_index(ValueHandle cell);

// library_hooks.cpp: keyword operations whose library is built separately.
ValueHandle op_keyword_hook(ValueHandle cell);

}  // namespace tolv
