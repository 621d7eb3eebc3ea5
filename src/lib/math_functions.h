// Math.abs, ceil, floor, trunc, round, random, pow, min and max. A bad
// argument gives NaN, never an error.
#pragma once

namespace tolv {

void install_math_functions();

}  // namespace tolv
