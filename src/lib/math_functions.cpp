#include "lib/math_functions.h"

#include <cmath>
#include <cstdint>

#include "eval/methods.h"
#include "lib/argument_positions.h"
#include "platform/clock.h"
#include "platform/msvc_rand.h"

namespace tolv {

namespace {

// A rounded Float as an Integer; NaN, infinities and values outside the
// 32-bit range give the most negative Integer.
ValueHandle rounded_integer(double d) {
    if (!(d >= -2147483648.0 && d < 2147483648.0)) return integer_result(INT32_MIN);
    return integer_result(int32_t(d));
}

ValueHandle math_abs(ValueHandle, const ValueHandle* args, uint32_t) {
    ValueHandle x = args[0];
    if (is_integer(x)) {
        int32_t v = integer_value(x);
        return v < 0 && v != INT32_MIN ? integer_result(-v) : integer_result(v);
    }
    if (is_float(x)) return new_float(std::fabs(float_value(x)));
    return VALUE_NAN;
}

// ceil, floor, trunc and round share everything but the rounding.
template <double (*ROUND)(double)>
ValueHandle math_rounding(ValueHandle, const ValueHandle* args, uint32_t) {
    ValueHandle x = args[0];
    if (is_integer(x)) return x;
    if (x == VALUE_NULL) return integer_result(0);
    if (is_float(x)) return rounded_integer(ROUND(float_value(x)));
    return VALUE_NAN;
}

double ceil_of(double d) { return std::ceil(d); }
double floor_of(double d) { return std::floor(d); }
double trunc_of(double d) { return std::trunc(d); }
double round_of(double d) { return std::round(d); }  // halves away from zero

bool g_random_seeded = false;

ValueHandle math_random(ValueHandle, const ValueHandle*, uint32_t) {
    if (!g_random_seeded) {
        g_rand.seed(uint32_t(now_seconds()));
        g_random_seeded = true;
    }
    return new_float(g_rand.next() / 32767.0);
}

ValueHandle math_pow(ValueHandle, const ValueHandle* args, uint32_t) {
    ValueHandle b = args[0], e = args[1];
    if (!is_number(b) || !is_number(e)) return VALUE_NAN;
    double base = number_value(b), exponent = number_value(e);
    if (exponent == 0) return integer_result(1);
    if (base == 0) return integer_result(0);
    if (base < 0 && exponent < 1) return VALUE_NAN;
    double g = std::pow(base, exponent);
    if (is_integer(b) && is_integer(e) && exponent >= 1) {
        return g >= -2147483648.0 && g < 2147483648.0 ? integer_result(int32_t(g)) : integer_result(INT32_MIN);
    }
    return new_float(g);
}

// The winning argument itself, so its kind is kept; ties keep the earlier.
template <bool MIN>
ValueHandle math_extreme(ValueHandle, const ValueHandle* args, uint32_t count) {
    ValueHandle best = args[0];
    if (count == 1) return best;
    if (!is_number(best)) return VALUE_NAN;
    double best_value = number_value(best);
    for (uint32_t i = 1; i < count; ++i) {
        if (!is_number(args[i])) return VALUE_NAN;
        double v = number_value(args[i]);
        if (MIN ? v < best_value : v > best_value) {
            best = args[i];
            best_value = v;
        }
    }
    return best;
}

}  // namespace

void install_math_functions() {
    set_method_handler(RECEIVER_MATH, "abs", math_abs);
    set_method_handler(RECEIVER_MATH, "ceil", math_rounding<ceil_of>);
    set_method_handler(RECEIVER_MATH, "floor", math_rounding<floor_of>);
    set_method_handler(RECEIVER_MATH, "trunc", math_rounding<trunc_of>);
    set_method_handler(RECEIVER_MATH, "round", math_rounding<round_of>);
    set_method_handler(RECEIVER_MATH, "random", math_random);
    set_method_handler(RECEIVER_MATH, "pow", math_pow);
    set_method_handler(RECEIVER_MATH, "min", math_extreme<true>);
    set_method_handler(RECEIVER_MATH, "max", math_extreme<false>);
}

}  // namespace tolv
