// Arithmetic, string, comparison, logical and bitwise operators, and the
// assignment protocol shared by every assignment-like operator.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "eval/calls.h"
#include "eval/conversions.h"
#include "eval/evaluate.h"
#include "eval/handlers.h"
#include "eval/held_values.h"
#include "eval/library_hooks.h"
#include "eval/scopes.h"
#include "eval/stack_guard.h"
#include "runtime/convert.h"
#include "runtime/name_table.h"
#include "runtime/text.h"

namespace tolv {

namespace {

inline ValueHandle boolean(bool b) { return b ? VALUE_TRUE : VALUE_FALSE; }
inline bool is_number(ValueHandle v) { return kind_of(v) == KIND_INTEGER || kind_of(v) == KIND_FLOAT; }
inline bool is_name_constant(ValueHandle v) { return v <= VALUE_NAN; }

// Truncates toward zero into 32 bits; values beyond the range wrap.
int32_t truncate_to_int32(double d) {
    if (d >= -2147483648.0 && d < 2147483648.0) return int32_t(d);
    if (!std::isfinite(d)) return INT32_MIN;
    double wrapped = std::fmod(std::trunc(d), 4294967296.0);
    if (wrapped < 0) wrapped += 4294967296.0;
    return int32_t(uint32_t(wrapped));
}

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
        if (end != text + string_length(v)) eval_fail(2305, "オペランド不正(非数値)");
        if (std::memchr(text, '.', string_length(v))) is_float = true;
        return d;
    }
    default:
        eval_fail(2310, "オペランド不正(非数値)");
    }
}

ValueHandle numeric_result(double d, bool is_float) {
    return is_float ? new_float(d) : integer_result(truncate_to_int32(d));
}

enum ArithmeticOp { ARITH_SUB, ARITH_MUL, ARITH_DIV, ARITH_MOD, ARITH_POW };

double arithmetic(ArithmeticOp op, double a, double b) {
    switch (op) {
    case ARITH_SUB:
        return a - b;
    case ARITH_MUL:
        return a * b;
    case ARITH_DIV:
        if (b == 0.0) eval_fail(2330, "オペレーション不正(０割)");
        return a / b;
    case ARITH_MOD:
        // The remainder takes the divisor's sign; a zero divisor is refused like division.
        if (b == 0.0) eval_fail(2330, "オペレーション不正(０割)");
        return a - std::floor(a / b) * b;
    case ARITH_POW:
        return std::pow(a, b);
    }
    return 0;
}

// Two Integers: exact 64-bit arithmetic, the same result as the double
// computation wherever that is exact.
inline bool integer_pair(ArithmeticOp op, int32_t a, int32_t b, int32_t& out) {
    switch (op) {
    case ARITH_SUB:
        out = int32_t(uint32_t(int64_t(a) - int64_t(b)));
        return true;
    case ARITH_MUL:
        out = int32_t(uint32_t(int64_t(a) * int64_t(b)));
        return true;
    // 32-bit division is much faster than 64-bit; -1 is the one divisor whose
    // quotient can leave the range (it wraps, as the 64-bit result did).
    case ARITH_DIV:
        if (b == 0) eval_fail(2330, "オペレーション不正(０割)");
        out = b == -1 ? int32_t(0u - uint32_t(a)) : a / b;
        return true;
    case ARITH_MOD: {
        if (b == 0) eval_fail(2330, "オペレーション不正(０割)");
        int32_t r = b == -1 ? 0 : a % b;
        if (r != 0 && ((r < 0) != (b < 0))) r += b;
        out = r;
        return true;
    }
    default:
        return false;
    }
}

