// Arithmetic, string, comparison, logical, typeof/instanceof and bitwise
// operators.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "eval/calls.h"
#include "eval/conversions.h"
#include "eval/evaluate.h"
#include "eval/handlers.h"
#include "eval/held_values.h"
#include "eval/integer_operands.h"
#include "eval/integer_programs.h"
#include "eval/library_hooks.h"
#include "eval/numeric_operands.h"
#include "eval/scopes.h"
#include "eval/stack_guard.h"
#include "runtime/convert.h"
#include "runtime/name_table.h"
#include "runtime/text.h"

namespace tolv {

namespace {

inline ValueHandle boolean(bool b) { return b ? VALUE_TRUE : VALUE_FALSE; }
inline bool is_name_constant(ValueHandle v) { return v <= VALUE_NAN; }

// Truncates toward zero into 32 bits; values beyond the range wrap.
int32_t truncate_to_int32(double d) {
    if (d >= -2147483648.0 && d < 2147483648.0) return int32_t(d);
    if (!std::isfinite(d)) return INT32_MIN;
    double wrapped = std::fmod(std::trunc(d), 4294967296.0);
    if (wrapped < 0) wrapped += 4294967296.0;
    return int32_t(uint32_t(wrapped));
}

// The operator is a template argument so that each handler gets its own
// copy with the operator's switch folded away.
template <ArithmeticOp op>
ValueHandle arithmetic_from(ValueHandle cell, ValueHandle first) {
    // Cells and operand vectors never move while a program runs.
    const OperationCell* c = operation_cell(cell);
    uint32_t n = operand_count(c);
    const Word32* operands = operands_of(c);
    if (n == 2 && kind_of(first) == KIND_INTEGER) {
        ValueHandle second = evaluate_after(first, operands[1]);
        int32_t out;
        if (kind_of(second) == KIND_INTEGER && integer_pair(op, integer_value(first), integer_value(second), out)) {
            dispose_result(operands[0], first);
            dispose_result(operands[1], second);
            return integer_result(out);
        }
        bool is_float = false;
        double a = numeric_operand(first, is_float);
        double b = numeric_operand(second, is_float);
        dispose(first);
        dispose(second);
        return numeric_result(arithmetic(op, a, b), is_float);
    }
    bool is_float = false;
    double x = numeric_operand(first, is_float);
    dispose(first);
    for (uint32_t i = 1; i < n; ++i) {
        ValueHandle next = evaluate(operands[i]);
        double y = numeric_operand(next, is_float);
        dispose(next);
        x = arithmetic(op, x, y);
    }
    return numeric_result(x, is_float);
}

// ---- Plus --------------------------------------------------------------------

// The decimal text of an Integer, as "%d" writes it, without the cost of printf.
void integer_text(int32_t n, TextBuffer& out) {
    char digits[12];
    char* end = digits + sizeof digits;
    char* p = end;
    uint32_t magnitude = n < 0 ? 0u - uint32_t(n) : uint32_t(n);
    do {
        *--p = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (n < 0) *--p = '-';
    out.append(p, size_t(end - p));
}

// Text of an operand that may take part in a concatenation, or false.
bool concatenable_text(ValueHandle v, TextBuffer& out) {
    switch (kind_of(v)) {
    case KIND_STRING:
        out.append(string_text(v), string_length(v));
        return true;
    case KIND_INTEGER:
    case KIND_FLOAT:
        number_text(v, out);
        return true;
    default:
        if (is_name_constant(v)) {
            text_of(v, out);
            return true;
        }
        return false;
    }
}

// Whether a + b concatenates (the pair rules of `+`).
bool concatenates(ValueHandle a, ValueHandle b) {
    Kind ka = kind_of(a), kb = kind_of(b);
    if (ka == KIND_STRING) return kb == KIND_STRING || is_number(b) || is_name_constant(b);
    if (kb == KIND_STRING) return is_number(a) || is_name_constant(a);
    return is_name_constant(a) && is_name_constant(b);
}

// From the first concatenation on every step concatenates: the rest of the
// chain is built in one buffer. Kept out of op_add_chain, whose frame sits
// in every recursion through a sum.
[[gnu::noinline]] ValueHandle concatenate_rest(ValueHandle cell, ValueHandle acc, ValueHandle next, uint32_t from,
                                               uint32_t n) {
    TextBuffer text;
    concatenable_text(acc, text);
    concatenable_text(next, text);
    dispose(acc);
    dispose(next);
    for (uint32_t i = from; i < n; ++i) {
        ValueHandle more = evaluate(operand(operation_cell(cell), i));
        if (!concatenable_text(more, text)) raise(Error::BAD_PLUS_OPERAND);
        dispose(more);
    }
    return new_string(text.data(), text.size());
}

}  // namespace

// ---- Shared with the compound assignments ------------------------------------

// A numeric operand: Integer, Float, or a String that is a number as a whole.
double numeric_operand(ValueHandle v, bool& is_float) {
    switch (kind_of(v)) {
    case KIND_INTEGER:
        return integer_value(v);
    case KIND_FLOAT:
        is_float = true;
        return float_value(v);
    case KIND_STRING: {
        const char* text = string_text(v);
        char* end = nullptr;
        double d = std::strtod(text, &end);
        if (end != text + string_length(v)) raise(Error::NOT_NUMBER_OPERAND_2305);
        if (std::memchr(text, '.', string_length(v))) is_float = true;
        return d;
    }
    default:
        raise(Error::NOT_NUMBER_OPERAND_2310);
    }
}

ValueHandle numeric_result(double d, bool is_float) {
    return is_float ? new_float(d) : integer_result(truncate_to_int32(d));
}

double arithmetic(ArithmeticOp op, double a, double b) {
    switch (op) {
    case ARITH_SUB:
        return a - b;
    case ARITH_MUL:
        return a * b;
    case ARITH_DIV:
        if (b == 0.0) raise(Error::DIVISION_BY_ZERO);
        return a / b;
    case ARITH_MOD:
        // The remainder takes the divisor's sign; a zero divisor is refused like division.
        if (b == 0.0) raise(Error::DIVISION_BY_ZERO);
        return a - std::floor(a / b) * b;
    case ARITH_POW:
        return std::pow(a, b);
    }
    return 0;
}

void number_text(ValueHandle v, TextBuffer& out) {
    if (kind_of(v) == KIND_INTEGER) {
        integer_text(integer_value(v), out);
    } else {
        float_text(float_value(v), out);
    }
}

namespace {

// The sum from operand `from` on, `acc` the sum before it; `next`, when
// given, is operand `from` already evaluated.
ValueHandle add_chain_from(ValueHandle cell, ValueHandle acc, ValueHandle next = VALUE_SENTINEL, uint32_t from = 1) {
    const OperationCell* c = operation_cell(cell);
    uint32_t n = operand_count(c);
    const Word32* operands = operands_of(c);
    uint32_t i = from;
    // Numeric prefix of the chain.
    for (; i < n; ++i) {
        if (i > from || next == VALUE_SENTINEL) next = i == 1 ? evaluate_after(acc, operands[1]) : evaluate(operands[i]);
        Kind ka = kind_of(acc), kb = kind_of(next);
        ValueHandle sum;
        if (ka == KIND_INTEGER && kb == KIND_INTEGER) {
            sum = integer_result(int32_t(uint32_t(integer_value(acc)) + uint32_t(integer_value(next))));
            dispose(acc);
            dispose_result(operands[i], next);
            acc = sum;
            continue;
        } else if (is_number(acc) && is_number(next)) {
            double a = ka == KIND_INTEGER ? integer_value(acc) : float_value(acc);
            double b = kb == KIND_INTEGER ? integer_value(next) : float_value(next);
            sum = new_float(a + b);
        } else if (concatenates(acc, next)) {
            return concatenate_rest(cell, acc, next, i + 1, n);
        } else {
            raise(Error::BAD_PLUS_OPERAND);
        }
        dispose(acc);
        dispose(next);
        acc = sum;
    }
    return acc;
}

template <ArithmeticOp op>
ValueHandle arithmetic_chain(ValueHandle cell) {
    return arithmetic_from<op>(cell, evaluate(operands_of(operation_cell(cell))[0]));
}

// ---- Integer results without cells -------------------------------------------
// Each takes an operation of two operands (bit chains: any number) whose
// position evaluate() or operation_integer() has noted.

// A sum of any length: Integers are added as they come, each step wrapping
// as `+` does; from the first operand that is not one, the chain goes on
// with cells.
[[gnu::always_inline]] inline bool add_integer(ValueHandle cell, int32_t& out, ValueHandle& value) {
    const OperationCell* c = operation_cell(cell);
    uint32_t n = operand_count(c);
    const Word32* operands = operands_of(c);
    int32_t sum, b;
    ValueHandle first, next;
    if (!evaluate_integer(operands[0], sum, first)) {
        value = add_chain_from(cell, first);
        return false;
    }
    for (uint32_t i = 1; i < n; ++i) {
        if (!evaluate_integer(operands[i], b, next)) {
            value = add_chain_from(cell, integer_result(sum), next, i);
            return false;
        }
        sum = int32_t(uint32_t(sum) + uint32_t(b));
    }
    out = sum;
    return true;
}

template <ArithmeticOp op>
[[gnu::always_inline]] inline bool arithmetic_integer(ValueHandle cell, int32_t& out, ValueHandle& value) {
    const Word32* operands = operands_of(operation_cell(cell));
    int32_t a, b;
    ValueHandle first, second;
    if (!evaluate_integer(operands[0], a, first)) {
        value = arithmetic_from<op>(cell, first);
        return false;
    }
    if (!evaluate_integer(operands[1], b, second)) {
        bool is_float = false;
        double y = numeric_operand(second, is_float);
        dispose(second);
        value = numeric_result(arithmetic(op, double(a), y), is_float);
        return false;
    }
    return integer_pair(op, a, b, out);
}

bool bitwise_integer(ValueHandle cell, uint8_t code, int32_t& out) {
    const OperationCell* c = operation_cell(cell);
    uint32_t n = operand_count(c);
    const Word32* operands = operands_of(c);
    int32_t x, y;
    ValueHandle other;
    if (!evaluate_integer(operands[0], x, other)) raise(Error::NOT_INTEGER_OPERAND_2257);
    for (uint32_t i = 1; i < n; ++i) {
        if (!evaluate_integer(operands[i], y, other)) raise(Error::NOT_INTEGER_OPERAND_2260);
        x = code == OP_BITAND_CHAIN ? (x & y) : code == OP_BITOR_CHAIN ? (x | y) : (x ^ y);
    }
    out = x;
    return true;
}

bool shift_integer(ValueHandle cell, uint8_t code, int32_t& out) {
    const Word32* operands = operands_of(operation_cell(cell));
    int32_t a, count;
    ValueHandle other;
    bool a_is_integer = evaluate_integer(operands[0], a, other);
    bool count_is_integer = evaluate_integer(operands[1], count, other);
    if (!a_is_integer) raise(Error::NOT_INTEGER_OPERAND_2265);
    if (!count_is_integer) raise(Error::NOT_INTEGER_OPERAND_2270);
    if (count < 0) raise(Error::BAD_SHIFT_COUNT);
    uint32_t bits = uint32_t(a);
    uint32_t result;
    if (code == OP_SHL) {
        result = bits << (count % 32);
    } else if (code == OP_SHR) {
        result = uint32_t(int32_t(bits) >> (count % 32));
    } else if (count == 0) {
        result = bits;
    } else {
        unsigned places = 1 + unsigned((count - 1) % 32);
        result = places >= 32 ? 0 : bits >> places;
    }
    out = int32_t(result);
    return true;
}

template <ArithmeticOp op>
ValueHandle arithmetic_operation(ValueHandle cell) {
    if (operation_cell(cell)->operand_count != 2) return arithmetic_chain<op>(cell);
    int32_t out;
    ValueHandle value;
    return arithmetic_integer<op>(cell, out, value) ? integer_result(out) : value;
}

}  // namespace

bool operation_integer(ValueHandle cell, int32_t& out, ValueHandle& value) {
    const OperationCell* c = operation_cell(cell);
    if (operates_on_operations(c) && run_integer_program(cell, out)) return true;
    if (c->operand_count != OPERATION_LONG_FORM) note_position(c);
#if TOLV_DEBUGGER
    if (g_debugger_watching) [[unlikely]]
        debugger_at_operation(c);
#endif
    bool pair = c->operand_count == 2;
    switch (c->opcode) {
    case OP_ADD_CHAIN:
        if (add_integer(cell, out, value)) return true;
        break;
    case OP_SUB_CHAIN:
        if (pair && arithmetic_integer<ARITH_SUB>(cell, out, value)) return true;
        if (!pair) value = arithmetic_chain<ARITH_SUB>(cell);
        break;
    case OP_MUL_CHAIN:
        if (pair && arithmetic_integer<ARITH_MUL>(cell, out, value)) return true;
        if (!pair) value = arithmetic_chain<ARITH_MUL>(cell);
        break;
    case OP_DIV_CHAIN:
        if (pair && arithmetic_integer<ARITH_DIV>(cell, out, value)) return true;
        if (!pair) value = arithmetic_chain<ARITH_DIV>(cell);
        break;
    case OP_MOD_CHAIN:
        if (pair && arithmetic_integer<ARITH_MOD>(cell, out, value)) return true;
        if (!pair) value = arithmetic_chain<ARITH_MOD>(cell);
        break;
    case OP_BITAND_CHAIN:
    case OP_BITOR_CHAIN:
    case OP_BITXOR_CHAIN:
        return bitwise_integer(cell, c->opcode, out);
    case OP_SHL:
    case OP_SHR:
    case OP_USHR:
        return shift_integer(cell, c->opcode, out);
    default:
        value = (g_expression_mode ? g_restricted_table : g_operation_table)[c->opcode](cell);
        break;
    }
    if (!is_integer(value)) return false;
    out = integer_value(value);
    dispose_integer(value);
    return true;
}

ValueHandle op_add_chain(ValueHandle cell) {
    int32_t out;
    ValueHandle value;
    return add_integer(cell, out, value) ? integer_result(out) : value;
}

ValueHandle op_sub_chain(ValueHandle cell) { return arithmetic_operation<ARITH_SUB>(cell); }
ValueHandle op_mul_chain(ValueHandle cell) { return arithmetic_operation<ARITH_MUL>(cell); }
ValueHandle op_div_chain(ValueHandle cell) { return arithmetic_operation<ARITH_DIV>(cell); }
ValueHandle op_mod_chain(ValueHandle cell) { return arithmetic_operation<ARITH_MOD>(cell); }

ValueHandle op_power(ValueHandle cell) {
    ValueHandle a = evaluate(operand(operation_cell(cell), 0));
    ValueHandle b = evaluate_after(a, operand(operation_cell(cell), 1));
    bool is_float = false;
    double x = numeric_operand(a, is_float);
    double y = numeric_operand(b, is_float);
    dispose(a);
    dispose(b);
    return numeric_result(std::pow(x, y), is_float);
}

// ---- Comparison --------------------------------------------------------------

namespace {

enum CompareOp { CMP_EQ, CMP_GE, CMP_GT, CMP_LE, CMP_LT };

bool compare_doubles(CompareOp op, double a, double b) {
    switch (op) {
    case CMP_EQ:
        return a == b;
    case CMP_GE:
        return a >= b;
    case CMP_GT:
        return a > b;
    case CMP_LE:
        return a <= b;
    case CMP_LT:
        return a < b;
    }
    return false;
}

// A String compared with a number: its whole text (after blanks and tabs) as a number.
bool string_as_number(ValueHandle s, double& out) {
    const char* text = string_text(s);
    const char* end_of_text = text + string_length(s);
    while (text < end_of_text && (*text == ' ' || *text == '\t')) ++text;
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end == end_of_text;
}

bool compare_values(CompareOp op, ValueHandle a, ValueHandle b) {
    Kind ka = kind_of(a), kb = kind_of(b);
    if (ka == KIND_INTEGER && kb == KIND_INTEGER) {
        int32_t x = integer_value(a), y = integer_value(b);
        switch (op) {
        case CMP_EQ:
            return x == y;
        case CMP_GE:
            return x >= y;
        case CMP_GT:
            return x > y;
        case CMP_LE:
            return x <= y;
        case CMP_LT:
            return x < y;
        }
    }
    if (ka == KIND_STRING && kb == KIND_STRING) {
        uint32_t la = string_length(a), lb = string_length(b);
        if (op == CMP_EQ && la != lb) return false;
        int c = std::memcmp(string_text(a), string_text(b), la < lb ? la : lb);
        if (c == 0) c = la < lb ? -1 : la > lb ? 1 : 0;
        return compare_doubles(op, c, 0);
    }
    if (is_number(a) && is_number(b)) return compare_doubles(op, number_value(a), number_value(b));
    if (is_number(a) && kb == KIND_STRING) {
        double y;
        return string_as_number(b, y) && compare_doubles(op, number_value(a), y);
    }
    if (ka == KIND_STRING && is_number(b)) {
        double x;
        return string_as_number(a, x) && compare_doubles(op, x, number_value(b));
    }
    return a == b;
}

template <CompareOp op>
inline bool compare_integers(int32_t x, int32_t y) {
    return op == CMP_EQ ? x == y : op == CMP_GE ? x >= y : op == CMP_GT ? x > y : op == CMP_LE ? x <= y : x < y;
}

template <CompareOp op, bool negate>
bool comparison(ValueHandle cell) {
    // The program compares as the cell's own operator does (negation included).
    if (operates_on_operations(operation_cell(cell))) {
        if (int holds = run_comparison_program(cell); holds >= 0) return holds != 0;
    }
    const Word32* operands = operands_of(operation_cell(cell));
    int32_t x, y;
    ValueHandle a, b;
    bool result;
    if (!evaluate_integer(operands[0], x, a)) {
        b = evaluate_after(a, operands[1]);
        result = compare_values(op, a, b) != negate;
        dispose(a);
        dispose_result(operands[1], b);
    } else if (!evaluate_integer(operands[1], y, b)) {
        a = integer_result(x);
        result = compare_values(op, a, b) != negate;
        dispose(a);
        dispose(b);
    } else {
        result = compare_integers<op>(x, y) != negate;
    }
    return result;
}

}  // namespace

bool strictly_equal(ValueHandle a, ValueHandle b) {
    Kind ka = kind_of(a), kb = kind_of(b);
    if (ka == KIND_INTEGER && kb == KIND_INTEGER) return integer_value(a) == integer_value(b);
    if (ka == KIND_FLOAT && kb == KIND_FLOAT) return float_value(a) == float_value(b);
    if (ka == KIND_STRING && kb == KIND_STRING)
        return string_length(a) == string_length(b) &&
               std::memcmp(string_text(a), string_text(b), string_length(a)) == 0;
    return a == b;
}

namespace {

bool strict_equality(ValueHandle cell) {
    ValueHandle a = evaluate(operand(operation_cell(cell), 0));
    ValueHandle b = evaluate_after(a, operand(operation_cell(cell), 1));
    bool result = strictly_equal(a, b);
    dispose(a);
    dispose(b);
    return result;
}

}  // namespace

ValueHandle op_eq(ValueHandle cell) { return boolean(comparison<CMP_EQ, false>(cell)); }
ValueHandle op_ne(ValueHandle cell) { return boolean(comparison<CMP_EQ, true>(cell)); }
ValueHandle op_ge(ValueHandle cell) { return boolean(comparison<CMP_GE, false>(cell)); }
ValueHandle op_gt(ValueHandle cell) { return boolean(comparison<CMP_GT, false>(cell)); }
ValueHandle op_le(ValueHandle cell) { return boolean(comparison<CMP_LE, false>(cell)); }
ValueHandle op_lt(ValueHandle cell) { return boolean(comparison<CMP_LT, false>(cell)); }
ValueHandle op_strict_eq(ValueHandle cell) { return boolean(strict_equality(cell)); }
ValueHandle op_strict_ne(ValueHandle cell) { return boolean(!strict_equality(cell)); }

bool comparison_holds(ValueHandle cell) {
    switch (opcode_of(cell)) {
    case OP_EQ:
        return comparison<CMP_EQ, false>(cell);
    case OP_NE:
        return comparison<CMP_EQ, true>(cell);
    case OP_GE:
        return comparison<CMP_GE, false>(cell);
    case OP_GT:
        return comparison<CMP_GT, false>(cell);
    case OP_LE:
        return comparison<CMP_LE, false>(cell);
    case OP_LT:
        return comparison<CMP_LT, false>(cell);
    case OP_STRICT_EQ:
        return strict_equality(cell);
    default:
        return !strict_equality(cell);
    }
}

// ---- Logical -----------------------------------------------------------------

ValueHandle op_not(ValueHandle cell) {
    ValueHandle expression = operand(operation_cell(cell), 0);
    ValueHandle v = evaluate(expression);
    bool t = truth_value(v);
    dispose_result(expression, v);
    return boolean(!t);
}

ValueHandle op_and_chain(ValueHandle cell) {
    uint32_t n = operand_count(operation_cell(cell));
    for (uint32_t i = 0; i < n; ++i) {
        ValueHandle v = evaluate(operand(operation_cell(cell), i));
        bool t = truth_value(v);
        dispose(v);
        if (!t) return VALUE_FALSE;
    }
    return VALUE_TRUE;
}

ValueHandle op_or_chain(ValueHandle cell) {
    uint32_t n = operand_count(operation_cell(cell));
    for (uint32_t i = 0; i < n; ++i) {
        ValueHandle v = evaluate(operand(operation_cell(cell), i));
        bool t = truth_value(v);
        dispose(v);
        if (t) return VALUE_TRUE;
    }
    return VALUE_FALSE;
}

ValueHandle op_conditional(ValueHandle cell) {
    ValueHandle c = evaluate(operand(operation_cell(cell), 0));
    bool t = truth_value(c);
    dispose(c);
    return evaluate(operand(operation_cell(cell), t ? 1 : 2));
}

// ---- typeof, instanceof ----------------------------------------------------------

ValueHandle op_typeof(ValueHandle cell) {
    ValueHandle v = evaluate(operand(operation_cell(cell), 0));
    const char* text;
    switch (kind_of(v)) {
    case KIND_NAME:
        text = v == VALUE_UNDEFINED                      ? "undefined"
               : (v == VALUE_TRUE || v == VALUE_FALSE) ? "boolean"
               : v == VALUE_NULL                        ? "object"
                                                        : "symbol";
        break;
    case KIND_INTEGER:
    case KIND_FLOAT:
        text = "number";
        break;
    case KIND_STRING:
        text = "string";
        break;
    case KIND_HASH: {
        uint32_t class_name = cell_as<HashCell>(v)->class_name;
        text = class_name ? name_text(class_name) : "object";
        break;
    }
    case KIND_FUNCTION:
        text = "function";
        break;
    default:
        text = "object";
        break;
    }
    ValueHandle result = new_string(text);
    dispose(v);
    return result;
}

ValueHandle op_instanceof(ValueHandle cell) {
    ValueHandle v = evaluate(operand(operation_cell(cell), 0));
    uint32_t name = operand(operation_cell(cell), 1);
    bool result;
    if (name == NAME_OBJECT) {
        result = true;
    } else {
        switch (kind_of(v)) {
        case KIND_INTEGER:
        case KIND_FLOAT:
            result = name == NAME_NUMBER;
            break;
        case KIND_DB_CONNECTION:
            result = name == NAME_CONNECTION;
            break;
        case KIND_DATE:
            result = name == NAME_DATE;
            break;
        case KIND_REGEXP:
            result = name == NAME_REGEXP;
            break;
        case KIND_STRING:
            result = name == NAME_STRING;
            break;
        case KIND_ARRAY:
        case KIND_ASSOC_ARRAY:
            result = name == NAME_ARRAY;
            break;
        case KIND_HASH:
            result = name == NAME_HASH || (name != 0 && name == cell_as<HashCell>(v)->class_name);
            break;
        case KIND_FUNCTION:
            result = name == NAME_FUNCTION;
            break;
        default:
            result = false;
            break;
        }
    }
    dispose(v);
    return boolean(result);
}

// ---- Bitwise ---------------------------------------------------------------------

namespace {

ValueHandle bitwise_chain(ValueHandle cell, uint8_t code) {
    int32_t out;
    bitwise_integer(cell, code, out);
    return integer_result(out);
}

}  // namespace

ValueHandle op_bitand_chain(ValueHandle cell) { return bitwise_chain(cell, OP_BITAND_CHAIN); }
ValueHandle op_bitor_chain(ValueHandle cell) { return bitwise_chain(cell, OP_BITOR_CHAIN); }
ValueHandle op_bitxor_chain(ValueHandle cell) { return bitwise_chain(cell, OP_BITXOR_CHAIN); }

ValueHandle op_shift(ValueHandle cell) {
    int32_t out;
    shift_integer(cell, opcode_of(cell), out);
    return integer_result(out);
}

ValueHandle op_bitnot(ValueHandle cell) {
    ValueHandle v = evaluate(operand(operation_cell(cell), 0));
    if (kind_of(v) != KIND_INTEGER) raise(Error::NOT_INTEGER_OPERAND_2280);
    if (ref_count(v) == 0) {
        cell_as<IntegerCell>(v)->value = ~integer_value(v);
        return v;
    }
    return integer_result(~integer_value(v));
}

}  // namespace tolv
