// How the operators read numeric operands and make numeric results, shared
// by the arithmetic operators and the compound assignments.
#pragma once

#include <cstdint>

#include "eval/evaluate.h"
#include "runtime/text.h"

namespace tolv {

// A numeric operand: Integer, Float, or a String that is a number as a whole
// (2305); anything else raises 2310. Sets `is_float` for a Float or a
// decimal point.
double numeric_operand(ValueHandle v, bool& is_float);
// A Float, or an Integer truncated into 32 bits.
ValueHandle numeric_result(double d, bool is_float);

enum ArithmeticOp { ARITH_SUB, ARITH_MUL, ARITH_DIV, ARITH_MOD, ARITH_POW };

double arithmetic(ArithmeticOp op, double a, double b);

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
        if (b == 0) raise(Error::DIVISION_BY_ZERO);
        out = b == -1 ? int32_t(0u - uint32_t(a)) : a / b;
        return true;
    case ARITH_MOD: {
        if (b == 0) raise(Error::DIVISION_BY_ZERO);
        int32_t r = b == -1 ? 0 : a % b;
        if (r != 0 && ((r < 0) != (b < 0))) r += b;
        out = r;
        return true;
    }
    default:
        return false;
    }
}

// The text of an Integer or a Float, as `+` joins it to a String.
void number_text(ValueHandle v, TextBuffer& out);

}  // namespace tolv