// The operator is a template argument so that each handler gets its own
// copy with the operator's switch folded away.
template <ArithmeticOp op>
ValueHandle arithmetic_chain(ValueHandle cell) {
    // Cells and operand vectors never move while a program runs.
    const OperationCell* c = operation_cell(cell);
    uint32_t n = operand_count(c);
    const Word32* operands = operands_of(c);
    ValueHandle first = evaluate(operands[0]);
    if (n == 2 && kind_of(first) == KIND_INTEGER) {
        ValueHandle second = evaluate_after(first, operands[1]);
        int32_t out;
        if (kind_of(second) == KIND_INTEGER && integer_pair(op, integer_value(first), integer_value(second), out)) {
            drop_result(operands[0], first);
            drop_result(operands[1], second);
            return integer_result(out);
        }
        bool is_float = false;
        double a = numeric_operand(first, is_float);
        double b = numeric_operand(second, is_float);
        drop(first);
        drop(second);
        return numeric_result(arithmetic(op, a, b), is_float);
    }
    bool is_float = false;
    double x = numeric_operand(first, is_float);
    drop(first);
    for (uint32_t i = 1; i < n; ++i) {
        ValueHandle next = evaluate(operands[i]);
        double y = numeric_operand(next, is_float);
        drop(next);
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

void number_text(ValueHandle v, TextBuffer& out) {
    if (kind_of(v) == KIND_INTEGER) {
        integer_text(integer_value(v), out);
    } else {
        float_text(float_value(v), out);
    }
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
    drop(acc);
    drop(next);
    for (uint32_t i = from; i < n; ++i) {
        ValueHandle more = evaluate(operand(operation_cell(cell), i));
        if (!concatenable_text(more, text)) eval_fail(2240, "データの型不正(+)");
        drop(more);
    }
    return new_string(text.data(), text.size());
}

}  // namespace

ValueHandle op_add_chain(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    uint32_t n = operand_count(c);
    const Word32* operands = operands_of(c);
    ValueHandle acc = evaluate(operands[0]);
    uint32_t i = 1;
    // Numeric prefix of the chain.
    for (; i < n; ++i) {
        ValueHandle next = i == 1 ? evaluate_after(acc, operands[1]) : evaluate(operands[i]);
        Kind ka = kind_of(acc), kb = kind_of(next);
        ValueHandle sum;
        if (ka == KIND_INTEGER && kb == KIND_INTEGER) {
            sum = integer_result(int32_t(uint32_t(integer_value(acc)) + uint32_t(integer_value(next))));
            if (i == 1) drop_result(operands[0], acc); else drop(acc);
            drop_result(operands[i], next);
            acc = sum;
            continue;
        } else if (is_number(acc) && is_number(next)) {
            double a = ka == KIND_INTEGER ? integer_value(acc) : float_value(acc);
            double b = kb == KIND_INTEGER ? integer_value(next) : float_value(next);
            sum = new_float(a + b);
        } else if (concatenates(acc, next)) {
            return concatenate_rest(cell, acc, next, i + 1, n);
        } else {
            eval_fail(2240, "データの型不正(+)");
        }
        drop(acc);
        drop(next);
        acc = sum;
    }
    return acc;
}

ValueHandle op_sub_chain(ValueHandle cell) { return arithmetic_chain<ARITH_SUB>(cell); }
ValueHandle op_mul_chain(ValueHandle cell) { return arithmetic_chain<ARITH_MUL>(cell); }
ValueHandle op_div_chain(ValueHandle cell) { return arithmetic_chain<ARITH_DIV>(cell); }
ValueHandle op_mod_chain(ValueHandle cell) { return arithmetic_chain<ARITH_MOD>(cell); }

ValueHandle op_power(ValueHandle cell) {
    ValueHandle a = evaluate(operand(operation_cell(cell), 0));
    ValueHandle b = evaluate_after(a, operand(operation_cell(cell), 1));
    bool is_float = false;
    double x = numeric_operand(a, is_float);
    double y = numeric_operand(b, is_float);
    drop(a);
    drop(b);
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

inline double number_of(ValueHandle v) {
    return kind_of(v) == KIND_INTEGER ? double(integer_value(v)) : float_value(v);
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
    if (is_number(a) && is_number(b)) return compare_doubles(op, number_of(a), number_of(b));
    if (is_number(a) && kb == KIND_STRING) {
        double y;
        return string_as_number(b, y) && compare_doubles(op, number_of(a), y);
    }
    if (ka == KIND_STRING && is_number(b)) {
        double x;
        return string_as_number(a, x) && compare_doubles(op, x, number_of(b));
    }
    if (ka == KIND_STRING && kb == KIND_STRING) {
        uint32_t la = string_length(a), lb = string_length(b);
        int c = std::memcmp(string_text(a), string_text(b), la < lb ? la : lb);
        if (c == 0) c = la < lb ? -1 : la > lb ? 1 : 0;
        return compare_doubles(op, c, 0);
    }
    return a == b;
}

template <CompareOp op, bool negate>
ValueHandle comparison(ValueHandle cell) {
    const Word32* operands = operands_of(operation_cell(cell));
    ValueHandle a = evaluate(operands[0]);
    ValueHandle b = evaluate_after(a, operands[1]);
    bool result;
    if (kind_of(a) == KIND_INTEGER && kind_of(b) == KIND_INTEGER) {
        // Two Integers: compared here, and neither needs dropping unless it is a temporary.
        int32_t x = integer_value(a), y = integer_value(b);
        result = (op == CMP_EQ ? x == y : op == CMP_GE ? x >= y : op == CMP_GT ? x > y : op == CMP_LE ? x <= y : x < y) != negate;
    } else {
        result = compare_values(op, a, b) != negate;
    }
    drop_result(operands[0], a);
    drop_result(operands[1], b);
    return boolean(result);
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

ValueHandle op_eq(ValueHandle cell) { return comparison<CMP_EQ, false>(cell); }
ValueHandle op_ne(ValueHandle cell) { return comparison<CMP_EQ, true>(cell); }
ValueHandle op_ge(ValueHandle cell) { return comparison<CMP_GE, false>(cell); }
ValueHandle op_gt(ValueHandle cell) { return comparison<CMP_GT, false>(cell); }
ValueHandle op_le(ValueHandle cell) { return comparison<CMP_LE, false>(cell); }
ValueHandle op_lt(ValueHandle cell) { return comparison<CMP_LT, false>(cell); }

ValueHandle op_strict_eq(ValueHandle cell) {
    ValueHandle a = evaluate(operand(operation_cell(cell), 0));
    ValueHandle b = evaluate_after(a, operand(operation_cell(cell), 1));
    bool result = strictly_equal(a, b);
    drop(a);
    drop(b);
    return boolean(result);
}

ValueHandle op_strict_ne(ValueHandle cell) { return op_strict_eq(cell) == VALUE_TRUE ? VALUE_FALSE : VALUE_TRUE; }

// ---- Logical -----------------------------------------------------------------

ValueHandle op_not(ValueHandle cell) {
    ValueHandle expression = operand(operation_cell(cell), 0);
    ValueHandle v = evaluate(expression);
    bool t = truth_value(v);
    drop_result(expression, v);
    return boolean(!t);
}

ValueHandle op_and_chain(ValueHandle cell) {
    uint32_t n = operand_count(operation_cell(cell));
    for (uint32_t i = 0; i < n; ++i) {
        ValueHandle v = evaluate(operand(operation_cell(cell), i));
        bool t = truth_value(v);
        drop(v);
        if (!t) return VALUE_FALSE;
    }
    return VALUE_TRUE;
}

ValueHandle op_or_chain(ValueHandle cell) {
    uint32_t n = operand_count(operation_cell(cell));
    for (uint32_t i = 0; i < n; ++i) {
        ValueHandle v = evaluate(operand(operation_cell(cell), i));
        bool t = truth_value(v);
        drop(v);
        if (t) return VALUE_TRUE;
    }
    return VALUE_FALSE;
}

ValueHandle op_conditional(ValueHandle cell) {
    ValueHandle c = evaluate(operand(operation_cell(cell), 0));
    bool t = truth_value(c);
    drop(c);
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
    drop(v);
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
    drop(v);
    return boolean(result);
}

// ---- Assignment ------------------------------------------------------------------

namespace {

inline bool may_create(ValueHandle target) {
    return has_opcode(target, OP_MEMBER) || has_opcode(target, OP_INDEX);
}

// Evaluates an assignment target and returns its location. The current value
// is returned in `current` (borrowed from the location, or a temporary).
[[gnu::always_inline]] inline LastLocation evaluate_target(ValueHandle target, ValueHandle& current) {
    if (is_plain_name(target)) {
        // A variable: the lookup records where it lives.
        g_create_mode = false;
        current = lookup_variable(target);
        return g_location;
    }
    g_location.kind = LOCATION_NONE;
    bool located = is_plain_name(target) || may_create(target);
    g_create_mode = may_create(target);
    current = evaluate(target);
    g_create_mode = false;
    LastLocation at = g_location;
    if (!located) at.kind = LOCATION_NONE;
    return at;
}

}  // namespace

ValueHandle op_assign(ValueHandle cell) {
    const Word32* operands = operands_of(operation_cell(cell));
    ValueHandle value = evaluate(operands[1]);
    // Hold the value while the target is evaluated: the target's evaluation
    // must not free a temporary that is about to be stored.
    retain(value);
    ValueHandle current;
    LastLocation at;
    if (is_plain_name(operands[0])) {
        at = evaluate_target(operands[0], current);
    } else {
        // An index may run code that turns the value from an Array into an assoc array.
        HeldWords in_view(value);
        at = evaluate_target(operands[0], current);
    }
    drop_result(operands[0], current);
    if (at.kind != LOCATION_NONE) {
        if (at.constant) eval_fail(2320, "オペレーション不正");
        store_at_location(at, value);
    }
    release_keep(value);
    return value;
}

namespace {

// String results of `+=`; returns the target itself when it was extended
// where it is (allowed when `sole_owner`). Kept out of op_add_assign to keep
// its frame small.
[[gnu::noinline]] ValueHandle text_plus_assign(ValueHandle target, ValueHandle value, bool sole_owner) {
    TextBuffer text;
    if (kind_of(target) != KIND_STRING) {
        number_text(target, text);
        text.append(string_text(value), string_length(value));
        return new_string(text.data(), text.size());
    }
    if (kind_of(value) == KIND_STRING) {
        text.append(string_text(value), string_length(value));
    } else {
        number_text(value, text);
    }
    if (sole_owner && append_in_place(target, text.data(), uint32_t(text.size()))) return target;
    TextBuffer joined;
    joined.append(string_text(target), string_length(target));
    joined.append(text.data(), text.size());
    return new_string(joined.data(), joined.size());
}

inline bool in_container(const LastLocation& at) { return at.kind >= LOCATION_ARRAY; }

// `+=` on a local or parameter holding an Integer: the number is read as it
// is, so nothing is held while the value is evaluated. Whatever Integer the
// binding holds afterwards is written where it is when only the binding owns
// it, which is the same as storing a new Integer there.
ValueHandle add_to_integer_binding(ValueHandle value_operand, const LastLocation& at, int32_t old) {
    ValueHandle value = evaluate(value_operand);
    ValueHandle result;
    if (kind_of(value) == KIND_INTEGER) {
        int32_t sum = int32_t(uint32_t(old) + uint32_t(integer_value(value)));
        drop_result(value_operand, value);
        if (at.index <= g_bindings.top) {
            ValueHandle now = g_bindings.items[at.index].value;
            if (kind_of(now) == KIND_INTEGER && ref_count(now) == 1) {
                cell_as<IntegerCell>(now)->value = sum;
                return now;
            }
        }
        result = integer_result(sum);
    } else if (kind_of(value) == KIND_FLOAT) {
        result = new_float(double(old) + float_value(value));
        drop(value);
    } else if (kind_of(value) == KIND_STRING) {
        ValueHandle target = hold(integer_result(old));
        result = text_plus_assign(target, value, false);
        release(target);
        drop(value);
    } else {
        eval_fail(2255, "オペレーション(+=)のデータ型不正");
    }
    retain(result);
    store_at_location(at, result);
    release_keep(result);
    return result;
}

}  // namespace

// The value of a `+=` whose code may turn the held target or its container
// from an Array into an assoc array.
[[gnu::noinline]] static ValueHandle evaluate_with_target_held(ValueHandle operand, ValueHandle& target, LastLocation& at) {
    HeldWords target_in_view(target);
    HeldLocation at_in_view(at);
    return evaluate(operand);
}

// The target is read before the value is evaluated, and the value may
// reassign, release or grow the target's storage: the target and its
// container are held meanwhile, and a number or string is only updated
// where it is when the location still holds it and nothing else does.
ValueHandle op_add_assign(ValueHandle cell) {
    const Word32* operands = operands_of(operation_cell(cell));
    ValueHandle target;
    LastLocation at = evaluate_target(operands[0], target);
    if (at.kind == LOCATION_BINDING && !at.constant && kind_of(target) == KIND_INTEGER)
        return add_to_integer_binding(operands[1], at, integer_value(target));
    if (at.kind != LOCATION_NONE && at.constant) eval_fail(2245, "オペレーション不正(+=)");
    if (at.kind == LOCATION_NONE) eval_fail(2250, "オペレーション不正(+=)");
    // Held while the value is evaluated; cells never move, so the pointer stays good.
    uint8_t* target_header = has_storage(target) ? value_ptr(target) : nullptr;
    if (target_header && *target_header < (PERMANENT_COUNT << 4)) *target_header = uint8_t(*target_header + 16);
    if (in_container(at)) [[unlikely]]
        retain(at.container);
    ValueHandle value = is_inert(operands[1]) ? evaluate(operands[1]) : evaluate_with_target_held(operands[1], target, at);
    Kind kt = kind_of(target), kv = kind_of(value);
    // The location and our hold are the only owners.
    bool sole_owner = target_header && (*target_header >> 4) == 2 && value_at_location(at) == target;
    ValueHandle result;
    if (kt == KIND_INTEGER && kv == KIND_INTEGER) {
        IntegerCell* number = reinterpret_cast<IntegerCell*>(target_header);
        int32_t sum = int32_t(uint32_t(number->value) + uint32_t(integer_value(value)));
        if (sole_owner) {
            number->value = sum;
            drop_result(operands[1], value);
            if (in_container(at)) [[unlikely]]
                release(at.container);
            release_keep(target);  // our hold
            return target;
        }
        result = integer_result(sum);
    } else if (is_number(target) && is_number(value)) {
        result = new_float(number_of(target) + number_of(value));
    } else if ((kt == KIND_STRING && (kv == KIND_STRING || is_number(value))) ||
               (is_number(target) && kv == KIND_STRING)) {
        result = text_plus_assign(target, value, sole_owner);
        if (result == target) {
            drop(value);
            if (in_container(at)) [[unlikely]]
                release(at.container);
            release_keep(target);
            return target;
        }
    } else {
        eval_fail(2255, "オペレーション(+=)のデータ型不正");
    }
    drop(value);
    // Held for the store: the result may be made of the target itself.
    retain(result);
    release(target);
    store_at_location(at, result);
    if (in_container(at)) [[unlikely]]
        release(at.container);
    release_keep(result);
    return result;
}

ValueHandle op_arith_assign(ValueHandle cell) {
    static constexpr ArithmeticOp OPS[] = {ARITH_SUB, ARITH_MUL, ARITH_DIV, ARITH_MOD};
    ArithmeticOp op = OPS[opcode_of(cell) - OP_SUB_ASSIGN];
    ValueHandle value = evaluate(operand(operation_cell(cell), 1));
    retain(value);
    ValueHandle target;
    LastLocation at;
    {
        HeldWords in_view(value);
        at = evaluate_target(operand(operation_cell(cell), 0), target);
    }
    if (at.kind != LOCATION_NONE && at.constant) eval_fail(2315, "オペレーション不正");
    if (at.kind == LOCATION_NONE) eval_fail(2317, "オペレーション不正");
    ValueHandle result;
    int32_t out;
    if (kind_of(target) == KIND_INTEGER && kind_of(value) == KIND_INTEGER &&
        integer_pair(op, integer_value(target), integer_value(value), out)) {
        if (ref_count(target) == 1) {
            // Only the location owns the number: update it where it is.
            cell_as<IntegerCell>(target)->value = out;
            release(value);
            return target;
        }
        result = integer_result(out);
    } else {
        bool is_float = false;
        double x = numeric_operand(target, is_float);
        double y = numeric_operand(value, is_float);
        result = numeric_result(arithmetic(op, x, y), is_float);
    }
    release(value);
    store_at_location(at, result);
    return result;
}

ValueHandle op_bit_assign(ValueHandle cell) {
    uint8_t code = opcode_of(cell);
    ValueHandle value = evaluate(operand(operation_cell(cell), 1));
    if (kind_of(value) != KIND_INTEGER) eval_fail(2285, "オペランド不正(非整数)");
    int32_t y = integer_value(value);
    drop(value);
    ValueHandle target;
    LastLocation at = evaluate_target(operand(operation_cell(cell), 0), target);
    if (at.kind != LOCATION_NONE && at.constant) eval_fail(2290, "オペレーション不正");
    if (at.kind == LOCATION_NONE) eval_fail(2300, "オペレーション不正");
    if (kind_of(target) != KIND_INTEGER) eval_fail(2295, "オペランド不正(非整数)");
    int32_t x = integer_value(target);
    int32_t r = code == OP_AND_ASSIGN ? (x & y) : code == OP_OR_ASSIGN ? (x | y) : (x ^ y);
    ValueHandle result = integer_result(r);
    store_at_location(at, result);
    return result;
}

// ---- Increment and decrement -----------------------------------------------------

namespace {

// Inlined into each caller, so that the step and the form are constants there.
// As a statement, a number stepped where it is gives undefined: nothing for
// the caller to drop.
[[gnu::always_inline]] inline ValueHandle step_operation(ValueHandle target, int delta, bool postfix, int constant_code,
                                                         int other_code, const char* message,
                                                         bool as_statement = false) {
    g_location.kind = LOCATION_NONE;
    ValueHandle old = is_plain_name(target) ? lookup_variable(target) : evaluate(target);
    LastLocation at = g_location;
    if (!is_plain_name(target) && !may_create(target)) at.kind = LOCATION_NONE;
    if (at.kind != LOCATION_NONE && at.constant) eval_fail(constant_code, "%s", message);
    Kind k = kind_of(old);
    if (at.kind == LOCATION_NONE || (k != KIND_INTEGER && k != KIND_FLOAT)) eval_fail(other_code, "%s", message);
    if (!postfix && k == KIND_INTEGER && (cell_as<IntegerCell>(old)->header >> 4) == 1) {
        // Only the location holds it: step it where it is.
        IntegerCell* number = cell_as<IntegerCell>(old);
        number->value = int32_t(uint32_t(number->value) + uint32_t(delta));
        return as_statement ? VALUE_UNDEFINED : old;
    }
    ValueHandle next = k == KIND_INTEGER ? integer_result(int32_t(uint32_t(integer_value(old)) + uint32_t(delta)))
                                         : new_float(float_value(old) + delta);
    if (!postfix) {
        store_at_location(at, next);
        return next;
    }
    // The location's reference to the old value passes to the caller.
    retain(old);
    store_at_location(at, next);
    release_keep(old);
    return old;
}

}  // namespace

ValueHandle step_as_statement(ValueHandle cell) {
    // The value is not used: step like the prefix form, report like the postfix one.
    const OperationCell* c = operation_cell(cell);
    if (c->opcode == OP_POSTFIX_INC)
        return step_operation(operand(c, 0), 1, false, 2200, 2205, "オペレーション不正(++)", true);
    return step_operation(operand(c, 0), -1, false, 2220, 2225, "オペレーション不正(--)", true);
}

ValueHandle op_postfix_inc(ValueHandle cell) {
    return step_operation(operand(operation_cell(cell), 0), 1, true, 2200, 2205, "オペレーション不正(++)");
}
ValueHandle op_prefix_inc(ValueHandle cell) {
    return step_operation(operand(operation_cell(cell), 0), 1, false, 2210, 2215, "オペレーション不正(++)");
}
ValueHandle op_postfix_dec(ValueHandle cell) {
    return step_operation(operand(operation_cell(cell), 0), -1, true, 2220, 2225, "オペレーション不正(--)");
}
ValueHandle op_prefix_dec(ValueHandle cell) {
    return step_operation(operand(operation_cell(cell), 0), -1, false, 2230, 2235, "オペレーション不正(--)");
}

// ---- Bitwise ---------------------------------------------------------------------

namespace {

ValueHandle bitwise_chain(ValueHandle cell, uint8_t code) {
    uint32_t n = operand_count(operation_cell(cell));
    ValueHandle first = evaluate(operand(operation_cell(cell), 0));
    if (kind_of(first) != KIND_INTEGER) eval_fail(2257, "オペランド不正(非整数)");
    int32_t x = integer_value(first);
    drop(first);
    for (uint32_t i = 1; i < n; ++i) {
        ValueHandle next = evaluate(operand(operation_cell(cell), i));
        if (kind_of(next) != KIND_INTEGER) eval_fail(2260, "オペランド不正(非整数)");
        int32_t y = integer_value(next);
        drop(next);
        x = code == OP_BITAND_CHAIN ? (x & y) : code == OP_BITOR_CHAIN ? (x | y) : (x ^ y);
    }
    return integer_result(x);
}

}  // namespace

ValueHandle op_bitand_chain(ValueHandle cell) { return bitwise_chain(cell, OP_BITAND_CHAIN); }
ValueHandle op_bitor_chain(ValueHandle cell) { return bitwise_chain(cell, OP_BITOR_CHAIN); }
ValueHandle op_bitxor_chain(ValueHandle cell) { return bitwise_chain(cell, OP_BITXOR_CHAIN); }

ValueHandle op_shift(ValueHandle cell) {
    uint8_t code = opcode_of(cell);
    ValueHandle a = evaluate(operand(operation_cell(cell), 0));
    ValueHandle b = evaluate_after(a, operand(operation_cell(cell), 1));
    if (kind_of(a) != KIND_INTEGER) eval_fail(2265, "オペランド不正(非整数)");
    if (kind_of(b) != KIND_INTEGER) eval_fail(2270, "オペランド不正(非整数)");
    int32_t count = integer_value(b);
    if (count < 0) eval_fail(2275, "シフト数不正");
    uint32_t bits = uint32_t(integer_value(a));
    drop(a);
    drop(b);
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
    return integer_result(int32_t(result));
}

ValueHandle op_bitnot(ValueHandle cell) {
    ValueHandle v = evaluate(operand(operation_cell(cell), 0));
    if (kind_of(v) != KIND_INTEGER) eval_fail(2280, "オペランド不正(非整数)");
    if (ref_count(v) == 0) {
        cell_as<IntegerCell>(v)->value = ~integer_value(v);
        return v;
    }
    return integer_result(~integer_value(v));
}

// ---- Conversions -----------------------------------------------------------------

ValueHandle number_conversion(ValueHandle v) {
    switch (kind_of(v)) {
    case KIND_INTEGER:
        return new_integer(integer_value(v));
    case KIND_FLOAT:
        return new_float(float_value(v));
    case KIND_STRING: {
        const char* text = string_text(v);
        const char* end_of_text = text + string_length(v);
        int sign = 1;
        if (*text == '-' || *text == '+') sign = *text++ == '-' ? -1 : 1;
        bool digit_start = (*text >= '0' && *text <= '9') || (*text == '.' && text[1] >= '0' && text[1] <= '9');
        if (!digit_start) eval_fail(2335, "Numberの引数不正");
        ParsedNumber parsed;
        try {
            parsed = parse_number(text, sign);
        } catch (const ScriptThrow&) {
            // A malformed number text is the script's data, not its source.
            eval_fail(2335, "Numberの引数不正");
        }
        if (parsed.end != end_of_text) eval_fail(2335, "Numberの引数不正");
        if (parsed.is_integer) {
            if (parsed.integer >= INT32_MIN && parsed.integer <= INT32_MAX) return new_integer(int32_t(parsed.integer));
            return new_float(double(parsed.integer));
        }
        return new_float(parsed.real);
    }
    default:
        eval_fail(2335, "Numberの引数不正");
    }
}

ValueHandle string_conversion(ValueHandle v) {
    TextBuffer text;
    text_of(v, text);
    return new_string(text.data(), text.size());
}

ValueHandle array_of_copies(const ValueHandle* args, uint32_t count) {
    ValueHandle array = new_array(count);
    for (uint32_t i = 0; i < count; ++i) {
        ValueHandle copy = copy_value(args[i]);
        array_elements(array)[i] = retain(copy);
    }
    return array;
}

bool append_in_place(ValueHandle string, const char* text, uint32_t length) {
    StringCell* s = cell_as<StringCell>(string);
    if (s->template_mark != 0) return false;
    uint64_t needed = uint64_t(s->length) + length;
    if (needed > 0x7FFFFFF0u) return false;
    if (needed + 1 > s->capacity) {
        // Grow geometrically so a loop of appends stays linear.
        uint64_t capacity = needed * 2 + 8;
        uint8_t* buffer = nullptr;
        AreaRef ref = area_alloc(capacity + 4, &buffer);
        if (!buffer) buffer = area_ptr(ref);
        std::memcpy(buffer, area_ptr(s->text), s->length);
        area_free(s->text);
        s = cell_as<StringCell>(string);
        s->text = ref;
        s->capacity = uint32_t(capacity);
    }
    // Keep the ASCII mark that index access caches in byte 1 true.
    if (s->text_mark == STRING_TEXT_ASCII) {
        for (uint32_t i = 0; i < length; ++i)
            if (static_cast<unsigned char>(text[i]) >= 0x80) {
                s->text_mark = STRING_TEXT_MULTIBYTE;
                break;
            }
    }
    char* data = reinterpret_cast<char*>(area_ptr(s->text));
    std::memcpy(data + s->length, text, length);
    s->length += length;
    data[s->length] = '\0';
    return true;
}

// ---- Conversion cells ------------------------------------------------------------

namespace {

// Evaluates every operand of a constructor cell onto the argument stack.
ValueHandle* evaluate_operands(ValueHandle cell, uint32_t& n) {
    n = operand_count(operation_cell(cell));
    if (g_arguments.top + n > ARGUMENT_STACK_SIZE) call_too_deep();
    ValueHandle* first = g_arguments.items + g_arguments.top;
    for (uint32_t i = 0; i < n; ++i) g_arguments.items[g_arguments.top++] = retain(evaluate(operand(operation_cell(cell), i)));
    return first;
}

// Releases the arguments; the result keeps a value it shares with them alive.
ValueHandle finish(ValueHandle result, ValueHandle* first, uint32_t n) {
    retain(result);
    for (uint32_t i = n; i-- > 0;) release(first[i]);
    g_arguments.top = uint32_t(first - g_arguments.items);
    release_keep(result);
    return result;
}

}  // namespace

ValueHandle op_number(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    return finish(n == 0 ? new_integer(0) : number_conversion(args[0]), args, n);
}

ValueHandle op_string(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    return finish(n == 0 ? new_string("", 0) : string_conversion(args[0]), args, n);
}

ValueHandle op_integer(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    if (n > 1) eval_fail(2375, "引数の個数不正");
    return finish(n == 0 ? new_integer(0) : to_integer(args[0]), args, n);
}

ValueHandle op_regexp(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    return finish(construct_regexp(args, n), args, n);
}

ValueHandle op_float(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    if (n > 1) eval_fail(2380, "引数の個数不正");
    return finish(n == 0 ? new_float(0.0) : to_float(args[0]), args, n);
}

ValueHandle op_array(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    return finish(array_of_copies(args, n), args, n);
}

}  // namespace tolv
