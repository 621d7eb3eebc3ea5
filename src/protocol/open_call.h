// Sign-in without a token: the top program of such a request may only be a
// plain call of a function the configuration opens, with plain arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolv {

// True when `top_program` is `name(arg, ...)` (an optional ";" after it) with
// `name` in `open_functions` and every argument a name, a number or a quoted
// text without escapes or quotes inside, so that nothing but the opened
// function can run: an argument such as `deleteAll()` makes it false.
bool is_open_call(std::string_view top_program, const std::vector<std::string>& open_functions);

}  // namespace tolv
